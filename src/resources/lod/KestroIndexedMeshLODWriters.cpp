// Saving a LOD mesh definition as an ".lm" file: INFO, the material table
// in order of first use, BONT or RBOT, ATCH with the cull marks written
// back, then every mesh with its bone influences and pieces.
#include <algorithm>
#include <cstring>
#include <vector>

#include "nyx/files/File.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/chunks/GeometryChunkStreams.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/scene/ParticleBone.h"
#include "resources/lod/KestroIndexedMeshLODDefinition.h"

namespace {

using W = Nyx::MeshFileSupport;

void WriteVector(std::vector<uint8_t>& out, const Nyx::Vector3f& v)
{
    W::WriteFloat(out, v.x);
    W::WriteFloat(out, v.y);
    W::WriteFloat(out, v.z);
}

void WriteMatrix(std::vector<uint8_t>& out, const Nyx::Matrix3& m)
{
    for (const auto& row : m.m)
        for (float value : row)
            W::WriteFloat(out, value);
}

// Starts a chunk: its tag, a size to fill in later and its version.
uint32_t OpenChunk(std::vector<uint8_t>& out, const char tag[4], uint32_t version)
{
    W::WriteTag(out, tag);
    const uint32_t mark = W::MarkSizePos(out);
    W::WriteU32(out, version);
    return mark;
}

void WriteBytes(std::vector<uint8_t>& out, const void* data, size_t size)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    out.insert(out.end(), bytes, bytes + size);
}

}  // namespace

MeshLoadResult KestroIndexedMeshLODDefinition::Save(Nyx::File& file) const
{
    std::vector<uint8_t> bytes;
    const MeshLoadResult result = Save(bytes);
    if (result != RES_OK)
        return result;
    if (file.Write(bytes.data(), 1, static_cast<uint32_t>(bytes.size())) != bytes.size())
        return RES_UNKNOWN;
    return RES_OK;
}

MeshLoadResult KestroIndexedMeshLODDefinition::Save(std::vector<uint8_t>& out) const
{
    // 1.
    if (meshes_->empty())
        return RES_UNKNOWN;
    // 2.
    W::WriteTag(out, "NIRF");
    const uint32_t frame = W::MarkSizePos(out);
    W::WriteTag(out, "LODM");
    // 3.
    WriteInfo(out);
    // 4. Each material once, where it is first used.
    std::vector<Nyx::Material*> table;
    for (const LodMesh& mesh : *meshes_)
        for (Nyx::Material* material : mesh.materials->Items())
            if (std::find(table.begin(), table.end(), material) == table.end())
                table.push_back(material);
    WriteMaterialTable(out, table);
    // 5.
    if (!boneTable_.empty())
        WriteBoneTable(out);
    else if (rootBone_)
        WriteBoneTree(out);
    // 6.
    if (!attachments_.empty())
        WriteAttachmentTable(out);
    // 7.
    for (uint32_t i = 0; i < meshes_->size(); ++i)
        WriteMesh(out, i, table);
    // 8.
    W::WriteSizeAtMark(out, frame);
    return RES_OK;
}

void KestroIndexedMeshLODDefinition::WriteInfo(std::vector<uint8_t>& out) const
{
    const uint32_t mark = OpenChunk(out, "INFO", 100);
    WriteVector(out, position_);
    W::WriteFloat(out, orientation_.x);
    W::WriteFloat(out, orientation_.y);
    W::WriteFloat(out, orientation_.z);
    W::WriteFloat(out, orientation_.w);
    W::WriteU32(out, static_cast<uint32_t>(meshes_->size()));
    W::WriteU32(out, calcPoint_);
    W::WriteFloat(out, offset_);
    W::WriteFloat(out, multiplier_);
    W::WriteFloat(out, animationCutOff_);
    W::WriteFloat(out, renderCutOff_);
    W::WriteFloat(out, attachmentCutOff_);
    W::WriteU32(out, static_cast<uint32_t>(namedMeshes_->size()));
    for (const LodNamedMesh& entry : *namedMeshes_) {
        W::WriteU32(out, entry.meshIndex);
        W::WritePaddedString(out, entry.name.View());
        out.push_back(entry.animated ? 1 : 0);
    }
    W::WriteSizeAtMark(out, mark);
}

void KestroIndexedMeshLODDefinition::WriteMaterialTable(std::vector<uint8_t>& out,
                                                        const std::vector<Nyx::Material*>& table) const
{
    const uint32_t mark = OpenChunk(out, "MATT", 100);
    W::WriteU32(out, static_cast<uint32_t>(table.size()));
    for (const Nyx::Material* material : table) {
        if (material) {
            WriteTableMaterial(out, *material);
        } else {
            const Nyx::Material none{Nyx::PString(), Nyx::PString()};
            WriteTableMaterial(out, none);
        }
    }
    W::WriteSizeAtMark(out, mark);
}

std::string KestroIndexedMeshLODDefinition::BareMaterialName(const Nyx::Material& material) const
{
    const std::string_view name = material.GetRequestName().View();
    if (!materialPrefix_.empty() && name.starts_with(materialPrefix_))
        return std::string(name.substr(materialPrefix_.size()));
    return std::string(name);
}

void KestroIndexedMeshLODDefinition::WriteTableMaterial(std::vector<uint8_t>& out,
                                                        const Nyx::Material& material) const
{
    const uint32_t mark = OpenChunk(out, "MATL", 103);
    W::WritePaddedString(out, BareMaterialName(material));
    W::WriteU32(out, material.GetNumProperties());
    for (uint32_t p = 0; p < material.GetNumProperties(); ++p) {
        W::WritePaddedString(out, material.GetProperty(p)->first.View());
        W::WritePaddedString(out, material.GetProperty(p)->second.View());
    }
    W::WriteU32(out, (material.GetFlags() & kMaterialFlagDescription) ? 1 : 0);
    W::WriteFloat(out, material.GetFloat());
    const Nyx::DisplayMaterial& display = material.GetDisplayMaterial();
    for (int c = 0; c < 4; ++c) {
        // The reader halves the fourth colour.
        const float scale = c == 3 ? 2.0f : 1.0f;
        W::WriteFloat(out, display.colour[c].r * scale);
        W::WriteFloat(out, display.colour[c].g * scale);
        W::WriteFloat(out, display.colour[c].b * scale);
    }
    W::WriteFloat(out, display.power);
    const auto& textures = material.GetTextureFiles();
    W::WriteU32(out, static_cast<uint32_t>(textures.size()));
    for (const Nyx::MaterialTextureEntry& texture : textures) {
        W::WriteU32(out, texture.kind);
        W::WritePaddedString(out, Nyx::File::Path(texture.path).FileName());
        W::WriteFloat(out, texture.value);
    }
    W::WriteSizeAtMark(out, mark);
}

void KestroIndexedMeshLODDefinition::WriteBoneTable(std::vector<uint8_t>& out) const
{
    const uint32_t mark = OpenChunk(out, "BONT", 100);
    W::WriteU32(out, static_cast<uint32_t>(boneTable_.size()));
    for (const LodBone& bone : boneTable_) {
        W::WritePaddedString(out, bone.name.View());
        W::WritePaddedString(out, bone.parentName.View());
        WriteVector(out, bone.position);
        WriteMatrix(out, bone.orientation);
    }
    W::WriteSizeAtMark(out, mark);
}

void KestroIndexedMeshLODDefinition::WriteBoneTree(std::vector<uint8_t>& out) const
{
    // Pre-order: every bone after its parent.
    std::vector<const Nyx::ParticleBone*> order;
    std::vector<const Nyx::Particle*> pending{rootBone_};
    while (!pending.empty()) {
        const Nyx::Particle* particle = pending.back();
        pending.pop_back();
        if (const auto* bone = dynamic_cast<const Nyx::ParticleBone*>(particle))
            order.push_back(bone);
        const auto& children = particle->GetChildren();
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            pending.push_back(*it);
    }
    const uint32_t mark = OpenChunk(out, "RBOT", 100);
    W::WriteU32(out, static_cast<uint32_t>(order.size()));
    for (const Nyx::ParticleBone* bone : order) {
        const auto* parent = bone == rootBone_ ? nullptr : dynamic_cast<const Nyx::ParticleBone*>(bone->GetParent());
        W::WritePaddedString(out, bone->GetName().View());
        W::WritePaddedString(out, parent ? parent->GetName().View() : std::string_view());
        WriteVector(out, bone->GetPosition());
        WriteMatrix(out, bone->GetOrientation().ToMatrix());
    }
    W::WriteSizeAtMark(out, mark);
}

void KestroIndexedMeshLODDefinition::WriteAttachmentTable(std::vector<uint8_t>& out) const
{
    const uint32_t mark = OpenChunk(out, "ATCH", 100);
    W::WriteU32(out, static_cast<uint32_t>(attachments_.size()));
    for (const MeshAttachment& point : attachments_) {
        std::string name = point.name.Str();
        if (std::find(cullList_.begin(), cullList_.end(), point.name) != cullList_.end())
            name += kCullSuffix;
        W::WritePaddedString(out, name);
        WriteMatrix(out, point.orientation);
        WriteVector(out, point.position);
    }
    W::WriteSizeAtMark(out, mark);
}

void KestroIndexedMeshLODDefinition::WriteMesh(std::vector<uint8_t>& out, uint32_t i,
                                               const std::vector<Nyx::Material*>& table) const
{
    const LodMesh& mesh = (*meshes_)[i];
    const uint32_t mark = OpenChunk(out, "MESH", 100);
    W::WriteU32(out, mesh.chunks->Size());
    W::WriteU32(out, ComputeMaxInfluences(i));
    W::WriteU32(out, ComputeMaxChunkBones(i));
    W::WriteFloat(out, i < cutOffs_.size() ? cutOffs_[i] : kNoCutOff);
    if (!boneTable_.empty())
        WriteLodBones(out, i);
    for (uint32_t j = 0; j < mesh.chunks->Size(); ++j)
        WritePiece(out, i, j, table);
    W::WriteSizeAtMark(out, mark);
}

void KestroIndexedMeshLODDefinition::WriteLodBones(std::vector<uint8_t>& out, uint32_t mesh) const
{
    const uint32_t mark = OpenChunk(out, "LODB", 100);
    for (uint32_t b = 0; b < boneTable_.size(); ++b) {
        const LodInfluenceBlock& block = GetInfluenceBlock(b, mesh);
        W::WriteU32(out, static_cast<uint32_t>(block.size()));
        for (const Nyx::InfluenceGroup& group : block) {
            W::WriteU32(out, group.chunkIndex);
            W::WriteU32(out, static_cast<uint32_t>(group.entries.size()));
            for (const Nyx::InfluenceEntry& entry : group.entries) {
                W::WriteU32(out, entry.vertex);
                for (float value : entry.values)
                    W::WriteFloat(out, value);
            }
        }
    }
    W::WriteSizeAtMark(out, mark);
}

void KestroIndexedMeshLODDefinition::WritePiece(std::vector<uint8_t>& out, uint32_t mesh, uint32_t piece,
                                                const std::vector<Nyx::Material*>& table) const
{
    const Nyx::Material* material = (*(*meshes_)[mesh].materials)[piece];
    const auto at = std::find(table.begin(), table.end(), material);
    const uint32_t mark = OpenChunk(out, "LCHK", 100);
    W::WriteU32(out, piece);
    W::WriteU32(out, static_cast<uint32_t>(at - table.begin()));
    WritePieceGeometry(out, mesh, piece);
    WritePieceNeighbours(out, mesh, piece);
    W::WriteSizeAtMark(out, mark);
}

void KestroIndexedMeshLODDefinition::WritePieceGeometry(std::vector<uint8_t>& out, uint32_t mesh,
                                                        uint32_t piece) const
{
    const LodMesh& target = (*meshes_)[mesh];
    Nyx::GeometryChunk* chunk = (*target.chunks)[piece];
    const uint32_t mark = OpenChunk(out, "GEOM", 201);
    if (!chunk) {
        for (int k = 0; k < 6; ++k)
            W::WriteU32(out, 0);
        W::WriteSizeAtMark(out, mark);
        return;
    }
    const uint32_t kind = chunk->GetPrimitiveFlags();
    const auto extra = chunk->GetVector3Array(Nyx::kItemExtraVector);
    const auto* streams = dynamic_cast<const Nyx::GeometryChunkStreams*>(chunk);
    const uint32_t vertices = chunk->GetVertexCount();
    // Lines and line strips carry no faces.
    const uint32_t faces = (kind & 3) ? 0 : chunk->GetFaceCount();
    W::WriteU32(out, kind);
    W::WriteU32(out, extra ? 1 : 0);
    W::WriteFloat(out, streams ? streams->GetCreationHint().hintValue : 0.0f);
    W::WriteU32(out, vertices);
    W::WriteU32(out, chunk->GetPrimitiveCount());
    W::WriteU32(out, chunk->GetIndexCount());
    W::WriteU32(out, faces);
    W::WriteU32(out, ComputePieceInfluences(mesh, piece));
    W::WritePaddedString(out, piece < target.chunkNames.size() ? target.chunkNames[piece].View() : std::string_view());
    const auto positions = chunk->GetVector3Array(Nyx::kItemPosition);
    const auto uv = chunk->GetVector2Array(Nyx::kItemTexCoord0);
    const auto normals = chunk->GetVector3Array(Nyx::kItemNormal);
    const Nyx::Vector3Item zero3{0.0f, 0.0f, 0.0f};
    const Nyx::Vector2Item zero2{0.0f, 0.0f};
    for (uint32_t v = 0; v < vertices; ++v) {
        WriteBytes(out, positions ? &positions[v] : &zero3, 12);
        WriteBytes(out, uv ? &uv[v] : &zero2, 8);
    }
    const uint16_t* indices = chunk->GetIndexArray();
    for (uint32_t k = 0; k < chunk->GetIndexCount(); ++k) {
        const uint16_t index = indices ? indices[k] : 0;
        out.push_back(static_cast<uint8_t>(index));
        out.push_back(static_cast<uint8_t>(index >> 8));
    }
    for (uint32_t v = 0; v < vertices; ++v)
        WriteBytes(out, normals ? &normals[v] : &zero3, 12);
    const float* faceNormals = chunk->GetFaceNormalArray();
    for (uint32_t f = 0; f < faces; ++f)
        WriteBytes(out, faceNormals ? faceNormals + 3 * size_t{f} : &zero3.x, 12);
    for (uint32_t v = 0; extra && v < vertices; ++v)
        WriteBytes(out, &extra[v], 12);
    W::WriteSizeAtMark(out, mark);
}

void KestroIndexedMeshLODDefinition::WritePieceNeighbours(std::vector<uint8_t>& out, uint32_t mesh,
                                                          uint32_t piece) const
{
    const Nyx::GeometryChunk* chunk = (*(*meshes_)[mesh].chunks)[piece];
    const Nyx::GeometryChunk::FaceNeighbors* records = chunk ? chunk->GetFaceNeighborArray() : nullptr;
    if (!records || chunk->GetFaceCount() == 0 || (chunk->GetPrimitiveFlags() & 3))
        return;
    const uint32_t mark = OpenChunk(out, "NINF", 100);
    WriteBytes(out, records, size_t{chunk->GetFaceCount()} * sizeof(Nyx::GeometryChunk::FaceNeighbors));
    W::WriteSizeAtMark(out, mark);
}
