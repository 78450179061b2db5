// What the bump-environment and bump-gloss materials share over the bump
// material: a second texture (index 9) with the value it was set with, a
// layer on texture stage 3, and drawing chunk by chunk.
#pragma once

#include "resources/materials/bump/KestroBumpMaterial.h"

namespace Nyx {

class KestroBumpLayerMaterial : public KestroBumpMaterial {
public:
    static constexpr uint32_t kSecondTextureIndex = 9;
    static constexpr uint32_t kLayerStage = 3;

    // Takes the shared placeholder texture as its second texture.
    KestroBumpLayerMaterial(MaterialManager* manager, RenderingCache* chunkCache, RenderingCache* maskCache,
                            RenderingCache* blendCache, VertexProgram* parallelProgram,
                            TextureCombiner* parallelCombiner, VertexProgram* spotProgram,
                            TextureCombiner* spotCombiner, std::string_view typeName);
    ~KestroBumpLayerMaterial() override;

    using KestroBumpMaterial::GetTexture;
    using KestroBumpMaterial::SetTexture;

    bool Equals(const Material& other) const override;
    GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                       uint32_t faceCount, uint32_t geometryType, StandardChunkHint* hint) override;
    using KestroBumpMaterial::CreateGeometryChunk;
    uint32_t DuplicateTexture(uint32_t index) override;
    Texture* GetTexture(uint32_t index) const override;
    uint32_t SetTexture(Texture* texture, uint32_t index, float value) override;
    uint32_t SetTexture(uint32_t index, const ResourceDatabase* database, const PString& name, float value) override;
    // Chunk by chunk, each as RenderChunk draws it.
    void RenderNumChunks(Display& display, ViewPoint* viewport, GeometryChunk* const* chunks,
                         const DisplayLightList* const* lights, const Matrix4* const* worlds,
                         uint32_t count) override;
    uint32_t IsLoaded() const override;
    void CacheAlphaHint() override;
    void ClearDisplayState(Display& display) override;

    Texture* GetSecondTexture() const noexcept { return second_; }
    float GetSecondValue() const noexcept { return secondValue_; }

protected:
    void InitLayerInstance(const KestroBumpLayerMaterial& from);

private:
    void SetSecondTexture(Texture* texture);

    Texture* second_ = nullptr;
    float secondValue_ = 0.0f;
};

}  // namespace Nyx
