// The chunk readers of the ".lm" form: INFO with its named meshes, MATT with
// its MATLs, BONT, RBOT, and per mesh MESH with LODB and its LCHKs (GEOM,
// NINF). Every count is weighed against the bytes left before anything is
// made for it, and every chunk must end where its size says.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "nyx/files/File.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/chunks/StandardChunkHint.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "nyx/gfx/materials/NullMaterial.h"
#include "nyx/scene/ParticleBone.h"
#include "resources/lod/KestroIndexedMeshLODDefinition.h"
#include "resources/mesh/MeshChunkReading.h"
#include "resources/mesh/MeshFileReading.h"
#include "resources/mesh/MeshOwner.h"

using namespace MeshFileReading;

namespace {

// The least bytes one record of each kind can take.
constexpr uint64_t kMinMeshBytes = 12 + 16;                   // MESH head and fields
constexpr uint64_t kMinNamedMeshBytes = 4 + 4 + 1;            // index, empty name, flag
constexpr uint64_t kMinMaterialBytes = 12 + 4 + 4 + 8 + 52 + 4;  // MATL of empty lists
constexpr uint64_t kMinBoneBytes = 4 + 4 + 12 + 36;
constexpr uint64_t kMinPieceBytes = 12 + 8 + 12 + 28;         // LCHK head, indices, GEOM head
constexpr uint64_t kMinGroupBytes = 8;
constexpr uint64_t kEntryBytes = 20;
constexpr uint64_t kVertexBytes = 20;

}  // namespace

MeshLoadResult& KestroIndexedMeshLODDefinition::ReadInfo(MeshLoadResult& result, Nyx::MemoryFile& file)
{
    ChunkHead head;
    if (!ReadHead(file, "INFO", head))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    if (head.version != 100)
        return Fail(result, RES_FILE_VERSION_ERROR);
    ReadVector(file, position_);
    ReadQuaternion(file, orientation_);
    orientation_.Normalise();
    file.Read(meshCount_);
    file.Read(calcPoint_);
    file.Read(offset_);
    file.Read(multiplier_);
    file.Read(animationCutOff_);
    file.Read(renderCutOff_);
    file.Read(attachmentCutOff_);
    if (!CountFits(file, meshCount_, kMinMeshBytes)) {
        meshCount_ = 0;
        return Fail(result, RES_FILE_FORMAT_ERROR);
    }
    uint32_t namedCount = 0;
    if (!ReadCount(file, namedCount, kMinNamedMeshBytes))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    namedMeshes_ = std::make_shared<std::vector<LodNamedMesh>>(namedCount);
    for (LodNamedMesh& entry : *namedMeshes_) {
        uint8_t animated = 0;
        file.Read(entry.meshIndex);
        ReadPaddedString(file, entry.name);
        file.ReadBytes(&animated, 1);
        entry.animated = animated != 0;
        if (entry.meshIndex >= meshCount_)
            return Fail(result, RES_FILE_FORMAT_ERROR);
    }
    return EndsAt(result, file, head.end);
}

MeshLoadResult& KestroIndexedMeshLODDefinition::ReadMaterialTable(MeshLoadResult& result, Nyx::MemoryFile& file)
{
    ChunkHead head;
    if (!ReadHead(file, "MATT", head))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    if (head.version != 100)
        return Fail(result, RES_FILE_VERSION_ERROR);
    uint32_t count = 0;
    if (!ReadCount(file, count, kMinMaterialBytes))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    for (Nyx::Material* material : materialTable_)
        if (material)
            material->Release();
    materialTable_.clear();
    materialTable_.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
        if (ReadTableMaterial(result, file) != RES_OK)
            return result;
    return EndsAt(result, file, head.end);
}

MeshLoadResult& KestroIndexedMeshLODDefinition::ReadTableMaterial(MeshLoadResult& result, Nyx::MemoryFile& file)
{
    ChunkHead head;
    if (!ReadHead(file, "MATL", head))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    if (head.version != 103)
        return Fail(result, RES_FILE_VERSION_ERROR);
    MeshMaterialDescription description;
    Nyx::String name;
    ReadPaddedString(file, name);
    description.fullName = Nyx::PString(materialPrefix_ + name.Str());
    // The power as stored: no floor here.
    if (!ReadMaterialFields(file, description))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    return CreateTableMaterial(result, description);
}

MeshLoadResult& KestroIndexedMeshLODDefinition::CreateTableMaterial(MeshLoadResult& result,
                                                                    const MeshMaterialDescription& description)
{
    Nyx::Material* material = nullptr;
    if (manager_) {
        const uint32_t found = manager_->FindOrCreate(description.fullName, material);
        if (found != Nyx::MaterialManager::kFound || !material) {
            if (material)
                material->Release();
            return Fail(result, found == Nyx::MaterialManager::kNotCreatable ? RES_UNSUPPORTED_MATERIAL
                                                                             : RES_UNKNOWN_MATERIAL);
        }
    } else {
        Nyx::PString base;
        Nyx::PString type;
        Nyx::MaterialManager::SplitDecoratedMaterialName(description.fullName, base, type);
        auto* stand = new Nyx::NullMaterial(description.fullName, type);
        stand->SetCreationType(type);
        stand->AddRef();
        material = stand;
    }
    material->SetDisplayMaterialProperties(description.display);
    material->SetFlags(description.flag ? material->GetFlags() | kMaterialFlagDescription
                                        : material->GetFlags() & ~kMaterialFlagDescription);
    material->SetFloat(description.leadingFloat);
    for (const Nyx::MaterialTextureEntry& texture : description.textures)
        material->SetTextureFile(texture.kind, ResolveTexturePath(texture.path), texture.value);
    for (const auto& [key, value] : description.properties)
        material->SetProperty(key, value);
    materialTable_.push_back(material);
    return result;
}

MeshLoadResult& KestroIndexedMeshLODDefinition::ReadBoneTable(MeshLoadResult& result, Nyx::MemoryFile& file)
{
    if (!NextTagIs(file, "BONT"))
        return result;
    ChunkHead head;
    ReadHead(file, "BONT", head);
    if (head.version != 100)
        return Fail(result, RES_FILE_VERSION_ERROR);
    uint32_t count = 0;
    if (!ReadCount(file, count, kMinBoneBytes))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    boneTable_.assign(count, LodBone{});
    for (LodBone& bone : boneTable_) {
        ReadPaddedString(file, bone.name);
        ReadPaddedString(file, bone.parentName);
        ReadVector(file, bone.position);
        ReadMatrix(file, bone.orientation);
    }
    boneCount_ = count;
    return EndsAt(result, file, head.end);
}

MeshLoadResult& KestroIndexedMeshLODDefinition::ReadBoneTree(MeshLoadResult& result, Nyx::MemoryFile& file)
{
    if (!NextTagIs(file, "RBOT"))
        return result;
    ChunkHead head;
    ReadHead(file, "RBOT", head);
    if (head.version != 100)
        return Fail(result, RES_FILE_VERSION_ERROR);
    uint32_t count = 0;
    if (!ReadCount(file, count, kMinBoneBytes))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    for (uint32_t n = 0; n < count; ++n) {
        Nyx::PString name;
        Nyx::PString parentName;
        Nyx::Vector3f position;
        Nyx::Matrix3 matrix;
        ReadPaddedString(file, name);
        ReadPaddedString(file, parentName);
        ReadVector(file, position);
        ReadMatrix(file, matrix);
        if (!parentName.Empty() && !rootBone_)
            return Fail(result, RES_FILE_FORMAT_ERROR);
        Nyx::Quaternion orientation;
        orientation.Set(matrix);
        Nyx::ParticleBone* bone = MakeBone(name, position, orientation);
        if (!rootBone_) {
            rootBone_ = bone;
            continue;
        }
        Nyx::ParticleBone* parent = parentName.Empty() ? nullptr : rootBone_->Find(parentName);
        if (!(parent ? parent : rootBone_)->Add(bone))
            delete bone;
    }
    return EndsAt(result, file, head.end);
}

MeshLoadResult& KestroIndexedMeshLODDefinition::ReadMesh(MeshLoadResult& result, Nyx::MemoryFile& file,
                                                         uint32_t i)
{
    LodMesh& mesh = (*meshes_)[i];
    // 1.
    ChunkHead head;
    if (!ReadHead(file, "MESH", head))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    if (head.version != 100)
        return Fail(result, RES_FILE_VERSION_ERROR);
    // 2. Counts, maxima and the hardware-animation decision for this mesh.
    file.Read(mesh.chunkCount);
    file.Read(maxInfluences_);
    file.Read(maxChunkBones_);
    if (!CountFits(file, mesh.chunkCount, kMinPieceBytes)) {
        mesh.chunkCount = 0;
        return Fail(result, RES_FILE_FORMAT_ERROR);
    }
    hardwareAnimation_ = false;
    DecideHardwareAnimation();
    mesh.hardwareAnimation = hardwareAnimation_;
    // 3. The cut-off: a detail level in order, or a named mesh.
    float cutOff = 0.0f;
    file.Read(cutOff);
    if (cutOff == kNoCutOff) {
        const auto& named = *namedMeshes_;
        if (std::none_of(named.begin(), named.end(), [i](const LodNamedMesh& e) { return e.meshIndex == i; }))
            return Fail(result, RES_FILE_FORMAT_ERROR);
    } else {
        if ((!cutOffs_.empty() && cutOff < cutOffs_.back()) || cutOffs_.size() >= kMaxCutOffs)
            return Fail(result, RES_FILE_FORMAT_ERROR);
        cutOffs_.push_back(cutOff);
        if (cutOffs_.size() - 1 != i)
            return Fail(result, RES_FILE_FORMAT_ERROR);
    }
    // 4.
    mesh.chunks->Reserve(mesh.chunkCount);
    mesh.materials->Reserve(mesh.chunkCount);
    // 5.
    if (ReadLodBones(result, file, i) != RES_OK)
        return result;
    // 6. The pieces; an empty one gives its slot to the next.
    for (uint32_t j = 0; j < mesh.chunkCount;) {
        if (ReadPiece(result, file, i, j) != RES_OK)
            return result;
        const Nyx::GeometryChunk* chunk = mesh.chunks->Back();
        if (!chunk || chunk->GetVertexCount() == 0 || chunk->GetIndexCount() == 0 || chunk->GetPrimitiveCount() == 0) {
            mesh.chunks->PopBack();
            mesh.materials->PopBack();
            mesh.chunkNames.pop_back();
            --mesh.chunkCount;
            continue;
        }
        ++j;
    }
    // 7.
    return EndsAt(result, file, head.end);
}

MeshLoadResult& KestroIndexedMeshLODDefinition::ReadLodBones(MeshLoadResult& result, Nyx::MemoryFile& file,
                                                             uint32_t mesh)
{
    if (!NextTagIs(file, "LODB"))
        return result;
    ChunkHead head;
    ReadHead(file, "LODB", head);
    if (head.version != 100)
        return Fail(result, RES_FILE_VERSION_ERROR);
    LodMesh& target = (*meshes_)[mesh];
    target.boneBlocks.clear();
    target.boneBlocks.reserve(boneTable_.size());
    for (size_t b = 0; b < boneTable_.size(); ++b) {
        LodInfluenceBlock& block = target.boneBlocks.emplace_back();
        uint32_t groupCount = 0;
        if (!ReadCount(file, groupCount, kMinGroupBytes))
            return Fail(result, RES_FILE_FORMAT_ERROR);
        for (uint32_t g = 0; g < groupCount; ++g) {
            Nyx::InfluenceGroup group;
            uint32_t entryCount = 0;
            file.Read(group.chunkIndex);
            if (!ReadCount(file, entryCount, kEntryBytes))
                return Fail(result, RES_FILE_FORMAT_ERROR);
            if (entryCount == 0)
                continue;
            const uint8_t* entries = file.Take(static_cast<uint32_t>(entryCount * kEntryBytes));
            group.entries.resize(entryCount);
            std::memcpy(group.entries.data(), entries, size_t{entryCount} * kEntryBytes);
            block.push_back(std::move(group));
        }
    }
    return EndsAt(result, file, head.end);
}

MeshLoadResult& KestroIndexedMeshLODDefinition::ReadPiece(MeshLoadResult& result, Nyx::MemoryFile& file,
                                                          uint32_t mesh, uint32_t piece)
{
    LodMesh& target = (*meshes_)[mesh];
    char tag[4];
    ReadTag(file, tag);
    if (!IsTag(tag, "LCHK"))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    int32_t size = 0;
    file.Read(size);
    if (size < 0)
        return Fail(result, RES_FILE_FORMAT_ERROR);
    const uint64_t end = uint64_t{file.Tell()} + static_cast<uint32_t>(size);
    int32_t version = 0;
    file.Read(version);
    if (version != 100)
        return Fail(result, RES_FILE_VERSION_ERROR);
    uint32_t ignored = 0;
    uint32_t materialIndex = 0;
    file.Read(ignored);
    file.Read(materialIndex);
    if (materialIndex >= materialTable_.size())
        return Fail(result, RES_FILE_FORMAT_ERROR);
    target.materials->Append(materialTable_[materialIndex]);
    target.chunks->Append(nullptr);
    target.chunkNames.emplace_back();
    if (end > file.GetSize())
        return Fail(result, RES_FILE_FORMAT_ERROR);
    if (ReadPieceGeometry(result, file, mesh, piece, static_cast<uint32_t>(end)) != RES_OK)
        return result;
    if (file.Tell() < end && ReadPieceNeighbours(result, file, mesh, piece) != RES_OK)
        return result;
    return EndsAt(result, file, end);
}

MeshLoadResult& KestroIndexedMeshLODDefinition::ReadPieceGeometry(MeshLoadResult& result, Nyx::MemoryFile& file,
                                                                  uint32_t mesh, uint32_t /*piece*/, uint32_t limit)
{
    LodMesh& target = (*meshes_)[mesh];
    const uint32_t slot = target.chunks->Size() - 1;
    // Tag, size and version.
    char tag[4];
    ReadTag(file, tag);
    if (!IsTag(tag, "GEOM"))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    int32_t size = 0;
    file.Read(size);
    const uint64_t end = uint64_t{file.Tell()} + static_cast<uint32_t>(size);
    // The GEOM lies inside its LCHK.
    if (size < 0 || end > limit)
        return Fail(result, RES_FILE_FORMAT_ERROR);
    int32_t version = 0;
    file.Read(version);
    if (version < 101 || version > 201)
        return Fail(result, RES_FILE_VERSION_ERROR);

    GeometryCounts g;
    uint32_t influences = 0;
    ReadGeometryCounts(file, version, g);
    if (version >= 102)
        file.Read(influences);
    Nyx::PString name;
    if (version >= 103)
        ReadPaddedString(file, name);
    target.chunkNames[slot] = name;
    const uint32_t kind = g.primitive & 0x1F;
    uint32_t code = 0;
    if (!MapPrimitive(kind, code))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    const bool hasExtra = version >= 201 && (g.geometryFlags & 1) != 0;
    // Every block must fit in the GEOM before anything is made for it.
    if (file.Tell() > end)
        return Fail(result, RES_FILE_FORMAT_ERROR);
    ByteBudget budget(end - file.Tell());
    budget.Take(g.vertexCount, kVertexBytes);
    budget.Take(g.indexCount, 2);
    budget.Take(g.vertexCount, 12);
    budget.Take(g.faceCount, 12);
    if (hasExtra)
        budget.Take(g.vertexCount, 12);
    if (!budget.Ok())
        return Fail(result, RES_FILE_FORMAT_ERROR);

    // The chunk, made by the piece's material. Every block fits, so the
    // steps below write its vertices, indices and face normals whole.
    Nyx::Material* material = (*target.materials)[slot];
    Nyx::StandardChunkHint hint = BuildChunkHint(1, material, g.hintValue, influences);
    const uint32_t promised = PromiseWholeArrays(hint, 1, hasExtra);
    Nyx::GeometryChunk* chunk = MakeGeometryChunk(material, g, code, hint, hasExtra);
    if (!chunk)
        return Fail(result, RES_FILE_FORMAT_ERROR);
    target.chunks->Set(slot, chunk);
    chunk->Release();
    UnwrittenArrays unwritten(chunk, promised);

    // Vertices: position and one pair of texture coordinates, 20 bytes.
    if (g.vertexCount > 0) {
        const auto positions = chunk->GetVector3Array(Nyx::kItemPosition);
        const auto colours = chunk->GetUDwordArray(Nyx::kItemColour);
        const auto uv = chunk->GetVector2Array(Nyx::kItemTexCoord0);
        if (influences > 0 && hardwareAnimation_) {
            const MeshLoadResult skin = InitialiseSkinningStreams(*chunk, influences);
            if (skin != RES_OK)
                return Fail(result, skin);
        }
        if (!positions)
            return Fail(result, RES_FAIL_CHUNK_CREATE);
        const uint8_t* block = file.Take(g.vertexCount * static_cast<uint32_t>(kVertexBytes));
        // Walked with plain pointers, both streams in one pass over the
        // records: a big level is millions of vertices.
        auto* position = reinterpret_cast<uint8_t*>(&positions[0]);
        if (uv) {
            auto* texCoord = reinterpret_cast<uint8_t*>(&uv[0]);
            for (uint32_t v = 0; v < g.vertexCount; ++v, position += positions.stride, texCoord += uv.stride) {
                std::memcpy(position, block + kVertexBytes * v, 12);
                std::memcpy(texCoord, block + kVertexBytes * v + 12, 8);
            }
        } else {
            for (uint32_t v = 0; v < g.vertexCount; ++v, position += positions.stride)
                std::memcpy(position, block + kVertexBytes * v, 12);
        }
        if (colours && colours.stride == 4) {
            std::fill_n(&colours[0], g.vertexCount, defaultColour_);
        } else {
            for (uint32_t v = 0; colours && v < g.vertexCount; ++v)
                colours[v] = defaultColour_;
        }
        unwritten.Written(Nyx::kItemPosition);
        unwritten.Written(Nyx::kItemTexCoord0);
        unwritten.Written(Nyx::kItemColour);
    }
    // Indices, each naming a vertex of the piece.
    if (g.indexCount > 0) {
        uint16_t* indices = chunk->GetIndexArray();
        if (!indices)
            return Fail(result, RES_FAIL_CHUNK_CREATE);
        std::memcpy(indices, file.Take(g.indexCount * 2), size_t{g.indexCount} * 2);
        unwritten.IndicesWritten();
        // Without a branch per index, so the check runs over whole vectors.
        uint32_t outside = 0;
        for (uint32_t k = 0; k < g.indexCount; ++k)
            outside |= static_cast<uint32_t>(indices[k] >= g.vertexCount);
        if (outside)
            return Fail(result, RES_FILE_FORMAT_ERROR);
    }
    // Normals.
    if (g.vertexCount > 0) {
        const uint8_t* block = file.Take(g.vertexCount * 12);
        const auto normals = chunk->GetVector3Array(Nyx::kItemNormal);
        if (normals && normals.stride == 12) {
            std::memcpy(&normals[0], block, size_t{g.vertexCount} * 12);
        } else {
            for (uint32_t v = 0; normals && v < g.vertexCount; ++v)
                std::memcpy(&normals[v], block + 12 * v, 12);
        }
        unwritten.Written(Nyx::kItemNormal);
    }
    // Face normals.
    if (g.faceCount > 0) {
        float* faceNormals = chunk->GetFaceNormalArray();
        if (!faceNormals)
            return Fail(result, RES_FAIL_CHUNK_CREATE);
        std::memcpy(faceNormals, file.Take(g.faceCount * 12), size_t{g.faceCount} * 12);
        unwritten.FaceNormalsWritten();
    }
    // The tangents.
    if (hasExtra && g.vertexCount > 0) {
        const uint8_t* block = file.Take(g.vertexCount * 12);
        const auto extra = chunk->GetVector3Array(Nyx::kItemExtraVector);
        if (extra && extra.stride == 12) {
            std::memcpy(&extra[0], block, size_t{g.vertexCount} * 12);
        } else {
            for (uint32_t v = 0; extra && v < g.vertexCount; ++v)
                std::memcpy(&extra[v], block + 12 * v, 12);
        }
        unwritten.Written(Nyx::kItemExtraVector);
    }
    // The GEOM ends exactly here.
    return EndsAt(result, file, end);
}

MeshLoadResult& KestroIndexedMeshLODDefinition::ReadPieceNeighbours(MeshLoadResult& result, Nyx::MemoryFile& file,
                                                                    uint32_t mesh, uint32_t /*piece*/)
{
    if (!NextTagIs(file, "NINF"))
        return result;
    ChunkHead head;
    ReadHead(file, "NINF", head);
    if (head.version != 100)
        return Fail(result, RES_FILE_VERSION_ERROR);
    ReadFaceNeighbours(file, (*meshes_)[mesh].chunks->Back());
    return result;
}
