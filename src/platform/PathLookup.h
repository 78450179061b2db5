// File-name lookups on a case-sensitive file system for data that names its
// files without regard to case.
#pragma once

#include <string>
#include <string_view>

namespace Platform {

// Turns every "\" into "/".
std::string ToForwardSlashes(std::string_view path);

// The path of an existing file or folder: the path itself when it exists,
// else each missing component replaced by the first entry of its folder (in
// byte order) that matches it without regard to ASCII case. Empty when no
// such file exists.
std::string FindExisting(std::string_view path);

// The path to create a file at: an existing match (as FindExisting) when
// there is one, else the path with its folder part resolved as far as it
// exists and the rest kept as given.
std::string PathForCreate(std::string_view path);

}  // namespace Platform
