// The one-texture-no-alpha material ("tonetexnoalpha"): the ground base
// drawn as if its texture had no alpha, with the display's colour-material
// mode switched to 5 while drawn, on PNT chunks (or PCT chunks with normals
// of their own when the hint asks for separate normals).
#pragma once

#include <cstdint>
#include <string_view>

#include "nyx/gfx/display/DisplayLight.h"
#include "resources/materials/onetex/KestroGroundBaseMaterial.h"

namespace Nyx {

class KestroOneTexNoAlphaMaterial : public KestroGroundBaseMaterial {
public:
    static constexpr std::string_view kTypeName = "tonetexnoalpha";
    static constexpr int32_t kColourMaterialMode = 5;

    // The set-up stays the plug-in's; it is held for the engine, which
    // applies it on its own.
    KestroOneTexNoAlphaMaterial(MaterialManager* manager, RenderingCache* chunkCache, RenderingCache* maskCache,
                                RenderingCache* blendCache, TextureStageSetup* setup);

    using KestroGroundBaseMaterial::RenderChunk;

    OneTextureMaterial* CreateInstance() const override;
    Material* Duplicate() const override;
    bool Equals(const Material& other) const override;
    void CacheAlphaHint() override;
    void SetDisplayState(Display& display) override;
    void ClearDisplayState(Display& display) override;
    // The engine's entry: a copy of the hint goes to the form below.
    GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                       uint32_t faceCount, uint32_t primitiveCode,
                                       const StandardChunkHint& hint) override;
    // May mark the hint's item byte (bit 2) for the render device.
    GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                       uint32_t faceCount, uint32_t geometryType, StandardChunkHint* hint);
    void RenderChunk(Display& display, ViewPoint* viewport, GeometryChunk& chunk, const DisplayLightList* lights,
                     const Matrix4& world, int32_t pass) override;
    void RenderNumChunks(Display& display, ViewPoint* viewport, GeometryChunk* const* chunks,
                         const DisplayLightList* const* lights, const Matrix4* const* worlds,
                         uint32_t count) override;
    void RenderPrimitives(Display& display, ViewPoint* viewport, GeometryChunk& chunk, const DisplayLightList* lights,
                          const Matrix4& world, const PrimitiveRange& range, int32_t pass) override;

    TextureStageSetup* GetSetupHandle() const noexcept { return setup_; }

private:
    void DrawLit(Display& display, ViewPoint* viewport, GeometryChunk& chunk, const DisplayLightList* lights,
                 const Matrix4& world, const PrimitiveRange* range);

    TextureStageSetup* setup_;
};

}  // namespace Nyx
