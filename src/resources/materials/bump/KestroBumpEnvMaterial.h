// The bump-environment material ("tbumpenv"): the bump material with the
// display's environment map on stage 3, mixed in by the diffuse texture's
// alpha; its own second texture switches on the environment texture matrix.
#pragma once

#include "resources/materials/bump/KestroBumpLayerMaterial.h"

namespace Nyx {

class KestroBumpEnvMaterial : public KestroBumpLayerMaterial {
public:
    static constexpr std::string_view kTypeName = "tbumpenv";

    KestroBumpEnvMaterial(MaterialManager* manager, RenderingCache* chunkCache, RenderingCache* maskCache,
                          RenderingCache* blendCache, VertexProgram* parallelProgram, TextureCombiner* parallelCombiner,
                          VertexProgram* spotProgram, TextureCombiner* spotCombiner);

    OneTextureMaterial* CreateInstance() const override;

    // Turns the environment's axes: rows (1, 0, 0, 0), (0, 0, 1, 0),
    // (0, −1, 0, 0), (0, 0, 0, 1).
    const Matrix4& GetAxisMatrix() const noexcept { return axis_; }

protected:
    void RenderPasses(Display& display, ViewPoint* viewport, GeometryChunk& chunk, const DisplayLightList* lights,
                      const Matrix4& world, const PrimitiveRange* range) override;

private:
    Matrix4 axis_;
};

}  // namespace Nyx
