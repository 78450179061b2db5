// The gloss-rust material ("tglossrust"): a one-texture surface that is
// glossy (its reflection laid over the base texture) while new and rusted
// once old. Each chunk carries its own age, the float property "RustAge"
// (0 new, 1 fully rusted), so one material serves every mesh that shares
// it. Stages 0 and 1 blend with a stage constant worked out per chunk.
#pragma once

#include <cstdint>
#include <string_view>

#include "nyx/gfx/display/DisplayLight.h"
#include "nyx/gfx/materials/ReflectiveMaterial.h"

namespace Nyx {

class KestroGlossRustMaterial : public ReflectiveMaterial {
public:
    static constexpr std::string_view kTypeName = "tglossrust";
    static constexpr std::string_view kRustAgeProperty = "RustAge";
    // The gloss pass draws while the gloss weight is above 1/255.
    static constexpr float kGlossThreshold = 0.003921568859368563f;
    // Set-up handles: gloss stages 0 and 1, then rust stages 0 and 1.
    static constexpr uint32_t kGlossSetups = 2;
    static constexpr uint32_t kRustSetups = 4;

    KestroGlossRustMaterial(MaterialManager* manager, RenderingCache* chunkCache, RenderingCache* maskCache,
                            RenderingCache* blendCache, uint32_t setupCount, TextureStageSetup* const* setups);

    using ReflectiveMaterial::RenderChunk;

    OneTextureMaterial* CreateInstance() const override;
    Material* Duplicate() const override;
    bool Equals(const Material& other) const override;
    // The reflective chunk, with "RustAge" at 0.
    GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                       uint32_t faceCount, uint32_t primitiveCode,
                                       const StandardChunkHint& hint) override;
    void RenderChunk(Display& display, ViewPoint* viewport, GeometryChunk& chunk, const DisplayLightList* lights,
                     const Matrix4& world, int32_t pass) override;
    void RenderNumChunks(Display& display, ViewPoint* viewport, GeometryChunk* const* chunks,
                         const DisplayLightList* const* lights, const Matrix4* const* worlds,
                         uint32_t count) override;
    void RenderPrimitives(Display& display, ViewPoint* viewport, GeometryChunk& chunk, const DisplayLightList* lights,
                          const Matrix4& world, const PrimitiveRange& range, int32_t pass) override;
    void ClearDisplayState(Display& display) override;

    // The chunk's age; 0 when it has none.
    static float RustAge(const GeometryChunk& chunk);
    // reflectivity × (1 − 2 × age): the gloss pass draws while it is above
    // kGlossThreshold, the rust pass otherwise.
    float GlossWeight(float age) const noexcept { return GetReflectivity() * (1.0f - 2.0f * age); }
    // The rust pass's stage constant: ambient light plus the chunk's
    // lights (diffuse), clamped, times the material's ambient colour; alpha
    // max(2 × age − 1, 0).
    static DisplayColour RustConstant(const Display& display, const DisplayLightList* lights,
                                      const DisplayColour& ambient, float age);

private:
    // The draw of one chunk, or of a range of it.
    void Render(Display& display, ViewPoint* viewport, GeometryChunk& chunk, const DisplayLightList* lights,
                const Matrix4& world, const PrimitiveRange* range);
    // Specular as the age wants it: the saved one, times 1.5 − age past
    // half age.
    void SetAgedSpecular(const DisplayColour& saved, float age);
    void SetStageConstants(Display& display, const DisplayColour& colour) const;
    void ApplySetups(Display& display, uint32_t first, uint32_t needed) const;
    // The reflection's coordinates for the gloss pass, and their undoing.
    void SetGlossCoordinates(Display& display, const ViewPoint* viewport, GeometryChunk& chunk,
                             const Matrix4& world) const;
    void RestoreGlossCoordinates(Display& display) const;
    void SetChunkLighting(Display& display, const ViewPoint* viewport, GeometryChunk& chunk,
                          const DisplayLightList* lights, const Matrix4& world);
    static void Draw(Display& display, ViewPoint* viewport, GeometryChunk& chunk, const PrimitiveRange* range);
};

}  // namespace Nyx
