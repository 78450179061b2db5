// The scene object of a loaded LOD mesh: one entry per mesh of its
// definition, of which culling picks the one to draw by the LOD value of
// the instance's bounding sphere, and decides whether to draw at all and
// which cut-off attachment points to mark.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "nyx/scene/ObjectLOD.h"
#include "resources/lod/LodMeshRecords.h"
#include "resources/mesh/indexed/KestroIndexedMeshInstance.h"

namespace Nyx {
class Particle;
class ParticleBone;
}  // namespace Nyx
class KestroIndexedMeshLODDefinition;

class KestroIndexedMeshLODInstance : public KestroIndexedMeshInstance, public Nyx::ObjectLOD {
public:
    static constexpr uint32_t kID = 21;
    // Culling measures a sphere this much larger than the bounding sphere.
    static constexpr float kCullRadiusMargin = 5.0f;
    // The named mesh an instance starts with when the mesh has one.
    static constexpr std::string_view kCollisionMesh = "collision";

    // One mesh of the definition as the instance draws it.
    struct LevelEntry {
        uint32_t chunkCount = 0;
        uint32_t vertexTotal = 0;
        uint32_t faceTotal = 0;
        bool hardwareAnimation = false;
        ChunkArray* chunks = nullptr;        // one reference
        MaterialArray* materials = nullptr;  // one reference
        std::vector<Nyx::PString> chunkNames;
        std::vector<uint32_t> values;
        // Each piece's bone when the mesh has bones; empty otherwise.
        std::vector<Nyx::Particle*> chunkBones;
    };

    explicit KestroIndexedMeshLODInstance(Nyx::MaterialManager* manager);
    ~KestroIndexedMeshLODInstance() override;

    // Holds the resource, takes its LOD definition, copies the bone tree,
    // finds each piece's bone, places the attachment points and lists the
    // cut-off ones. Nothing happens for a resource without a LOD definition.
    virtual void InitFromResource(MeshInstanceResource* resource);
    // The LOD state, the parameters and one entry per mesh; then the
    // indexed instance's own set-up and the first level.
    virtual void InitFromLODDefinition(const KestroIndexedMeshLODDefinition& definition);

    // ---- particle operations ----
    bool Cull(Nyx::ViewPoint& view) override;
    void Render(Nyx::Display& display, Nyx::ViewPoint& view) override;
    Nyx::ViewPortParticle* CreateInstance() const override;
    uint32_t GetID() const override { return kID; }
    void SetOpacity(float opacity) override;
    // The chunk array made private is the current entry's too.
    void MakeChunkArrayPrivate() override;
    void MakeMaterialArrayPrivate() override;

    // ---- tint and lighting ----
    // The tint counts unless all three are exactly 1.
    virtual void SetTint(float red, float green, float blue);
    bool IsTinted() const noexcept { return tinted_; }
    const float* GetTint() const noexcept { return tint_; }
    void SetUpdateLighting(bool on) noexcept override;
    // Recomputes one entry's lighting when it is pending or forced.
    virtual void UpdateEntryLighting(Nyx::Display& display, Nyx::ViewPoint& view, const Nyx::Transform& transform,
                                     uint32_t entry, bool force);
    // Every detail level when forced, else every mesh.
    virtual void UpdateAllLighting(Nyx::Display& display, Nyx::ViewPoint& view, const Nyx::Transform& transform,
                                   bool force);
    void UpdateLighting(Nyx::Display& display, Nyx::ViewPoint& view, const Nyx::Transform& transform,
                        bool force) override;
    bool EntryNeedsLighting(uint32_t entry) const noexcept
    {
        return entry < needsLighting_.size() && needsLighting_[entry] != 0;
    }
    uint32_t GetPendingLightingCount() const noexcept { return pendingLighting_; }

    // ---- levels ----
    // Makes entry n the one drawn; ignored out of range.
    void SelectLevel(uint32_t n);
    uint32_t GetEntryCount() const noexcept { return static_cast<uint32_t>(levels_.size()); }
    uint32_t GetCurrentEntry() const noexcept { return current_; }
    const LevelEntry* GetEntry(uint32_t n) const noexcept { return n < levels_.size() ? &levels_[n] : nullptr; }
    // A locked instance keeps its level while culling.
    void SetLocked(bool locked) noexcept { locked_ = locked; }
    bool IsLocked() const noexcept { return locked_; }
    float GetRenderCutOff() const noexcept { return renderCutOff_; }
    float GetAttachmentCutOff() const noexcept { return attachmentCutOff_; }
    const std::vector<Nyx::Particle*>& GetCutOffPoints() const noexcept { return cutOffPoints_; }
    const std::shared_ptr<std::vector<LodNamedMesh>>& GetNamedMeshes() const noexcept { return namedMeshes_; }
    // The index of the named mesh, or -1.
    int32_t FindNamedMesh(std::string_view name) const noexcept;
    // The copy of the definition's bone tree hung below the instance.
    Nyx::ParticleBone* GetBoneTree() const noexcept { return bones_; }

    // The particle of that name below the root: a view-port particle, a
    // bone, or an attachment point by its whole name or its first part.
    static Nyx::Particle* FindNamedParticle(Nyx::Particle* root, const Nyx::PString& name);

protected:
    // The state CreateInstance copies, into an instance of a derived class.
    void CopyLODInto(KestroIndexedMeshLODInstance& copy) const;
    // "collision" when the mesh has it, else the last detail level.
    void SelectFirstLevel();
    // Hangs a copy of the bone tree below the instance.
    void AdoptBoneTree(Nyx::ParticleBone* tree);
    // The material of every piece of the current level is told it is used.
    void ActivateCurrentMaterials();
    // The current arrays taken back into the current entry.
    void StoreCurrentArrays();

    std::vector<LevelEntry> levels_;
    uint32_t current_ = 0;
    bool locked_ = false;
    std::shared_ptr<std::vector<LodNamedMesh>> namedMeshes_;
    std::vector<uint8_t> needsLighting_;
    uint32_t pendingLighting_ = 0;
    float renderCutOff_ = 0.0f;
    float attachmentCutOff_ = 0.0f;
    float tint_[3] = {1.0f, 1.0f, 1.0f};
    bool tinted_ = false;
    std::vector<Nyx::Particle*> cutOffPoints_;
    Nyx::ParticleBone* bones_ = nullptr;  // owned, a child of the instance
};
