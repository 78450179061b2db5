// The bump-gloss material ("tbumpgloss"): the bump material with a gloss
// texture on stage 3, mixed in by the gloss strength (the second texture's
// value) fading with the chunk's "RustAge".
#pragma once

#include "resources/materials/bump/KestroBumpLayerMaterial.h"

namespace Nyx {

class KestroBumpGlossMaterial : public KestroBumpLayerMaterial {
public:
    static constexpr std::string_view kTypeName = "tbumpgloss";
    static constexpr std::string_view kRustAgeProperty = "RustAge";
    // Gloss weights at or below one step of an 8-bit channel draw no gloss.
    static constexpr float kLeastGloss = 0.003921568859368563f;
    static constexpr int32_t kSpotSourceBlend = 1;
    static constexpr int32_t kSpotDestinationBlend = 1;

    // Takes a reference on each rust program as well.
    KestroBumpGlossMaterial(MaterialManager* manager, RenderingCache* chunkCache, RenderingCache* maskCache,
                            RenderingCache* blendCache, VertexProgram* parallelProgram,
                            TextureCombiner* parallelCombiner, VertexProgram* spotProgram,
                            TextureCombiner* spotCombiner, VertexProgram* rustParallelProgram,
                            TextureCombiner* rustParallelCombiner, VertexProgram* rustSpotProgram,
                            TextureCombiner* rustSpotCombiner);
    ~KestroBumpGlossMaterial() override;

    using KestroBumpLayerMaterial::CreateGeometryChunk;

    OneTextureMaterial* CreateInstance() const override;
    void Activate(int32_t value) override;
    // Every chunk carries "RustAge" from its creation, at 0.0.
    GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                       uint32_t faceCount, uint32_t geometryType, StandardChunkHint* hint) override;
    void SetDisplayState(Display& display) override;

    // g = gloss strength × (1 − 2 × rust age).
    float GlossWeight(float rustAge) const noexcept { return GetSecondValue() * (1.0f - 2.0f * rustAge); }
    VertexProgram* GetRustParallelProgram() const noexcept { return rustParallelProgram_; }
    TextureCombiner* GetRustParallelCombiner() const noexcept { return rustParallelCombiner_; }
    VertexProgram* GetRustSpotProgram() const noexcept { return rustSpotProgram_; }
    TextureCombiner* GetRustSpotCombiner() const noexcept { return rustSpotCombiner_; }

protected:
    void RenderPasses(Display& display, ViewPoint* viewport, GeometryChunk& chunk, const DisplayLightList* lights,
                      const Matrix4& world, const PrimitiveRange* range) override;

private:
    VertexProgram* rustParallelProgram_;
    TextureCombiner* rustParallelCombiner_;
    VertexProgram* rustSpotProgram_;
    TextureCombiner* rustSpotCombiner_;
};

}  // namespace Nyx
