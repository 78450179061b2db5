// The real folders a folder walk has entered, by device and inode: links
// that lead back to a folder already walked (a link to ".", two links to
// each other) are entered once, so every walk ends.
#pragma once

#include <set>
#include <string_view>
#include <sys/types.h>
#include <utility>

struct stat;

namespace Platform {

class VisitedFolders {
public:
    // True the first time the folder the path names (links followed) is
    // entered; false when it was entered before, is no folder or is not
    // given.
    bool Enter(std::string_view path);
    // The same for a folder already looked at.
    bool Enter(const struct stat& folder);
    size_t Count() const noexcept { return seen_.size(); }

private:
    std::set<std::pair<dev_t, ino_t>> seen_;
};

}  // namespace Platform
