#include "tetlib/steps/ValidateAssetJob.h"

#include <sys/stat.h>

#include "config/results/InterfaceTextDB.h"
#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "core/files/ContentRoot.h"
#include "kad/client/Housekeeping.h"
#include "resources/archive/SubstHandle.h"
#include "tetlib/container/Container.h"
#include "tetlib/container/DefinitionKeys.h"
#include "tetlib/data/AssetPaths.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/steps/AssetScriptCompile.h"
#include "tetlib/steps/ValidateAssetConfig.h"
#include "tetlib/steps/ValidateAssetContent.h"

namespace TETLib {

namespace {

Nyx::File::Path Joined(const Nyx::File::Path& folder, std::string_view name)
{
    Nyx::File::Path path = folder;
    path.AddPath(name);
    return path;
}

// The entry of the folder matching the name without regard to case, as
// every file lookup of the engine matches; one look at the folder for a
// pattern of several names.
bool FolderHolds(const Nyx::File::Path& folder, std::string_view pattern, std::string_view name)
{
    Nyx::File::Find find(Joined(folder, pattern));
    while (find.Next())
        if (EqualsIgnoringCase(find.Name(), name))
            return true;
    return false;
}

// Without its closing "/", as folder paths are compared.
std::string_view Unslashed(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return path;
}

// "config.chump" when the folder has one, else "config.txt" when it has
// that; null when it has neither. The folder's names are kept in the data
// manager for the texture check.
const char* FindConfigFile(const Nyx::File::Path& folder, DataManager& manager)
{
    bool chump = false;
    bool text = false;
    Nyx::File::Find find(Joined(folder, "*"));
    for (const std::string& name : find.Names()) {
        const bool isChump = EqualsIgnoringCase(name, "config.chump");
        const bool isText = EqualsIgnoringCase(name, "config.txt");
        // Only a name that is there still counts.
        struct stat st;
        if ((isChump || isText) && ::lstat((find.FolderOnDisk() + name).c_str(), &st) == 0) {
            chump = chump || isChump;
            text = text || isText;
        }
    }
    manager.listedFolder = std::string(Unslashed(folder.View()));
    manager.listedNames = find.Names();
    return chump ? "config.chump" : text ? "config.txt" : nullptr;
}

void ReportPath(ResultsLog& log, const char* message, const Nyx::File::Path& path)
{
    ChunkRef parameters;
    TDBContainerTag::SetString(parameters, Nyx::PString("file_path"), Nyx::PString(path.View()));
    ResultsLog::AddResult(log, ResultsLog::kError, Nyx::String(message), &parameters);
}

}  // namespace

bool RunValidateAssetJob(const Nyx::PString& folderNameGiven, const Nyx::File::Path& assetPath, ResultsLog& log)
{
    const Nyx::File::Path root = GetContentRootPath();
    Nyx::PString folderName = folderNameGiven;
    Nyx::File::Path folder;
    if (!ResolveAssetFolder(root, folderName, assetPath, folder)) {
        // Without a data folder nothing can be validated; the asker learns
        // why.
        ReportPath(log, "The asset folder '$(FILE_PATH)' does not lie below the content root.", assetPath);
        return false;
    }

    const std::string archive = folderName.Str() + ".ja";
    if (!folderName.Empty() && FolderHolds(root, archive, archive))
        return true;

    DataManager& manager = DataManager::Instance();
    manager.skipOldAssets = false;
    static const Nyx::PString kEditing("editing");
    manager.outsideEditing = !folderName.Empty() && folderName != kEditing;

    PurgeUnusedResources();
    SubstHandle mount = OpenSubst(folderName.c_str());
    const uint32_t errorsBefore = log.GetErrorCount();

    const char* configName = FindConfigFile(folder, manager);
    if (!configName) {
        manager.listedFolder.clear();
        manager.listedNames.clear();
        const Nyx::PString text =
            InterfaceTextDB::Instance().GetString(Nyx::PString("$kad_unable_read_config_at"), true);
        ReportPath(log, text.c_str(), ShownPath(root, folder));
        mount.Close();
        return false;
    }

    bool valid;
    {
        Container container;
        manager.SetCurrentAssetFolder(folder, folderName.c_str());
        manager.configFileName = Nyx::PString(configName);
        ValidateAssetFolder(Joined(folder, configName), &container, log, folderName);
        valid = log.GetErrorCount() == errorsBefore && CompileAssetScripts(folderName, folder, log);
    }
    mount.Close();
    return valid;
}

void ValidateAssetFolder(const Nyx::File::Path& configPath, Container* container, ResultsLog& log,
                         const Nyx::PString& folderName)
{
    if (ValidateAssetConfig(folderName, configPath, log, container) && container)
        ValidateAssetContent(*container, log);
    DataManager& manager = DataManager::Instance();
    manager.CollectGarbage();
    manager.meshProblemReported = false;
    manager.skipSourcedChoices = false;
}

}  // namespace TETLib
