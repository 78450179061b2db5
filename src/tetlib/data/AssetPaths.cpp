#include "tetlib/data/AssetPaths.h"

#include "core/ContentRoot.h"

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

}  // namespace TETLib
