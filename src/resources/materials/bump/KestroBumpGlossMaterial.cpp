#include "resources/materials/bump/KestroBumpGlossMaterial.h"

#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/textures/Texture.h"
#include "nyx/gfx/display/TextureCombiner.h"
#include "nyx/gfx/display/VertexProgram.h"
#include "resources/materials/bump/HeldReference.h"

namespace Nyx {

namespace {

using bumpreference::Drop;
using bumpreference::Hold;

const PString& RustAgeName()
{
    static const PString name(KestroBumpGlossMaterial::kRustAgeProperty);
    return name;
}

}  // namespace

KestroBumpGlossMaterial::KestroBumpGlossMaterial(
    MaterialManager* manager, RenderingCache* chunkCache, RenderingCache* maskCache, RenderingCache* blendCache,
    VertexProgram* parallelProgram, TextureCombiner* parallelCombiner, VertexProgram* spotProgram,
    TextureCombiner* spotCombiner, VertexProgram* rustParallelProgram, TextureCombiner* rustParallelCombiner,
    VertexProgram* rustSpotProgram, TextureCombiner* rustSpotCombiner)
    : KestroBumpLayerMaterial(manager, chunkCache, maskCache, blendCache, parallelProgram, parallelCombiner,
                              spotProgram, spotCombiner, kTypeName),
      rustParallelProgram_(Hold(rustParallelProgram)), rustParallelCombiner_(Hold(rustParallelCombiner)),
      rustSpotProgram_(Hold(rustSpotProgram)), rustSpotCombiner_(Hold(rustSpotCombiner))
{
}

KestroBumpGlossMaterial::~KestroBumpGlossMaterial()
{
    Drop(rustParallelProgram_);
    Drop(rustParallelCombiner_);
    Drop(rustSpotProgram_);
    Drop(rustSpotCombiner_);
}

OneTextureMaterial* KestroBumpGlossMaterial::CreateInstance() const
{
    auto* copy = new KestroBumpGlossMaterial(GetManager(), GetChunkCache(), GetMaskCache(), GetBlendCache(),
                                             GetParallelProgram(), GetParallelCombiner(), GetSpotProgram(),
                                             GetSpotCombiner(), rustParallelProgram_, rustParallelCombiner_,
                                             rustSpotProgram_, rustSpotCombiner_);
    copy->InitLayerInstance(*this);
    return copy;
}

void KestroBumpGlossMaterial::Activate(int32_t value)
{
    if (GetSecondTexture())
        GetSecondTexture()->Activate(value);
    KestroBumpMaterial::Activate(value);
}

GeometryChunk* KestroBumpGlossMaterial::CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount,
                                                            uint32_t indexCount, uint32_t faceCount,
                                                            uint32_t geometryType, StandardChunkHint* hint)
{
    GeometryChunk* chunk = KestroBumpLayerMaterial::CreateGeometryChunk(vertexCount, primitiveCount, indexCount,
                                                                        faceCount, geometryType, hint);
    if (chunk && chunk->AddChunkProperty(RustAgeName()))
        chunk->SetChunkProperty(RustAgeName(), 0.0f);
    return chunk;
}

void KestroBumpGlossMaterial::SetDisplayState(Display& display)
{
    if (GetSecondTexture())
        GetSecondTexture()->BindToStage(display, kLayerStage);
    else
        display.ClearStageTexture(kLayerStage);
    if (GetBumpTexture())
        GetBumpTexture()->BindToStage(display, 1);
    else
        display.ClearStageTexture(1);
    OneTextureMaterial::SetDisplayState(display);
}

void KestroBumpGlossMaterial::RenderPasses(Display& display, ViewPoint* viewport, GeometryChunk& chunk,
                                           const DisplayLightList* lights, const Matrix4& world,
                                           const PrimitiveRange* range)
{
    if (!viewport || !HasPrograms())
        return;
    const DisplayColour ambient = GetColour(kAmbient);
    SetAmbientColor({1.0f, 1.0f, 1.0f, 1.0f});
    float rustAge = 0.0f;
    chunk.GetChunkProperty(RustAgeName(), rustAge);
    const DisplayLight* spot = lights ? BrightestLight(lights, DisplayLight::kSpot) : nullptr;

    SetDisplayState(display);
    const float g = GlossWeight(rustAge);
    TextureCombiner& combiner = *GetParallelCombiner();
    if (g > kLeastGloss) {
        const DisplayColour lerp{g, g, g, g};
        combiner.SetConstantRegister(2, lerp);
        ParallelSetup(display, *viewport, lights, world, *GetParallelProgram(), combiner, 3, false);
        combiner.Enable();
        Draw(display, viewport, chunk, GetParallelProgram(), range);
        combiner.Disable();
        if (spot)
            SpotPass(display, viewport, chunk, *spot, world, kSpotSourceBlend, kSpotDestinationBlend, 3, &lerp, range);
    } else {
        // Too little gloss to show: the lit base alone, so that new chunks
        // (strength 0) and old ones (rust age 0.5 on) still appear.
        combiner.SetConstantRegister(2, {0.0f, 0.0f, 0.0f, 0.0f});
        ParallelSetup(display, *viewport, lights, world, *GetParallelProgram(), combiner, 3, false);
        combiner.Enable();
        Draw(display, viewport, chunk, GetParallelProgram(), range);
        combiner.Disable();
    }
    ClearDisplayState(display);
    SetAmbientColor(ambient);
}

}  // namespace Nyx
