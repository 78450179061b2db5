// Rendering caches: objects that collect geometry during a frame and draw
// it at its end (alpha-blended geometry after everything opaque, for one).
// Each kind of cache has an id of its own; the display's manager holds at
// most one cache per id, and materials find theirs by that id.
#pragma once

#include <cstdint>
#include <vector>

#include "nyx/base/ReferenceCount.h"

namespace Nyx {

class Display;
class DisplayLight;
class GeometryChunk;
class OneTextureMaterial;
class ViewPoint;
struct Matrix4;

class RenderingCache : public ReferenceCount {
public:
    explicit RenderingCache(uint32_t id) noexcept : id_(id) {}
    RenderingCache(const RenderingCache&) = delete;
    RenderingCache& operator=(const RenderingCache&) = delete;

    uint32_t GetId() const noexcept { return id_; }
    // Geometry handed to the cache since the last flush.
    uint32_t GetPendingCount() const noexcept { return pending_; }
    // Draws what was collected, and empties the cache.
    virtual void Flush() { pending_ = 0; }

    // ---- the frame's use of a cache; the engine's own caches keep nothing ----

    // Forgets what was collected.
    virtual void Clear() {}
    // The same, for caches that do not hold on to their chunks.
    virtual void ClearUnlessHeld() {}
    // Draws what was collected.
    virtual void RenderChunks(Display& /*display*/, ViewPoint* /*viewport*/) {}
    // A scene drawn inside another (nested) or the frame's own.
    virtual void Enter(Display& /*display*/, ViewPoint* /*viewport*/, bool /*nested*/) {}
    virtual void Leave(Display& /*display*/, ViewPoint* /*viewport*/, bool /*nested*/) {}
    virtual bool IsEmpty() const { return true; }
    // Takes a chunk to draw later with the material, its lights and the
    // world matrix; the chunk, the material and the lights must outlive the
    // frame. False when the cache keeps nothing.
    virtual bool AddChunk(OneTextureMaterial& /*material*/, GeometryChunk& /*chunk*/,
                          const std::vector<const DisplayLight*>* /*lights*/, const Matrix4& /*world*/)
    {
        return false;
    }
    // The display state around RenderChunks' draws.
    virtual void BeginPass(Display& /*display*/) {}
    virtual void EndPass(Display& /*display*/) {}

protected:
    void AddPending() noexcept { ++pending_; }

private:
    uint32_t id_;
    uint32_t pending_ = 0;
};

class RenderingCacheManager {
public:
    RenderingCacheManager() = default;
    RenderingCacheManager(const RenderingCacheManager&) = delete;
    RenderingCacheManager& operator=(const RenderingCacheManager&) = delete;
    // Gives back every reference the manager holds.
    ~RenderingCacheManager();

    // Takes a reference on the cache. False, and nothing held, for null or
    // when a cache of the same id is already there.
    bool AddCache(RenderingCache* cache);
    // The cache of that id, without a reference for the caller; null when
    // there is none.
    RenderingCache* FindCache(uint32_t id) const noexcept;
    // Gives back the manager's reference; false when it did not hold the
    // cache.
    bool RemoveCache(RenderingCache* cache);
    uint32_t GetCacheCount() const noexcept { return static_cast<uint32_t>(caches_.size()); }

private:
    std::vector<RenderingCache*> caches_;
};

// The engine's own cache for alpha-blended geometry drawn in the order it
// arrives.
class UnsortedAlphaBlendCache : public RenderingCache {
public:
    static constexpr uint32_t kId = 0x4E414243;  // "CBAN"

    explicit UnsortedAlphaBlendCache(int32_t mode) noexcept : RenderingCache(kId), mode_(mode) {}
    int32_t GetMode() const noexcept { return mode_; }

private:
    int32_t mode_;
};

}  // namespace Nyx
