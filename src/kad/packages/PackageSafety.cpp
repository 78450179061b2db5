#include "kad/packages/PackageSafety.h"

#include <cstring>
#include <string_view>

#include "config/formats/ConfigFile.h"

namespace {

bool IsSafeNameByte(unsigned char c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return true;
    return c != 0 && std::strchr("-&,+'._$ ()~", c) != nullptr;
}

constexpr const char* kPackageFileTypes[] = {
    "txt", "bmp", "tga", "chump", "pm",  "im",  "kin", "wav", "jpg", "jpeg", "gnd",
    "ref", "tso", "obs", "trk",   "texture", "bmk", "dat", "gs",  "gse", "html", "htm",
    "evt", "lm",  "mp3", "lst",   "pfx", "tfx", "avi", "wmv", "lyr", "trc",  "srt",
};

}  // namespace

bool IsSafeFileName(const char* name)
{
    if (!name || !*name)
        return false;
    if (name[0] == ' ' || name[0] == '.' || name[0] == '~')
        return false;
    size_t length = 0;
    for (const char* p = name; *p; ++p, ++length) {
        if (!IsSafeNameByte(static_cast<unsigned char>(*p)))
            return false;
    }
    return name[length - 1] != ' ';
}

bool IsSafeFolderPath(const char* path)
{
    if (!path)
        return true;
    // An empty component holds no byte other than "." either.
    bool sawOther = false;
    for (const char* p = path; *p; ++p) {
        if (*p == '/' || *p == '\\') {
            if (!sawOther)
                return false;
            sawOther = false;
            continue;
        }
        sawOther = sawOther || *p != '.';
    }
    return true;
}

bool IsPackageFileType(const char* path)
{
    if (!path)
        return false;
    std::string_view text(path);
    size_t slash = text.find_last_of("/\\");
    std::string_view name = slash == std::string_view::npos ? text : text.substr(slash + 1);
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return false;
    std::string_view extension = name.substr(dot + 1);
    for (const char* type : kPackageFileTypes) {
        if (EqualsNoCase(extension, type))
            return true;
    }
    return false;
}
