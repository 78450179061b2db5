#include "resources/lod/KestroIndexedMeshLODInstance.h"

#include <algorithm>

#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "nyx/scene/AttachmentPoint.h"
#include "nyx/scene/ParticleBone.h"
#include "nyx/scene/ViewPoint.h"
#include "resources/lod/KestroIndexedMeshLODDefinition.h"
#include "resources/mesh/MeshInstanceResource.h"

namespace {

template <class T>
void Release(SharedReferenceArray<T>*& array) noexcept
{
    if (array)
        array->Release();
    array = nullptr;
}

template <class T>
SharedReferenceArray<T>* Share(SharedReferenceArray<T>* array) noexcept
{
    if (array)
        array->AddRef();
    return array;
}

// Puts `from` in `to` with a reference of its own.
template <class T>
void Assign(SharedReferenceArray<T>*& to, SharedReferenceArray<T>* from) noexcept
{
    if (to == from)
        return;
    Share(from);
    Release(to);
    to = from;
}

}  // namespace

KestroIndexedMeshLODInstance::KestroIndexedMeshLODInstance(Nyx::MaterialManager* manager)
    : KestroIndexedMeshInstance(manager)
{
}

KestroIndexedMeshLODInstance::~KestroIndexedMeshLODInstance()
{
    for (LevelEntry& entry : levels_) {
        Release(entry.chunks);
        Release(entry.materials);
    }
    levels_.clear();
    namedMeshes_.reset();
    cutOffPoints_.clear();
    if (bones_) {
        RemoveChild(bones_);
        if (GetSkeleton() == bones_)
            SetSkeleton(nullptr);
        delete bones_;
        bones_ = nullptr;
    }
}

Nyx::Particle* KestroIndexedMeshLODInstance::FindNamedParticle(Nyx::Particle* root, const Nyx::PString& name)
{
    if (!root)
        return nullptr;
    if (const auto* point = dynamic_cast<const Nyx::AttachmentPoint*>(root)) {
        const std::string whole = point->GetSecondName().Empty()
                                      ? point->GetFirstName().Str()
                                      : point->GetFirstName().Str() + '.' + point->GetSecondName().Str();
        if (whole == name.View() || point->GetFirstName() == name)
            return root;
    } else if (const auto* particle = dynamic_cast<const Nyx::ViewPortParticle*>(root);
               particle && particle->GetName() == name) {
        return root;
    } else if (const auto* bone = dynamic_cast<const Nyx::ParticleBone*>(root); bone && bone->GetName() == name) {
        return root;
    }
    for (Nyx::Particle* child : root->GetChildren())
        if (Nyx::Particle* found = FindNamedParticle(child, name))
            return found;
    return nullptr;
}

int32_t KestroIndexedMeshLODInstance::FindNamedMesh(std::string_view name) const noexcept
{
    if (!namedMeshes_)
        return -1;
    for (const LodNamedMesh& named : *namedMeshes_)
        if (named.name.View() == name)
            return static_cast<int32_t>(named.meshIndex);
    return -1;
}

void KestroIndexedMeshLODInstance::StoreCurrentArrays()
{
    if (current_ >= levels_.size())
        return;
    LevelEntry& entry = levels_[current_];
    Assign(entry.chunks, GetChunkArray());
    Assign(entry.materials, GetMaterialArray());
}

void KestroIndexedMeshLODInstance::SelectLevel(uint32_t n)
{
    if (n >= levels_.size())
        return;
    current_ = n;
    const LevelEntry& entry = levels_[n];
    UseArrays(entry.chunks, entry.materials, entry.chunkCount);
}

void KestroIndexedMeshLODInstance::SelectFirstLevel()
{
    const int32_t collision = FindNamedMesh(kCollisionMesh);
    if (collision >= 0)
        SelectLevel(static_cast<uint32_t>(collision));
    else if (GetLODCount() > 0)
        SelectLevel(GetLODCount() - 1);
}

void KestroIndexedMeshLODInstance::MakeChunkArrayPrivate()
{
    KestroIndexedMeshInstance::MakeChunkArrayPrivate();
    StoreCurrentArrays();
}

void KestroIndexedMeshLODInstance::MakeMaterialArrayPrivate()
{
    KestroIndexedMeshInstance::MakeMaterialArrayPrivate();
    StoreCurrentArrays();
}

void KestroIndexedMeshLODInstance::InitFromLODDefinition(const KestroIndexedMeshLODDefinition& definition)
{
    // 1 to 3.
    Init(definition.GetCutOffs(), definition.GetCalcPoint());
    namedMeshes_ = definition.GetNamedMeshes();
    SetOffset(definition.GetOffset());
    SetMultiplier(definition.GetMultiplier());
    renderCutOff_ = definition.GetRenderCutOff();
    attachmentCutOff_ = definition.GetAttachmentCutOff();

    // 4. One entry per mesh; pieces drawn per instance get copies of their own.
    for (LevelEntry& entry : levels_) {
        Release(entry.chunks);
        Release(entry.materials);
    }
    levels_.clear();
    const std::vector<LodMesh>& meshes = *definition.GetMeshes();
    levels_.reserve(meshes.size());
    for (const LodMesh& mesh : meshes) {
        LevelEntry entry;
        entry.chunkCount = mesh.chunkCount;
        entry.vertexTotal = mesh.vertexTotal;
        entry.faceTotal = mesh.faceTotal;
        entry.hardwareAnimation = mesh.hardwareAnimation;
        entry.chunks = ChunkArray::Create(mesh.chunks->Items());
        entry.materials = MaterialArray::Create(mesh.materials->Items());
        entry.chunkNames = mesh.chunkNames;
        entry.values = mesh.values;
        levels_.push_back(std::move(entry));
    }
    needsLighting_.assign(levels_.size(), 1);
    pendingLighting_ = static_cast<uint32_t>(levels_.size());
    Nyx::Display* display = GetMaterialManager() ? GetMaterialManager()->GetRenderContext() : nullptr;
    for (uint32_t n = 0; n < levels_.size(); ++n) {
        SelectLevel(n);
        bool madePrivate = false;
        for (uint32_t i = 0; i < levels_[n].chunkCount; ++i) {
            const Nyx::GeometryChunk* chunk = GetChunk(i);
            if (!chunk || !(chunk->GetFlags() & kChunkFlagPerInstance))
                continue;
            if (!madePrivate) {
                MakeChunkArrayPrivate();
                madePrivate = true;
            }
            MakeChunkPrivate(i);
            if (Nyx::GeometryChunk* copy = GetChunk(i); copy && display) {
                copy->DuplicateVertexArray(*display);
                copy->DuplicateIndexArray(*display);
            }
        }
        StoreCurrentArrays();
    }

    // 5, 6.
    KestroIndexedMeshInstance::InitFromDefinition(definition);
    SelectFirstLevel();
}

void KestroIndexedMeshLODInstance::AdoptBoneTree(Nyx::ParticleBone* tree)
{
    bones_ = tree;
    if (!tree)
        return;
    AddChild(tree);
    SetSkeleton(tree);
}

void KestroIndexedMeshLODInstance::InitFromResource(MeshInstanceResource* resource)
{
    // 1, 2.
    auto* definition =
        resource ? dynamic_cast<KestroIndexedMeshLODDefinition*>(resource->GetGeometryDefinition()) : nullptr;
    if (!definition)
        return;
    SetResource(resource);
    InitFromLODDefinition(*definition);
    // 3.
    if (const Nyx::ParticleBone* root = definition->GetRootBone())
        AdoptBoneTree(root->CreateInstance());
    // 4. Pieces named after bones move rigidly with them.
    if (bones_)
        for (LevelEntry& entry : levels_) {
            entry.chunkBones.assign(entry.chunkCount, nullptr);
            for (uint32_t i = 0; i < entry.chunkCount && i < entry.chunkNames.size(); ++i)
                if (!entry.chunkNames[i].Empty())
                    entry.chunkBones[i] = Nyx::ViewPortParticle::FindByName(this, entry.chunkNames[i]);
        }
    // 5, 6.
    definition->PlaceAttachmentPoints(*this);
    cutOffPoints_.clear();
    for (const Nyx::PString& name : definition->GetCullList())
        if (Nyx::Particle* point = FindNamedParticle(this, name))
            cutOffPoints_.push_back(point);
}

void KestroIndexedMeshLODInstance::ActivateCurrentMaterials()
{
    for (uint32_t i = 0; i < GetChunkCount(); ++i)
        if (auto* material = dynamic_cast<Nyx::OneTextureMaterial*>(GetMaterial(i)))
            material->Activate(-1);
}

bool KestroIndexedMeshLODInstance::Cull(Nyx::ViewPoint& view)
{
    // 1, 2.
    Nyx::Sphere sphere;
    GetGlobalBoundingSphere(sphere);
    sphere.radius += kCullRadiusMargin;
    const float lod = FindLOD(sphere, view.GetCamera());
    // 3.
    for (Nyx::Particle* point : cutOffPoints_) {
        if (attachmentCutOff_ < lod)
            point->SetFlag(Nyx::Particle::kFlagCutOff);
        else
            point->ClearFlag(Nyx::Particle::kFlagCutOff);
    }
    // 4, 5.
    ViewPortParticle::Cull(view);
    if (GetOpacity() <= 0.0f)
        SetFrameMark(0);
    // 6.
    const bool visible = GetFrameMark() == view.GetFrameNumber();
    if (!visible)
        return false;
    if (!locked_)
        SelectLevel(FindLODIndex(lod));
    // Like the other cut-offs, the render cut-off acts beyond its value; 0
    // or less draws at every distance.
    if (renderCutOff_ <= 0.0f || GetLastLOD() <= renderCutOff_) {
        ActivateCurrentMaterials();
        view.Add(this);
        StoreMatrix(GetGlobalTransform());
    }
    return true;
}

void KestroIndexedMeshLODInstance::Render(Nyx::Display& display, Nyx::ViewPoint& view)
{
    const Nyx::Transform world = GetGlobalTransform();
    if (tinted_)
        display.Note("SetTint", {tint_[0], tint_[1], tint_[2]});
    UpdateEntryLighting(display, view, world, current_, false);
    RenderLightTarget(display);
    const std::vector<Nyx::Particle*>* bones =
        current_ < levels_.size() && !levels_[current_].chunkBones.empty() ? &levels_[current_].chunkBones : nullptr;
    for (uint32_t i = 0; i < GetChunkCount(); ++i) {
        Nyx::GeometryChunk* chunk = GetChunk(i);
        if (!chunk || chunk->GetPrimitiveCount() == 0)
            continue;
        Nyx::RenderState state;
        state.transform = world;
        if (bones) {
            Nyx::Particle* bone = i < bones->size() ? (*bones)[i] : nullptr;
            const auto* seen = dynamic_cast<const Nyx::ViewPortParticle*>(bone);
            // A bone that is no view-port particle is always current.
            if (!bone || (seen && seen->GetFrameMark() != view.GetFrameNumber()))
                continue;
            Nyx::Vector3f position;
            Nyx::Quaternion orientation;
            bone->GetGlobalFrame(position, orientation);
            state.transform = Nyx::Transform::FromFrame(position, orientation);
        }
        if (Nyx::Material* material = GetMaterial(i))
            material->RenderChunk(display, view, *chunk, this, state);
    }
}

void KestroIndexedMeshLODInstance::SetOpacity(float opacity)
{
    for (uint32_t n = 0; n < levels_.size(); ++n)
        if (n != current_ && levels_[n].chunks)
            for (Nyx::GeometryChunk* chunk : levels_[n].chunks->GetEntries())
                if (chunk)
                    chunk->SetOpacity(opacity);
    // The current level's pieces, the stored opacity and the particle's.
    KestroIndexedMeshInstance::SetOpacity(opacity);
}

void KestroIndexedMeshLODInstance::SetTint(float red, float green, float blue)
{
    tint_[0] = red;
    tint_[1] = green;
    tint_[2] = blue;
    tinted_ = !(red == 1.0f && green == 1.0f && blue == 1.0f);
}

void KestroIndexedMeshLODInstance::SetUpdateLighting(bool on) noexcept
{
    needsLighting_.assign(levels_.size(), on ? 1 : 0);
    pendingLighting_ = on ? static_cast<uint32_t>(levels_.size()) : 0;
    KestroIndexedMeshInstance::SetUpdateLighting(on);
}

void KestroIndexedMeshLODInstance::UpdateEntryLighting(Nyx::Display& display, Nyx::ViewPoint& view,
                                                       const Nyx::Transform& transform, uint32_t entry, bool force)
{
    if (entry >= levels_.size())
        return;
    const LevelEntry& level = levels_[entry];
    const bool pending = needsLighting_[entry] != 0;
    if (!pending && !force)
        return;
    CalculateLighting(display, view, transform, level.chunkCount, level.chunks ? level.chunks->GetEntries().data() : nullptr,
                      level.materials ? level.materials->GetEntries().data() : nullptr);
    if (!pending)
        return;
    needsLighting_[entry] = 0;
    if (pendingLighting_ > 0 && --pendingLighting_ == 0)
        KestroIndexedMeshInstance::SetUpdateLighting(false);
}

void KestroIndexedMeshLODInstance::UpdateAllLighting(Nyx::Display& display, Nyx::ViewPoint& view,
                                                     const Nyx::Transform& transform, bool force)
{
    const uint32_t count = force ? std::min<uint32_t>(GetLODCount(), GetEntryCount()) : GetEntryCount();
    for (uint32_t n = 0; n < count; ++n)
        UpdateEntryLighting(display, view, transform, n, force);
}

void KestroIndexedMeshLODInstance::UpdateLighting(Nyx::Display& display, Nyx::ViewPoint& view,
                                                  const Nyx::Transform& transform, bool force)
{
    UpdateEntryLighting(display, view, transform, current_, force);
}

void KestroIndexedMeshLODInstance::CopyLODInto(KestroIndexedMeshLODInstance& copy) const
{
    copy.levels_ = levels_;
    for (LevelEntry& entry : copy.levels_) {
        Share(entry.chunks);
        Share(entry.materials);
        entry.chunkBones.clear();
    }
    copy.current_ = current_;
    // The particle state, the current level's arrays (pieces drawn per
    // instance copied into the copy's current entry), bounds and resource.
    CopyInto(&copy);
    copy.ObjectLOD::InitInstance(*this);
    copy.renderCutOff_ = renderCutOff_;
    copy.attachmentCutOff_ = attachmentCutOff_;
    copy.namedMeshes_ = namedMeshes_;
    copy.locked_ = locked_;
    copy.tinted_ = tinted_;
    std::copy(std::begin(tint_), std::end(tint_), std::begin(copy.tint_));
    copy.SetUpdateLighting(true);
    if (bones_) {
        copy.AdoptBoneTree(bones_->CreateInstance());
        for (LevelEntry& entry : copy.levels_) {
            entry.chunkBones.assign(entry.chunkCount, nullptr);
            for (uint32_t i = 0; i < entry.chunkCount && i < entry.chunkNames.size(); ++i)
                if (!entry.chunkNames[i].Empty())
                    entry.chunkBones[i] = Nyx::ViewPortParticle::FindByName(copy.bones_, entry.chunkNames[i]);
        }
    }
    copy.SelectLevel(current_);
}

Nyx::ViewPortParticle* KestroIndexedMeshLODInstance::CreateInstance() const
{
    auto* copy = new KestroIndexedMeshLODInstance(GetMaterialManager());
    CopyLODInto(*copy);
    return copy;
}
