// Writes ".im" and ".pm" files for the tests, the fuzz seeds and the bench:
// a description of each chunk in, the file's bytes out. Counts and sizes
// follow the data unless a field overrides them, so a test can write a file
// that lies about itself.
#pragma once

#include <cstdint>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "nyx/gfx/chunks/MeshFileSupport.h"

struct TestTexture {
    uint32_t kind = 0;
    std::string file;
    float value = 1.0f;
};

struct TestMaterial {
    uint32_t version = 103;
    std::string name = "body.m.onetex";
    std::vector<std::pair<std::string, std::string>> properties;
    uint32_t flag = 0;
    float leadingFloat = 1.0f;
    float colours[4][3] = {{1, 1, 1}, {1, 1, 1}, {0.5f, 0.5f, 0.5f}, {0, 0, 0}};
    float power = 20.0f;
    std::vector<TestTexture> textures;
};

struct TestGeometry {
    int32_t version = 201;
    uint32_t primitive = 4;  // triangle list
    uint32_t geometryFlags = 0;
    float hintValue = 0.0f;
    uint32_t texCoordSets = 1;
    uint32_t influences = 0;
    std::string name = "piece";
    // Per vertex: three floats; texCoordSets × two floats.
    std::vector<float> positions;
    std::vector<float> texCoords;
    std::vector<uint16_t> indices;
    std::vector<float> normals;           // zeros when empty
    std::vector<uint32_t> colours;        // versions 104-199; white when empty
    std::vector<float> faceNormals;       // three floats a face
    std::vector<float> extraVectors;      // with geometryFlags bit 0
    std::optional<uint32_t> vertexCount;  // overrides
    std::optional<uint32_t> primitiveCount;
    std::optional<uint32_t> indexCount;
    std::optional<uint32_t> faceCount;
    std::optional<int32_t> size;
};

struct TestChunk {
    TestMaterial material;
    TestGeometry geometry;
    std::optional<std::vector<uint32_t>> neighbours;  // three words a face
};

struct TestInfluenceEntry {
    uint32_t vertex = 0;
    float values[4] = {1.0f, 0.0f, 0.0f, 0.0f};
};

struct TestInfluenceGroup {
    uint32_t chunk = 0;
    std::vector<TestInfluenceEntry> entries;
};

struct TestInfluence {
    std::string bone;
    std::string parent;
    float position[3] = {0, 0, 0};
    float orientation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::vector<TestInfluenceGroup> groups;
};

struct TestInfluences {
    uint32_t version = 100;
    std::vector<TestInfluence> definitions;
    std::optional<uint32_t> count;
    std::optional<uint32_t> size;
};

struct TestBone {
    uint32_t version = 100;
    std::string name;
    float position[3] = {0, 0, 0};
    float orientation[4] = {0, 0, 0, 1};
    std::vector<TestBone> children;
    std::optional<uint32_t> childCount;
};

struct TestSkeleton {
    uint32_t version = 100;
    TestBone root;
};

struct TestAttachment {
    std::string name;
    float orientation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float position[3] = {0, 0, 0};
};

struct TestAttachments {
    uint32_t version = 100;
    std::vector<TestAttachment> points;
    std::optional<uint32_t> count;
};

// The progressive tables of a ".pm" file.
struct TestProgressive {
    uint32_t version = 101;
    std::vector<uint32_t> values;
    std::vector<std::array<uint32_t, 4>> records;
    std::vector<std::array<uint32_t, 2>> groups;
    std::vector<uint32_t> sets;
};

struct TestMesh {
    std::string magic = "NIRF";
    std::string form = "IDXM";
    uint32_t infoVersion = 103;
    float position[3] = {0, 0, 0};
    float orientation[4] = {0, 0, 0, 1};
    uint32_t maxInfluences = 0;
    uint32_t maxChunkBones = 0;
    std::optional<uint32_t> chunkCount;
    std::vector<TestChunk> chunks;
    std::optional<TestInfluences> influences;
    std::optional<TestSkeleton> skeleton;
    std::optional<TestAttachments> attachments;
    std::optional<TestProgressive> progressive;
    // Added to the frame's size field.
    int32_t frameSizeDelta = 0;
};

// A chunk of `quads` unit squares in a row (four vertices, two triangles
// each), with texture coordinates spanning one unit per square.
TestChunk QuadStripChunk(uint32_t quads, const std::string& material = "body.m.onetex");

namespace meshfilewriter_detail {

using W = Nyx::MeshFileSupport;

struct Out {
    std::vector<uint8_t> bytes;

    void Tag(const std::string& tag)
    {
        char four[4] = {};
        std::memcpy(four, tag.data(), tag.size() < 4 ? tag.size() : 4);
        W::WriteTag(bytes, four);
    }
    void U32(uint32_t v) { W::WriteU32(bytes, v); }
    void F32(float v) { W::WriteFloat(bytes, v); }
    void Str(const std::string& s) { W::WritePaddedString(bytes, s); }
    void Floats(const float* v, size_t n)
    {
        for (size_t k = 0; k < n; ++k)
            F32(v[k]);
    }
    uint32_t Mark() { return W::MarkSizePos(bytes); }
    void Close(uint32_t mark, std::optional<int32_t> size = std::nullopt)
    {
        W::WriteSizeAtMark(bytes, mark);
        if (size) {
            const auto s = static_cast<uint32_t>(*size);
            std::memcpy(&bytes[mark], &s, 4);
        }
    }
};

void WriteMaterial(Out& out, const TestMaterial& m);
void WriteGeometry(Out& out, const TestGeometry& g);

// A NINF of three words a face.
void WriteNeighbours(Out& out, const std::vector<uint32_t>& words);

// A group count, then each group's chunk, entry count and entries.
void WriteInfluenceGroups(Out& out, const std::vector<TestInfluenceGroup>& groups);

void WriteAttachments(Out& out, const TestAttachments& attachments);
void WriteBone(Out& out, const TestBone& b);

}  // namespace meshfilewriter_detail

std::vector<uint8_t> WriteMeshFile(const TestMesh& mesh);
