// The file-name tests of the value writers: extensions compare without
// regard to case, and an extension of two parts ("lm.txt") means the last
// two extensions of the name.
#pragma once

#include <string>
#include <string_view>

namespace TETLib {

// The last component of the path ends in "." and the extension.
bool HasExtension(std::string_view path, std::string_view extension);
// The path without its last extension when that is "txt"
// ("a.texture.txt" gives "a.texture"); the path unchanged otherwise.
std::string WithoutTextExtension(std::string_view path);
// The extensions a file reference of that data type accepts, separated by
// blanks, and the key reported for one it does not; null for a data type
// that is not checked.
struct ExtensionRule {
    const char* dataType;
    const char* extensions;
    const char* key;
};
const ExtensionRule* FindExtensionRule(std::string_view dataType, bool editable);

}  // namespace TETLib
