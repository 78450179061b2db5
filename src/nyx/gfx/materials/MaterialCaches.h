// The engine's three render caches that material plug-ins share through
// the display's cache manager: see-through chunks drawn after the opaque
// ones, alpha-masked chunks, and chunks batched by material.
#pragma once

#include <cstdint>

#include "nyx/gfx/materials/RenderingCache.h"

namespace Nyx {

// The base of caches that draw see-through chunks after the rest; the
// one the display's manager holds under AlphaBlendCacheID is the one
// materials hand such chunks to.
class AlphaBlendCache : public RenderingCache {
public:
    static constexpr uint32_t AlphaBlendCacheID = 0x41424C43;  // "CLBA"
    // The engine's argument is kept for whoever made the cache.
    explicit AlphaBlendCache(int32_t value = 0) noexcept : RenderingCache(AlphaBlendCacheID), value_(value) {}
    int32_t GetValue() const noexcept { return value_; }

private:
    int32_t value_;
};

class AlphaMaskCache : public RenderingCache {
public:
    static constexpr uint32_t AlphaMaskCacheID = 0x414D534B;  // "KSMA"
    AlphaMaskCache() noexcept : RenderingCache(AlphaMaskCacheID) {}
};

class MaterialChunkCache : public RenderingCache {
public:
    static constexpr uint32_t MaterialChunkCacheID = 0x4D434843;  // "CHCM"
    MaterialChunkCache() noexcept : RenderingCache(MaterialChunkCacheID) {}
};

}  // namespace Nyx
