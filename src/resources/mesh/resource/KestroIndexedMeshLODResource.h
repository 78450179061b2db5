// The resource behind "kestro.lm" and "kestro.lm.txt": a LOD mesh loaded
// from its chunked file or its text form (the form follows from the file the
// engine found, so from the type that made the resource) into a
// KestroIndexedMeshLODDefinition; its instances are the LOD instances.
#pragma once

#include "resources/mesh/resource/KestroGeometryBaseResource.h"

class KestroIndexedMeshLODDefinition;

class KestroIndexedMeshLODResource : public KestroGeometryBaseResource {
public:
    using KestroGeometryBaseResource::KestroGeometryBaseResource;

    Nyx::ViewPortParticle* CreateMeshInstance() override;
    uint32_t CalculateSize() const override { return 0; }
    uint32_t GetDataSize() const override;
    KestroIndexedMeshLODDefinition* GetLODDefinition() const noexcept;
    std::vector<Nyx::Material*> GetAllMaterials() const override;

protected:
    uint32_t Load(Nyx::File& file) override;
    uint32_t LoadTxt(const std::string& text) override;
    void LoadComplete() override;

private:
    // A new, empty definition in place of any old one; null when none can
    // be made.
    KestroIndexedMeshLODDefinition* MakeDefinition();
};
