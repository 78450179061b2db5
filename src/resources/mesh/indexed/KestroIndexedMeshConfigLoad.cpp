// Loading the indexed mesh definition from its text form: the parsed
// description, its chunks built through config data, its influences and
// attachments.
#include "nyx/files/File.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/Material.h"
#include "resources/mesh/ConfigParser.h"
#include "resources/mesh/GeometryConfigData.h"
#include "resources/mesh/indexed/KestroIndexedMeshDefinition.h"
#include "resources/mesh/MeshOwner.h"

MeshLoadResult& KestroIndexedMeshDefinition::LoadText(MeshLoadResult& result, Nyx::RenderKernel* kernel,
                                                      Nyx::MaterialManager* manager, MeshOwner& owner,
                                                      const Nyx::String& path, uint32_t defaultColour)
{
    result = RES_OK;
    const Nyx::File::Path resolved(path);
    name_ = Nyx::PString(resolved.View());
    ChunkRef root;
    const uint32_t parsed = Nyx::ConfigParser::Parse(owner.GetFileBase(), resolved, root);
    if (parsed == 2 || parsed == 3 || parsed == 4) {
        result = static_cast<MeshLoadResult>(parsed);
        return result;
    }
    if (parsed != 0) {
        result = RES_UNKNOWN;
        return result;
    }
    if (!root) {
        result = RES_FILE_FORMAT_ERROR;
        return result;
    }
    return LoadFromConfigData(result, kernel, manager, owner, root, defaultColour);
}

MeshLoadResult& KestroIndexedMeshDefinition::LoadFromConfigData(MeshLoadResult& result, Nyx::RenderKernel* kernel,
                                                                Nyx::MaterialManager* manager, MeshOwner& owner,
                                                                const ChunkRef& root, uint32_t defaultColour)
{
    result = RES_OK;
    manager_ = manager;
    owner_ = &owner;
    defaultColour_ = defaultColour;
    QueryAnimationCapability(kernel);
    // 1.
    if (!manager) {
        result = RES_NO_MATERIAL_MANAGER;
        return result;
    }
    // 2.
    Nyx::GeometryConfigData data;
    if (!data.LoadConfigData(root, true, true, true, name_) && data.GetMaxVertices() == 0) {
        result = RES_FILE_FORMAT_ERROR;
        return result;
    }
    // 3.
    orientation_ = data.GetOrientation();
    ClearChunks();
    chunkCount_ = data.GetNumChunks();
    for (uint32_t i = 0; i < chunkCount_; ++i) {
        chunks_.push_back(nullptr);
        materials_.push_back(nullptr);
        chunkNames_.push_back(data.GetChunkName(i));
        fileChunkOfEntry_.push_back(i);
        if (CreateMaterial(result, data, i) != RES_OK || BuildChunkFromConfigData(result, data, i) != RES_OK)
            return result;
    }
    // 4.
    ReadInfluencesFromConfigData(data);
    ReadAttachmentsFromConfigData(data);
    // 5.
    ComputeTotals();
    BuildSkeletonFromInfluences();
    SetUpBonePalettes();
    ComputeBounds();
    ComputeTextureScale();
    return result;
}

MeshLoadResult& KestroIndexedMeshDefinition::BuildChunkFromConfigData(MeshLoadResult& result,
                                                                      const Nyx::GeometryConfigData& data, uint32_t i)
{
    const uint32_t vertexCount = data.GetChunkVertexCount(i);
    const uint32_t indexCount = data.GetChunkIndexCount(i);
    const uint32_t faceCount = data.GetChunkFaceCount(i);
    const uint32_t sets = data.GetChunkTexCoordSetCount(i);
    const uint32_t influences = data.GetChunkInfluences(i);
    DecideHardwareAnimation();
    Nyx::Material* material = GetMaterial(i);
    const Nyx::StandardChunkHint hint = BuildChunkHint(sets, material, 0.0f, influences);
    Nyx::GeometryChunk* chunk =
        material ? material->CreateGeometryChunk(vertexCount, indexCount / 3, indexCount, faceCount, 0, hint) : nullptr;
    if (!chunk) {
        result = RES_FILE_FORMAT_ERROR;
        return result;
    }
    chunk->SetPrimitiveFlags(4);
    if (chunks_[i])
        chunks_[i]->Release();
    chunks_[i] = chunk;
    if (influences > 0 && hardwareAnimation_ && vertexCount > 0) {
        const MeshLoadResult skin = InitialiseSkinningStreams(*chunk, influences);
        if (skin != RES_OK) {
            result = skin;
            return result;
        }
    }
    // Positions, texture coordinates, indices, normals, both colours, face
    // normals.
    const auto positions = chunk->GetVector3Array(Nyx::kItemPosition);
    if (vertexCount > 0 && !positions) {
        result = RES_FAIL_CHUNK_CREATE;
        return result;
    }
    data.FillPositions(i, positions);
    for (uint32_t s = 0; s < sets && s < 8; ++s)
        data.FillTexCoords(i, s, chunk->GetVector2Array(Nyx::kItemTexCoord0 + s));
    if (indexCount > 0 && !chunk->GetIndexArray()) {
        result = RES_FAIL_CHUNK_CREATE;
        return result;
    }
    data.FillIndices(i, chunk->GetIndexArray());
    data.FillNormals(i, chunk->GetVector3Array(Nyx::kItemNormal));
    data.FillColours(i, chunk->GetUDwordArray(Nyx::kItemColour), true, defaultColour_);
    data.FillColours(i, chunk->GetUDwordArray(Nyx::kItemColour2), false, defaultColour_);
    if (faceCount > 0 && !chunk->GetFaceNormalArray()) {
        result = RES_FAIL_CHUNK_CREATE;
        return result;
    }
    data.FillFaceNormals(i, chunk->GetFaceNormalArray());
    return result;
}

void KestroIndexedMeshDefinition::ReadInfluencesFromConfigData(const Nyx::GeometryConfigData& data)
{
    influences_.clear();
    for (uint32_t n = 0; n < data.GetNumInfluences(); ++n) {
        Nyx::InfluenceDefinition definition = data.GetInfluence(n);
        std::erase_if(definition.groups, [](const Nyx::InfluenceGroup& g) { return g.entries.empty(); });
        influences_.push_back(std::move(definition));
    }
    influenceCount_ = static_cast<uint32_t>(influences_.size());
}

void KestroIndexedMeshDefinition::ReadAttachmentsFromConfigData(const Nyx::GeometryConfigData& data)
{
    attachments_.clear();
    for (uint32_t n = 0; n < data.GetNumAttachments(); ++n) {
        const Nyx::GeometryConfigData::Attachment& point = data.GetAttachment(n);
        attachments_.push_back({point.name, point.orientation, point.position});
    }
    attachmentCount_ = static_cast<uint32_t>(attachments_.size());
}
