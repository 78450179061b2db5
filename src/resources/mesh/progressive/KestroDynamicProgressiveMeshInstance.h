// The skinned scene instance of a progressive mesh: a progressive instance
// that also carries the bones of the mesh and deforms its own chunk copies
// with them before it draws or answers for its geometry.
#pragma once

#include <cstdint>

#include "resources/mesh/MeshInstanceIds.h"
#include "resources/mesh/progressive/KestroProgressiveMeshInstance.h"
#include "resources/mesh/skinning/KestroInfluenceMesh.h"

class KestroDynamicProgressiveMeshInstance : public KestroProgressiveMeshInstance, public KestroInfluenceMesh {
public:
    static constexpr uint32_t kID = kDynamicProgressiveMeshInstanceID;

    explicit KestroDynamicProgressiveMeshInstance(Nyx::MaterialManager* manager);
    ~KestroDynamicProgressiveMeshInstance() override;

    // The progressive binding (definition, resource, skeleton, attachment
    // points), then the bones loaded over the instance's own chunks and
    // attached to its skeleton.
    void SetUp(MeshInstanceResource* resource, const KestroProgressiveMeshDefinition& definition);

    void Render(Nyx::Display& display, Nyx::ViewPoint& view) override;
    void DrawGeometry(Nyx::Display& display, Nyx::ViewPoint& view, const Nyx::Transform& transform,
                      bool light) override;
    // A copy at this instance's detail whose bones are found by name under
    // the copy.
    Nyx::ViewPortParticle* CreateInstance() const override;
    uint32_t GetID() const override { return kID; }

private:
    void UpdateSkinning(uint32_t stamp);
    void RegisterWithChunks();
};
