#include "core/files/ContentRoot.h"

#include <mutex>

namespace {

struct ContentRoot {
    // A plain mutex: reads copy a short text, and a reader-preferring lock
    // could keep a new root from ever being stored.
    std::mutex lock;
    Nyx::File::Path path;
};

ContentRoot& Root()
{
    // Never destroyed: readers on other threads may outlive static clean-up.
    static ContentRoot* root = new ContentRoot;
    return *root;
}

}  // namespace

Nyx::File::Path GetContentRootPath()
{
    ContentRoot& r = Root();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.path;
}

void SetContentRootPath(const Nyx::File::Path& path)
{
    Nyx::File::Path stored = path;
    stored.RemoveTrailingSeparator();
    ContentRoot& r = Root();
    std::lock_guard<std::mutex> guard(r.lock);
    r.path = std::move(stored);
}
