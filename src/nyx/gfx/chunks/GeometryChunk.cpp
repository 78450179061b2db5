#include "nyx/gfx/chunks/GeometryChunk.h"

#include <cstring>

#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/display/RenderDevice.h"

namespace Nyx {

namespace {

// A palette byte holds slot × 3, and 0xFE marks a free slot while a vertex
// is filled: slots up to 84 keep clear of it.
constexpr uint32_t kMaxPaletteSlots = 85;

}  // namespace

GeometryChunk* GeometryChunk::Create(Material* material, const ChunkHint& hint, uint32_t vertexCount,
                                     uint32_t primitiveCount, uint32_t indexCount)
{
    if (!material || hint.vertexSize == 0)
        return nullptr;
    auto* chunk = new GeometryChunk(material, hint, vertexCount, primitiveCount, indexCount);
    chunk->AddRef();
    return chunk;
}

GeometryChunk::GeometryChunk(Material* material, const ChunkHint& hint, uint32_t vertexCount, uint32_t primitiveCount,
                             uint32_t indexCount)
    : GeometryChunk(vertexCount, primitiveCount, indexCount, 0, 0)
{
    hint_ = hint;
    SetMaterial(material);
}

GeometryChunk::GeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount, uint32_t faceCount,
                             uint32_t creationFlags, bool indicesOverwritten, bool faceNormalsOverwritten)
    : vertexCount_(vertexCount), maxVertices_(vertexCount), primitiveCount_(primitiveCount), indexCount_(indexCount),
      maxIndices_(indexCount), faceCount_(faceCount), creationFlags_(creationFlags),
      indices_(indicesOverwritten ? std::make_shared<ChunkArray<uint16_t>>(indexCount)
                                  : std::make_shared<ChunkArray<uint16_t>>(indexCount, uint16_t{0})),
      faceNormals_(faceNormalsOverwritten ? ChunkArray<float>(size_t{faceCount} * 3)
                                          : ChunkArray<float>(size_t{faceCount} * 3, 0.0f))
{
}

GeometryChunk::~GeometryChunk()
{
    SetStaticVertexBuffer(nullptr);
    SetStaticIndexBuffer(nullptr);
    if (material_)
        material_->Release();
}

void GeometryChunk::SetMaterial(Material* material)
{
    if (material)
        material->AddRef();
    if (material_)
        material_->Release();
    material_ = material;
}

uint16_t* GeometryChunk::GetIndexArray() noexcept
{
    return indices_ && !indices_->empty() ? indices_->data() : nullptr;
}

const uint16_t* GeometryChunk::GetIndexArray() const noexcept
{
    return indices_ && !indices_->empty() ? indices_->data() : nullptr;
}

void GeometryChunk::SetFaceNeighborArray(const FaceNeighbors* records)
{
    if (!records) {
        faceNeighbors_.clear();
        return;
    }
    faceNeighbors_.assign(records, records + faceCount_);
}

uint32_t GeometryChunk::AddInfluenceMatrix(uint32_t bone)
{
    for (uint32_t slot = 0; slot < palette_.size(); ++slot)
        if (palette_[slot] == bone)
            return slot;
    if (palette_.size() >= kMaxPaletteSlots)
        return kNoSlot;
    palette_.push_back(bone);
    return static_cast<uint32_t>(palette_.size() - 1);
}

void GeometryChunk::ResetMatrixArray() noexcept
{
    palette_.clear();
    matrices_.clear();
}

void GeometryChunk::AssignInfluenceMatrix(const Matrix4* matrix, uint32_t bone)
{
    // A mesh holds fewer than 1024 bones: larger numbers name none, and
    // would only grow the array.
    if (bone >= kMaxBones)
        return;
    if (bone >= matrices_.size())
        matrices_.resize(size_t{bone} + 1, nullptr);
    matrices_[bone] = matrix;
}

GeometryChunk* GeometryChunk::CreateInstance(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                             uint32_t faceCount) const
{
    auto* chunk = new GeometryChunk(vertexCount, primitiveCount, indexCount, faceCount, creationFlags_);
    chunk->hint_ = hint_;
    chunk->SetMaterial(material_);
    chunk->AddRef();
    return chunk;
}

GeometryChunk* GeometryChunk::CreateInstance() const
{
    auto* chunk = new GeometryChunk(0, 0, 0, 0, creationFlags_);
    chunk->InitInstance(*this);
    chunk->AddRef();
    return chunk;
}

void GeometryChunk::InitInstance(const GeometryChunk& from)
{
    SetMaterial(from.material_);
    hint_ = from.hint_;
    vertexCount_ = from.vertexCount_;
    maxVertices_ = from.maxVertices_;
    primitiveCount_ = from.primitiveCount_;
    indexCount_ = from.indexCount_;
    maxIndices_ = from.maxIndices_;
    faceCount_ = from.faceCount_;
    creationFlags_ = from.creationFlags_;
    flags_ = from.flags_;
    primitiveCode_ = from.primitiveCode_;
    primitiveFlags_ = from.primitiveFlags_;
    primitiveValue_ = from.primitiveValue_;
    vertexType_ = from.vertexType_;
    indices_ = from.indices_;
    faceNormals_ = from.faceNormals_;
    faceNeighbors_ = from.faceNeighbors_;
    palette_ = from.palette_;
    properties_ = from.properties_;
    lightingScale_ = from.lightingScale_;
    matrices_ = from.matrices_;
    firstMatrixConstant_ = from.firstMatrixConstant_;
    lastMatrixConstant_ = from.lastMatrixConstant_;
}

bool GeometryChunk::InitializeBuffers(Display& display, bool fill)
{
    RenderDevice& device = display.GetRenderDevice();
    if (!(creationFlags_ & kDynamicVertices) && !staticVertices_) {
        const VertexType* type = AssignVertexType(display);
        RenderBuffer* buffer = type ? device.CreateVertexBuffer(type->id, vertexCount_) : nullptr;
        if (!buffer)
            return false;
        if (fill) {
            if (!device.Upload(*buffer, GetVertexArray(), vertexCount_ * GetVertexSize(0))) {
                buffer->Release();
                return false;
            }
            vertexDirty_ = false;
        } else {
            vertexDirty_ = true;
        }
        SetStaticVertexBuffer(buffer);
        buffer->Release();
    }
    if (!(creationFlags_ & kDynamicIndices) && !staticIndices_) {
        RenderBuffer* buffer = device.CreateIndexBuffer(GetMaxIndices());
        if (!buffer)
            return false;
        if (fill) {
            if (!device.Upload(*buffer, GetIndexArray(), indexCount_ * 2)) {
                buffer->Release();
                return false;
            }
            indexDirty_ = false;
        } else {
            indexDirty_ = true;
        }
        SetStaticIndexBuffer(buffer);
        buffer->Release();
    }
    return true;
}

bool GeometryChunk::LoadBuffers(Display& display)
{
    RenderDevice& device = display.GetRenderDevice();
    if (staticVertices_ && !(creationFlags_ & kDynamicVertices)) {
        if (!device.Upload(*staticVertices_, GetVertexArray(), vertexCount_ * GetVertexSize(0)))
            return false;
        vertexDirty_ = false;
    }
    if (staticIndices_ && !(creationFlags_ & kDynamicIndices)) {
        if (!device.Upload(*staticIndices_, GetIndexArray(), indexCount_ * 2))
            return false;
        indexDirty_ = false;
    }
    return true;
}

bool GeometryChunk::DuplicateVertexArray(Display& /*display*/) { return true; }

bool GeometryChunk::DuplicateIndexArray(Display& /*display*/)
{
    if (indices_ && indices_.use_count() > 1)
        indices_ = std::make_shared<ChunkArray<uint16_t>>(*indices_);
    return true;
}

bool GeometryChunk::ResizeVertexArray(Display& /*display*/, uint32_t count)
{
    vertexCount_ = maxVertices_ = count;
    return true;
}

bool GeometryChunk::AppendChunk(Display& display, const GeometryChunk& other)
{
    const uint32_t base = vertexCount_;
    const uint64_t total = uint64_t{base} + other.vertexCount_;
    if (total > 0x10000)
        return false;
    if (!ResizeVertexArray(display, static_cast<uint32_t>(total)))
        return false;
    auto& from = const_cast<GeometryChunk&>(other);
    for (uint32_t item = 1; item < kItemCount; ++item) {
        const uint32_t size = VertexItemSize(item);
        const ItemArray<unsigned char> src = from.GetItemArray(item);
        const ItemArray<unsigned char> dst = GetItemArray(item);
        if (!size || !src || !dst)
            continue;
        for (uint32_t v = 0; v < other.vertexCount_; ++v)
            std::memcpy(&dst[base + v], &src[v], size);
    }
    DuplicateIndexArray(display);
    const uint16_t* extra = other.GetIndexArray();
    for (uint32_t i = 0; i < other.indexCount_ && extra; ++i)
        indices_->push_back(static_cast<uint16_t>(extra[i] + base));
    indices_->resize(size_t{indexCount_} + other.indexCount_, 0);
    indexCount_ = maxIndices_ = static_cast<uint32_t>(indices_->size());
    primitiveCount_ += other.primitiveCount_;
    return true;
}

const VertexType* GeometryChunk::AssignVertexType(Display& display)
{
    if (!vertexType_)
        SetVertexType(display, GetVertexTypeID(), 0);
    return vertexType_;
}

void GeometryChunk::SetVertexType(Display& display, uint32_t id, uint32_t stream)
{
    if (stream == 0)
        vertexType_ = display.GetRenderDevice().FindVertexType(id);
}

uint32_t GeometryChunk::primitiveLookup(uint32_t kind) noexcept
{
    switch (kind) {
    case 0: return 5;
    case 1: return 3;
    case 2: return 4;
    case 4: return 0;
    case 8: return 1;
    case 16: return 2;
    default: return kNoPrimitive;
    }
}

int32_t GeometryChunk::GetItemOffset(uint32_t item) const noexcept
{
    const VertexType* type = vertexType_ ? vertexType_ : VertexType::Get(GetVertexTypeID());
    return type && item < kItemCount ? type->itemOffset[item] : -1;
}

ItemArray<unsigned char> GeometryChunk::GetItemArray(uint32_t /*item*/) noexcept { return {}; }

bool GeometryChunk::IsUsable(uint32_t /*value*/) const
{
    return vertexCount_ > 0 && (indexCount_ == 0 || GetIndexArray() != nullptr);
}

void GeometryChunk::SetStaticVertexBuffer(RenderBuffer* buffer)
{
    if (buffer)
        buffer->AddRef();
    if (staticVertices_)
        staticVertices_->Release();
    staticVertices_ = buffer;
}

void GeometryChunk::SetStaticIndexBuffer(RenderBuffer* buffer)
{
    if (buffer)
        buffer->AddRef();
    if (staticIndices_)
        staticIndices_->Release();
    staticIndices_ = buffer;
}

}  // namespace Nyx
