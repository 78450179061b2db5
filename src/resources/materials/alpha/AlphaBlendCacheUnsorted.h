// The product's cache for alpha-blended chunks drawn in the order they
// arrive, blending source alpha over what is there, with depth writes off.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "nyx/gfx/display/DisplayLight.h"
#include "nyx/gfx/display/Matrix4.h"
#include "nyx/gfx/materials/RenderingCache.h"

namespace Nyx {

class AlphaBlendCacheUnsorted : public RenderingCache {
public:
    static constexpr uint32_t kId = 0x4B414255;  // "UBAK"
    static constexpr std::string_view kName = "AlphaBlendCacheUnsorted";
    static constexpr float kPriority = 55.0f;
    // The blend factors of the engine's enumeration it draws with.
    static constexpr int32_t kSourceBlend = 4;
    static constexpr int32_t kDestinationBlend = 5;

    AlphaBlendCacheUnsorted() noexcept : RenderingCache(kId) {}

    std::string_view GetName() const noexcept { return kName; }
    float GetPriority() const noexcept { return kPriority; }
    uint32_t GetCount() const noexcept { return static_cast<uint32_t>(chunks_.size()); }

    void Clear() override;
    void ClearUnlessHeld() override { Clear(); }
    void RenderChunks(Display& display, ViewPoint* viewport) override;
    bool IsEmpty() const override { return chunks_.empty(); }
    bool AddChunk(OneTextureMaterial& material, GeometryChunk& chunk, const DisplayLightList* lights,
                  const Matrix4& world) override;
    void BeginPass(Display& display) override;
    void EndPass(Display& display) override;

private:
    // One entry per chunk, in arrival order.
    std::vector<GeometryChunk*> chunks_;
    std::vector<OneTextureMaterial*> materials_;
    std::vector<Matrix4> worlds_;
    std::vector<const DisplayLightList*> lights_;
    int32_t source_ = kSourceBlend;
    int32_t destination_ = kDestinationBlend;
    int32_t savedSource_ = 0;
    int32_t savedDestination_ = 0;
};

}  // namespace Nyx
