#include "scriptapi/specs/KUIDResolutionCache.h"

KUIDResolutionCache& KUIDResolutionCache::Instance()
{
    static KUIDResolutionCache cache;
    return cache;
}

void KUIDResolutionCache::ResetIfPending()
{
    std::lock_guard<std::mutex> hold(lock_);
    if (resetPending_) {
        resetPending_ = false;
        map_.clear();
    }
}

void KUIDResolutionCache::RequestReset()
{
    std::lock_guard<std::mutex> hold(lock_);
    resetPending_ = true;
}

bool KUIDResolutionCache::Lookup(const KUID& requested, KUID& resolved) const
{
    std::lock_guard<std::mutex> hold(lock_);
    auto found = map_.find(requested);
    if (found == map_.end())
        return false;
    resolved = found->second;
    return true;
}

void KUIDResolutionCache::Store(const KUID& requested, const KUID& resolved)
{
    std::lock_guard<std::mutex> hold(lock_);
    map_[requested] = resolved;
}

size_t KUIDResolutionCache::Count() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return map_.size();
}
