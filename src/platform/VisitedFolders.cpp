#include "platform/VisitedFolders.h"

#include <string>
#include <sys/stat.h>

namespace Platform {

bool VisitedFolders::Enter(std::string_view path)
{
    if (path.empty())
        return false;
    const std::string text(path);
    struct stat st;
    if (::stat(text.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return Enter(st);
}

bool VisitedFolders::Enter(const struct stat& folder)
{
    return S_ISDIR(folder.st_mode) && seen_.insert({folder.st_dev, folder.st_ino}).second;
}

}  // namespace Platform
