#include "resources/lod/KestroIndexedMeshLODDefinition.h"

#include <algorithm>
#include <cfloat>
#include <cstring>

#include "nyx/files/File.h"
#include "nyx/RenderKernel.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "nyx/scene/ParticleBone.h"
#include "resources/mesh/MeshFileReading.h"
#include "resources/mesh/MeshOwner.h"

KestroIndexedMeshLODDefinition::KestroIndexedMeshLODDefinition(const GeometrySettings& settings)
    : KestroIndexedMeshDefinition(settings),
      namedMeshes_(std::make_shared<std::vector<LodNamedMesh>>()),
      meshes_(std::make_shared<std::vector<LodMesh>>())
{
}

KestroIndexedMeshLODDefinition::~KestroIndexedMeshLODDefinition() { Discard(); }

void KestroIndexedMeshLODDefinition::Discard()
{
    keptDefinitions_.DeleteAll();
    // Instances may still hold the shared lists; they keep theirs.
    meshes_ = std::make_shared<std::vector<LodMesh>>();
    namedMeshes_ = std::make_shared<std::vector<LodNamedMesh>>();
    for (Nyx::Material* material : materialTable_)
        if (material)
            material->Release();
    materialTable_.clear();
    cutOffs_.clear();
    cullList_.clear();
    boneTable_.clear();
    boneCount_ = 0;
    meshCount_ = 0;
    ClearChunks();
    chunkCount_ = 0;
    totalVertices_ = 0;
    totalFaces_ = 0;
    attachments_.clear();
    attachmentCount_ = 0;
    delete rootBone_;
    rootBone_ = nullptr;
    hardwareAnimation_ = false;
}

// ---- loading ----

MeshLoadResult& KestroIndexedMeshLODDefinition::LoadFile(MeshLoadResult& result, Nyx::RenderKernel* kernel,
                                                         Nyx::MaterialManager* manager, MeshOwner& owner,
                                                         const Nyx::String& name, uint32_t defaultColour)
{
    animationCapability_ = kernel && kernel->QueryCapability(Nyx::RenderKernel::kCapabilityHardwareSkinning);
    if (OpenFile(result, owner, name) != RES_OK)
        return result;
    return Load(result, kernel, manager, owner, 0, defaultColour);
}

void KestroIndexedMeshLODDefinition::BeginLoad(MeshLoadResult& result, Nyx::RenderKernel* kernel,
                                               Nyx::MaterialManager* manager, MeshOwner& owner, uint32_t defaultColour)
{
    result = RES_OK;
    manager_ = manager;
    owner_ = &owner;
    kernel_ = kernel;
    defaultColour_ = defaultColour;
    // Unlike the indexed load, the palette keeps its constructed size.
    animationCapability_ = kernel && kernel->QueryCapability(Nyx::RenderKernel::kCapabilityHardwareSkinning);
    materialPrefix_ = owner.GetOwnerName().Str() + '*' + std::string(Nyx::File::Path(owner.GetName()).Folder()) + '*';
}

MeshLoadResult& KestroIndexedMeshLODDefinition::Load(MeshLoadResult& result, Nyx::RenderKernel* kernel,
                                                     Nyx::MaterialManager* manager, MeshOwner& owner,
                                                     uint32_t /*ownerValue*/, uint32_t defaultColour)
{
    using namespace MeshFileReading;
    BeginLoad(result, kernel, manager, owner, defaultColour);
    if (file_.Empty()) {
        result = RES_FILE_OPEN_ERROR;
        return result;
    }
    // A definition loads once; whatever an earlier load left goes.
    Discard();
    Nyx::MemoryFile& file = file_;
    file.Seek(0);

    // 1. The frame.
    uint64_t end = 0;
    if (!ReadFrame(file, "LODM", end)) {
        result = RES_FILE_FORMAT_ERROR;
        return result;
    }

    // 2-4. INFO, the material table, the bones and the attachment points.
    if (ReadInfo(result, file) != RES_OK || ReadMaterialTable(result, file) != RES_OK ||
        ReadBoneTable(result, file) != RES_OK || ReadBoneTree(result, file) != RES_OK ||
        ReadAttachments(result, file) != RES_OK)
        return result;

    // 5. The meshes.
    meshes_ = std::make_shared<std::vector<LodMesh>>(meshCount_);
    cutOffs_.clear();
    for (uint32_t i = 0; i < meshCount_; ++i)
        if (ReadMesh(result, file, i) != RES_OK)
            return result;

    // 6. At least one detail level.
    if (cutOffs_.empty()) {
        result = RES_FILE_FORMAT_ERROR;
        return result;
    }

    // 7. Each mesh's totals.
    for (LodMesh& mesh : *meshes_) {
        mesh.vertexTotal = 0;
        mesh.faceTotal = 0;
        for (const Nyx::GeometryChunk* chunk : mesh.chunks->Items()) {
            if (!chunk)
                continue;
            mesh.vertexTotal += chunk->GetVertexCount();
            mesh.faceTotal += chunk->GetFaceCount();
        }
    }

    // 8. The frame's end reached exactly.
    if (file.Tell() != end) {
        result = RES_FILE_FORMAT_ERROR;
        return result;
    }

    // 9. Post-load steps.
    name_ = Nyx::PString(Nyx::File::Path(name_).FileName());
    BuildBoneTreeFromTable();
    SetUpBonePalettes();
    ComputeLevelBounds();
    // The indexed mesh's own post-load step, over the last level.
    UseLastLevelAsOwn();
    ComputeTextureScale();
    ComputeLevelOrientedBox();
    // Queued only where a background-resource system runs.
    RequestCollisionTree();
    StripCullSuffixes();
    UseLastLevelAsOwn();
    file_.Close();
    return result;
}

MeshLoadResult KestroIndexedMeshLODDefinition::LoadResourceFile(Nyx::RenderKernel* kernel, MeshOwner& owner,
                                                                const Nyx::String& name, uint32_t defaultColour)
{
    MeshLoadResult result = RES_OK;
    if (!kernel)
        return RES_NO_MATERIAL_MANAGER;
    LoadFile(result, kernel, &kernel->GetMaterialManager(), owner, name, defaultColour);
    if (result != RES_OK)
        Discard();
    return result;
}

MeshLoadResult KestroIndexedMeshLODDefinition::LoadResourceText(Nyx::RenderKernel* kernel, MeshOwner& owner,
                                                                const Nyx::String& name, uint32_t defaultColour)
{
    MeshLoadResult result = RES_OK;
    if (!kernel)
        return RES_NO_MATERIAL_MANAGER;
    return LoadFromText(result, owner, name, &kernel->GetMaterialManager(), kernel, defaultColour);
}

// ---- post-load steps ----

void KestroIndexedMeshLODDefinition::BuildBoneTreeFromTable()
{
    if (boneTable_.empty())
        return;
    std::vector<std::unique_ptr<Nyx::ParticleBone>> bones;
    bones.reserve(boneTable_.size());
    for (const LodBone& record : boneTable_) {
        auto bone = std::make_unique<Nyx::ParticleBone>();
        bone->SetName(Nyx::PString(record.name.View()));
        Nyx::Quaternion orientation;
        orientation.Set(record.orientation);
        bone->SetReferenceFrame(record.position, orientation);
        bone->SetBoundingVolume(std::make_unique<Nyx::ParticleVisibleBoundingBox>(
            Nyx::AxisAlignedBox({-0.01f, -0.01f, -0.01f}, {0.01f, 0.01f, 0.01f})));
        bones.push_back(std::move(bone));
    }
    size_t root = boneTable_.size();
    for (size_t n = 0; n < boneTable_.size() && root == boneTable_.size(); ++n)
        if (boneTable_[n].parentName.Empty())
            root = n;
    if (root == boneTable_.size())
        return;  // no bone to hang the others from: the tree read stays
    for (size_t n = 0; n < boneTable_.size(); ++n) {
        if (n == root)
            continue;
        LodBone& record = boneTable_[n];
        size_t parent = boneTable_.size();
        for (size_t k = 0; k < boneTable_.size() && parent == boneTable_.size(); ++k)
            if (k != n && boneTable_[k].name == record.parentName)
                parent = k;
        if (parent == boneTable_.size())
            record.parentName = boneTable_[root].name;
        // A parent that would close a loop hangs the bone under the root.
        if (parent == boneTable_.size() || !bones[parent]->Add(bones[n].get()))
            bones[root]->Add(bones[n].get());
    }
    delete rootBone_;
    rootBone_ = bones[root].release();
    for (auto& bone : bones)
        bone.release();  // each now hangs below the root
}

void KestroIndexedMeshLODDefinition::SetUpBonePalettes()
{
    const bool floats = settings_.IsOn(GeometrySettings::kHardwareAnimationFloatPrecision);
    for (uint32_t m = 0; m < meshes_->size(); ++m) {
        const LodMesh& mesh = (*meshes_)[m];
        if (!mesh.hardwareAnimation)
            continue;
        for (uint32_t j = 0; j < mesh.chunks->Size(); ++j) {
            Nyx::GeometryChunk* chunk = (*mesh.chunks)[j];
            if (!chunk)
                continue;
            const auto indices = chunk->GetUDwordArray(Nyx::kItemBoneIndices);
            const auto packed = chunk->GetUDwordArray(Nyx::kItemPackedWeights);
            Nyx::ItemArray<float> weights;
            uint32_t weightCount = 0;
            for (uint32_t k = 0; k < 4 && !weights; ++k) {
                weights = chunk->GetFloatArray(Nyx::kItemWeights1 + k);
                weightCount = k + 1;
            }
            if (!indices || (floats ? !weights : !packed))
                continue;
            const uint32_t vertices = chunk->GetVertexCount();
            for (uint32_t b = 0; b < boneTable_.size(); ++b) {
                for (const Nyx::InfluenceGroup& group : GetInfluenceBlock(b, m)) {
                    if (group.chunkIndex != j)
                        continue;
                    const uint32_t slot = chunk->AddInfluenceMatrix(b);
                    if (slot == Nyx::GeometryChunk::kNoSlot)
                        continue;
                    const auto value = static_cast<uint8_t>(slot * 3);
                    for (const Nyx::InfluenceEntry& entry : group.entries) {
                        // A vertex the piece does not have has no streams.
                        if (entry.vertex >= vertices)
                            continue;
                        auto* index = reinterpret_cast<uint8_t*>(&indices[entry.vertex]);
                        const float w = entry.values[0];
                        uint32_t s = 0;
                        if (index[3] == 0xFE)
                            s = 3;
                        else if (index[2] == 0xFE)
                            s = 2;
                        else if (index[1] == 0xFE)
                            s = 1;
                        if (floats) {
                            float* fw = &weights[entry.vertex];
                            if (s == 0)
                                for (uint32_t k = 1; k < weightCount; ++k)
                                    fw[k] = 0.0f;
                            if (s < weightCount)
                                fw[s] = w;
                        } else {
                            const float scaled = w * 255.0f;
                            const auto stored =
                                static_cast<uint8_t>(scaled >= 255.0f ? 255 : scaled > 0.0f ? scaled : 0);
                            auto* weight = reinterpret_cast<uint8_t*>(&packed[entry.vertex]);
                            if (s == 0)
                                weight[1] = weight[2] = weight[3] = 0;
                            weight[s] = stored;
                        }
                        if (s == 0) {
                            index[0] = value;
                            index[1] = 0xFE;
                            index[2] = 0;
                            index[3] = 0;
                        } else {
                            index[s] = value;
                            if (s < 3)
                                index[s + 1] = 0xFE;
                        }
                    }
                }
            }
        }
    }
}

void KestroIndexedMeshLODDefinition::ComputeLevelBounds()
{
    if (cutOffs_.empty() || cutOffs_.size() > meshes_->size())
        return;
    const LodMesh& level = (*meshes_)[cutOffs_.size() - 1];
    Nyx::Vector3f lo{FLT_MAX, FLT_MAX, FLT_MAX};
    Nyx::Vector3f hi{-FLT_MAX, -FLT_MAX, -FLT_MAX};
    bool any = false;
    for (Nyx::GeometryChunk* chunk : level.chunks->Items()) {
        const auto positions = chunk ? chunk->GetVector3Array(Nyx::kItemPosition) : Nyx::ItemArray<Nyx::Vector3Item>{};
        for (uint32_t v = 0; positions && v < chunk->GetVertexCount(); ++v) {
            const Nyx::Vector3Item& p = positions[v];
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
            any = true;
        }
    }
    if (any) {
        boundsMin_ = lo;
        boundsMax_ = hi;
    }
}

void KestroIndexedMeshLODDefinition::ComputeLevelOrientedBox()
{
    if (cutOffs_.empty() || cutOffs_.size() > meshes_->size())
        return;
    const LodMesh& level = (*meshes_)[cutOffs_.size() - 1];
    std::vector<Nyx::Vector3f> corners;
    for (Nyx::GeometryChunk* chunk : level.chunks->Items()) {
        const auto positions = chunk ? chunk->GetVector3Array(Nyx::kItemPosition) : Nyx::ItemArray<Nyx::Vector3Item>{};
        if (!positions || chunk->GetVertexCount() == 0)
            continue;
        std::vector<Nyx::Vector3f> points(chunk->GetVertexCount());
        for (uint32_t v = 0; v < chunk->GetVertexCount(); ++v)
            points[v] = {positions[v].x, positions[v].y, positions[v].z};
        const Nyx::OrientedBox box(points.data(), static_cast<uint32_t>(points.size()), sizeof(Nyx::Vector3f));
        for (int c = 0; c < 8; ++c) {
            Nyx::Vector3f corner = box.GetCentre();
            for (int a = 0; a < 3; ++a) {
                const float half = a == 0 ? box.GetHalfSize().x : a == 1 ? box.GetHalfSize().y : box.GetHalfSize().z;
                corner = corner + box.GetAxis(a) * ((c >> a & 1) ? half : -half);
            }
            corners.push_back(corner);
        }
    }
    box_ = Nyx::OrientedBox(corners.data(), static_cast<uint32_t>(corners.size()), sizeof(Nyx::Vector3f));
}

void KestroIndexedMeshLODDefinition::StripCullSuffixes()
{
    cullList_.clear();
    for (MeshAttachment& point : attachments_) {
        const std::string_view name = point.name.View();
        for (size_t at = 0; at + kCullSuffix.size() <= name.size(); ++at) {
            bool same = true;
            for (size_t k = 0; k < kCullSuffix.size() && same; ++k) {
                const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
                same = lower(name[at + k]) == lower(kCullSuffix[k]);
            }
            if (!same)
                continue;
            std::string rest(name.substr(0, at));
            rest += name.substr(at + kCullSuffix.size());
            point.name = Nyx::PString(rest);
            cullList_.push_back(point.name);
            break;
        }
    }
}

void KestroIndexedMeshLODDefinition::UseLastLevelAsOwn()
{
    ClearChunks();
    if (cutOffs_.empty() || cutOffs_.size() > meshes_->size()) {
        chunkCount_ = totalVertices_ = totalFaces_ = 0;
        return;
    }
    const LodMesh& level = (*meshes_)[cutOffs_.size() - 1];
    chunkCount_ = level.chunkCount;
    totalVertices_ = level.vertexTotal;
    totalFaces_ = level.faceTotal;
    hardwareAnimation_ = level.hardwareAnimation;
    for (Nyx::GeometryChunk* chunk : level.chunks->Items()) {
        if (chunk)
            chunk->AddRef();
        chunks_.push_back(chunk);
    }
    for (Nyx::Material* material : level.materials->Items()) {
        if (material)
            material->AddRef();
        materials_.push_back(material);
    }
    chunkNames_ = level.chunkNames;
}

// ---- after loading ----

void KestroIndexedMeshLODDefinition::FinishLod(Nyx::Display& display)
{
    // 1. The kept meshes' textures, then the kept meshes themselves.
    for (KestroIndexedMeshDefinition* kept : keptDefinitions_)
        kept->ApplyPendingTextures();
    keptDefinitions_.DeleteAll();
    // 2. A material equal to one of an earlier mesh gives way to it.
    for (size_t m = 1; m < meshes_->size(); ++m) {
        LodMesh& mesh = (*meshes_)[m];
        for (uint32_t k = 0; k < mesh.materials->Size(); ++k) {
            Nyx::Material* material = (*mesh.materials)[k];
            Nyx::Material* earlier = nullptr;
            for (size_t p = 0; p < m && !earlier && material; ++p)
                for (Nyx::Material* candidate : (*meshes_)[p].materials->Items())
                    if (candidate && candidate != material && candidate->GetType() == material->GetType() &&
                        material->IsEqual(*candidate)) {
                        earlier = candidate;
                        break;
                    }
            if (!earlier)
                continue;
            if (Nyx::GeometryChunk* chunk = (*mesh.chunks)[k])
                if (chunk->GetMaterial() == material)
                    chunk->SetMaterial(earlier);
            mesh.materials->Set(k, earlier);
        }
    }
    UseLastLevelAsOwn();
    // 3. Every piece ready to draw.
    for (LodMesh& mesh : *meshes_)
        for (Nyx::GeometryChunk* chunk : mesh.chunks->Items())
            if (chunk)
                chunk->InitializeBuffers(display, true);
}

int32_t KestroIndexedMeshLODDefinition::FindNamedMesh(const Nyx::PString& name) const noexcept
{
    for (const LodNamedMesh& entry : *namedMeshes_)
        if (entry.name == name)
            return static_cast<int32_t>(entry.meshIndex);
    return -1;
}

uint32_t KestroIndexedMeshLODDefinition::GetSizeEstimate() const
{
    uint64_t bytes = 4 * (75 * uint64_t{boneCount_} + 13 * uint64_t{attachmentCount_} + cutOffs_.capacity()) +
                     12 * uint64_t{namedMeshes_->size()} + 40 * uint64_t{meshes_->size()};
    for (const LodMesh& mesh : *meshes_)
        for (const Nyx::GeometryChunk* chunk : mesh.chunks->Items())
            if (chunk)
                bytes += uint64_t{chunk->GetVertexSize(-1)} * chunk->GetVertexCount() +
                         2 * uint64_t{chunk->GetIndexCount()};
    for (const LodBone& bone : boneTable_)
        bytes += sizeof(LodBone) + bone.name.Length() + bone.parentName.Length();
    for (const LodMesh& mesh : *meshes_) {
        for (const LodInfluenceBlock& block : mesh.boneBlocks) {
            bytes += sizeof(LodInfluenceBlock);
            for (const Nyx::InfluenceGroup& group : block)
                bytes += sizeof(Nyx::InfluenceGroup) + group.entries.size() * sizeof(Nyx::InfluenceEntry);
        }
    }
    return static_cast<uint32_t>(std::min<uint64_t>(bytes, UINT32_MAX));
}

// ---- influence maxima ----

const LodInfluenceBlock& KestroIndexedMeshLODDefinition::GetInfluenceBlock(uint32_t bone, uint32_t mesh) const noexcept
{
    static const LodInfluenceBlock kNone;
    if (mesh >= meshes_->size() || bone >= (*meshes_)[mesh].boneBlocks.size())
        return kNone;
    return (*meshes_)[mesh].boneBlocks[bone];
}

uint32_t KestroIndexedMeshLODDefinition::ComputePieceInfluences(uint32_t mesh, uint32_t piece) const
{
    const Nyx::GeometryChunk* chunk = mesh < meshes_->size() ? (*(*meshes_)[mesh].chunks)[piece] : nullptr;
    const uint32_t vertices = chunk ? chunk->GetVertexCount() : 0;
    std::vector<uint32_t> counts(vertices);
    uint32_t largest = 0;
    for (uint32_t b = 0; b < boneTable_.size(); ++b) {
        for (const Nyx::InfluenceGroup& group : GetInfluenceBlock(b, mesh))
            if (group.chunkIndex == piece)
                for (const Nyx::InfluenceEntry& entry : group.entries)
                    if (entry.vertex < vertices)
                        largest = std::max(largest, ++counts[entry.vertex]);
    }
    return largest;
}

uint32_t KestroIndexedMeshLODDefinition::ComputeMaxInfluences(uint32_t mesh) const
{
    uint32_t largest = 0;
    const uint32_t pieces = mesh < meshes_->size() ? (*meshes_)[mesh].chunks->Size() : 0;
    for (uint32_t j = 0; j < pieces; ++j)
        largest = std::max(largest, ComputePieceInfluences(mesh, j));
    return largest;
}

uint32_t KestroIndexedMeshLODDefinition::ComputeMaxChunkBones(uint32_t mesh) const
{
    uint32_t largest = 0;
    const uint32_t pieces = mesh < meshes_->size() ? (*meshes_)[mesh].chunks->Size() : 0;
    for (uint32_t j = 0; j < pieces; ++j) {
        uint32_t bones = 0;
        for (uint32_t b = 0; b < boneTable_.size(); ++b) {
            const LodInfluenceBlock& block = GetInfluenceBlock(b, mesh);
            bones += std::any_of(block.begin(), block.end(),
                                 [j](const Nyx::InfluenceGroup& group) { return group.chunkIndex == j; })
                         ? 1
                         : 0;
        }
        largest = std::max(largest, bones);
    }
    return largest;
}
