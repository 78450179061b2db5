// The resource behind "kestro.im": an indexed mesh file loaded into a
// KestroIndexedMeshDefinition; its instances are skinned when the mesh is.
#pragma once

#include "resources/mesh/resource/KestroGeometryBaseResource.h"

class KestroIndexedMeshResource : public KestroGeometryBaseResource {
public:
    using KestroGeometryBaseResource::KestroGeometryBaseResource;

    Nyx::ViewPortParticle* CreateMeshInstance() override;

protected:
    uint32_t Load(Nyx::File& file) override;
    void LoadComplete() override;
};
