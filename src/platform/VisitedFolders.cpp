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
    return seen_.insert({st.st_dev, st.st_ino}).second;
}

}  // namespace Platform
