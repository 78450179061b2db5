#include "resources/textures/TextureConvert.h"

#include <deque>
#include <memory>
#include <sys/stat.h>

#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "core/text/FileNameText.h"
#include "core/threads/JobQueue.h"
#include "platform/FileConfinement.h"
#include "platform/VisitedFolders.h"
#include "resources/registration/KestroPluginRegistration.h"
#include "resources/textures/KADTextureConvertFileRPC.h"

namespace {

class ConvertWalk {
public:
    // Only what lies in the folder walked is converted, each real folder
    // once; links out of it, FIFOs, sockets and devices are passed over.
    ConvertWalk(const Nyx::PString& archiveName, const Nyx::File::Path& top, ResultsLog& log)
        : archiveName_(archiveName), rule_(Nyx::File::Resolve(archiveName, top)), log_(log)
    {
    }

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
    Platform::FileConfinement rule_;
    Platform::VisitedFolders visited_;
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
    if (depth == 0)
        visited_.Enter(rule_.Resolve(Nyx::File::Resolve(archiveName_, folder)));
    bool searched = true;
    while (find.Next()) {
        Nyx::File::Path entry = folder;
        entry.AddPath(find.Name());
        const std::string real = rule_.Resolve(Nyx::File::Resolve(archiveName_, entry));
        struct stat st;
        if (real.empty() || ::stat(real.c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            if (depth < Platform::kMaxAssetFolderDepth && visited_.Enter(real) && !Folder(entry, depth + 1))
                searched = false;
        } else if (S_ISREG(st.st_mode) && IsTextureTxtFile(find.Name())) {
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
    // Start-up enrolled the resource types already; a program that started
    // the engine another way gets them here, once.
    KestroPluginRegistration::EnsureRegistered();
    ConvertWalk walk(archiveName, folder, log);
    const bool searched = walk.Folder(folder, 0);
    const bool converted = walk.Finish();
    return searched && converted ? kTexturesConverted : kTexturesNotConverted;
}
