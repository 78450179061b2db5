#include "tetlib/steps/ValidateAssetJob.h"

#include "config/InterfaceTextDB.h"
#include "config/ResultsLog.h"
#include "config/TDBContainerTag.h"
#include "core/ContentRoot.h"
#include "kad/client/Housekeeping.h"
#include "resources/SubstHandle.h"
#include "tetlib/container/Container.h"
#include "tetlib/data/AssetPaths.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/steps/ValidateAssetConfig.h"

namespace TETLib {

namespace {

Nyx::File::Path Joined(const Nyx::File::Path& folder, std::string_view name)
{
    Nyx::File::Path path = folder;
    path.AddPath(name);
    return path;
}

bool Exists(const Nyx::File::Path& path) { return Nyx::File::Exists(InContentRoot(path)) == 0; }

}  // namespace

bool RunValidateAssetJob(const Nyx::PString& folderNameGiven, const Nyx::File::Path& assetPathGiven, ResultsLog& log)
{
    const Nyx::File::Path root = GetContentRootPath();
    Nyx::PString folderName = folderNameGiven;
    Nyx::File::Path assetPath = assetPathGiven;
    if (folderName.Empty()) {
        Nyx::File::Path relative;
        if (!MakeRelativeTo(root, assetPath, relative))
            return false;
        assetPath = relative;
        folderName = Nyx::PStringCache::ToLower(Nyx::PString(FirstComponent(relative)));
    }

    if (!folderName.Empty() && Nyx::File::Exists(Joined(root, folderName.Str() + ".ja")) == 0)
        return true;

    DataManager& manager = DataManager::Instance();
    manager.skipOldAssets = false;
    static const Nyx::PString kEditing("editing");
    manager.outsideEditing = !folderName.Empty() && folderName != kEditing;

    PurgeUnusedResources();
    SubstHandle mount = OpenSubst(folderName.c_str());
    const uint32_t errorsBefore = log.GetErrorCount();

    const char* configName = nullptr;
    for (const char* name : {"config.chump", "config.txt"}) {
        if (Exists(Joined(assetPath, name))) {
            configName = name;
            break;
        }
    }
    if (!configName) {
        ChunkRef parameters;
        TDBContainerTag::SetString(parameters, Nyx::PString("file_path"), Nyx::PString(assetPath.View()));
        ResultsLog::AddResult(log, ResultsLog::kError,
                              Nyx::String(InterfaceTextDB::Instance()
                                              .GetString(Nyx::PString("$kad_unable_read_config_at"), true)
                                              .View()),
                              &parameters);
        mount.Close();
        return false;
    }

    bool ok;
    {
        Container container;
        manager.SetCurrentAssetFolder(assetPath, folderName.c_str());
        manager.configFileName = Nyx::PString(configName);
        ValidateAssetFolder(Joined(assetPath, configName), &container, log, folderName);
        ok = log.GetErrorCount() == errorsBefore;
    }
    mount.Close();
    return ok;
}

void ValidateAssetFolder(const Nyx::File::Path& configPath, Container* container, ResultsLog& log,
                         const Nyx::PString& folderName)
{
    ValidateAssetConfig(folderName, configPath, log, container);
    DataManager& manager = DataManager::Instance();
    manager.CollectGarbage();
    manager.meshProblemReported = false;
    manager.skipSourcedChoices = false;
}

}  // namespace TETLib
