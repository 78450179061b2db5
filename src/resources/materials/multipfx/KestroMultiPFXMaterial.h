// The multi-effect material ("tmpfx"): a one-texture surface with a second,
// effect texture (texture index 12) on stage 1, placed by its own texture
// matrix and combined with the base by the plug-in's two stage set-ups. Its
// chunks are PCT chunks with normals of their own, read through vertex
// type 99, whose effect coordinates are the base texture's.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "nyx/gfx/display/DisplayLight.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/display/Matrix4.h"
#include "nyx/gfx/chunks/VertexType.h"

namespace Nyx {

class KestroMultiPFXMaterial : public OneTextureMaterial {
public:
    static constexpr std::string_view kTypeName = "tmpfx";
    static constexpr uint32_t kEffectTextureIndex = 12;
    static constexpr uint32_t kVertexTypeId = 99;

    // The set-ups stay the plug-in's (it outlives its materials).
    KestroMultiPFXMaterial(MaterialManager* manager, RenderingCache* chunkCache, RenderingCache* maskCache,
                           RenderingCache* blendCache, TextureStageSetup* setup0, TextureStageSetup* setup1);
    ~KestroMultiPFXMaterial() override;

    using OneTextureMaterial::CreateGeometryChunk;
    using OneTextureMaterial::GetTexture;
    using OneTextureMaterial::RenderChunk;
    using OneTextureMaterial::SetTexture;

    OneTextureMaterial* CreateInstance() const override;
    Material* Duplicate() const override;
    bool Equals(const Material& other) const override;
    void SetResourcePriority(float priority) override;
    void Activate(int32_t value) override;
    GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                       uint32_t faceCount, uint32_t primitiveCode,
                                       const StandardChunkHint& hint) override;
    uint32_t DuplicateTexture(uint32_t index) override;
    Texture* GetTexture(uint32_t index) const override;
    uint32_t SetTexture(Texture* texture, uint32_t index, float value) override;
    // A name the database does not know leaves the effect texture as it was.
    uint32_t SetTexture(uint32_t index, const ResourceDatabase* database, const PString& name, float value) override;
    uint32_t IsLoaded() const override;
    // The display state of pass 0; other passes change nothing.
    void Bind(Display& display, ViewPoint* viewport, uint32_t pass);
    void Unbind(Display& display, ViewPoint* viewport, uint32_t pass);
    void SetDisplayState(Display& display) override;
    void ClearDisplayState(Display& display) override;
    void RenderChunk(Display& display, ViewPoint* viewport, GeometryChunk& chunk, const DisplayLightList* lights,
                     const Matrix4& world, int32_t pass) override;
    void RenderNumChunks(Display& display, ViewPoint* viewport, GeometryChunk* const* chunks,
                         const DisplayLightList* const* lights, const Matrix4* const* worlds,
                         uint32_t count) override;
    void RenderPrimitives(Display& display, ViewPoint* viewport, GeometryChunk& chunk, const DisplayLightList* lights,
                          const Matrix4& world, const PrimitiveRange& range, int32_t pass) override;

    Texture* GetEffectTexture() const noexcept { return effect_; }
    const Matrix4& GetEffectMatrix() const noexcept { return effectMatrix_; }
    void SetEffectMatrix(const Matrix4& matrix) noexcept { effectMatrix_ = matrix; }
    // Null until the first chunk is made.
    const VertexType* GetVertexType() const noexcept { return vertexType_.get(); }
    TextureStageSetup* GetSetup(uint32_t i) const noexcept { return i < 2 ? setups_[i] : nullptr; }

private:
    void HoldEffect(Texture* texture);
    void DrawLit(Display& display, ViewPoint* viewport, GeometryChunk& chunk, const DisplayLightList* lights,
                 const Matrix4& world, const PrimitiveRange* range);

    Texture* effect_ = nullptr;
    TextureStageSetup* setups_[2];
    Matrix4 effectMatrix_;
    std::unique_ptr<VertexType> vertexType_;
    bool vertexTypeRegistered_ = false;
};

}  // namespace Nyx
