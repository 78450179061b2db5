#include "tetlib/data/AssetPaths.h"

#include <string>
#include <vector>

#include "core/files/ContentRoot.h"

namespace TETLib {

bool MakeRelativeTo(const Nyx::File::Path& root, const Nyx::File::Path& path, Nyx::File::Path& relative)
{
    Nyx::File::Path base = root;
    base.RemoveTrailingSeparator();
    const std::string_view b = base.View();
    const std::string_view p = path.View();
    if (b.empty() || p.size() <= b.size() || p.substr(0, b.size()) != b)
        return false;
    std::string_view rest = p.substr(b.size());
    if (b.back() != '/') {
        if (rest.front() != '/')
            return false;
        rest.remove_prefix(1);
    }
    while (!rest.empty() && rest.front() == '/')
        rest.remove_prefix(1);
    if (rest.empty())
        return false;
    relative = Nyx::File::Path(rest);
    return true;
}

std::string_view FirstComponent(const Nyx::File::Path& path)
{
    const std::string_view p = path.View();
    return p.substr(0, p.find('/'));
}

Nyx::File::Path InContentRoot(const Nyx::File::Path& path)
{
    if (path.IsAbsolute())
        return path;
    Nyx::File::Path full = GetContentRootPath();
    full.AddPath(path.View());
    return full;
}

bool LeavesFolder(const Nyx::File::Path& path)
{
    if (path.IsAbsolute())
        return true;
    const Nyx::File::Path normal = LexicallyNormal(path);
    const std::string_view view = normal.View();
    return view == ".." || view.substr(0, 3) == "../";
}

Nyx::File::Path LexicallyNormal(const Nyx::File::Path& path)
{
    const std::string_view text = path.View();
    const bool absolute = path.IsAbsolute();
    std::vector<std::string_view> parts;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('/', at);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view part = text.substr(at, end - at);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..")
                parts.pop_back();
            else if (!absolute)
                parts.push_back(part);
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    std::string out = absolute ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += '/';
        out.append(parts[i]);
    }
    if (!parts.empty() && !text.empty() && text.back() == '/')
        out += '/';
    return Nyx::File::Path(out);
}

bool ResolveAssetFolder(const Nyx::File::Path& root, Nyx::PString& folderName, const Nyx::File::Path& path,
                        Nyx::File::Path& folder)
{
    Nyx::File::Path full;
    if (path.IsAbsolute()) {
        full = path;
    } else {
        full = root;
        if (!folderName.Empty())
            full.AddPath(folderName.View());
        full.AddPath(path.View());
    }
    full = LexicallyNormal(full);
    if (folderName.Empty()) {
        Nyx::File::Path relative;
        if (!MakeRelativeTo(LexicallyNormal(root), full, relative))
            return false;
        folderName = Nyx::PStringCache::ToLower(Nyx::PString(FirstComponent(relative)));
    }
    full.EnsureTrailingSeparator();
    folder = full;
    return true;
}

Nyx::File::Path ShownPath(const Nyx::File::Path& root, const Nyx::File::Path& path)
{
    Nyx::File::Path relative;
    if (MakeRelativeTo(root, path, relative))
        return relative;
    return path;
}

}  // namespace TETLib
