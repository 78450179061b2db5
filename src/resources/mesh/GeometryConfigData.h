// A mesh description in the ".imtxt" text form, read from its parsed tree.
//
//   version 1
//   orientation x,y,z,w
//   chunks { 0 { name, material "<name>.m.<type>", flag, float,
//                ambient/diffuse/specular/emissive r,g,b,a, power,
//                properties { 0 { name "k" value "v" } ... },
//                textures { 0 { kind 0 file "a.tga" value 1 } ... },
//                texcoordsets n, influences n,
//                positions x,y,z,..., texcoords0 u,v,... (to texcoords7),
//                indices a,b,c,..., normals x,y,z,...,
//                colours r,g,b,a,... (0..1 each), facenormals x,y,z,... } ... }
//   influences { 0 { bone "b" parent "p" position x,y,z
//                    orientation (nine values, row by row)
//                    groups { 0 { chunk 0 entries v,w,a,b,c, ... } ... } } ... }
//   attachments { 0 { name "a.x" orientation (nine values) position x,y,z } ... }
//
// Chunks are triangle lists. A list whose length does not fit its vertex
// count is left out (its stream stays zero) and makes LoadConfigData answer
// false; so does an index past the vertices, which drops the indices. The
// mesh definition still loads what remains when any chunk has vertices.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "config/tree/ACSChunk.h"
#include "nyx/base/PString.h"
#include "nyx/base/String.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/chunks/InfluenceDefinition.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/scene/math/Quaternion.h"

namespace Nyx {

class GeometryConfigData {
public:
    // Most vertices one chunk may have: its indices are 16 bits wide.
    static constexpr uint32_t kMaxChunkVertices = 0x10000;
    // Influence sets of this many definitions or more are refused.
    static constexpr uint32_t kMaxInfluences = 1024;

    struct Attachment {
        PString name;
        Matrix3 orientation;
        Vector3f position;
    };

    // Reads the tree; the flags ask for the influences, the attachments and
    // the materials' textures. False when any part was malformed (what could
    // be read is kept).
    bool LoadConfigData(const ChunkRef& root, bool influences, bool attachments, bool textures, const PString& name);

    uint32_t GetNumChunks() const noexcept { return static_cast<uint32_t>(chunks_.size()); }
    uint32_t GetMaxVertices() const noexcept { return maxVertices_; }
    const Quaternion& GetOrientation() const noexcept { return orientation_; }

    uint32_t GetChunkVertexCount(uint32_t i) const noexcept { return Valid(i) ? chunks_[i].vertexCount : 0; }
    uint32_t GetChunkIndexCount(uint32_t i) const noexcept
    {
        return Valid(i) ? static_cast<uint32_t>(chunks_[i].indices.size()) : 0;
    }
    uint32_t GetChunkFaceCount(uint32_t i) const noexcept
    {
        return Valid(i) ? static_cast<uint32_t>(chunks_[i].faceNormals.size() / 3) : 0;
    }
    uint32_t GetChunkTexCoordSetCount(uint32_t i) const noexcept { return Valid(i) ? chunks_[i].texCoordSets : 0; }
    uint32_t GetChunkInfluences(uint32_t i) const noexcept { return Valid(i) ? chunks_[i].influences : 0; }
    PString GetChunkName(uint32_t i) const { return Valid(i) ? chunks_[i].name : PString(); }

    std::vector<MaterialTextureEntry> GetChunkTextures(uint32_t i) const
    {
        return Valid(i) ? chunks_[i].textures : std::vector<MaterialTextureEntry>();
    }
    PString GetChunkMaterialName(uint32_t i) const { return Valid(i) ? chunks_[i].material : PString(); }
    uint32_t GetChunkPropertyCount(uint32_t i) const noexcept
    {
        return Valid(i) ? static_cast<uint32_t>(chunks_[i].properties.size()) : 0;
    }
    std::pair<String, String> GetChunkProperty(uint32_t i, uint32_t p) const
    {
        return Valid(i) && p < chunks_[i].properties.size() ? chunks_[i].properties[p] : std::pair<String, String>();
    }
    bool GetChunkFlag(uint32_t i) const noexcept { return Valid(i) && chunks_[i].flag; }
    float GetChunkFloat(uint32_t i) const noexcept { return Valid(i) ? chunks_[i].leadingFloat : 1.0f; }
    DisplayMaterial GetChunkDisplayMaterial(uint32_t i) const noexcept
    {
        return Valid(i) ? chunks_[i].display : DisplayMaterial();
    }

    // Fill a chunk's streams; each false when the chunk has no such data.
    bool FillPositions(uint32_t i, ItemArray<Vector3Item> out) const;
    bool FillTexCoords(uint32_t i, uint32_t set, ItemArray<Vector2Item> out) const;
    bool FillIndices(uint32_t i, uint16_t* out) const;
    bool FillNormals(uint32_t i, ItemArray<Vector3Item> out) const;
    // Stored colours into stream kind 2 (`primary`) or 3; vertices without
    // stored colours get `fallback`.
    bool FillColours(uint32_t i, ItemArray<uint32_t> out, bool primary, uint32_t fallback) const;
    bool FillFaceNormals(uint32_t i, float* out) const;

    uint32_t GetNumInfluences() const noexcept { return static_cast<uint32_t>(influences_.size()); }
    const InfluenceDefinition& GetInfluence(uint32_t n) const { return influences_[n]; }
    uint32_t GetNumAttachments() const noexcept { return static_cast<uint32_t>(attachments_.size()); }
    const Attachment& GetAttachment(uint32_t n) const { return attachments_[n]; }

private:
    struct Chunk {
        PString name;
        PString material;
        bool flag = false;
        float leadingFloat = 1.0f;
        DisplayMaterial display;
        std::vector<std::pair<String, String>> properties;
        std::vector<MaterialTextureEntry> textures;
        uint32_t texCoordSets = 1;
        uint32_t influences = 0;
        uint32_t vertexCount = 0;
        std::vector<float> positions;
        std::vector<float> texCoords[8];
        std::vector<uint16_t> indices;
        std::vector<float> normals;
        std::vector<uint32_t> colours;
        std::vector<float> faceNormals;
    };

    bool Valid(uint32_t i) const noexcept { return i < chunks_.size(); }
    bool ReadChunk(const ChunkRef& node, bool textures, Chunk& chunk);
    bool ReadInfluence(const ChunkRef& node, InfluenceDefinition& definition);

    std::vector<Chunk> chunks_;
    std::vector<InfluenceDefinition> influences_;
    std::vector<Attachment> attachments_;
    Quaternion orientation_;
    uint32_t maxVertices_ = 0;
};

}  // namespace Nyx
