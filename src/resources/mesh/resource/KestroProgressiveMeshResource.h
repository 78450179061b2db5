// The resource behind "kestro.pm": a progressive mesh file loaded into a
// KestroProgressiveMeshDefinition, whose chunks are made with dynamic
// vertices and indices unless the options say how; its instances are
// skinned when the mesh is.
#pragma once

#include "resources/mesh/resource/KestroGeometryBaseResource.h"

class KestroProgressiveMeshResource : public KestroGeometryBaseResource {
public:
    using KestroGeometryBaseResource::KestroGeometryBaseResource;

    Nyx::ViewPortParticle* CreateMeshInstance() override;

    // The options a load makes its definition with.
    static GeometryOptions ProgressiveOptions(const GeometryOptions& options) noexcept;

protected:
    uint32_t Load(Nyx::File& file) override;
    void LoadComplete() override;
};
