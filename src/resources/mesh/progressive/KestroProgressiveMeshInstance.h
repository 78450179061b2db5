// The scene instance of a progressive mesh: an indexed mesh instance whose
// detail the engine lowers and raises by a number of faces. It undoes or
// redoes whole sets of vertex splits of its definition on chunks and index
// arrays of its own, so instances of one mesh change detail independently.
#pragma once

#include <cstdint>

#include "nyx/scene/ScalableDetail.h"
#include "resources/mesh/indexed/KestroIndexedMeshInstance.h"

class KestroProgressiveMeshDefinition;
struct ProgressiveSet;

class KestroProgressiveMeshInstance : public KestroIndexedMeshInstance, public Nyx::ScalableDetail {
public:
    static constexpr uint32_t kID = 19;

    explicit KestroProgressiveMeshInstance(Nyx::MaterialManager* manager);
    ~KestroProgressiveMeshInstance() override;

    // The indexed binding, with the definition recorded first: the
    // instance starts at full detail.
    void Bind(MeshInstanceResource* resource, const KestroProgressiveMeshDefinition& definition);

    // ---- particle operations ----
    Nyx::ViewPortParticle* CreateInstance() const override;
    uint32_t GetID() const override { return kID; }
    // Chunks of a progressive mesh follow its tables: none are added or
    // filled from elsewhere.
    bool AddChunk(Nyx::GeometryChunk* /*chunk*/, Nyx::Material* /*material*/) override { return false; }
    bool FillChunk(const Nyx::GeometryChunk& /*from*/, uint32_t /*i*/) override { return false; }
    void InitFromDefinition(const KestroIndexedMeshDefinition& definition) override;
    void GetGlobalBoundingSphere(Nyx::Sphere& sphere) const override
    {
        ViewPortParticle::GetGlobalBoundingSphere(sphere);
    }

    // ---- detail ----
    // Redoes sets until the face count reaches the target (possibly passing
    // it by one set); never past the last set.
    void RaiseDetail(uint32_t faceCount) override;
    // Undoes whole sets while the face count stays at or above the target;
    // never set 0.
    void LowerDetail(uint32_t faceCount) override;

    const KestroProgressiveMeshDefinition* GetDefinition() const noexcept { return definition_; }

protected:
    // The copy CreateInstance makes, into an instance of a derived class.
    void CopyProgressiveInto(KestroProgressiveMeshInstance* copy) const;

private:
    // Every chunk replaced by its own copy with its own index array.
    void GiveOwnChunks();
    // Undoes (or redoes) one set on the chunks; adds its faces to the count.
    void ApplySet(const ProgressiveSet& set, bool redo);
    // The number of the last set, or false without sets.
    bool LastSet(uint32_t& last) const noexcept;

    const KestroProgressiveMeshDefinition* definition_ = nullptr;
};
