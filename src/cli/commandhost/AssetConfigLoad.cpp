#include "cli/commandhost/AssetConfigLoad.h"

#include "config/formats/ConfigFile.h"
#include "resources/archive/SubstHandle.h"

namespace {

// True only for a file that loads into a tree.
bool LoadInto(const Nyx::File::Path& folder, const char* fileName, ChunkRef& config)
{
    ChunkRef loaded;
    if (!LoadConfigFile(loaded, folder.c_str(), fileName) || !loaded)
        return false;
    config = loaded;
    return true;
}

}  // namespace

bool LoadAssetConfig(const Nyx::File::Path& folder, ChunkRef& config)
{
    // An absolute folder stands for itself; a mount under its name would
    // put it below the content root.
    SubstHandle mount = OpenSubst(folder.IsAbsolute() ? "" : folder.c_str());
    if (!mount.ok) {
        mount.Close();
        return false;
    }
    bool loaded = LoadInto(folder, "config.chump", config) || LoadInto(folder, "config.txt", config);
    mount.Close();
    return loaded;
}
