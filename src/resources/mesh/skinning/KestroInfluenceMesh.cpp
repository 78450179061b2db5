#include "resources/mesh/skinning/KestroInfluenceMesh.h"

#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/scene/ParticleBone.h"
#include "nyx/scene/ScaledBone.h"
#include "nyx/scene/ViewPortParticle.h"

namespace {

// A bone node's own frame: a bone's rest frame (what animation moves), or a
// plain particle's reference frame.
void NodeFrame(const Nyx::Particle& node, Nyx::Quaternion& orientation, Nyx::Vector3f& position)
{
    if (const auto* bone = dynamic_cast<const Nyx::ParticleBone*>(&node)) {
        orientation = bone->GetFrameOrientation();
        position = bone->GetFramePosition();
        return;
    }
    orientation = node.GetOrientation();
    position = node.GetPosition();
}

// The scale a node of type 23 puts on what it moves; false for other nodes
// and when its scale is switched off.
bool NodeScale(const Nyx::Particle* node, Nyx::Vector3f& scale)
{
    if (!node || node->GetType() != Nyx::ScaledBone::kType)
        return false;
    const auto* scaled = dynamic_cast<const Nyx::ScaledBone*>(node);
    if (!scaled || scaled->IsScaleDisabled())
        return false;
    scale = scaled->GetScale();
    return true;
}

bool IsSoftwareSkinned(const Nyx::GeometryChunk& chunk)
{
    return (chunk.GetFlags() & Nyx::GeometryChunk::kFlagSoftwareSkinned) != 0;
}

}  // namespace

KestroInfluenceMesh::~KestroInfluenceMesh() = default;

uint32_t KestroInfluenceMesh::FindBone(const Nyx::PString& name) const noexcept
{
    for (uint32_t n = 0; n < bones_.size(); ++n)
        if (bones_[n].name == name)
            return n;
    return kNoBone;
}

const KestroInfluenceMesh::Bone* KestroInfluenceMesh::GetRootBone() const
{
    return root_ < bones_.size() ? &bones_[root_] : nullptr;
}

void KestroInfluenceMesh::FillBones(uint32_t boneCount, const Nyx::InfluenceDefinition* definitions)
{
    bones_.clear();
    bones_.resize(definitions ? boneCount : 0);
    for (uint32_t n = 0; n < bones_.size(); ++n) {
        const Nyx::InfluenceDefinition& definition = definitions[n];
        Bone& bone = bones_[n];
        bone.name = definition.boneName;
        bone.parentName = definition.parentName;
        bone.bindOrientation.Set(definition.orientation);
        bone.bindPosition = definition.position;
    }
}

void KestroInfluenceMesh::LoadFromDefinition(uint32_t boneCount, const Nyx::InfluenceDefinition* definitions,
                                             uint32_t chunkCount, const ChunkRecord* records)
{
    FillBones(boneCount, definitions);
    for (uint32_t n = 0; n < bones_.size(); ++n) {
        for (const Nyx::InfluenceGroup& group : definitions[n].groups) {
            const ChunkRecord* record = records && group.chunkIndex < chunkCount ? &records[group.chunkIndex] : nullptr;
            InfluenceList list;
            list.displaySkinned = record && record->displaySkinned;
            if (list.displaySkinned) {
                if (record->chunk)
                    RegisterBoneMatrices(*record->chunk);
                list.groups.push_back({group.chunkIndex, {}});
            } else {
                list.groups.push_back(group);
            }
            bones_[n].lists.push_back(std::move(list));
        }
    }
    Link();
}

void KestroInfluenceMesh::LoadFromDefinitions(uint32_t boneCount, const Nyx::InfluenceDefinition* definitions,
                                              bool displaySkinned, uint32_t chunkCount,
                                              Nyx::GeometryChunk* const* chunks)
{
    FillBones(boneCount, definitions);
    for (uint32_t n = 0; n < bones_.size(); ++n)
        bones_[n].lists.push_back({displaySkinned, definitions[n].groups});
    if (displaySkinned && chunks)
        for (uint32_t c = 0; c < chunkCount; ++c)
            if (chunks[c] && !IsSoftwareSkinned(*chunks[c]))
                RegisterBoneMatrices(*chunks[c]);
    Link();
}

void KestroInfluenceMesh::RegisterBoneMatrices(Nyx::GeometryChunk& chunk) const
{
    for (uint32_t n = 0; n < bones_.size(); ++n)
        chunk.AssignInfluenceMatrix(&bones_[n].skinning, n);
}

void KestroInfluenceMesh::CopyInfluencesFrom(const KestroInfluenceMesh& from)
{
    bones_ = from.bones_;
    for (Bone& bone : bones_)
        bone.node = nullptr;
    attached_ = nullptr;
    stamps_.assign(from.stamps_.size(), 0);
    Link();
}

void KestroInfluenceMesh::Link()
{
    root_ = kNoBone;
    for (Bone& bone : bones_)
        bone.children.clear();
    // A bone names one parent, so it is linked once at most; a bone naming
    // itself is nobody's child.
    for (uint32_t n = 0; n < bones_.size(); ++n) {
        const Nyx::PString& parent = bones_[n].parentName;
        if (parent.Empty()) {
            root_ = n;
            continue;
        }
        for (uint32_t k = 0; k < bones_.size(); ++k) {
            if (k != n && bones_[k].name == parent) {
                bones_[k].children.push_back(n);
                break;
            }
        }
    }
}

template <class Visit>
void KestroInfluenceMesh::WalkFromRoot(Visit&& visit) const
{
    if (root_ >= bones_.size())
        return;
    // Names may link bones into a loop below the root: each bone is taken
    // once, the first time it is reached.
    std::vector<bool> seen(bones_.size(), false);
    std::vector<std::pair<uint32_t, uint32_t>> pending{{root_, kNoBone}};
    seen[root_] = true;
    while (!pending.empty()) {
        const auto [bone, parent] = pending.back();
        pending.pop_back();
        visit(bone, parent);
        const std::vector<uint32_t>& children = bones_[bone].children;
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            if (seen[*it])
                continue;
            seen[*it] = true;
            pending.emplace_back(*it, bone);
        }
    }
}

Nyx::Matrix4 KestroInfluenceMesh::LocalMatrix(const Bone& bone) const noexcept
{
    if (!bone.node)
        return Nyx::Matrix4::FromFrame(bone.bindOrientation, bone.bindPosition);
    Nyx::Quaternion orientation;
    Nyx::Vector3f position;
    NodeFrame(*bone.node, orientation, position);
    return Nyx::Matrix4::FromFrame(orientation, position);
}

void KestroInfluenceMesh::Attach(Nyx::Particle* root)
{
    attached_ = root;
    for (Bone& bone : bones_)
        bone.node = root ? Nyx::ViewPortParticle::FindByName(root, bone.name) : nullptr;
    std::vector<Nyx::Matrix4> worlds(bones_.size());
    WalkFromRoot([&](uint32_t n, uint32_t parent) {
        Bone& bone = bones_[n];
        worlds[n] = LocalMatrix(bone) * (parent == kNoBone ? Nyx::Matrix4() : worlds[parent]);
        // A pose with no inverse leaves the bone's previous bind in place.
        if (bone.node)
            worlds[n].Invert(bone.inverseBind);
    });
}

void KestroInfluenceMesh::RefreshSkinningMatrices()
{
    std::vector<Nyx::Matrix4> worlds(bones_.size());
    WalkFromRoot([&](uint32_t n, uint32_t parent) {
        Bone& bone = bones_[n];
        worlds[n] = LocalMatrix(bone) * (parent == kNoBone ? Nyx::Matrix4() : worlds[parent]);
        // The children follow the unscaled pose.
        Nyx::Matrix4 world = worlds[n];
        Nyx::Vector3f scale;
        if (NodeScale(bone.node, scale))
            world.ScaleAxes(scale);
        bone.skinning = bone.inverseBind * world;
    });
}

void KestroInfluenceMesh::AccumulateSoftwarePositions(uint32_t chunkCount, Nyx::GeometryChunk* const* chunks,
                                                      uint32_t list)
{
    std::vector<Nyx::Transformation> placed(bones_.size());
    WalkFromRoot([&](uint32_t n, uint32_t parent) {
        const Bone& bone = bones_[n];
        Nyx::Quaternion orientation = bone.bindOrientation;
        Nyx::Vector3f position = bone.bindPosition;
        if (bone.node)
            NodeFrame(*bone.node, orientation, position);
        placed[n] = parent == kNoBone ? Nyx::Transformation() : placed[parent];
        placed[n].MultiplyTransform(Nyx::Transformation(orientation, position));
        if (list >= bone.lists.size())
            return;
        Nyx::Transformation own = placed[n];
        Nyx::Vector3f scale;
        if (NodeScale(bone.node, scale))
            own.SetScale(scale);
        for (const Nyx::InfluenceGroup& group : bone.lists[list].groups) {
            Nyx::GeometryChunk* chunk = group.chunkIndex < chunkCount ? chunks[group.chunkIndex] : nullptr;
            if (!chunk || !IsSoftwareSkinned(*chunk))
                continue;
            const auto positions = chunk->GetVector3Array(Nyx::kItemPosition);
            const uint32_t vertices = chunk->GetVertexCount();
            for (const Nyx::InfluenceEntry& entry : group.entries) {
                if (!positions || entry.vertex >= vertices)
                    continue;
                const float weight = entry.values[0];
                const Nyx::Vector3f moved = own.Transform({entry.values[1], entry.values[2], entry.values[3]});
                Nyx::Vector3Item& p = positions[entry.vertex];
                p.x += weight * moved.x;
                p.y += weight * moved.y;
                p.z += weight * moved.z;
            }
        }
    });
}

void KestroInfluenceMesh::ClearSoftwarePositions(uint32_t chunkCount, Nyx::GeometryChunk* const* chunks,
                                                 uint32_t list)
{
    if (!chunks)
        return;
    // Only chunks that this list rebuilds lose their positions: a chunk
    // skinned by the display, or one no bone moves, keeps them.
    std::vector<bool> rebuilt(chunkCount, false);
    for (const Bone& bone : bones_) {
        if (list >= bone.lists.size())
            continue;
        for (const Nyx::InfluenceGroup& group : bone.lists[list].groups)
            if (group.chunkIndex < chunkCount)
                rebuilt[group.chunkIndex] = true;
    }
    for (uint32_t c = 0; c < chunkCount; ++c) {
        Nyx::GeometryChunk* chunk = chunks[c];
        if (!rebuilt[c] || !chunk || !IsSoftwareSkinned(*chunk))
            continue;
        const auto positions = chunk->GetVector3Array(Nyx::kItemPosition);
        for (uint32_t v = 0; positions && v < chunk->GetVertexCount(); ++v)
            positions[v] = {0.0f, 0.0f, 0.0f};
    }
}

void KestroInfluenceMesh::Update(uint32_t chunkCount, Nyx::GeometryChunk* const* chunks, uint32_t stamp,
                                 uint32_t list)
{
    if (list >= stamps_.size()) {
        // Grown a few lists at a time; a list number far past any a bone
        // has names nothing to update.
        if (list >= stamps_.size() + 64 * kStampGrowth)
            return;
        stamps_.resize((list / kStampGrowth + 1) * kStampGrowth, 0);
    }
    if (stamp != 0 && stamps_[list] == stamp)
        return;
    stamps_[list] = stamp;
    if (!chunks)
        chunkCount = 0;
    ClearSoftwarePositions(chunkCount, chunks, list);
    bool display = false;
    bool software = false;
    for (uint32_t c = 0; c < chunkCount; ++c) {
        if (!chunks[c])
            continue;
        if (IsSoftwareSkinned(*chunks[c]))
            software = true;
        else
            display = true;
    }
    if (display)
        RefreshSkinningMatrices();
    if (software)
        AccumulateSoftwarePositions(chunkCount, chunks, list);
}
