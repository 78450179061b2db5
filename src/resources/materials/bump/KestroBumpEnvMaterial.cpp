#include "resources/materials/bump/KestroBumpEnvMaterial.h"

#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/display/TextureCombiner.h"

namespace Nyx {

KestroBumpEnvMaterial::KestroBumpEnvMaterial(MaterialManager* manager, RenderingCache* chunkCache,
                                             RenderingCache* maskCache, RenderingCache* blendCache,
                                             VertexProgram* parallelProgram, TextureCombiner* parallelCombiner,
                                             VertexProgram* spotProgram, TextureCombiner* spotCombiner)
    : KestroBumpLayerMaterial(manager, chunkCache, maskCache, blendCache, parallelProgram, parallelCombiner,
                              spotProgram, spotCombiner, kTypeName)
{
    axis_.m[1][1] = 0.0f;
    axis_.m[1][2] = 1.0f;
    axis_.m[2][1] = -1.0f;
    axis_.m[2][2] = 0.0f;
}

OneTextureMaterial* KestroBumpEnvMaterial::CreateInstance() const
{
    auto* copy = new KestroBumpEnvMaterial(GetManager(), GetChunkCache(), GetMaskCache(), GetBlendCache(),
                                           GetParallelProgram(), GetParallelCombiner(), GetSpotProgram(),
                                           GetSpotCombiner());
    copy->InitLayerInstance(*this);
    copy->axis_ = axis_;
    return copy;
}

void KestroBumpEnvMaterial::RenderPasses(Display& display, ViewPoint* viewport, GeometryChunk& chunk,
                                         const DisplayLightList* lights, const Matrix4& world,
                                         const PrimitiveRange* range)
{
    if (!viewport || !HasPrograms())
        return;
    SetDisplayState(display);
    display.SetEnvironmentMap(kLayerStage);
    if (GetSecondTexture()) {
        // The cubeMap section's eye-space reflections go back to world
        // axes through the view's transposed rotation, then the
        // environment's own axes.
        const Matrix4 view = ViewTransform(*viewport);
        Matrix4 rotation;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                rotation.m[r][c] = view.m[c][r];
        display.SetStageTextureMatrix(1, rotation * axis_);
    }
    ParallelSetup(display, *viewport, lights, world, *GetParallelProgram(), *GetParallelCombiner(), 2, false);
    GetParallelCombiner()->Enable();
    Draw(display, viewport, chunk, GetParallelProgram(), range);
    GetParallelCombiner()->Disable();
    if (const DisplayLight* spot = BrightestLight(lights, DisplayLight::kSpot))
        SpotPass(display, viewport, chunk, *spot, world, kSpotSourceBlend, kSpotDestinationBlend, 2, nullptr, range);
    ClearDisplayState(display);
}

}  // namespace Nyx
