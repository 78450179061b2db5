#include "tetlib/writers/FileExtensions.h"

#include "tetlib/container/DefinitionKeys.h"

namespace TETLib {

namespace {

// The editable form takes a mesh text named with ".txt" alone; the other
// wants its two extensions.
constexpr ExtensionRule kFixedRules[] = {
    {"meshes", "im lm lm.txt pm srt", "$tet_container_nomeshext"},
    {"image", "bmp tga jpg texture txt", "$tet_container_nopictureext"},
    {"animation", "kin", "$tet_container_noanimationext"},
};
constexpr ExtensionRule kEditableRules[] = {
    {"meshes", "im lm txt pm srt", "$tet_container_nomeshext"},
    {"image", "bmp tga jpg texture txt", "$tet_container_nopictureext"},
    {"animation", "kin", "$tet_container_noanimationext"},
};

std::string_view LastComponent(std::string_view path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool HasExtension(std::string_view path, std::string_view extension)
{
    const std::string_view name = LastComponent(path);
    if (extension.empty() || name.size() < extension.size() + 1)
        return false;
    const size_t dot = name.size() - extension.size() - 1;
    return name[dot] == '.' && EqualsIgnoringCase(name.substr(dot + 1), extension);
}

std::string WithoutTextExtension(std::string_view path)
{
    if (HasExtension(path, "txt"))
        path.remove_suffix(4);
    return std::string(path);
}

const ExtensionRule* FindExtensionRule(std::string_view dataType, bool editable)
{
    for (const ExtensionRule& rule : editable ? kEditableRules : kFixedRules)
        if (dataType == rule.dataType)
            return &rule;
    return nullptr;
}

}  // namespace TETLib
