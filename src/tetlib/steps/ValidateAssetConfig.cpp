#include "tetlib/steps/ValidateAssetConfig.h"

#include <memory>

#include "config/formats/ConfigFile.h"
#include "config/results/InterfaceTextDB.h"
#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "tetlib/container/Container.h"
#include "tetlib/container/DefinitionKeys.h"
#include "tetlib/data/AssetPaths.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/errors/ErrorHandler.h"

namespace TETLib {

namespace {

constexpr float kDefaultBuild = 1.3f;

// The key's localised text, as it goes into the results log: resolved now,
// not when printed.
Nyx::String LocalisedText(const char* key)
{
    const Nyx::PString text = InterfaceTextDB::Instance().GetString(Nyx::PString(key), true);
    return Nyx::String(DataManager::ConvertToAnsi(text.c_str()).View());
}

void CopyFindings(const ErrorHandler* handler, ResultsLog& log)
{
    if (!handler)
        return;
    for (const auto& message : handler->GetMessages())
        if (message->severity != ErrorMessage::kMessage)
            ResultsLog::AddResult(log, static_cast<int32_t>(message->severity), Nyx::String(message->key.View()));
}

}  // namespace

bool ValidateAssetConfig(const Nyx::PString& folderName, const Nyx::File::Path& configPath, ResultsLog& log,
                         Container* container)
{
    DataManager& manager = DataManager::Instance();
    manager.LoadDefinitions();
    manager.SetCurrentAssetFolder(Nyx::File::Path(configPath.Folder()), folderName.c_str());

    ErrorHandler* handler = ErrorHandler::Instance();
    if (handler)
        handler->Clear();

    // A config that does not load is checked as an empty one.
    ChunkRef config;
    // Read inside the asset's folder, as every file of the asset is.
    const Nyx::File::Path fullPath = InContentRoot(configPath);
    const std::string configFolder(fullPath.Folder());
    const std::string configName(fullPath.FileName());
    LoadConfigFile(config, configFolder.empty() ? nullptr : configFolder.c_str(), configName.c_str());

    static const Nyx::PString kBuildTag("kestro-build");
    static const Nyx::PString kKindTag("kind");
    const int32_t buildNumber = BuildNumber(TDBContainerTag::GetFloat(config, kBuildTag, kDefaultBuild));
    if (buildNumber > kNewestBuildNumber) {
        ResultsLog::AddResult(log, ResultsLog::kError, LocalisedText("$tet_future_asset"));
        return false;
    }
    const Nyx::PString kind = TDBContainerTag::GetString(config, kKindTag);
    if (EqualsIgnoringCase(kind.View(), "water")) {
        ResultsLog::AddResult(log, ResultsLog::kWarning, LocalisedText("$tet_obsolete_water"));
        return true;
    }
    if (EqualsIgnoringCase(kind.View(), "tintery-skin")) {
        ResultsLog::AddResult(log, ResultsLog::kWarning, LocalisedText("$tet_obsolete_tintery"));
        return true;
    }
    if (manager.skipOldAssets && buildNumber < kFirstCurrentBuildNumber)
        return true;

    std::unique_ptr<Container> own;
    if (!container) {
        own = std::make_unique<Container>();
        container = own.get();
    }
    manager.LoadDefinitions();
    const bool ok = container->Check(config);
    CopyFindings(handler, log);
    return ok;
}

}  // namespace TETLib
