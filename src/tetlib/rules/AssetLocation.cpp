#include "tetlib/rules/AssetLocation.h"

#include "core/files/ContentRoot.h"
#include "tetlib/data/AssetPaths.h"
#include "tetlib/data/DataManager.h"

namespace TETLib {

bool DataFolderIsArchive()
{
    const DataManager* manager = DataManager::Existing();
    if (!manager || manager->GetAssetFolderName().Empty())
        return false;
    Nyx::File::Path archive = GetContentRootPath();
    archive.AddPath(manager->GetAssetFolderName().Str() + ".ja");
    return Nyx::File::Exists(archive) == 0;
}

Nyx::File::Path CurrentAssetFolderPath()
{
    const DataManager* manager = DataManager::Existing();
    Nyx::File::Path folder = InContentRoot(Nyx::File::Path(manager ? manager->GetAssetFolder() : Nyx::PString()));
    folder.EnsureTrailingSeparator();
    return folder;
}

std::string WithoutPrefix(std::string_view path, std::string_view prefix)
{
    if (!prefix.empty() && path.substr(0, prefix.size()) == prefix)
        path.remove_prefix(prefix.size());
    return std::string(path);
}

}  // namespace TETLib
