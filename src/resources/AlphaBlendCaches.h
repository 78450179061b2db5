// The product's two render caches for alpha-blended geometry, which the
// product's materials hand their see-through chunks to: one that sorts what
// it collects back to front, one that draws it in arrival order. Both are
// made once at start-up and enrolled with the display's cache manager.
#pragma once

#include <cstdint>

#include "nyx/gfx/RenderingCache.h"

namespace Nyx {

class KestroAlphaBlendCache : public RenderingCache {
public:
    static constexpr uint32_t kId = 0x4B414253;  // "SBAK"

    KestroAlphaBlendCache() noexcept : RenderingCache(kId) {}
};

class AlphaBlendCacheUnsorted : public RenderingCache {
public:
    static constexpr uint32_t kId = 0x4B414255;  // "UBAK"

    AlphaBlendCacheUnsorted() noexcept : RenderingCache(kId) {}
};

}  // namespace Nyx
