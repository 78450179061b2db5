#include "resources/mesh/MeshChunkReading.h"

#include <cstring>
#include <memory>
#include <vector>

#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/chunks/MeshFileSupport.h"
#include "nyx/gfx/chunks/StandardChunkHint.h"
#include "nyx/gfx/chunks/VertexType.h"
#include "nyx/scene/ParticleBone.h"
#include "resources/mesh/indexed/KestroIndexedMeshDefinition.h"
#include "resources/mesh/MeshFileReading.h"

namespace MeshFileReading {

namespace {

// The least bytes one record can take: a count is refused when that many
// records cannot follow.
constexpr uint64_t kMinPropertyBytes = 8;  // two empty strings
constexpr uint64_t kMinTextureBytes = 12;  // kind, empty name, value

}  // namespace

bool ReadMaterialFields(Nyx::MemoryFile& file, MeshMaterialDescription& description)
{
    using Nyx::MeshFileSupport;
    uint32_t propertyCount = 0;
    if (!ReadCount(file, propertyCount, kMinPropertyBytes))
        return false;
    description.properties.resize(propertyCount);
    for (auto& [key, value] : description.properties) {
        MeshFileSupport::ReadPaddedString(file, key);
        MeshFileSupport::ReadPaddedString(file, value);
    }
    uint32_t flag = 0;
    file.Read(flag);
    description.flag = flag != 0;
    file.Read(description.leadingFloat);
    for (Nyx::DisplayColour& colour : description.display.colour) {
        file.Read(colour.r);
        file.Read(colour.g);
        file.Read(colour.b);
        colour.a = 1.0f;
    }
    file.Read(description.display.power);
    Nyx::DisplayColour& fourth = description.display.colour[3];
    fourth = {fourth.r * 0.5f, fourth.g * 0.5f, fourth.b * 0.5f, fourth.a * 0.5f};

    uint32_t textureCount = 0;
    if (!ReadCount(file, textureCount, kMinTextureBytes))
        return false;
    description.textures.resize(textureCount);
    for (Nyx::MaterialTextureEntry& texture : description.textures) {
        file.Read(texture.kind);
        MeshFileSupport::ReadPaddedString(file, texture.path);
        file.Read(texture.value);
    }
    return true;
}

Nyx::GeometryChunk* MakeGeometryChunk(Nyx::Material* material, const GeometryCounts& g, uint32_t code,
                                      Nyx::StandardChunkHint hint, bool extraVectors)
{
    if (extraVectors)
        hint.flags |= Nyx::StandardChunkHint::kExtraVectors;
    Nyx::GeometryChunk* chunk =
        material ? material->CreateGeometryChunk(g.vertexCount, g.primitiveCount, g.indexCount, g.faceCount, code, hint)
                 : nullptr;
    if (chunk)
        chunk->SetPrimitiveFlags(g.primitive & 0x1F);
    return chunk;
}

uint32_t PromiseWholeArrays(Nyx::StandardChunkHint& hint, uint32_t texCoordSets, bool extraVectors)
{
    using Nyx::StandardChunkHint;
    uint32_t items = StandardChunkHint::ItemBit(Nyx::kItemPosition) | StandardChunkHint::ItemBit(Nyx::kItemColour) |
                     StandardChunkHint::ItemBit(Nyx::kItemNormal);
    for (uint32_t s = 0; s < texCoordSets && s < 8; ++s)
        items |= StandardChunkHint::ItemBit(Nyx::kItemTexCoord0 + s);
    if (extraVectors)
        items |= StandardChunkHint::ItemBit(Nyx::kItemExtraVector);
    hint.overwrittenItems = items;
    hint.overwritesIndices = true;
    hint.overwritesFaceNormals = true;
    return items;
}

void UnwrittenArrays::Written(uint32_t item) noexcept
{
    items_ &= ~Nyx::StandardChunkHint::ItemBit(item);
}

UnwrittenArrays::~UnwrittenArrays()
{
    for (uint32_t item = 0; items_ != 0 && item < Nyx::kItemCount; ++item) {
        if (!(items_ & Nyx::StandardChunkHint::ItemBit(item)))
            continue;
        const auto array = chunk_->GetItemArray(item);
        for (uint32_t v = 0; array && v < chunk_->GetMaxVertices(); ++v)
            std::memset(&array[v], 0, Nyx::VertexItemSize(item));
    }
    if (indices_ && chunk_->GetIndexArray())
        std::memset(chunk_->GetIndexArray(), 0, size_t{chunk_->GetMaxIndices()} * 2);
    if (faceNormals_ && chunk_->GetFaceNormalArray())
        std::memset(chunk_->GetFaceNormalArray(), 0, size_t{chunk_->GetFaceCount()} * 12);
}

void ReadFaceNeighbours(Nyx::MemoryFile& file, Nyx::GeometryChunk* chunk)
{
    const uint32_t faces = chunk ? chunk->GetFaceCount() : 0;
    if (faces == 0 || !CountFits(file, faces, sizeof(Nyx::GeometryChunk::FaceNeighbors)))
        return;
    const uint8_t* block = file.Take(faces * 12);
    if (!block)
        return;
    std::vector<Nyx::GeometryChunk::FaceNeighbors> records(faces);
    std::memcpy(records.data(), block, size_t{faces} * 12);
    chunk->SetFaceNeighborArray(records.data());
}

Nyx::ParticleBone* MakeBone(const Nyx::PString& name, const Nyx::Vector3f& position,
                            const Nyx::Quaternion& orientation)
{
    auto* bone = new Nyx::ParticleBone;
    bone->SetName(name);
    bone->SetReferenceFrame(position, orientation);
    bone->SetBoundingVolume(std::make_unique<Nyx::ParticleVisibleBoundingBox>(
        Nyx::AxisAlignedBox({-0.01f, -0.01f, -0.01f}, {0.01f, 0.01f, 0.01f})));
    return bone;
}

}  // namespace MeshFileReading
