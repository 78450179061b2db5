#include "platform/PathLookup.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <optional>

namespace Platform {
namespace {

bool Exists(const std::string& path, bool* isFolder = nullptr)
{
    struct stat st;
    if (::stat(path.empty() ? "." : path.c_str(), &st) != 0)
        return false;
    if (isFolder)
        *isFolder = S_ISDIR(st.st_mode);
    return true;
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x + ('a' - 'A'));
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y + ('a' - 'A'));
        if (x != y)
            return false;
    }
    return true;
}

// The first entry of a folder (byte order) whose name matches a component
// without regard to case. A component that must hold further components only
// matches folders, so "DATA" the file does not hide "data" the folder.
std::optional<std::string> MatchInFolder(const std::string& folder, std::string_view name, bool wantFolder)
{
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d)
        return std::nullopt;
    std::optional<std::string> best;
    while (struct dirent* e = ::readdir(d)) {
        std::string_view entry = e->d_name;
        if (!EqualNoCase(entry, name))
            continue;
        if (best && entry >= *best)
            continue;
        if (wantFolder) {
            bool dir = false;
            if (!Exists(folder + std::string(entry), &dir) || !dir)
                continue;
        }
        best = std::string(entry);
    }
    ::closedir(d);
    return best;
}

// Walks the components of a path, keeping those that exist and replacing the
// missing ones by a case-insensitive match. When a component has no match at
// all the result is empty, unless keepMissing is set: then that component and
// everything after it is kept as given.
std::string Walk(const std::string& path, bool keepMissing)
{
    std::string out;
    size_t pos = 0;
    if (!path.empty() && path[0] == '/') {
        out = "/";
        pos = 1;
    }
    while (pos < path.size()) {
        size_t slash = path.find('/', pos);
        bool last = slash == std::string::npos;
        std::string_view comp(path.data() + pos, (last ? path.size() : slash) - pos);
        // A path ending in "/" names a folder; its last component must be one.
        bool wantFolder = !last;
        pos = last ? path.size() : slash + 1;

        if (comp.empty() || comp == "." || comp == "..") {
            out.append(comp);
            if (!last)
                out += '/';
            continue;
        }
        std::string candidate = out + std::string(comp);
        bool dir = false;
        if (Exists(candidate, &dir) && (dir || !wantFolder)) {
            out = std::move(candidate);
        } else if (auto match = MatchInFolder(out, comp, wantFolder)) {
            out += *match;
        } else if (keepMissing) {
            out.append(comp);
            if (!last)
                out += '/';
            out.append(path, pos, std::string::npos);
            return out;
        } else {
            return std::string();
        }
        if (!last)
            out += '/';
    }
    return out;
}

}  // namespace

std::string ToForwardSlashes(std::string_view path)
{
    std::string out(path);
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

std::string FindExisting(std::string_view path)
{
    if (path.empty())
        return std::string();
    std::string p = ToForwardSlashes(path);
    if (Exists(p))
        return p;
    return Walk(p, false);
}

std::string PathForCreate(std::string_view path)
{
    std::string p = ToForwardSlashes(path);
    if (p.empty() || Exists(p))
        return p;
    return Walk(p, true);
}

}  // namespace Platform
