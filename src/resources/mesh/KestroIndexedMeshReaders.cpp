// The chunk readers of the ".im" form: INFO, CHNK with MATL, GEOM and NINF,
// INFL or SKEL with its BONEs, and ATCH.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "nyx/File.h"
#include "nyx/gfx/Display.h"
#include "nyx/gfx/GeometryChunk.h"
#include "nyx/gfx/MeshFileSupport.h"
#include "nyx/scene/ParticleBone.h"
#include "resources/mesh/KestroIndexedMeshDefinition.h"
#include "resources/mesh/MeshFileReading.h"
#include "resources/mesh/MeshOwner.h"

using namespace MeshFileReading;

namespace {

// The least bytes one record of each kind can take: a count is refused when
// that many records cannot follow.
constexpr uint64_t kMinChunkBytes = 16 + 84 + 36;    // CHNK head, MATL, GEOM
constexpr uint64_t kMinPropertyBytes = 8;            // two empty strings
constexpr uint64_t kMinTextureBytes = 12;            // kind, empty name, value
constexpr uint64_t kMinInfluenceBytes = 8 + 12 + 36 + 4;
constexpr uint64_t kMinGroupBytes = 8;
constexpr uint64_t kEntryBytes = 20;
constexpr uint64_t kMinBoneBytes = 12 + 4 + 12 + 16 + 4;
constexpr uint64_t kMinAttachmentBytes = 4 + 36 + 12;

// File primitive kind (low five bits) to the engine's primitive code.
bool MapPrimitive(uint32_t kind, uint32_t& code)
{
    switch (kind) {
    case 0: code = 5; return true;
    case 1: code = 3; return true;
    case 2: code = 4; return true;
    case 4: code = 0; return true;
    case 8: code = 1; return true;
    case 16: code = 2; return true;
    default: return false;
    }
}

MeshLoadResult& Fail(MeshLoadResult& result, MeshLoadResult code)
{
    result = code;
    return result;
}

}  // namespace

MeshLoadResult& KestroIndexedMeshDefinition::ReadInfo(MeshLoadResult& result, Nyx::MemoryFile& file)
{
    char tag[4];
    ReadTag(file, tag);
    if (!IsTag(tag, "INFO"))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    uint32_t size = 0;
    uint32_t version = 0;
    file.Read(size);
    file.Read(version);
    if (version < 100 || version > 104)
        return Fail(result, RES_FILE_VERSION_ERROR);
    ReadVector(file, position_);
    file.Read(orientation_.x);
    file.Read(orientation_.y);
    file.Read(orientation_.z);
    file.Read(orientation_.w);
    orientation_.Normalise();
    file.Read(chunkCount_);
    if (version >= 102) {
        file.Read(maxInfluences_);
        file.Read(maxChunkBones_);
    }
    if (version == 104) {
        float ignored;
        for (int k = 0; k < 6; ++k)
            file.Read(ignored);
    }
    if (!CountFits(file, chunkCount_, kMinChunkBytes)) {
        chunkCount_ = 0;
        return Fail(result, RES_FILE_FORMAT_ERROR);
    }
    return result;
}

MeshLoadResult& KestroIndexedMeshDefinition::ReadChunk(MeshLoadResult& result, Nyx::MemoryFile& file)
{
    char tag[4];
    ReadTag(file, tag);
    if (!IsTag(tag, "CHNK"))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    int32_t size = 0;
    file.Read(size);
    const uint64_t end = uint64_t{file.Tell()} + static_cast<uint64_t>(size < 0 ? 0 : size);
    if (size < 0)
        return Fail(result, RES_FILE_FORMAT_ERROR);
    uint32_t version = 0;
    file.Read(version);
    if (version != 100)
        return Fail(result, RES_FILE_VERSION_ERROR);
    uint32_t ignored = 0;
    file.Read(ignored);
    ++fileChunksRead_;
    chunks_.push_back(nullptr);
    materials_.push_back(nullptr);
    chunkNames_.emplace_back();
    if (ReadMaterial(result, file) != RES_OK || ReadGeometry(result, file) != RES_OK)
        return result;
    if (file.Tell() < end && NextTagIs(file, "NINF"))
        ReadNeighbours(result, file);
    return result;
}

MeshLoadResult& KestroIndexedMeshDefinition::ReadMaterial(MeshLoadResult& result, Nyx::MemoryFile& file)
{
    char tag[4];
    ReadTag(file, tag);
    if (!IsTag(tag, "MATL"))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    uint32_t size = 0;
    uint32_t version = 0;
    file.Read(size);
    file.Read(version);
    if (version != 102 && version != 103)
        return Fail(result, RES_FILE_VERSION_ERROR);

    MeshMaterialDescription description;
    Nyx::String name;
    ReadPaddedString(file, name);
    std::string full(owner_->GetOwnerName().View());
    full += '*';
    full += Nyx::File::Path(owner_->GetName()).Folder();
    full += '*';
    full += name.View();
    description.fullName = Nyx::PString(full);

    uint32_t propertyCount = 0;
    file.Read(propertyCount);
    if (!CountFits(file, propertyCount, kMinPropertyBytes))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    description.properties.resize(propertyCount);
    for (auto& [key, value] : description.properties) {
        ReadPaddedString(file, key);
        ReadPaddedString(file, value);
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
    if (version == 102) {
        description.display.colour[2] = {0.0f, 0.0f, 0.0f, 0.0f};
        description.display.power = 10.0f;
    } else {
        description.display.power = std::max(description.display.power, 10.0f);
    }

    uint32_t textureCount = 0;
    file.Read(textureCount);
    if (!CountFits(file, textureCount, kMinTextureBytes))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    description.textures.resize(textureCount);
    for (Nyx::MaterialTextureEntry& texture : description.textures) {
        file.Read(texture.kind);
        ReadPaddedString(file, texture.path);
        file.Read(texture.value);
    }
    return CreateMaterialFromDescription(result, static_cast<uint32_t>(materials_.size() - 1), description);
}

MeshLoadResult& KestroIndexedMeshDefinition::ReadGeometry(MeshLoadResult& result, Nyx::MemoryFile& file)
{
    const uint32_t slot = static_cast<uint32_t>(chunks_.size() - 1);
    // 1. Tag, size and version.
    char tag[4];
    ReadTag(file, tag);
    if (!IsTag(tag, "GEOM"))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    int32_t size = 0;
    file.Read(size);
    const uint32_t afterSize = file.Tell();
    // A negative size would step back over what was read and read it again.
    if (size < 0)
        return Fail(result, RES_FILE_FORMAT_ERROR);
    int32_t version = 0;
    file.Read(version);
    if (version < 101 || version > 201)
        return Fail(result, RES_FILE_VERSION_ERROR);

    // 2. Header fields.
    uint32_t primitive = 0;
    uint32_t geometryFlags = 0;
    float hintValue = 0.0f;
    uint32_t vertexCount = 0;
    uint32_t primitiveCount = 0;
    uint32_t indexCount = 0;
    uint32_t faceCount = 0;
    uint32_t texCoordSets = 1;
    uint32_t influences = 0;
    file.Read(primitive);
    if (version >= 201)
        file.Read(geometryFlags);
    file.Read(hintValue);
    file.Read(vertexCount);
    file.Read(primitiveCount);
    file.Read(indexCount);
    file.Read(faceCount);
    if (version >= 103 && version <= 199)
        file.Read(texCoordSets);
    if (version >= 102)
        file.Read(influences);
    Nyx::PString name;
    if (version >= 200)
        ReadPaddedString(file, name);
    chunkNames_[slot] = name;
    const uint32_t kind = primitive & 0x1F;
    uint32_t code = 0;
    if (!MapPrimitive(kind, code))
        return Fail(result, RES_FILE_FORMAT_ERROR);

    const bool hasColours = version >= 104 && version <= 199;
    const bool hasExtra = version >= 201 && (geometryFlags & 1) != 0;
    // Every block must fit in what remains before anything is made for it:
    // a header alone can ask for gigabytes.
    ByteBudget budget(file.Remaining());
    if (vertexCount > 0)
        budget.Take(vertexCount, 12 + 8 * uint64_t{texCoordSets});
    budget.Take(indexCount, 2);
    budget.Take(vertexCount, 12);
    if (hasColours)
        budget.Take(vertexCount, 4);
    budget.Take(faceCount, 12);
    if (hasExtra)
        budget.Take(vertexCount, 12);
    if (!budget.Ok())
        return Fail(result, RES_FILE_FORMAT_ERROR);

    // 3. The chunk, made by this CHNK's material.
    if (version >= 102)
        DecideHardwareAnimation();
    Nyx::Material* material = materials_[slot];
    Nyx::StandardChunkHint hint = BuildChunkHint(texCoordSets, material, hintValue, influences);
    if (hasExtra)
        hint.flags |= Nyx::StandardChunkHint::kExtraVectors;
    Nyx::GeometryChunk* chunk =
        material ? material->CreateGeometryChunk(vertexCount, primitiveCount, indexCount, faceCount, code, hint)
                 : nullptr;
    if (!chunk)
        return Fail(result, RES_FILE_FORMAT_ERROR);
    chunk->SetPrimitiveFlags(kind);
    if (chunks_[slot])
        chunks_[slot]->Release();
    chunks_[slot] = chunk;

    // 4. Vertices: positions, the default colour, texture coordinates.
    if (vertexCount > 0) {
        const auto positions = chunk->GetVector3Array(Nyx::kItemPosition);
        const auto colours = chunk->GetUDwordArray(Nyx::kItemColour);
        if (influences > 0 && hardwareAnimation_) {
            const MeshLoadResult skin = InitialiseSkinningStreams(*chunk, influences);
            if (skin != RES_OK)
                return Fail(result, skin);
        }
        if (!positions)
            return Fail(result, RES_FAIL_CHUNK_CREATE);
        const uint64_t record = 12 + 8 * uint64_t{texCoordSets};
        const uint8_t* block = file.Take(static_cast<uint32_t>(record * vertexCount));
        if (block) {
            const uint32_t sets = std::min<uint32_t>(texCoordSets, 8);
            Nyx::ItemArray<Nyx::Vector2Item> uv[8];
            for (uint32_t s = 0; s < sets; ++s)
                uv[s] = chunk->GetVector2Array(Nyx::kItemTexCoord0 + s);
            for (uint32_t v = 0; v < vertexCount; ++v) {
                const uint8_t* at = block + record * v;
                std::memcpy(&positions[v], at, 12);
                if (colours)
                    colours[v] = defaultColour_;
                for (uint32_t s = 0; s < sets; ++s)
                    if (uv[s])
                        std::memcpy(&uv[s][v], at + 12 + 8 * s, 8);
            }
        }
    }
    // 5. Indices, each naming a vertex.
    if (indexCount > 0) {
        uint16_t* indices = chunk->GetIndexArray();
        if (!indices)
            return Fail(result, RES_FAIL_CHUNK_CREATE);
        if (const uint8_t* block = file.Take(indexCount * 2)) {
            for (uint32_t k = 0; k < indexCount; ++k) {
                indices[k] = static_cast<uint16_t>(block[2 * k] | block[2 * k + 1] << 8);
                if (indices[k] >= vertexCount)
                    return Fail(result, RES_FILE_FORMAT_ERROR);
            }
        }
    }
    // 6. Normals.
    if (vertexCount > 0) {
        const uint8_t* block = file.Take(vertexCount * 12);
        const auto normals = chunk->GetVector3Array(Nyx::kItemNormal);
        for (uint32_t v = 0; block && normals && v < vertexCount; ++v)
            std::memcpy(&normals[v], block + 12 * v, 12);
    }
    // 7. Stored colours over the default.
    if (hasColours && vertexCount > 0) {
        if (const uint8_t* block = file.Take(vertexCount * 4)) {
            std::vector<uint32_t> stored(vertexCount);
            std::memcpy(stored.data(), block, size_t{vertexCount} * 4);
            Nyx::Display::ConvertColorArray(stored.data(), vertexCount);
            const auto colours = chunk->GetUDwordArray(Nyx::kItemColour);
            for (uint32_t v = 0; colours && v < vertexCount; ++v)
                colours[v] = stored[v];
        }
    }
    // 8. Face normals.
    if (faceCount > 0) {
        float* faceNormals = chunk->GetFaceNormalArray();
        if (!faceNormals)
            return Fail(result, RES_FAIL_CHUNK_CREATE);
        if (const uint8_t* block = file.Take(faceCount * 12))
            std::memcpy(faceNormals, block, size_t{faceCount} * 12);
    }
    // 9. The extra per-vertex vectors.
    if (hasExtra && vertexCount > 0) {
        const uint8_t* block = file.Take(vertexCount * 12);
        const auto extra = chunk->GetVector3Array(Nyx::kItemExtraVector);
        for (uint32_t v = 0; block && extra && v < vertexCount; ++v)
            std::memcpy(&extra[v], block + 12 * v, 12);
    }
    // 10. On to the chunk's end, whatever was read; never past the data.
    const uint64_t end = uint64_t{afterSize} + static_cast<uint32_t>(size);
    file.Seek(static_cast<uint32_t>(std::min<uint64_t>(end, file.GetSize())));
    return result;
}

MeshLoadResult& KestroIndexedMeshDefinition::ReadNeighbours(MeshLoadResult& result, Nyx::MemoryFile& file)
{
    char tag[4];
    ReadTag(file, tag);
    uint32_t size = 0;
    uint32_t version = 0;
    file.Read(size);
    file.Read(version);
    if (version != 100)
        return Fail(result, RES_FILE_VERSION_ERROR);
    Nyx::GeometryChunk* chunk = chunks_.empty() ? nullptr : chunks_.back();
    const uint32_t faces = chunk ? chunk->GetFaceCount() : 0;
    if (!CountFits(file, faces, sizeof(Nyx::GeometryChunk::FaceNeighbors)))
        return result;
    const uint8_t* block = file.Take(faces * 12);
    if (block && faces > 0) {
        std::vector<Nyx::GeometryChunk::FaceNeighbors> records(faces);
        std::memcpy(records.data(), block, size_t{faces} * 12);
        chunk->SetFaceNeighborArray(records.data());
    }
    return result;
}

MeshLoadResult& KestroIndexedMeshDefinition::ReadInfluencesOrSkeleton(MeshLoadResult& result, Nyx::MemoryFile& file)
{
    if (NextTagIs(file, "SKEL")) {
        char tag[4];
        ReadTag(file, tag);
        uint32_t size = 0;
        uint32_t version = 0;
        file.Read(size);
        file.Read(version);
        if (version != 100)
            return Fail(result, RES_FILE_FORMAT_ERROR);
        return ReadBone(result, file, nullptr, 0);
    }
    if (!NextTagIs(file, "INFL"))
        return result;  // another chunk's tag: left where it is
    char tag[4];
    ReadTag(file, tag);
    uint32_t size = 0;
    file.Read(size);
    const uint64_t end = uint64_t{file.Tell()} + size;
    uint32_t version = 0;
    file.Read(version);
    if (version != 100)
        return Fail(result, RES_FILE_FORMAT_ERROR);
    uint32_t count = 0;
    file.Read(count);
    if (count >= 1024)
        count = 0;
    if (!CountFits(file, count, kMinInfluenceBytes))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    influences_.clear();
    influences_.reserve(count);
    for (uint32_t n = 0; n < count; ++n) {
        Nyx::InfluenceDefinition definition;
        ReadPaddedString(file, definition.boneName);
        ReadPaddedString(file, definition.parentName);
        ReadVector(file, definition.position);
        ReadMatrix(file, definition.orientation);
        uint32_t groupCount = 0;
        file.Read(groupCount);
        if (!CountFits(file, groupCount, kMinGroupBytes))
            return Fail(result, RES_FILE_FORMAT_ERROR);
        for (uint32_t g = 0; g < groupCount; ++g) {
            Nyx::InfluenceGroup group;
            uint32_t entryCount = 0;
            file.Read(group.chunkIndex);
            file.Read(entryCount);
            if (!CountFits(file, entryCount, kEntryBytes))
                return Fail(result, RES_FILE_FORMAT_ERROR);
            const uint8_t* block = file.Take(static_cast<uint32_t>(entryCount * kEntryBytes));
            if (entryCount == 0 || !block)
                continue;
            // The file counts CHNKs as stored; the array lost the empty ones,
            // and a group of a dropped chunk has nothing left to move.
            const auto at = std::find(fileChunkOfEntry_.begin(), fileChunkOfEntry_.end(), group.chunkIndex);
            if (at == fileChunkOfEntry_.end())
                continue;
            group.chunkIndex = static_cast<uint32_t>(at - fileChunkOfEntry_.begin());
            group.entries.resize(entryCount);
            std::memcpy(group.entries.data(), block, size_t{entryCount} * kEntryBytes);
            definition.groups.push_back(std::move(group));
        }
        influences_.push_back(std::move(definition));
    }
    influenceCount_ = static_cast<uint32_t>(influences_.size());
    if (file.Tell() != end)
        return Fail(result, RES_FILE_FORMAT_ERROR);
    return result;
}

MeshLoadResult& KestroIndexedMeshDefinition::ReadBone(MeshLoadResult& result, Nyx::MemoryFile& file,
                                                      Nyx::ParticleBone* parent, uint32_t depth)
{
    char tag[4];
    ReadTag(file, tag);
    if (!IsTag(tag, "BONE"))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    uint32_t size = 0;
    uint32_t version = 0;
    file.Read(size);
    file.Read(version);
    if (version != 1 && version != 20 && version != 50 && version != 100 && version != 102)
        return Fail(result, RES_FILE_VERSION_ERROR);
    if (depth >= kMaxBoneDepth)
        return Fail(result, RES_FILE_FORMAT_ERROR);
    Nyx::PString name;
    Nyx::Vector3f position;
    Nyx::Quaternion orientation;
    uint32_t childCount = 0;
    ReadPaddedString(file, name);
    ReadVector(file, position);
    file.Read(orientation.x);
    file.Read(orientation.y);
    file.Read(orientation.z);
    file.Read(orientation.w);
    file.Read(childCount);
    if (!CountFits(file, childCount, kMinBoneBytes))
        return Fail(result, RES_FILE_FORMAT_ERROR);

    auto* bone = new Nyx::ParticleBone;
    bone->SetName(name);
    bone->SetReferenceFrame(position, orientation);
    bone->SetBoundingVolume(std::make_unique<Nyx::ParticleVisibleBoundingBox>(
        Nyx::AxisAlignedBox({-0.01f, -0.01f, -0.01f}, {0.01f, 0.01f, 0.01f})));
    if (parent) {
        parent->Add(bone);
    } else {
        delete rootBone_;
        rootBone_ = bone;
    }
    for (uint32_t c = 0; c < childCount; ++c)
        if (ReadBone(result, file, bone, depth + 1) != RES_OK)
            return result;
    return result;
}

MeshLoadResult& KestroIndexedMeshDefinition::ReadAttachments(MeshLoadResult& result, Nyx::MemoryFile& file)
{
    if (!NextTagIs(file, "ATCH"))
        return result;
    char tag[4];
    ReadTag(file, tag);
    uint32_t size = 0;
    uint32_t version = 0;
    file.Read(size);
    file.Read(version);
    if (version != 100)
        return Fail(result, RES_FILE_FORMAT_ERROR);
    uint32_t count = 0;
    file.Read(count);
    if (!CountFits(file, count, kMinAttachmentBytes))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    attachments_.resize(count);
    for (MeshAttachment& point : attachments_) {
        ReadPaddedString(file, point.name);
        ReadMatrix(file, point.orientation);
        ReadVector(file, point.position);
    }
    attachmentCount_ = count;
    return result;
}
