// Asset paths as the validation library sees them: absolute, or relative
// to the content root, whose first component names the asset's data folder.
#pragma once

#include <string_view>

#include "nyx/File.h"

namespace TETLib {

// The path below the root, without a leading "/"; false when the path does
// not lie strictly below the root (or the root is empty).
bool MakeRelativeTo(const Nyx::File::Path& root, const Nyx::File::Path& path, Nyx::File::Path& relative);
// The text before the first "/" (the whole text without one).
std::string_view FirstComponent(const Nyx::File::Path& path);
// An absolute path as it is; a relative one below the content root (or the
// working folder while there is no content root).
Nyx::File::Path InContentRoot(const Nyx::File::Path& path);

}  // namespace TETLib
