#include "nyx/gfx/chunks/GeometryChunkStreams.h"

namespace Nyx {

namespace {

uint32_t CreationFlagsOf(const StandardChunkHint& hint)
{
    uint32_t flags = 0;
    if (hint.vertexBufferMode == 1)
        flags |= GeometryChunk::kDynamicVertices;
    if (hint.indexBufferMode == 1)
        flags |= GeometryChunk::kDynamicIndices;
    return flags;
}

}  // namespace

GeometryChunkStreams* GeometryChunkStreams::Create(Material* material, uint32_t vertexCount, uint32_t primitiveCount,
                                                   uint32_t indexCount, uint32_t faceCount, uint32_t primitiveCode,
                                                   const StandardChunkHint& hint)
{
    if (!material)
        return nullptr;
    auto* chunk = new GeometryChunkStreams(vertexCount, primitiveCount, indexCount, faceCount, hint);
    chunk->SetMaterial(material);
    chunk->SetPrimitiveCode(primitiveCode);
    chunk->AddRef();
    return chunk;
}

GeometryChunkStreams::GeometryChunkStreams(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                           uint32_t faceCount, const StandardChunkHint& hint)
    : GeometryChunk(vertexCount, primitiveCount, indexCount, faceCount, CreationFlagsOf(hint), hint.overwritesIndices,
                    hint.overwritesFaceNormals),
      creationHint_(hint)
{
    present_[kItemPosition] = true;
    present_[kItemColour] = true;
    present_[kItemNormal] = true;
    present_[kItemExtraVector] = (hint.flags & StandardChunkHint::kExtraVectors) != 0;
    const uint32_t sets = hint.texCoordSets < 8 ? hint.texCoordSets : 8;
    for (uint32_t s = 0; s < sets; ++s)
        present_[kItemTexCoord0 + s] = true;
    if (hint.flags & StandardChunkHint::kSkinned) {
        if (hint.flags & StandardChunkHint::kSoftwareSkinning) {
            SetFlags(GetFlags() | kFlagSoftwareSkinned);
        } else if (hint.skinWeights > 0) {
            if (hint.flags & StandardChunkHint::kFloatWeights) {
                const uint32_t n = hint.influences < 1 ? 1 : hint.influences > 4 ? 4 : hint.influences;
                present_[kItemWeights1 + n - 1] = true;
            } else {
                present_[kItemPackedWeights] = true;
            }
            present_[kItemBoneIndices] = true;
        }
    }
    for (uint32_t item = 0; item < kItemCount; ++item) {
        if (!present_[item])
            continue;
        const size_t bytes = size_t{vertexCount} * VertexItemSize(item);
        if (hint.overwrittenItems & StandardChunkHint::ItemBit(item))
            streams_[item].resize(bytes);
        else
            streams_[item].assign(bytes, 0);
    }
}

GeometryChunk* GeometryChunkStreams::CreateInstance(uint32_t vertexCount, uint32_t primitiveCount,
                                                    uint32_t indexCount, uint32_t faceCount) const
{
    return Create(GetMaterial(), vertexCount, primitiveCount, indexCount, faceCount, GetPrimitiveCode(),
                  creationHint_);
}

GeometryChunk* GeometryChunkStreams::CreateInstance() const
{
    auto* chunk = new GeometryChunkStreams(0, 0, 0, 0, creationHint_);
    chunk->InitInstance(*this);
    chunk->present_ = present_;
    chunk->streams_ = streams_;
    chunk->AddRef();
    return chunk;
}

bool GeometryChunkStreams::ResizeVertexArray(Display& display, uint32_t count)
{
    for (uint32_t item = 0; item < kItemCount; ++item)
        if (present_[item])
            streams_[item].resize(size_t{count} * VertexItemSize(item), 0);
    return GeometryChunk::ResizeVertexArray(display, count);
}

uint32_t GeometryChunkStreams::GetVertexSize(int32_t stream) const noexcept
{
    uint32_t size = 0;
    for (uint32_t item = 0; item < kItemCount; ++item)
        if (present_[item] && (stream < 0 || static_cast<uint32_t>(stream) == item))
            size += VertexItemSize(item);
    return size;
}

ItemArray<unsigned char> GeometryChunkStreams::GetItemArray(uint32_t item) noexcept
{
    if (item >= kItemCount || !present_[item] || GetMaxVertices() == 0)
        return {};
    return {VertexItemSize(item), streams_[item].data()};
}

}  // namespace Nyx
