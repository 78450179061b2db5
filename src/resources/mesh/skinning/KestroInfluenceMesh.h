// The skinning part of a skinned mesh instance: a copy of the mesh's bones
// with their bind pose, the live bone nodes found by name under the
// instance's skeleton, and the per-chunk lists of vertices each bone moves.
// A chunk is skinned by the display (a palette of the bones' skinning
// matrices, kept current here) or in software (its positions rebuilt here
// from weighted bone offsets), as its own software-skinning flag says.
#pragma once

#include <cstdint>
#include <vector>

#include "nyx/base/PString.h"
#include "nyx/gfx/chunks/InfluenceDefinition.h"
#include "nyx/gfx/display/Matrix4.h"
#include "nyx/scene/math/Transformation.h"

namespace Nyx {
class GeometryChunk;
class Particle;
}  // namespace Nyx

class KestroInfluenceMesh {
public:
    // The vertices of one bone's influence, list by list.
    struct InfluenceList {
        bool displaySkinned = false;
        std::vector<Nyx::InfluenceGroup> groups;
    };
    struct Bone {
        Nyx::PString name;
        Nyx::PString parentName;
        // Takes a rest position of the mesh to where the bone has moved it.
        Nyx::Matrix4 skinning;
        Nyx::Matrix4 inverseBind;
        Nyx::Particle* node = nullptr;
        std::vector<InfluenceList> lists;
        Nyx::Quaternion bindOrientation;
        Nyx::Vector3f bindPosition;
        std::vector<uint32_t> children;
    };
    // What LoadFromDefinition knows of each chunk.
    struct ChunkRecord {
        Nyx::GeometryChunk* chunk = nullptr;
        bool displaySkinned = false;
    };
    static constexpr uint32_t kNoBone = 0xFFFFFFFFu;
    static constexpr uint32_t kStampGrowth = 25;

    KestroInfluenceMesh() = default;
    KestroInfluenceMesh(const KestroInfluenceMesh&) = delete;
    KestroInfluenceMesh& operator=(const KestroInfluenceMesh&) = delete;
    virtual ~KestroInfluenceMesh();

    // Finds each bone's node under the root (the root itself by its name)
    // and takes the bind pose of the bones that have one.
    virtual void Attach(Nyx::Particle* root);
    // Zeroes the positions of the software-skinned chunks that list `list`
    // rebuilds.
    virtual void ClearSoftwarePositions(uint32_t chunkCount, Nyx::GeometryChunk* const* chunks, uint32_t list);
    // Brings the chunks up to date with the bones, once per non-zero stamp
    // and list.
    virtual void Update(uint32_t chunkCount, Nyx::GeometryChunk* const* chunks, uint32_t stamp, uint32_t list);
    // One list per group; groups of display-skinned chunks register every
    // bone's matrix with their chunk instead of keeping entries.
    virtual void LoadFromDefinition(uint32_t boneCount, const Nyx::InfluenceDefinition* definitions,
                                    uint32_t chunkCount, const ChunkRecord* records);
    // One list (0) for all chunks; with `displaySkinned`, every bone's matrix
    // is registered with every chunk that is not skinned in software.
    virtual void LoadFromDefinitions(uint32_t boneCount, const Nyx::InfluenceDefinition* definitions,
                                     bool displaySkinned, uint32_t chunkCount, Nyx::GeometryChunk* const* chunks);
    // Null without a bone of no parent.
    virtual const Bone* GetRootBone() const;

    // A copy of another's bones (matrices, lists, bind pose), not attached,
    // with its stamps at zero.
    void CopyInfluencesFrom(const KestroInfluenceMesh& from);
    // Registers every bone's skinning matrix with the chunk, under the
    // bone's number.
    void RegisterBoneMatrices(Nyx::GeometryChunk& chunk) const;

    uint32_t GetBoneCount() const noexcept { return static_cast<uint32_t>(bones_.size()); }
    const Bone& GetBone(uint32_t n) const noexcept { return bones_[n]; }
    // The number of the bone of that name; kNoBone when there is none.
    uint32_t FindBone(const Nyx::PString& name) const noexcept;
    Nyx::Particle* GetAttachedRoot() const noexcept { return attached_; }
    const std::vector<uint32_t>& GetStamps() const noexcept { return stamps_; }

protected:
    Bone& MutableBone(uint32_t n) noexcept { return bones_[n]; }

private:
    void FillBones(uint32_t boneCount, const Nyx::InfluenceDefinition* definitions);
    void Link();
    // Calls visit(bone, parentIndex) for each bone reachable from the root,
    // parents before children, each bone once.
    template <class Visit>
    void WalkFromRoot(Visit&& visit) const;
    Nyx::Matrix4 LocalMatrix(const Bone& bone) const noexcept;
    void RefreshSkinningMatrices();
    void AccumulateSoftwarePositions(uint32_t chunkCount, Nyx::GeometryChunk* const* chunks, uint32_t list);

    std::vector<Bone> bones_;
    uint32_t root_ = kNoBone;
    Nyx::Particle* attached_ = nullptr;
    std::vector<uint32_t> stamps_;
};
