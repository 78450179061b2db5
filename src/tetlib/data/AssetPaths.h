// Asset paths as the validation library sees them: absolute, or relative
// to the content root, whose first component names the asset's data folder.
#pragma once

#include <string_view>

#include "nyx/files/File.h"
#include "nyx/base/PString.h"

namespace TETLib {

// The path below the root, without a leading "/"; false when the path does
// not lie strictly below the root (or the root is empty).
bool MakeRelativeTo(const Nyx::File::Path& root, const Nyx::File::Path& path, Nyx::File::Path& relative);
// The text before the first "/" (the whole text without one).
std::string_view FirstComponent(const Nyx::File::Path& path);
// An absolute path as it is; a relative one below the content root (or the
// working folder while there is no content root).
Nyx::File::Path InContentRoot(const Nyx::File::Path& path);

// The path with "." components and doubled "/" dropped and each ".."
// taking the component before it away (at the top of an absolute path it
// stays there); a trailing "/" is kept.
Nyx::File::Path LexicallyNormal(const Nyx::File::Path& path);

// True when the path, taken from a folder, ends up outside that folder:
// an absolute path, or one whose ".." components climb above its start.
bool LeavesFolder(const Nyx::File::Path& path);

// The one absolute folder of an asset under check, ending in "/". Without a
// data-folder name the path (absolute, or relative to the root) must lie
// below the root, and its first component there, lower-cased, becomes the
// name; false when it does not. With a name, a relative path lies below
// root/name and an absolute one is taken as it is.
bool ResolveAssetFolder(const Nyx::File::Path& root, Nyx::PString& folderName, const Nyx::File::Path& path,
                        Nyx::File::Path& folder);
// A path as messages show it: relative to the root when it lies below it.
Nyx::File::Path ShownPath(const Nyx::File::Path& root, const Nyx::File::Path& path);

}  // namespace TETLib
