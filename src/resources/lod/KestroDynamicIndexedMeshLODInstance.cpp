#include "resources/lod/KestroDynamicIndexedMeshLODInstance.h"

#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/scene/ParticleBone.h"
#include "nyx/scene/ViewPoint.h"
#include "resources/lod/KestroIndexedMeshLODDefinition.h"
#include "resources/mesh/MeshInstanceResource.h"

namespace {

const Nyx::PString* NameOf(const Nyx::Particle& particle)
{
    if (const auto* bone = dynamic_cast<const Nyx::ParticleBone*>(&particle))
        return &bone->GetName();
    if (const auto* named = dynamic_cast<const Nyx::ViewPortParticle*>(&particle))
        return &named->GetName();
    return nullptr;
}

void SetMarkBelow(Nyx::Particle& root, bool on)
{
    std::vector<Nyx::Particle*> pending{&root};
    while (!pending.empty()) {
        Nyx::Particle* p = pending.back();
        pending.pop_back();
        if (on)
            p->SetFlag(Nyx::Particle::kFlagCutOff);
        else
            p->ClearFlag(Nyx::Particle::kFlagCutOff);
        pending.insert(pending.end(), p->GetChildren().begin(), p->GetChildren().end());
    }
}

}  // namespace

KestroDynamicIndexedMeshLODInstance::KestroDynamicIndexedMeshLODInstance(Nyx::MaterialManager* manager)
    : KestroIndexedMeshLODInstance(manager)
{
}

KestroDynamicIndexedMeshLODInstance::~KestroDynamicIndexedMeshLODInstance()
{
    Attach(nullptr);
    if (owner_)
        owner_->ReleaseReference();
}

void KestroDynamicIndexedMeshLODInstance::InitFromResource(MeshInstanceResource* resource)
{
    auto* definition =
        resource ? dynamic_cast<KestroIndexedMeshLODDefinition*>(resource->GetGeometryDefinition()) : nullptr;
    if (!definition)
        return;
    resource->AddReference();
    if (owner_)
        owner_->ReleaseReference();
    owner_ = resource;
    SetResource(resource);
    InitFromLODDefinition(*definition);
    animationCutOff_ = definition->GetAnimationCutOff();
    SelectFirstLevel();
    SetUpInfluences(*definition);
    animatedMeshes_.clear();
    if (const auto& named = GetNamedMeshes())
        for (const LodNamedMesh& mesh : *named)
            if (mesh.animated)
                animatedMeshes_.push_back(mesh.meshIndex);
    if (const Nyx::ParticleBone* root = definition->GetRootBone()) {
        AdoptBoneTree(root->CreateInstance());
        Attach(GetBoneTree());
    }
    definition->PlaceAttachmentPoints(*this);
    cutOffPoints_.clear();
    for (const Nyx::PString& name : definition->GetCullList())
        if (Nyx::Particle* point = FindNamedParticle(this, name))
            cutOffPoints_.push_back(point);
}

void KestroDynamicIndexedMeshLODInstance::SetUpInfluences(const KestroIndexedMeshLODDefinition& definition)
{
    const std::vector<LodBone>& table = definition.GetBoneTable();
    const uint32_t boneCount = std::min<uint32_t>(definition.GetBoneCount(), static_cast<uint32_t>(table.size()));
    std::vector<Nyx::InfluenceDefinition> bones(boneCount);
    for (uint32_t n = 0; n < boneCount; ++n) {
        bones[n].boneName = Nyx::PString(table[n].name.View());
        bones[n].parentName = Nyx::PString(table[n].parentName.View());
        bones[n].position = table[n].position;
        bones[n].orientation = table[n].orientation;
    }
    LoadFromDefinitions(boneCount, bones.data(), false, 0, nullptr);
    // List m of a bone holds its influence on mesh m.
    const std::vector<LodMesh>& meshes = *definition.GetMeshes();
    for (uint32_t n = 0; n < boneCount; ++n) {
        Bone& bone = MutableBone(n);
        bone.lists.clear();
        for (const LodMesh& mesh : meshes) {
            InfluenceList list;
            list.displaySkinned = mesh.hardwareAnimation;
            if (n < mesh.boneBlocks.size())
                for (const Nyx::InfluenceGroup& group : mesh.boneBlocks[n])
                    list.groups.push_back(list.displaySkinned ? Nyx::InfluenceGroup{group.chunkIndex, {}} : group);
            bone.lists.push_back(std::move(list));
        }
    }
    RegisterSkinnedPieces();
}

void KestroDynamicIndexedMeshLODInstance::RegisterSkinnedPieces()
{
    for (const LevelEntry& entry : levels_) {
        if (!entry.hardwareAnimation || !entry.chunks)
            continue;
        for (Nyx::GeometryChunk* chunk : entry.chunks->GetEntries())
            if (chunk && !(chunk->GetFlags() & Nyx::GeometryChunk::kFlagSoftwareSkinned))
                RegisterBoneMatrices(*chunk);
    }
}

void KestroDynamicIndexedMeshLODInstance::MarkBoneTrees(bool on)
{
    for (Nyx::Particle* child : GetChildren()) {
        const Nyx::PString* name = NameOf(*child);
        if (!name || name->Length() <= kBoneTreePrefix.size() ||
            name->View().substr(0, kBoneTreePrefix.size()) != kBoneTreePrefix)
            continue;
        if (child->HasFlag(Nyx::Particle::kFlagCutOff) == on)
            continue;
        SetMarkBelow(*child, on);
    }
}

void KestroDynamicIndexedMeshLODInstance::UpdateEntry(uint32_t entry)
{
    const LevelEntry* level = GetEntry(entry);
    if (!level || !level->chunks)
        return;
    Update(level->chunkCount, level->chunks->GetEntries().data(), 0, entry);
}

void KestroDynamicIndexedMeshLODInstance::UpdateAnimation()
{
    const float lod = GetLastLOD();
    const float band = GetOffset();
    if (lod - band > animationCutOff_) {
        animationFlags_ |= kBeyondAnimationCutOff;
        MarkBoneTrees(true);
    } else if (lod + band < animationCutOff_) {
        animationFlags_ &= ~kBeyondAnimationCutOff;
        MarkBoneTrees(false);
    }
    if ((animationFlags_ & (kBonesChanged | kBeyondAnimationCutOff)) == 0)
        return;
    animationFlags_ &= ~kBonesChanged;
    UpdateEntry(current_);
    for (uint32_t mesh : animatedMeshes_)
        if (mesh != current_)
            UpdateEntry(mesh);
}

bool KestroDynamicIndexedMeshLODInstance::Cull(Nyx::ViewPoint& view)
{
    const bool visible = KestroIndexedMeshLODInstance::Cull(view);
    // A locked instance still needs the distance without the margin for its
    // animation cut-off.
    if (locked_) {
        Nyx::Sphere sphere;
        GetGlobalBoundingSphere(sphere);
        FindLOD(sphere, view.GetCamera());
    }
    return visible;
}

void KestroDynamicIndexedMeshLODInstance::Render(Nyx::Display& display, Nyx::ViewPoint& view)
{
    UpdateAnimation();
    KestroIndexedMeshLODInstance::Render(display, view);
}

void KestroDynamicIndexedMeshLODInstance::DrawGeometry(Nyx::Display& display, Nyx::ViewPoint& view,
                                                       const Nyx::Transform& transform, bool light)
{
    UpdateAnimation();
    KestroIndexedMeshLODInstance::DrawGeometry(display, view, transform, light);
}

Nyx::ViewPortParticle* KestroDynamicIndexedMeshLODInstance::CreateInstance() const
{
    auto* copy = new KestroDynamicIndexedMeshLODInstance(GetMaterialManager());
    CopyLODInto(*copy);
    copy->CopyInfluencesFrom(*this);
    copy->animationCutOff_ = animationCutOff_;
    copy->animationFlags_ = (copy->animationFlags_ & ~kBonesChanged) | (animationFlags_ & kBonesChanged);
    copy->animatedMeshes_ = animatedMeshes_;
    if (owner_) {
        owner_->AddReference();
        copy->owner_ = owner_;
    }
    // Every entry gets a chunk array of its own, holding the same pieces.
    for (LevelEntry& entry : copy->levels_) {
        if (!entry.chunks)
            continue;
        ChunkArray* own = ChunkArray::Create(entry.chunks->GetEntries());
        entry.chunks->Release();
        entry.chunks = own;
    }
    copy->SelectLevel(copy->current_);
    copy->Attach(copy->GetBoneTree());
    copy->RegisterSkinnedPieces();
    return copy;
}
