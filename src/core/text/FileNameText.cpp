#include "core/text/FileNameText.h"

#include <array>
#include <cstring>

namespace {

constexpr std::array<uint8_t, 256> MakeLowerCaseTable()
{
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i)
        t[i] = static_cast<uint8_t>(i >= 'A' && i <= 'Z' ? i + ('a' - 'A') : i);
    return t;
}

constexpr std::array<uint8_t, 256> kLowerCase = MakeLowerCaseTable();

inline uint8_t Lower(char c) { return kLowerCase[static_cast<uint8_t>(c)]; }

}  // namespace

bool IsTextureTxtFile(std::string_view path)
{
    constexpr std::string_view kSuffix = ".texture.txt";
    if (path.size() < kSuffix.size())
        return false;
    std::string_view tail = path.substr(path.size() - kSuffix.size());
    for (size_t i = 0; i < kSuffix.size(); ++i) {
        if (Lower(tail[i]) != static_cast<uint8_t>(kSuffix[i]))
            return false;
    }
    return true;
}

bool GetExtension(const char*& ext, const char* path)
{
    if (ext && *ext) {
        if (*ext == '.')
            ++ext;
        return true;
    }
    if (path) {
        // A "." in a folder name says nothing about the file's format.
        const char* name = path;
        for (const char* c = path; *c; ++c) {
            if (*c == '/' || *c == '\\')
                name = c + 1;
        }
        if (const char* dot = std::strrchr(name, '.')) {
            ext = dot + 1;
            return true;
        }
    }
    ext = "";
    return false;
}

bool IsDotOrDotDot(std::string_view name) { return name == "." || name == ".."; }

bool WildcardPrefixMatch(const char* pattern, const char* text)
{
    if (!pattern || !text)
        return false;
    for (; *pattern; ++pattern, ++text) {
        if (!*text)
            return false;
        if (*pattern != '?' && Lower(*pattern) != Lower(*text))
            return false;
    }
    return true;
}

bool LowerCaseBuffer(char* buffer, uint32_t capacity)
{
    if (!buffer || capacity == 0)
        return false;
    for (uint32_t i = 0; i < capacity; ++i) {
        if (!buffer[i])
            return true;
        buffer[i] = static_cast<char>(Lower(buffer[i]));
    }
    buffer[capacity - 1] = 0;
    return false;
}
