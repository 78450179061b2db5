#include "nyx/gfx/materials/RenderingCache.h"

#include <algorithm>

namespace Nyx {

RenderingCacheManager::~RenderingCacheManager()
{
    for (RenderingCache* cache : caches_)
        cache->Release();
}

bool RenderingCacheManager::AddCache(RenderingCache* cache)
{
    if (!cache || FindCache(cache->GetId()))
        return false;
    cache->AddRef();
    caches_.push_back(cache);
    return true;
}

RenderingCache* RenderingCacheManager::FindCache(uint32_t id) const noexcept
{
    for (RenderingCache* cache : caches_)
        if (cache->GetId() == id)
            return cache;
    return nullptr;
}

bool RenderingCacheManager::RemoveCache(RenderingCache* cache)
{
    auto it = std::find(caches_.begin(), caches_.end(), cache);
    if (!cache || it == caches_.end())
        return false;
    caches_.erase(it);
    cache->Release();
    return true;
}

}  // namespace Nyx
