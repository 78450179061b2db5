// Where the files of the asset under check lie, as the rules and the
// texture check look for them.
#pragma once

#include <string>
#include <string_view>

#include "nyx/files/File.h"

namespace TETLib {

// The asset's data folder is kept as a ".ja" archive beside the content
// root: its files are not looked at one by one.
bool DataFolderIsArchive();
// The absolute folder of the asset under check: the current asset folder as
// it is when absolute, else below the content root (where the config step
// read the config from).
Nyx::File::Path CurrentAssetFolderPath();
// The path without the prefix when it starts with it; the whole path
// otherwise.
std::string WithoutPrefix(std::string_view path, std::string_view prefix);

}  // namespace TETLib
