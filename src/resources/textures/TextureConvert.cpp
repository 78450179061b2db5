#include "resources/textures/TextureConvert.h"

#include <deque>
#include <memory>

#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "core/text/FileNameText.h"
#include "core/threads/JobQueue.h"
#include "resources/textures/CompressAsciiResource.h"
#include "resources/textures/KADTextureConvertFileRPC.h"

namespace {

// Folders nested deeper than this (a link back up, say) are not searched.
constexpr int kMaxFolderDepth = 64;

class ConvertWalk {
public:
    ConvertWalk(const Nyx::PString& archiveName, ResultsLog& log) : archiveName_(archiveName), log_(log) {}

    // False when this folder or one below could not be searched.
    bool Folder(const Nyx::File::Path& folder, int depth);
    // Waits for every file still converting; false when any failed.
    bool Finish()
    {
        while (!pending_.empty())
            WaitOldest();
        return allConverted_;
    }

private:
    void WaitOldest()
    {
        if (!pending_.front()->Wait())
            allConverted_ = false;
        pending_.pop_front();
    }

    Nyx::PString archiveName_;
    ResultsLog& log_;
    std::deque<std::unique_ptr<KADTextureConvertFileRPC>> pending_;
    bool allConverted_ = true;
};

bool ConvertWalk::Folder(const Nyx::File::Path& folder, int depth)
{
    Nyx::File::Path pattern = folder;
    pattern.AddPath("*");
    Nyx::File::Find find(archiveName_, pattern);
    if (!find.Valid()) {
        ChunkRef parameters;
        TDBContainerTag::SetString(parameters, Nyx::PString("file_name"), Nyx::PString(folder.View()));
        ResultsLog::AddResult(log_, ResultsLog::kError, Nyx::String("Unable to search path: '$(FILE_NAME)'"),
                              &parameters);
        return false;
    }
    bool searched = true;
    while (find.Next()) {
        Nyx::File::Path entry = folder;
        entry.AddPath(find.Name());
        if (find.IsFolder()) {
            if (depth < kMaxFolderDepth && !Folder(entry, depth + 1))
                searched = false;
        } else if (IsTextureTxtFile(find.Name())) {
            // Each open file holds its decoded image until its clean-up:
            // a large tree must not hold them all at once.
            if (pending_.size() >= TextureConvertOpenLimit())
                WaitOldest();
            pending_.push_back(std::make_unique<KADTextureConvertFileRPC>(archiveName_, entry, &log_));
        }
    }
    return searched;
}

}  // namespace

uint32_t TextureConvertOpenLimit() { return 2 * JobQueue::kMaxWorkers; }

uint32_t TextureConvertFolder(const Nyx::PString& archiveName, const Nyx::File::Path& folder, ResultsLog& log)
{
    return RunTextureConvertFolder(archiveName, folder, log);
}

uint32_t RunTextureConvertFolder(const Nyx::PString& archiveName, const Nyx::File::Path& folder, ResultsLog& log)
{
    RegisterTextureConvertResourceType();
    ConvertWalk walk(archiveName, log);
    const bool searched = walk.Folder(folder, 0);
    const bool converted = walk.Finish();
    return searched && converted ? kTexturesConverted : kTexturesNotConverted;
}
