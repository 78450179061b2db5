// Reading the config of an asset folder, in its binary form when the folder
// has one and in its text form otherwise.
#pragma once

#include "config/tree/ACSChunk.h"
#include "nyx/files/File.h"

// The folder is absolute, or a folder name inside the content root, which is
// mounted for the time of the load. False when the folder cannot be mounted
// or holds no config that loads; `config` is then left as it was.
bool LoadAssetConfig(const Nyx::File::Path& folder, ChunkRef& config);
