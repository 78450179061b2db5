#include "resources/mesh/indexed/KestroIndexedMeshInstance.h"

#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/display/DisplayFormat.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "nyx/scene/ParticleBone.h"
#include "nyx/scene/ReferencePoint.h"
#include "nyx/scene/ViewPoint.h"
#include "resources/mesh/indexed/KestroIndexedMeshDefinition.h"
#include "resources/mesh/MeshInstanceResource.h"

namespace {

template <class T>
void ReleaseArray(SharedReferenceArray<T>*& array)
{
    if (array)
        array->Release();
    array = nullptr;
}

template <class T>
SharedReferenceArray<T>* ShareArray(SharedReferenceArray<T>* array)
{
    if (array)
        array->AddRef();
    return array;
}

}  // namespace

KestroIndexedMeshInstance::KestroIndexedMeshInstance(Nyx::MaterialManager* manager) : manager_(manager) {}

KestroIndexedMeshInstance::~KestroIndexedMeshInstance()
{
    chunkBones_.clear();
    SetResource(nullptr);
    ReleaseArray(chunks_);
    ReleaseArray(materials_);
    // The skeleton belongs to the definition: leave it, do not take it along.
    if (Nyx::ParticleBone* skeleton = GetSkeleton(); skeleton && skeleton->GetParent() == this)
        RemoveChild(skeleton);
}

Nyx::Display* KestroIndexedMeshInstance::RenderContext() const noexcept
{
    return manager_ ? manager_->GetRenderContext() : nullptr;
}

void KestroIndexedMeshInstance::SetResource(MeshInstanceResource* resource)
{
    if (resource) {
        resource->AddReference();
        resource->Lock();
    }
    if (resource_) {
        resource_->Unlock();
        resource_->ReleaseReference();
    }
    resource_ = resource;
}

void KestroIndexedMeshInstance::Bind(MeshInstanceResource* resource, const KestroIndexedMeshDefinition& definition)
{
    SetResource(resource);
    InitFromDefinition(definition);
    if (Nyx::ParticleBone* root = definition.GetRootBone()) {
        AddChild(root);
        SetSkeleton(root);
        chunkBones_.clear();
        for (uint32_t i = 0; i < chunkCount_; ++i) {
            const Nyx::PString bone = definition.GetChunkName(i);
            if (bone.Empty())
                chunkBones_.push_back(nullptr);
            else if (bone == root->GetName())
                chunkBones_.push_back(root);
            else
                chunkBones_.push_back(root->Find(bone));
        }
    }
    definition.PlaceAttachmentPoints(*this);
}

void KestroIndexedMeshInstance::InitFromDefinition(const KestroIndexedMeshDefinition& definition)
{
    ReleaseArray(chunks_);
    ReleaseArray(materials_);
    chunkCount_ = definition.GetChunkCount();
    chunks_ = ShareArray(definition.GetSharedChunkArray());
    materials_ = ShareArray(definition.GetSharedMaterialArray());
    textureScale_ = definition.GetTextureScale();
    boundsMin_ = definition.GetBoundsMin();
    boundsMax_ = definition.GetBoundsMax();
    box_ = definition.GetOrientedBox();

    for (const MeshAttachment& attachment : definition.GetAttachments()) {
        const std::string_view name = attachment.name.View();
        if (name.empty() || (name[0] != 'p' && name[0] != 'P'))
            continue;
        Nyx::Quaternion orientation;
        orientation.Set(attachment.orientation);
        AddReferencePoint(new Nyx::ReferencePoint(Nyx::ReferencePoint::GetSubNames(attachment.name),
                                                  attachment.position, orientation));
    }
    SetName(definition.GetName());
    UpdateBoundingVolume();

    bool madePrivate = false;
    for (uint32_t i = 0; i < chunkCount_; ++i) {
        const Nyx::GeometryChunk* chunk = GetChunk(i);
        if (!chunk || !(chunk->GetFlags() & kChunkFlagPerInstance))
            continue;
        if (!madePrivate) {
            MakeChunkArrayPrivate();
            madePrivate = true;
        }
        GivePerInstanceCopy(i);
    }
}

void KestroIndexedMeshInstance::GivePerInstanceCopy(uint32_t i)
{
    MakeChunkPrivate(i);
    Nyx::GeometryChunk* copy = GetChunk(i);
    Nyx::Display* display = RenderContext();
    if (copy && display) {
        copy->DuplicateVertexArray(*display);
        copy->DuplicateIndexArray(*display);
    }
}

Nyx::ViewPortParticle* KestroIndexedMeshInstance::CreateInstance() const
{
    auto* copy = new KestroIndexedMeshInstance(manager_);
    CopyInto(copy);
    return copy;
}

void KestroIndexedMeshInstance::CopyInto(KestroIndexedMeshInstance* copy) const
{
    copy->InitInstance(*this);
    copy->chunks_ = ShareArray(chunks_);
    copy->chunkCount_ = chunkCount_;
    copy->textureScale_ = textureScale_;
    copy->boundsMin_ = boundsMin_;
    copy->boundsMax_ = boundsMax_;
    copy->box_ = box_;
    copy->materials_ = ShareArray(materials_);
    copy->SetResource(resource_);
    copy->opacity_ = opacity_;
    copy->scale_ = scale_;
    copy->scaled_ = scaled_;
    copy->SetUpdateLighting(GetUpdateLighting());
    bool madePrivate = false;
    for (uint32_t i = 0; i < chunkCount_; ++i) {
        const Nyx::GeometryChunk* chunk = GetChunk(i);
        if (!chunk || !(chunk->GetFlags() & kChunkFlagPerInstance))
            continue;
        if (!madePrivate) {
            copy->MakeChunkArrayPrivate();
            madePrivate = true;
        }
        copy->GivePerInstanceCopy(i);
    }
}

void KestroIndexedMeshInstance::AppendOwnChunk(Nyx::GeometryChunk* chunk, Nyx::Material* material)
{
    if (!chunks_)
        chunks_ = ChunkArray::Create({});
    else if (chunks_->RefCount() > 1)
        MakeChunkArrayPrivate();
    if (!materials_)
        materials_ = MaterialArray::Create({});
    else if (materials_->RefCount() > 1)
        MakeMaterialArrayPrivate();
    chunks_->Append(chunk);
    if (material)
        material->AddRef();
    materials_->Append(material);
    ++chunkCount_;
    if (chunkBones_.size() + 1 == chunkCount_ && !chunkBones_.empty())
        chunkBones_.push_back(nullptr);
}

void KestroIndexedMeshInstance::SetBounds(const Nyx::Vector3f& lo, const Nyx::Vector3f& hi, const Nyx::OrientedBox& box)
{
    boundsMin_ = lo;
    boundsMax_ = hi;
    box_ = box;
    UpdateBoundingVolume();
}

void KestroIndexedMeshInstance::UseArrays(ChunkArray* chunks, MaterialArray* materials, uint32_t chunkCount)
{
    if (chunks != chunks_) {
        ShareArray(chunks);
        ReleaseArray(chunks_);
        chunks_ = chunks;
    }
    if (materials != materials_) {
        ShareArray(materials);
        ReleaseArray(materials_);
        materials_ = materials;
    }
    chunkCount_ = chunkCount;
}

void KestroIndexedMeshInstance::MakeChunkArrayPrivate()
{
    if (!chunks_)
        return;
    ChunkArray* own = ChunkArray::Create(chunks_->GetEntries());
    chunks_->Release();
    chunks_ = own;
}

void KestroIndexedMeshInstance::MakeMaterialArrayPrivate()
{
    if (!materials_)
        return;
    MaterialArray* own = MaterialArray::Create(materials_->GetEntries());
    materials_->Release();
    materials_ = own;
}

void KestroIndexedMeshInstance::MakeChunkPrivate(uint32_t i)
{
    Nyx::GeometryChunk* chunk = i < chunkCount_ ? GetChunk(i) : nullptr;
    if (chunk)
        chunks_->Replace(i, chunk->CreateInstance());
}

void KestroIndexedMeshInstance::MakeMaterialPrivate(uint32_t i)
{
    Nyx::Material* material = i < chunkCount_ ? GetMaterial(i) : nullptr;
    if (material)
        materials_->Replace(i, material->Duplicate());
}

bool KestroIndexedMeshInstance::AddChunk(Nyx::GeometryChunk* chunk, Nyx::Material* material)
{
    if (!chunk || (chunk->GetFlags() & kChunkFlagSoftwareSkinned) || chunk->GetOwner() || !chunks_)
        return false;
    Nyx::GeometryChunk* added = chunk;
    if (chunk->GetFlags() & kChunkFlagPerInstance) {
        added = chunk->CreateInstance();
        if (Nyx::Display* display = RenderContext()) {
            added->DuplicateVertexArray(*display);
            added->DuplicateIndexArray(*display);
        }
    } else {
        added->AddRef();
    }
    if (chunks_->RefCount() > 1)
        MakeChunkArrayPrivate();
    if (materials_ && materials_->RefCount() > 1)
        MakeMaterialArrayPrivate();
    chunks_->Append(added);
    if (!materials_)
        materials_ = MaterialArray::Create({});
    if (material)
        material->AddRef();
    materials_->Append(material);
    ++chunkCount_;
    if (chunkBones_.size() + 1 == chunkCount_ && !chunkBones_.empty())
        chunkBones_.push_back(nullptr);
    return true;
}

bool KestroIndexedMeshInstance::FillChunk(const Nyx::GeometryChunk& from, uint32_t i)
{
    if ((from.GetFlags() & kChunkFlagSoftwareSkinned) || from.GetOwner() || i >= chunkCount_)
        return false;
    const Nyx::GeometryChunk* target = GetChunk(i);
    Nyx::Display* display = RenderContext();
    if (!target || !display || !(from.GetFlags() & kChunkFlagRebuildable) ||
        !(target->GetFlags() & kChunkFlagRebuildable) || from.GetKind() != 1 || target->GetKind() != 1 ||
        !target->AcceptsVertexType(from.GetVertexTypeID()))
        return false;
    MakeChunkArrayPrivate();
    // The copy of chunk i keeps its own material and flags and takes the
    // other chunk's vertices and indices, in arrays of its own.
    Nyx::GeometryChunk* copy = from.CreateInstance();
    copy->SetMaterial(target->GetMaterial());
    copy->SetFlags(target->GetFlags());
    copy->DuplicateVertexArray(*display);
    copy->DuplicateIndexArray(*display);
    chunks_->Replace(i, copy);
    return true;
}

void KestroIndexedMeshInstance::SetOpacity(float opacity)
{
    opacity_ = opacity;
    for (uint32_t i = 0; i < chunkCount_; ++i)
        if (Nyx::GeometryChunk* chunk = GetChunk(i))
            chunk->SetOpacity(opacity);
    ViewPortParticle::SetOpacity(opacity);
}

void KestroIndexedMeshInstance::SetScale(float x, float y, float z)
{
    scale_ = {x, y, z};
    scaled_ = !(x == 1.0f && y == 1.0f && z == 1.0f);
    UpdateBoundingVolume();
}

void KestroIndexedMeshInstance::UpdateBoundingVolume()
{
    SetBoundingVolume(scaled_ ? box_.Scaled(scale_) : box_);
}

uint32_t KestroIndexedMeshInstance::GetTotalPrimitiveCount() const
{
    uint32_t total = 0;
    for (uint32_t i = 0; i < chunkCount_; ++i)
        if (const Nyx::GeometryChunk* chunk = GetChunk(i))
            total += chunk->GetPrimitiveCount();
    return total;
}

void KestroIndexedMeshInstance::ProjectVertices(ProjectionRing& out, const float m[9], const float t[3]) const
{
    for (uint32_t i = 0; i < chunkCount_; ++i) {
        const Nyx::GeometryChunk* chunk = GetChunk(i);
        const auto positions = chunk ? chunk->GetVector3Array(Nyx::kItemPosition)
                                     : Nyx::ItemArray<const Nyx::Vector3Item>{};
        if (!positions)
            continue;
        for (uint32_t v = 0; v < chunk->GetVertexCount(); ++v) {
            const Nyx::Vector3Item& p = positions[v];
            out.Append({m[0] * p.x + m[3] * p.y + m[6] * p.z + t[0], m[1] * p.x + m[4] * p.y + m[7] * p.z + t[1]});
        }
    }
}

bool KestroIndexedMeshInstance::ReplaceTexture(uint32_t material, const Nyx::PString& texture,
                                               const Nyx::TextureImage& image)
{
    const Nyx::Material* owner = material < chunkCount_ ? GetMaterial(material) : nullptr;
    Nyx::Texture* target = owner ? owner->FindTexture(texture) : nullptr;
    if (!target)
        return false;
    static constexpr uint32_t kDisplayFormats[] = {5, 1, 3, 8};
    if (image.pixelFormat < 1 || image.pixelFormat > 4)
        return false;
    Nyx::DisplayFormat format;
    format.Set(kDisplayFormats[image.pixelFormat - 1]);
    return target->ReplaceImage(image, format);
}

bool KestroIndexedMeshInstance::Cull(Nyx::ViewPoint& view)
{
    // Only what the frustum keeps is handed to the view for drawing.
    if (!ViewPortParticle::Cull(view))
        return false;
    if (opacity_ > 0.0f) {
        Nyx::Sphere sphere;
        GetGlobalBoundingSphere(sphere);
        const uint32_t level = view.CalcWantedMipLevelsForCull(sphere, textureScale_);
        for (uint32_t i = 0; i < chunkCount_; ++i)
            if (Nyx::Material* material = GetMaterial(i))
                material->SetWantedMipLevel(level);
        view.Add(this);
        StoreMatrix(GetGlobalTransform());
    }
    return true;
}

void KestroIndexedMeshInstance::Render(Nyx::Display& display, Nyx::ViewPoint& view)
{
    Nyx::RenderState state;
    state.transform = GetGlobalTransform();
    if (scaled_) {
        state.scale = scale_;
        state.scaled = true;
        state.transform.scale = scale_;
        display.SetRenderScale(scale_);
    }
    RenderLightTarget(display);
    for (uint32_t i = 0; i < chunkCount_; ++i) {
        Nyx::GeometryChunk* chunk = GetChunk(i);
        if (!chunk || chunk->GetPrimitiveCount() == 0)
            continue;
        Nyx::RenderState chunkState = state;
        if (!chunkBones_.empty()) {
            Nyx::Particle* bone = i < chunkBones_.size() ? chunkBones_[i] : nullptr;
            const auto* seen = dynamic_cast<const Nyx::ViewPortParticle*>(bone);
            // A bone is drawn with when culling saw it this frame; bones
            // that are no view-port particles are always current.
            if (!bone || (seen && seen->GetFrameMark() != view.GetFrameNumber()))
                continue;
            Nyx::Vector3f position;
            Nyx::Quaternion orientation;
            bone->GetGlobalFrame(position, orientation);
            chunkState.transform = Nyx::Transform::FromFrame(position, orientation);
            chunkState.transform.scale = state.transform.scale;
        }
        if (Nyx::Material* material = GetMaterial(i))
            material->RenderChunk(display, view, *chunk, this, chunkState);
    }
}

void KestroIndexedMeshInstance::DrawGeometry(Nyx::Display& display, Nyx::ViewPoint& view,
                                             const Nyx::Transform& transform, bool light)
{
    for (uint32_t i = 0; i < chunkCount_; ++i) {
        Nyx::GeometryChunk* chunk = GetChunk(i);
        if (!chunk || chunk->GetPrimitiveCount() == 0)
            continue;
        display.SetTransform(transform);
        const uint32_t program = chunk->GetVertexProgram();
        Nyx::Material* material = GetMaterial(i);
        if (light && material)
            material->SetLightingState(display, view.GetCamera().GetViewTransform(), *chunk, program, GetLights(),
                                       transform, opacity_, true);
        display.SetVertexProgram(program);
        display.DrawChunk(*chunk, material);
    }
}

bool KestroIndexedMeshInstance::IsNotInFrame(const Nyx::ViewPoint& view) const
{
    return GetFrameMark() != view.GetFrameNumber();
}

void KestroIndexedMeshInstance::UpdateLighting(Nyx::Display& display, Nyx::ViewPoint& view,
                                               const Nyx::Transform& transform, bool force)
{
    if (GetUpdateLighting() || force) {
        static const std::vector<Nyx::GeometryChunk*> kNoChunks;
        static const std::vector<Nyx::Material*> kNoMaterials;
        CalculateLighting(display, view, transform, chunkCount_,
                          (chunks_ ? chunks_->GetEntries() : kNoChunks).data(),
                          (materials_ ? materials_->GetEntries() : kNoMaterials).data());
    }
    SetUpdateLighting(false);
}

SharedReferenceArray<Nyx::GeometryChunk>* KestroIndexedMeshDefinition::GetSharedChunkArray() const
{
    if (!sharedChunks_.Get())
        sharedChunks_.Reset(SharedReferenceArray<Nyx::GeometryChunk>::Create(chunks_));
    return sharedChunks_.Get();
}

SharedReferenceArray<Nyx::Material>* KestroIndexedMeshDefinition::GetSharedMaterialArray() const
{
    if (!sharedMaterials_.Get())
        sharedMaterials_.Reset(SharedReferenceArray<Nyx::Material>::Create(materials_));
    return sharedMaterials_.Get();
}
