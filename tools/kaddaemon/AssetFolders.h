// Whole-folder operations of the stand-in's asset store.
#pragma once

#include <string>

namespace kaddaemon {

// True when both folders hold the same tree: the same names, each a folder
// in both, a link to the same target in both, or a file with the same bytes
// in both.
bool SameFolderContents(const std::string& a, const std::string& b);

}  // namespace kaddaemon
