// The bump material ("tbumptex"): a one-texture surface lit per pixel
// through a tangent-space bump map (texture index 8), drawn with the
// built-in programs in an ambient-and-parallel-light pass and, for a chunk
// lit by a spot light, an added spot-light pass. The bump-environment and
// bump-gloss materials build on it.
#pragma once

#include <cstdint>
#include <string_view>

#include "nyx/gfx/display/DisplayLight.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/display/Matrix4.h"
#include "resources/materials/bump/PackedVertexPNTA.h"

namespace Nyx {

class TextureCombiner;
class VertexProgram;

class KestroBumpMaterial : public OneTextureMaterial {
public:
    static constexpr std::string_view kTypeName = "tbumptex";
    static constexpr uint32_t kBumpTextureIndex = 8;
    // Blend factors of the engine's enumeration for the added spot pass.
    static constexpr int32_t kSpotSourceBlend = 4;
    static constexpr int32_t kSpotDestinationBlend = 1;

    // Takes a reference on each program and the shared placeholder texture
    // as its bump map.
    KestroBumpMaterial(MaterialManager* manager, RenderingCache* chunkCache, RenderingCache* maskCache,
                       RenderingCache* blendCache, VertexProgram* parallelProgram, TextureCombiner* parallelCombiner,
                       VertexProgram* spotProgram, TextureCombiner* spotCombiner,
                       std::string_view typeName = kTypeName);
    ~KestroBumpMaterial() override;

    using OneTextureMaterial::CreateGeometryChunk;
    using OneTextureMaterial::GetTexture;
    using OneTextureMaterial::RenderChunk;
    using OneTextureMaterial::SetTexture;

    OneTextureMaterial* CreateInstance() const override;
    Material* Duplicate() const override;
    bool Equals(const Material& other) const override;
    void Activate(int32_t value) override;
    // The engine's entry: a copy of the hint goes to the form below.
    GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                       uint32_t faceCount, uint32_t primitiveCode,
                                       const StandardChunkHint& hint) override;
    // A PNTA chunk; the hint's item byte is adjusted (no separate normals).
    virtual GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                               uint32_t faceCount, uint32_t geometryType, StandardChunkHint* hint);
    uint32_t DuplicateTexture(uint32_t index) override;
    Texture* GetTexture(uint32_t index) const override;
    uint32_t SetTexture(Texture* texture, uint32_t index, float value) override;
    uint32_t SetTexture(uint32_t index, const ResourceDatabase* database, const PString& name, float value) override;
    void RenderChunk(Display& display, ViewPoint* viewport, GeometryChunk& chunk, const DisplayLightList* lights,
                     const Matrix4& world, int32_t pass) override;
    void RenderNumChunks(Display& display, ViewPoint* viewport, GeometryChunk* const* chunks,
                         const DisplayLightList* const* lights, const Matrix4* const* worlds,
                         uint32_t count) override;
    void RenderPrimitives(Display& display, ViewPoint* viewport, GeometryChunk& chunk, const DisplayLightList* lights,
                          const Matrix4& world, const PrimitiveRange& range, int32_t pass) override;
    uint32_t IsLoaded() const override;
    void SetDisplayState(Display& display) override;
    void ClearDisplayState(Display& display) override;

    Texture* GetBumpTexture() const noexcept { return bump_; }
    VertexProgram* GetParallelProgram() const noexcept { return parallelProgram_; }
    TextureCombiner* GetParallelCombiner() const noexcept { return parallelCombiner_; }
    VertexProgram* GetSpotProgram() const noexcept { return spotProgram_; }
    TextureCombiner* GetSpotCombiner() const noexcept { return spotCombiner_; }

    // The first light of the kind with the largest diffuse red + green +
    // blue; null when the list holds none.
    static const DisplayLight* BrightestLight(const DisplayLightList* lights, uint32_t kind);
    // The camera's view transform (world to camera) of the viewport.
    static Matrix4 ViewTransform(const ViewPoint& viewport);
    // M = view × world⁻¹, which maps the lights and the camera for the
    // vertex programs.
    static Matrix4 ObjectTransform(const ViewPoint& viewport, const Matrix4& world);

protected:
    // The ambient and brightest-parallel-light constants. Without a
    // parallel light the Specular register is cleared only when asked.
    void ParallelSetup(Display& display, const ViewPoint& viewport, const DisplayLightList* lights,
                       const Matrix4& world, VertexProgram& program, TextureCombiner& combiner,
                       uint32_t specularRegister, bool clearSpecular) const;
    void SpotSetup(Display& display, const ViewPoint& viewport, const DisplayLight& spot, const Matrix4& world,
                   VertexProgram& program, TextureCombiner& combiner, uint32_t specularRegister) const;
    // The chunk, or the range of it, with the program.
    static void Draw(Display& display, ViewPoint* viewport, GeometryChunk& chunk, const VertexProgram* program,
                     const PrimitiveRange* range);
    // The added spot pass: blending on with the factors and fog off around
    // the spot set-up and draw; `lerp` goes to the spot combiner's register
    // 2 first when given.
    void SpotPass(Display& display, ViewPoint* viewport, GeometryChunk& chunk, const DisplayLight& spot,
                  const Matrix4& world, int32_t source, int32_t destination, uint32_t specularRegister,
                  const DisplayColour* lerp, const PrimitiveRange* range);
    // The whole draw of one chunk, or of a range of it.
    virtual void RenderPasses(Display& display, ViewPoint* viewport, GeometryChunk& chunk,
                              const DisplayLightList* lights, const Matrix4& world, const PrimitiveRange* range);
    bool HasPrograms() const noexcept { return parallelProgram_ && parallelCombiner_ && spotProgram_ && spotCombiner_; }
    // The bump part of a copy.
    void InitBumpInstance(const KestroBumpMaterial& from);

private:
    void SetBumpTexture(Texture* texture);

    Texture* bump_ = nullptr;
    VertexProgram* parallelProgram_;
    TextureCombiner* parallelCombiner_;
    VertexProgram* spotProgram_;
    TextureCombiner* spotCombiner_;
};

}  // namespace Nyx
