// The scene instance of a skinned LOD mesh: a LOD instance whose pieces
// follow its copy of the bone tree, and whose bones stop animating beyond
// the animation cut-off and start again only well inside it.
#pragma once

#include <cstdint>
#include <vector>

#include "resources/lod/KestroIndexedMeshLODInstance.h"
#include "resources/mesh/skinning/KestroInfluenceMesh.h"

class KestroDynamicIndexedMeshLODInstance : public KestroIndexedMeshLODInstance, public KestroInfluenceMesh {
public:
    static constexpr uint32_t kID = 22;
    // Flag bits.
    static constexpr uint32_t kBonesChanged = 1u << 0;
    static constexpr uint32_t kBeyondAnimationCutOff = 1u << 1;
    // Bone trees are the instance's children named "b.<something>".
    static constexpr std::string_view kBoneTreePrefix = "b.";

    explicit KestroDynamicIndexedMeshLODInstance(Nyx::MaterialManager* manager);
    ~KestroDynamicIndexedMeshLODInstance() override;

    void InitFromResource(MeshInstanceResource* resource) override;

    // ---- particle operations ----
    bool Cull(Nyx::ViewPoint& view) override;
    void Render(Nyx::Display& display, Nyx::ViewPoint& view) override;
    void DrawGeometry(Nyx::Display& display, Nyx::ViewPoint& view, const Nyx::Transform& transform,
                      bool light) override;
    Nyx::ViewPortParticle* CreateInstance() const override;
    uint32_t GetID() const override { return kID; }

    // ---- influence hooks ----
    // The bones moved: the skinned pieces are brought up to date before the
    // next draw.
    virtual void MarkBonesChanged() noexcept { animationFlags_ |= kBonesChanged; }
    // Stops or restarts the bone trees around the animation cut-off, then
    // updates the skinned pieces when a flag asks for it.
    virtual void UpdateAnimation();

    float GetAnimationCutOff() const noexcept { return animationCutOff_; }
    void SetAnimationCutOff(float cutOff) noexcept { animationCutOff_ = cutOff; }
    uint32_t GetAnimationFlags() const noexcept { return animationFlags_; }
    const std::vector<uint32_t>& GetAnimatedMeshes() const noexcept { return animatedMeshes_; }

private:
    // Sets or clears the cut-off mark on every bone tree of the instance.
    void MarkBoneTrees(bool on);
    // Each bone's influence on each mesh as one list per mesh, the bone
    // matrices registered with the pieces skinned by the display.
    void SetUpInfluences(const KestroIndexedMeshLODDefinition& definition);
    void RegisterSkinnedPieces();
    void UpdateEntry(uint32_t entry);

    MeshInstanceResource* owner_ = nullptr;  // one reference
    float animationCutOff_ = 0.0f;
    std::vector<uint32_t> animatedMeshes_;
    uint32_t animationFlags_ = kBonesChanged;
};
