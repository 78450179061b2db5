#include "resources/mesh/indexed/KestroIndexedMeshDefinition.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#ifdef __SSE2__
#include <immintrin.h>
#endif

#include "nyx/files/File.h"
#include "nyx/RenderKernel.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/scene/AttachmentPoint.h"
#include "nyx/scene/ParticleBone.h"
#include "resources/mesh/MeshFileReading.h"
#include "resources/mesh/MeshOwner.h"

KestroIndexedMeshDefinition::KestroIndexedMeshDefinition(const GeometrySettings& settings) : settings_(settings) {}

KestroIndexedMeshDefinition::~KestroIndexedMeshDefinition()
{
    for (PendingTextures& record : pending_)
        record.material->Release();
    ClearChunks();
    delete rootBone_;
}

void KestroIndexedMeshDefinition::ClearChunks()
{
    for (Nyx::Material* material : materials_)
        if (material)
            material->Release();
    for (Nyx::GeometryChunk* chunk : chunks_)
        if (chunk)
            chunk->Release();
    materials_.clear();
    chunks_.clear();
    chunkNames_.clear();
    fileChunkOfEntry_.clear();
    fileChunksRead_ = 0;
}

MeshLoadResult& KestroIndexedMeshDefinition::OpenFile(MeshLoadResult& result, MeshOwner& owner,
                                                      const Nyx::String& path)
{
    result = RES_OK;
    const Nyx::PString base = owner.GetFileBase();
    const Nyx::File::Path resolved(path);
    name_ = Nyx::PString(resolved.View());
    Nyx::File file;
    if (!file.Open(base, resolved, Nyx::File::kModeRead)) {
        result = RES_FILE_OPEN_ERROR;
        return result;
    }
    if (!file_.Open(file))
        result = RES_FILE_OPEN_ERROR;
    file.Close();
    return result;
}

MeshLoadResult& KestroIndexedMeshDefinition::Load(MeshLoadResult& result, Nyx::RenderKernel* kernel,
                                                  Nyx::MaterialManager* manager, MeshOwner& owner,
                                                  uint32_t /*ownerValue*/, uint32_t defaultColour)
{
    using namespace MeshFileReading;
    result = RES_OK;
    manager_ = manager;
    owner_ = &owner;
    defaultColour_ = defaultColour;
    QueryAnimationCapability(kernel);

    // 1. A manager to make materials, and bytes to read.
    if (!manager) {
        result = RES_NO_MATERIAL_MANAGER;
        return result;
    }
    if (file_.Empty()) {
        result = RES_FILE_OPEN_ERROR;
        return result;
    }
    Nyx::MemoryFile& file = file_;
    file.Seek(0);

    // 2. The frame.
    uint64_t end = 0;
    if (!ReadFrame(file, "IDXM", end)) {
        result = RES_FILE_FORMAT_ERROR;
        return result;
    }

    // 3. INFO.
    if (ReadInfo(result, file) != RES_OK)
        return result;

    // 4. The chunks.
    if (ReadChunks(result, file) != RES_OK)
        return result;

    // 5. The optional chunks; a failure inside them shows at step 7.
    if (file.Tell() < end) {
        MeshLoadResult ignored = RES_OK;
        ReadInfluencesOrSkeleton(ignored, file);
    }
    if (file.Tell() < end) {
        MeshLoadResult ignored = RES_OK;
        ReadAttachments(ignored, file);
    }

    // 6, 7. Totals, and the frame's end reached exactly.
    ComputeTotals();
    if (file.Tell() != end) {
        result = RES_FILE_FORMAT_ERROR;
        return result;
    }

    // 8. Post-load steps.
    BuildSkeletonFromInfluences();
    SetUpBonePalettes();
    ComputeBoundsAndOrientedBox();
    ComputeTextureScale();
    file_.Close();
    return result;
}

void KestroIndexedMeshDefinition::ComputeTotals()
{
    totalVertices_ = 0;
    totalFaces_ = 0;
    for (const Nyx::GeometryChunk* chunk : chunks_) {
        if (!chunk)
            continue;
        totalVertices_ += chunk->GetVertexCount();
        totalFaces_ += chunk->GetFaceCount();
    }
}

void KestroIndexedMeshDefinition::ComputeBounds()
{
    Nyx::Vector3f lo{FLT_MAX, FLT_MAX, FLT_MAX};
    Nyx::Vector3f hi{-FLT_MAX, -FLT_MAX, -FLT_MAX};
    bool any = false;
    for (Nyx::GeometryChunk* chunk : chunks_) {
        const auto positions = chunk ? chunk->GetVector3Array(Nyx::kItemPosition) : Nyx::ItemArray<Nyx::Vector3Item>{};
        for (uint32_t v = 0; positions && v < chunk->GetVertexCount(); ++v) {
            const Nyx::Vector3Item& p = positions[v];
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
            any = true;
        }
    }
    boundsMin_ = any ? lo : Nyx::Vector3f{};
    boundsMax_ = any ? hi : Nyx::Vector3f{};
}

namespace {

// Square roots of a batch, four at a time where the processor has SIMD
// registers: each root is the correctly rounded one, as std::sqrt's.
void SquareRoots(float* values, uint32_t count) noexcept
{
    uint32_t i = 0;
#ifdef __SSE2__
    for (; i + 4 <= count; i += 4)
        _mm_storeu_ps(values + i, _mm_sqrt_ps(_mm_loadu_ps(values + i)));
#endif
    for (; i < count; ++i)
        values[i] = std::sqrt(values[i]);
}

}  // namespace

void KestroIndexedMeshDefinition::ComputeTextureScale()
{
    // Triangles go through in batches: their edge lengths and ratios are
    // worked out for the whole batch (square roots and divisions four at a
    // time), then summed triangle by triangle in order, as the sums'
    // rounding depends on it.
    constexpr uint32_t kBatch = 64;
    float l1[kBatch];
    float l2[kBatch];
    float t1[kBatch];
    float t2[kBatch];
    float r1[kBatch];
    float r2[kBatch];
    bool valid[kBatch];
    double sum = 0.0;
    double weights = 0.0;
    double largest = 0.0;
    for (Nyx::GeometryChunk* chunk : chunks_) {
        if (!chunk)
            continue;
        const auto positions = chunk->GetVector3Array(Nyx::kItemPosition);
        const auto uv = chunk->GetVector2Array(Nyx::kItemTexCoord0);
        const uint16_t* indices = chunk->GetIndexArray();
        if (!positions || !uv || !indices)
            continue;
        // Triangles by the chunk's own rule; lines and points have no area.
        const uint32_t kind = chunk->GetPrimitiveFlags();
        const uint32_t count = chunk->GetIndexCount();
        const uint32_t vertices = chunk->GetVertexCount();
        uint32_t triangles = 0;
        if (kind == 4)
            triangles = count / 3;
        else if ((kind == 8 || kind == 16) && count >= 3)
            triangles = count - 2;
        for (uint32_t from = 0; from < triangles; from += kBatch) {
            const uint32_t n = std::min(kBatch, triangles - from);
            for (uint32_t k = 0; k < n; ++k) {
                const uint32_t t = from + k;
                uint32_t a;
                uint32_t b;
                uint32_t c;
                if (kind == 4) {
                    a = indices[3 * t];
                    b = indices[3 * t + 1];
                    c = indices[3 * t + 2];
                } else if (kind == 8) {
                    a = indices[t];
                    b = indices[t + (t & 1 ? 2 : 1)];
                    c = indices[t + (t & 1 ? 1 : 2)];
                } else {
                    a = indices[0];
                    b = indices[t + 1];
                    c = indices[t + 2];
                }
                valid[k] = a < vertices && b < vertices && c < vertices;
                if (!valid[k]) {
                    l1[k] = l2[k] = t1[k] = t2[k] = 0.0f;
                    continue;
                }
                const auto edge = [](const Nyx::Vector3Item& p, const Nyx::Vector3Item& q) {
                    return (q.x - p.x) * (q.x - p.x) + (q.y - p.y) * (q.y - p.y) + (q.z - p.z) * (q.z - p.z);
                };
                const auto span = [](const Nyx::Vector2Item& p, const Nyx::Vector2Item& q) {
                    return (q.u - p.u) * (q.u - p.u) + (q.v - p.v) * (q.v - p.v);
                };
                l1[k] = edge(positions[a], positions[b]);
                l2[k] = edge(positions[a], positions[c]);
                t1[k] = span(uv[a], uv[b]);
                t2[k] = span(uv[a], uv[c]);
            }
            SquareRoots(l1, n);
            SquareRoots(l2, n);
            SquareRoots(t1, n);
            SquareRoots(t2, n);
            for (uint32_t k = 0; k < n; ++k) {
                r1[k] = l1[k] / t1[k];
                r2[k] = l2[k] / t2[k];
            }
            for (uint32_t k = 0; k < n; ++k) {
                if (!valid[k] || std::fabs(t1[k] * t2[k]) <= 0.00001f)
                    continue;
                const float w = l1[k] * l2[k] * 0.5f;
                // The sums run over every triangle of the mesh: doubles.
                sum += double(r1[k] + r2[k]) * w;
                weights += 2.0 * w;
                largest = std::max({largest, double(r1[k]), double(r2[k])});
            }
        }
    }
    const double mean = weights > 0.0 ? sum / weights : 0.0;
    textureScale_ = static_cast<float>(std::min(mean * 8.0, largest));
}

void KestroIndexedMeshDefinition::ComputeBoundsAndOrientedBox()
{
    // One pass over the positions gives the box's sums and the bounds.
    std::vector<Nyx::OrientedBox::PointArray> arrays;
    arrays.reserve(chunks_.size());
    bool any = false;
    for (Nyx::GeometryChunk* chunk : chunks_) {
        const auto positions = chunk ? chunk->GetVector3Array(Nyx::kItemPosition) : Nyx::ItemArray<Nyx::Vector3Item>{};
        if (positions) {
            arrays.push_back({positions.data, chunk->GetVertexCount(), positions.stride});
            any = any || chunk->GetVertexCount() > 0;
        }
    }
    Nyx::AxisAlignedBox bounds;
    box_ = Nyx::OrientedBox(arrays.data(), static_cast<uint32_t>(arrays.size()), bounds);
    boundsMin_ = any ? bounds.min : Nyx::Vector3f{};
    boundsMax_ = any ? bounds.max : Nyx::Vector3f{};
}

Nyx::String KestroIndexedMeshDefinition::ResolveTexturePath(const Nyx::String& fileName) const
{
    const Nyx::File::Path given(fileName);
    std::string path(owner_ ? Nyx::File::Path(owner_->GetName()).Folder() : std::string_view());
    path += given.FileName();
    return Nyx::String(std::move(path));
}

MeshLoadResult KestroIndexedMeshDefinition::FinishLoad(uint32_t checkValue)
{
    ApplyPendingTextures();
    return CheckChunks(checkValue);
}

MeshLoadResult KestroIndexedMeshDefinition::CheckChunks(uint32_t checkValue) const
{
    bool usable = true;
    for (const Nyx::GeometryChunk* chunk : chunks_)
        usable = (chunk && chunk->IsUsable(checkValue)) && usable;
    return usable ? RES_OK : RES_FILE_DATA_ERROR;
}

Nyx::PString KestroIndexedMeshDefinition::GetChunkName(uint32_t i) const
{
    return i < chunkCount_ && i < chunkNames_.size() ? chunkNames_[i] : Nyx::PString();
}

void KestroIndexedMeshDefinition::PlaceAttachmentPoints(Nyx::ParticleStructure& instance) const
{
    for (const MeshAttachment& attachment : attachments_) {
        const std::string_view name = attachment.name.View();
        if (name.empty() || (name[0] != 'a' && name[0] != 'A'))
            continue;
        Nyx::Vector3f position = attachment.position;
        Nyx::Quaternion orientation;
        orientation.Set(attachment.orientation);
        Nyx::PString first;
        Nyx::PString second;
        Nyx::AttachmentPoint::GetSubNames(attachment.name, first, second);
        auto* point = new Nyx::AttachmentPoint(first, second);
        if (!rootBone_) {
            if (instance.AddAttachmentPoint(point, false))
                point->SetReferenceFrame(position, orientation);
            else
                delete point;
            continue;
        }
        if (instance.AddAttachmentPoint(point, true)) {
            if (const Nyx::Particle* parent = point->GetParent())
                parent->GlobalToLocal(position, orientation);
            point->SetReferenceFrame(position, orientation);
        } else {
            point->SetReferenceFrame(position, orientation);
            instance.AdoptPoint(point);
        }
    }
}

uint32_t KestroIndexedMeshDefinition::GetMemoryUsage() const
{
    uint64_t bytes = 252 + 300 * uint64_t{influenceCount_} + 52 * uint64_t{attachmentCount_};
    for (const Nyx::GeometryChunk* chunk : chunks_)
        if (chunk)
            bytes += uint64_t{chunk->GetVertexSize(-1)} * chunk->GetVertexCount() + 2 * uint64_t{chunk->GetIndexCount()};
    return static_cast<uint32_t>(std::min<uint64_t>(bytes, UINT32_MAX));
}

// ---- accessors ----

uint32_t KestroIndexedMeshDefinition::GetChunkVertexCount(uint32_t i) const
{
    const Nyx::GeometryChunk* chunk = GetChunk(i);
    return chunk ? chunk->GetVertexCount() : 0;
}

uint32_t KestroIndexedMeshDefinition::GetChunkIndexCount(uint32_t i) const
{
    const Nyx::GeometryChunk* chunk = GetChunk(i);
    return chunk ? chunk->GetIndexCount() : 0;
}

uint32_t KestroIndexedMeshDefinition::GetChunkPrimitiveValue(uint32_t i) const
{
    const Nyx::GeometryChunk* chunk = GetChunk(i);
    return chunk ? chunk->GetPrimitiveCount() : 0;
}

uint32_t KestroIndexedMeshDefinition::GetChunkTexCoordSetCount(uint32_t i) const
{
    Nyx::GeometryChunk* chunk = GetChunk(i);
    uint32_t sets = 0;
    for (uint32_t s = 0; chunk && s < 8; ++s)
        if (chunk->GetVector2Array(Nyx::kItemTexCoord0 + s))
            ++sets;
    return sets;
}

uint32_t KestroIndexedMeshDefinition::GetChunkMaxVertexInfluences(uint32_t i) const
{
    const uint32_t vertices = GetChunkVertexCount(i);
    if (influences_.empty() || vertices == 0)
        return 0;
    std::vector<uint32_t> counts(vertices);
    uint32_t largest = 0;
    for (const Nyx::InfluenceDefinition& definition : influences_)
        for (const Nyx::InfluenceGroup& group : definition.groups)
            if (group.chunkIndex == i)
                for (const Nyx::InfluenceEntry& entry : group.entries)
                    if (entry.vertex < vertices)
                        largest = std::max(largest, ++counts[entry.vertex]);
    return largest;
}

namespace {

bool CopyItem(Nyx::GeometryChunk* chunk, uint32_t item, uint32_t size, void* out, uint32_t stride)
{
    const auto items = chunk ? chunk->GetItemArray(item) : Nyx::ItemArray<unsigned char>{};
    if (!items || !out)
        return false;
    for (uint32_t v = 0; v < chunk->GetVertexCount(); ++v)
        std::memcpy(static_cast<unsigned char*>(out) + size_t{v} * stride, &items[v], size);
    return true;
}

}  // namespace

bool KestroIndexedMeshDefinition::CopyChunkPositions(uint32_t i, void* out, uint32_t stride) const
{
    return CopyItem(GetChunk(i), Nyx::kItemPosition, 12, out, stride);
}

bool KestroIndexedMeshDefinition::CopyChunkTexCoords(uint32_t i, uint32_t set, void* out, uint32_t stride) const
{
    return set < 8 && CopyItem(GetChunk(i), Nyx::kItemTexCoord0 + set, 8, out, stride);
}

bool KestroIndexedMeshDefinition::CopyChunkIndices(uint32_t i, void* out) const
{
    const Nyx::GeometryChunk* chunk = GetChunk(i);
    const uint16_t* indices = chunk ? chunk->GetIndexArray() : nullptr;
    if (!indices || !out)
        return false;
    std::memcpy(out, indices, size_t{chunk->GetIndexCount()} * 2);
    return true;
}

bool KestroIndexedMeshDefinition::CopyChunkNormals(uint32_t i, void* out, uint32_t stride) const
{
    return CopyItem(GetChunk(i), Nyx::kItemNormal, 12, out, stride);
}

bool KestroIndexedMeshDefinition::CopyChunkColours(uint32_t i, bool primary, void* out, uint32_t stride,
                                                   uint32_t fill) const
{
    Nyx::GeometryChunk* chunk = GetChunk(i);
    if (!chunk || !out)
        return false;
    if (CopyItem(chunk, primary ? Nyx::kItemColour : Nyx::kItemColour2, 4, out, stride))
        return true;
    for (uint32_t v = 0; v < chunk->GetVertexCount(); ++v)
        std::memcpy(static_cast<unsigned char*>(out) + size_t{v} * stride, &fill, 4);
    return true;
}

bool KestroIndexedMeshDefinition::CopyChunkFaceNormals(uint32_t i, void* out) const
{
    const Nyx::GeometryChunk* chunk = GetChunk(i);
    const float* normals = chunk ? chunk->GetFaceNormalArray() : nullptr;
    if (!normals || !out)
        return false;
    std::memcpy(out, normals, size_t{chunk->GetFaceCount()} * 12);
    return true;
}

Nyx::PString KestroIndexedMeshDefinition::GetChunkMaterialName(uint32_t i) const
{
    const Nyx::Material* material = GetMaterial(i);
    return material ? material->GetRequestName() : Nyx::PString();
}

Nyx::PString KestroIndexedMeshDefinition::GetChunkMaterialType(uint32_t i) const
{
    const Nyx::Material* material = GetMaterial(i);
    return material ? material->GetType() : Nyx::PString();
}

bool KestroIndexedMeshDefinition::GetChunkMaterialFlag(uint32_t i) const
{
    const Nyx::Material* material = GetMaterial(i);
    return material && (material->GetFlags() & kMaterialFlagDescription) != 0;
}

float KestroIndexedMeshDefinition::GetChunkMaterialFloat(uint32_t i) const
{
    const Nyx::Material* material = GetMaterial(i);
    return material ? material->GetFloat() : 0.0f;
}

Nyx::DisplayMaterial KestroIndexedMeshDefinition::GetChunkDisplayMaterial(uint32_t i) const
{
    const Nyx::Material* material = GetMaterial(i);
    return material ? material->GetDisplayMaterial() : Nyx::DisplayMaterial{};
}

uint32_t KestroIndexedMeshDefinition::GetChunkMaterialPropertyCount(uint32_t i) const
{
    const Nyx::Material* material = GetMaterial(i);
    return material ? material->GetNumProperties() : 0;
}

Nyx::String KestroIndexedMeshDefinition::GetChunkMaterialProperty(uint32_t i, uint32_t p, bool value) const
{
    const Nyx::Material* material = GetMaterial(i);
    const auto* property = material ? material->GetProperty(p) : nullptr;
    return property ? (value ? property->second : property->first) : Nyx::String();
}

Nyx::PString KestroIndexedMeshDefinition::GetInfluenceBoneName(uint32_t n) const
{
    return n < influences_.size() ? influences_[n].boneName : Nyx::PString();
}

Nyx::PString KestroIndexedMeshDefinition::GetInfluenceParentName(uint32_t n) const
{
    return n < influences_.size() ? influences_[n].parentName : Nyx::PString();
}

Nyx::Vector3f KestroIndexedMeshDefinition::GetInfluencePosition(uint32_t n) const
{
    return n < influences_.size() ? influences_[n].position : Nyx::Vector3f{};
}

Nyx::Quaternion KestroIndexedMeshDefinition::GetInfluenceOrientation(uint32_t n) const
{
    Nyx::Quaternion q;
    if (n < influences_.size())
        q.Set(influences_[n].orientation);
    return q;
}

uint32_t KestroIndexedMeshDefinition::GetInfluenceGroupCount(uint32_t n) const
{
    return n < influences_.size() ? static_cast<uint32_t>(influences_[n].groups.size()) : 0;
}

uint32_t KestroIndexedMeshDefinition::GetInfluenceGroupChunk(uint32_t n, uint32_t g) const
{
    return g < GetInfluenceGroupCount(n) ? influences_[n].groups[g].chunkIndex : 0;
}

uint32_t KestroIndexedMeshDefinition::GetInfluenceGroupEntryCount(uint32_t n, uint32_t g) const
{
    return g < GetInfluenceGroupCount(n) ? static_cast<uint32_t>(influences_[n].groups[g].entries.size()) : 0;
}

bool KestroIndexedMeshDefinition::CopyInfluenceGroupEntries(uint32_t n, uint32_t g, void* out) const
{
    if (g >= GetInfluenceGroupCount(n) || !out)
        return false;
    const auto& entries = influences_[n].groups[g].entries;
    if (!entries.empty())
        std::memcpy(out, entries.data(), entries.size() * sizeof(Nyx::InfluenceEntry));
    return true;
}

Nyx::PString KestroIndexedMeshDefinition::GetAttachmentName(uint32_t n) const
{
    return n < attachments_.size() ? attachments_[n].name : Nyx::PString();
}

Nyx::Quaternion KestroIndexedMeshDefinition::GetAttachmentOrientation(uint32_t n) const
{
    Nyx::Quaternion q;
    if (n < attachments_.size())
        q.Set(attachments_[n].orientation);
    return q;
}

Nyx::Vector3f KestroIndexedMeshDefinition::GetAttachmentPosition(uint32_t n) const
{
    return n < attachments_.size() ? attachments_[n].position : Nyx::Vector3f{};
}

MeshLoadResult& KestroIndexedMeshDefinition::ReadChunks(MeshLoadResult& result, Nyx::MemoryFile& file)
{
    // Empty chunks give their slot to the next.
    ClearChunks();
    chunks_.reserve(chunkCount_);
    materials_.reserve(chunkCount_);
    for (uint32_t i = 0; i < chunkCount_;) {
        if (ReadChunk(result, file) != RES_OK)
            return result;
        const Nyx::GeometryChunk* chunk = chunks_[i];
        if (chunk->GetVertexCount() == 0 || chunk->GetIndexCount() == 0 || chunk->GetPrimitiveCount() == 0) {
            chunks_[i]->Release();
            if (materials_[i])
                materials_[i]->Release();
            chunks_.erase(chunks_.begin() + i);
            materials_.erase(materials_.begin() + i);
            chunkNames_.erase(chunkNames_.begin() + i);
            --chunkCount_;
            continue;
        }
        fileChunkOfEntry_.push_back(fileChunksRead_ - 1);
        ++i;
    }
    return result;
}
