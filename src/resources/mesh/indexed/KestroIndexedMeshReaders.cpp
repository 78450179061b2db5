// The chunk readers of the ".im" form: INFO, CHNK with MATL, GEOM and NINF,
// INFL or SKEL with its BONEs, and ATCH.
#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <vector>

#include "nyx/files/File.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/chunks/MeshFileSupport.h"
#include "nyx/gfx/chunks/StandardChunkHint.h"
#include "nyx/scene/ParticleBone.h"
#include "resources/mesh/indexed/KestroIndexedMeshDefinition.h"
#include "resources/mesh/MeshChunkReading.h"
#include "resources/mesh/MeshFileReading.h"
#include "resources/mesh/MeshOwner.h"

using namespace MeshFileReading;

namespace {

// The least bytes one record of each kind can take: a count is refused when
// that many records cannot follow.
constexpr uint64_t kMinChunkBytes = 16 + 84 + 36;    // CHNK head, MATL, GEOM
constexpr uint64_t kMinInfluenceBytes = 8 + 12 + 36 + 4;
constexpr uint64_t kMinGroupBytes = 8;
constexpr uint64_t kEntryBytes = 20;
constexpr uint64_t kMinBoneBytes = 12 + 4 + 12 + 16 + 4;
constexpr uint64_t kMinAttachmentBytes = 4 + 36 + 12;

// Copies `count` items of Size bytes from records `from` bytes apart into an
// item array: at once when both sides are packed.
template <uint32_t Size, typename T>
void CopyItems(const Nyx::ItemArray<T>& to, const uint8_t* from, uint64_t fromStride, uint32_t count) noexcept
{
    auto* out = reinterpret_cast<unsigned char*>(to.data);
    if (to.stride == Size && fromStride == Size) {
        std::memcpy(out, from, size_t{count} * Size);
        return;
    }
    for (uint32_t i = 0; i < count; ++i)
        std::memcpy(out + size_t{i} * to.stride, from + i * fromStride, Size);
}

}  // namespace

MeshLoadResult& KestroIndexedMeshDefinition::ReadInfo(MeshLoadResult& result, Nyx::MemoryFile& file)
{
    ChunkHead head;
    if (!ReadHead(file, "INFO", head))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    const uint32_t version = head.version;
    if (version < 100 || version > 104)
        return Fail(result, RES_FILE_VERSION_ERROR);
    ReadVector(file, position_);
    ReadQuaternion(file, orientation_);
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
    ChunkHead head;
    if (!ReadHead(file, "MATL", head))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    if (head.version != 102 && head.version != 103)
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
    if (!ReadMaterialFields(file, description))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    if (head.version == 102) {
        description.display.colour[2] = {0.0f, 0.0f, 0.0f, 0.0f};
        description.display.power = 10.0f;
    } else {
        description.display.power = std::max(description.display.power, 10.0f);
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
    GeometryCounts g;
    uint32_t texCoordSets = 1;
    uint32_t influences = 0;
    ReadGeometryCounts(file, version, g);
    if (version >= 103 && version <= 199)
        file.Read(texCoordSets);
    if (version >= 102)
        file.Read(influences);
    Nyx::PString name;
    if (version >= 200)
        ReadPaddedString(file, name);
    chunkNames_[slot] = name;
    const uint32_t kind = g.primitive & 0x1F;
    uint32_t code = 0;
    if (!MapPrimitive(kind, code))
        return Fail(result, RES_FILE_FORMAT_ERROR);

    const bool hasColours = version >= 104 && version <= 199;
    const bool hasExtra = version >= 201 && (g.geometryFlags & 1) != 0;
    // Every block must fit in what remains before anything is made for it:
    // a header alone can ask for gigabytes.
    ByteBudget budget(file.Remaining());
    if (g.vertexCount > 0)
        budget.Take(g.vertexCount, 12 + 8 * uint64_t{texCoordSets});
    budget.Take(g.indexCount, 2);
    budget.Take(g.vertexCount, 12);
    if (hasColours)
        budget.Take(g.vertexCount, 4);
    budget.Take(g.faceCount, 12);
    if (hasExtra)
        budget.Take(g.vertexCount, 12);
    if (!budget.Ok())
        return Fail(result, RES_FILE_FORMAT_ERROR);

    // 3. The chunk, made by this CHNK's material. Every block fits, so the
    // steps below write the chunk's positions, colours, normals, texture
    // coordinates and extra vectors for every vertex, and all its indices
    // and face normals: the chunk need not zero them first.
    if (version >= 102)
        DecideHardwareAnimation();
    Nyx::Material* material = materials_[slot];
    Nyx::StandardChunkHint hint = BuildChunkHint(texCoordSets, material, g.hintValue, influences);
    const uint32_t promised = PromiseWholeArrays(hint, texCoordSets, hasExtra);
    Nyx::GeometryChunk* chunk = MakeGeometryChunk(material, g, code, hint, hasExtra);
    if (!chunk)
        return Fail(result, RES_FILE_FORMAT_ERROR);
    if (chunks_[slot])
        chunks_[slot]->Release();
    chunks_[slot] = chunk;
    // A failure below leaves zeros, not stale memory, where nothing was
    // written yet.
    UnwrittenArrays unwritten(chunk, promised);

    // 4. Vertices: positions, the default colour, texture coordinates.
    if (g.vertexCount > 0) {
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
        const uint8_t* block = file.Take(static_cast<uint32_t>(record * g.vertexCount));
        if (block) {
            const uint32_t sets = std::min<uint32_t>(texCoordSets, 8);
            const auto uv = chunk->GetVector2Array(Nyx::kItemTexCoord0);
            if (sets == 1 && uv) {
                // The common record of a position and one pair: both
                // streams filled in one pass over the records.
                auto* to = reinterpret_cast<unsigned char*>(positions.data);
                auto* toUv = reinterpret_cast<unsigned char*>(uv.data);
                for (uint32_t v = 0; v < g.vertexCount; ++v) {
                    std::memcpy(to + size_t{v} * positions.stride, block + v * record, 12);
                    std::memcpy(toUv + size_t{v} * uv.stride, block + v * record + 12, 8);
                }
            } else {
                // Stream by stream: each a plain strided copy.
                CopyItems<12>(positions, block, record, g.vertexCount);
                for (uint32_t s = 0; s < sets; ++s)
                    if (const auto set = chunk->GetVector2Array(Nyx::kItemTexCoord0 + s))
                        CopyItems<8>(set, block + 12 + 8 * s, record, g.vertexCount);
            }
            if (colours && colours.stride == sizeof(uint32_t))
                std::fill_n(colours.data, g.vertexCount, defaultColour_);
            else
                for (uint32_t v = 0; colours && v < g.vertexCount; ++v)
                    colours[v] = defaultColour_;
            unwritten.Written(Nyx::kItemPosition);
            unwritten.Written(Nyx::kItemColour);
            for (uint32_t s = 0; s < sets; ++s)
                unwritten.Written(Nyx::kItemTexCoord0 + s);
        }
    }
    // 5. Indices, each naming a vertex.
    if (g.indexCount > 0) {
        uint16_t* indices = chunk->GetIndexArray();
        if (!indices)
            return Fail(result, RES_FAIL_CHUNK_CREATE);
        if (const uint8_t* block = file.Take(g.indexCount * 2)) {
            unwritten.IndicesWritten();
            uint16_t largest = 0;
            if constexpr (std::endian::native == std::endian::little) {
                std::memcpy(indices, block, size_t{g.indexCount} * 2);
                for (uint32_t k = 0; k < g.indexCount; ++k)
                    largest = std::max(largest, indices[k]);
            } else {
                for (uint32_t k = 0; k < g.indexCount; ++k) {
                    indices[k] = static_cast<uint16_t>(block[2 * k] | block[2 * k + 1] << 8);
                    largest = std::max(largest, indices[k]);
                }
            }
            if (largest >= g.vertexCount)
                return Fail(result, RES_FILE_FORMAT_ERROR);
        }
    }
    // 6. Normals.
    if (g.vertexCount > 0) {
        const uint8_t* block = file.Take(g.vertexCount * 12);
        const auto normals = chunk->GetVector3Array(Nyx::kItemNormal);
        if (block && normals) {
            CopyItems<12>(normals, block, 12, g.vertexCount);
            unwritten.Written(Nyx::kItemNormal);
        }
    }
    // 7. Stored colours over the default.
    if (hasColours && g.vertexCount > 0) {
        if (const uint8_t* block = file.Take(g.vertexCount * 4)) {
            std::vector<uint32_t> stored(g.vertexCount);
            std::memcpy(stored.data(), block, size_t{g.vertexCount} * 4);
            Nyx::Display::ConvertColorArray(stored.data(), g.vertexCount);
            const auto colours = chunk->GetUDwordArray(Nyx::kItemColour);
            for (uint32_t v = 0; colours && v < g.vertexCount; ++v)
                colours[v] = stored[v];
        }
    }
    // 8. Face normals.
    if (g.faceCount > 0) {
        float* faceNormals = chunk->GetFaceNormalArray();
        if (!faceNormals)
            return Fail(result, RES_FAIL_CHUNK_CREATE);
        if (const uint8_t* block = file.Take(g.faceCount * 12)) {
            std::memcpy(faceNormals, block, size_t{g.faceCount} * 12);
            unwritten.FaceNormalsWritten();
        }
    }
    // 9. The extra per-vertex vectors.
    if (hasExtra && g.vertexCount > 0) {
        const uint8_t* block = file.Take(g.vertexCount * 12);
        const auto extra = chunk->GetVector3Array(Nyx::kItemExtraVector);
        if (block && extra) {
            CopyItems<12>(extra, block, 12, g.vertexCount);
            unwritten.Written(Nyx::kItemExtraVector);
        }
    }
    // 10. On to the chunk's end, whatever was read; never past the data.
    const uint64_t end = uint64_t{afterSize} + static_cast<uint32_t>(size);
    file.Seek(static_cast<uint32_t>(std::min<uint64_t>(end, file.GetSize())));
    return result;
}

MeshLoadResult& KestroIndexedMeshDefinition::ReadNeighbours(MeshLoadResult& result, Nyx::MemoryFile& file)
{
    // Reached only once the NINF tag has been seen ahead.
    ChunkHead head;
    ReadHead(file, "NINF", head);
    if (head.version != 100)
        return Fail(result, RES_FILE_VERSION_ERROR);
    ReadFaceNeighbours(file, chunks_.empty() ? nullptr : chunks_.back());
    return result;
}

MeshLoadResult& KestroIndexedMeshDefinition::ReadInfluencesOrSkeleton(MeshLoadResult& result, Nyx::MemoryFile& file)
{
    if (NextTagIs(file, "SKEL")) {
        ChunkHead head;
        ReadHead(file, "SKEL", head);
        if (head.version != 100)
            return Fail(result, RES_FILE_FORMAT_ERROR);
        return ReadBone(result, file, nullptr, 0);
    }
    if (!NextTagIs(file, "INFL"))
        return result;  // another chunk's tag: left where it is
    ChunkHead head;
    ReadHead(file, "INFL", head);
    if (head.version != 100)
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
        if (!ReadCount(file, groupCount, kMinGroupBytes))
            return Fail(result, RES_FILE_FORMAT_ERROR);
        for (uint32_t g = 0; g < groupCount; ++g) {
            Nyx::InfluenceGroup group;
            uint32_t entryCount = 0;
            file.Read(group.chunkIndex);
            if (!ReadCount(file, entryCount, kEntryBytes))
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
    return EndsAt(result, file, head.end);
}

MeshLoadResult& KestroIndexedMeshDefinition::ReadBone(MeshLoadResult& result, Nyx::MemoryFile& file,
                                                      Nyx::ParticleBone* parent, uint32_t depth)
{
    ChunkHead head;
    if (!ReadHead(file, "BONE", head))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    const uint32_t version = head.version;
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
    ReadQuaternion(file, orientation);
    if (!ReadCount(file, childCount, kMinBoneBytes))
        return Fail(result, RES_FILE_FORMAT_ERROR);

    Nyx::ParticleBone* bone = MakeBone(name, position, orientation);
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
    ChunkHead head;
    ReadHead(file, "ATCH", head);
    if (head.version != 100)
        return Fail(result, RES_FILE_FORMAT_ERROR);
    uint32_t count = 0;
    if (!ReadCount(file, count, kMinAttachmentBytes))
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
