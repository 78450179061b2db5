#include "tetlib/steps/ValidateAssetContent.h"

#include "config/results/ResultsLog.h"
#include "tetlib/container/Container.h"
#include "tetlib/errors/ErrorHandler.h"
#include "tetlib/rules/AssetLocation.h"
#include "tetlib/textures/TextureCheck.h"

namespace TETLib {

bool ValidateAssetContent(Container& container, ResultsLog& log)
{
    const ChunkRef& config = container.GetConfig();
    if (!config || config.ChildCount() == 0)
        return true;
    ErrorHandler* handler = ErrorHandler::Instance();
    if (handler)
        handler->Clear();

    // Texture messages show paths inside the asset folder.
    const Nyx::File::Path folder = CurrentAssetFolderPath();
    const bool texturesOk = CheckTextures(folder, folder);
    ChunkRef written;
    bool contentOk = container.Export(written);
    if (contentOk)
        contentOk = container.RunRules();

    if (handler)
        for (const auto& message : handler->GetMessages())
            if (message->severity != ErrorMessage::kMessage)
                ResultsLog::AddResult(log, static_cast<int32_t>(message->severity), Nyx::String(message->key.View()));
    return texturesOk && contentOk;
}

}  // namespace TETLib
