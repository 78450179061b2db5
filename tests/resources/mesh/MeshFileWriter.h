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
inline TestChunk QuadStripChunk(uint32_t quads, const std::string& material = "body.m.onetex");

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

inline void WriteMaterial(Out& out, const TestMaterial& m)
{
    out.Tag("MATL");
    const uint32_t mark = out.Mark();
    out.U32(m.version);
    out.Str(m.name);
    out.U32(static_cast<uint32_t>(m.properties.size()));
    for (const auto& [key, value] : m.properties) {
        out.Str(key);
        out.Str(value);
    }
    out.U32(m.flag);
    out.F32(m.leadingFloat);
    for (const auto& c : m.colours)
        out.Floats(c, 3);
    out.F32(m.power);
    out.U32(static_cast<uint32_t>(m.textures.size()));
    for (const TestTexture& t : m.textures) {
        out.U32(t.kind);
        out.Str(t.file);
        out.F32(t.value);
    }
    out.Close(mark);
}

inline void WriteGeometry(Out& out, const TestGeometry& g)
{
    const auto vertices = static_cast<uint32_t>(g.positions.size() / 3);
    const uint32_t v = g.vertexCount.value_or(vertices);
    const auto indices = static_cast<uint32_t>(g.indices.size());
    out.Tag("GEOM");
    const uint32_t mark = out.Mark();
    out.U32(static_cast<uint32_t>(g.version));
    out.U32(g.primitive);
    if (g.version >= 201)
        out.U32(g.geometryFlags);
    out.F32(g.hintValue);
    out.U32(v);
    out.U32(g.primitiveCount.value_or(indices / 3));
    out.U32(g.indexCount.value_or(indices));
    out.U32(g.faceCount.value_or(static_cast<uint32_t>(g.faceNormals.size() / 3)));
    if (g.version >= 103 && g.version <= 199)
        out.U32(g.texCoordSets);
    if (g.version >= 102)
        out.U32(g.influences);
    if (g.version >= 200)
        out.Str(g.name);
    // A header may promise more sets than any vertex record holds: past
    // eight, one set is written.
    const uint32_t sets = g.version >= 103 && g.version <= 199 && g.texCoordSets <= 8 ? g.texCoordSets : 1;
    for (uint32_t k = 0; k < vertices; ++k) {
        out.Floats(&g.positions[3 * k], 3);
        for (uint32_t s = 0; s < sets; ++s) {
            const size_t at = (size_t{k} * sets + s) * 2;
            out.F32(at < g.texCoords.size() ? g.texCoords[at] : 0.0f);
            out.F32(at + 1 < g.texCoords.size() ? g.texCoords[at + 1] : 0.0f);
        }
    }
    for (size_t k = 0; k < g.indices.size(); k += 2)
        out.U32(static_cast<uint32_t>(g.indices[k]) |
                (k + 1 < g.indices.size() ? static_cast<uint32_t>(g.indices[k + 1]) << 16 : 0));
    if (g.indices.size() % 2)
        out.bytes.resize(out.bytes.size() - 2);
    for (uint32_t k = 0; k < vertices * 3; ++k)
        out.F32(k < g.normals.size() ? g.normals[k] : 0.0f);
    if (g.version >= 104 && g.version <= 199)
        for (uint32_t k = 0; k < vertices; ++k)
            out.U32(k < g.colours.size() ? g.colours[k] : 0xFFFFFFFFu);
    out.Floats(g.faceNormals.data(), g.faceNormals.size());
    if (g.version >= 201 && (g.geometryFlags & 1))
        for (uint32_t k = 0; k < vertices * 3; ++k)
            out.F32(k < g.extraVectors.size() ? g.extraVectors[k] : 0.0f);
    out.Close(mark, g.size);
}

// A NINF of three words a face.
inline void WriteNeighbours(Out& out, const std::vector<uint32_t>& words)
{
    out.Tag("NINF");
    const uint32_t mark = out.Mark();
    out.U32(100);
    for (uint32_t w : words)
        out.U32(w);
    out.Close(mark);
}

// A group count, then each group's chunk, entry count and entries.
inline void WriteInfluenceGroups(Out& out, const std::vector<TestInfluenceGroup>& groups)
{
    out.U32(static_cast<uint32_t>(groups.size()));
    for (const TestInfluenceGroup& g : groups) {
        out.U32(g.chunk);
        out.U32(static_cast<uint32_t>(g.entries.size()));
        for (const TestInfluenceEntry& e : g.entries) {
            out.U32(e.vertex);
            out.Floats(e.values, 4);
        }
    }
}

inline void WriteAttachments(Out& out, const TestAttachments& attachments)
{
    out.Tag("ATCH");
    const uint32_t mark = out.Mark();
    out.U32(attachments.version);
    out.U32(attachments.count.value_or(static_cast<uint32_t>(attachments.points.size())));
    for (const TestAttachment& p : attachments.points) {
        out.Str(p.name);
        out.Floats(p.orientation, 9);
        out.Floats(p.position, 3);
    }
    out.Close(mark);
}

inline void WriteBone(Out& out, const TestBone& b)
{
    out.Tag("BONE");
    const uint32_t mark = out.Mark();
    out.U32(b.version);
    out.Str(b.name);
    out.Floats(b.position, 3);
    out.Floats(b.orientation, 4);
    out.U32(b.childCount.value_or(static_cast<uint32_t>(b.children.size())));
    out.Close(mark);
    for (const TestBone& child : b.children)
        WriteBone(out, child);
}

}  // namespace meshfilewriter_detail

inline std::vector<uint8_t> WriteMeshFile(const TestMesh& mesh)
{
    using namespace meshfilewriter_detail;
    Out out;
    out.Tag(mesh.magic);
    const uint32_t frame = out.Mark();
    out.Tag(mesh.form);

    out.Tag("INFO");
    uint32_t mark = out.Mark();
    out.U32(mesh.infoVersion);
    out.Floats(mesh.position, 3);
    out.Floats(mesh.orientation, 4);
    out.U32(mesh.chunkCount.value_or(static_cast<uint32_t>(mesh.chunks.size())));
    if (mesh.infoVersion >= 102) {
        out.U32(mesh.maxInfluences);
        out.U32(mesh.maxChunkBones);
    }
    if (mesh.infoVersion == 104)
        for (int k = 0; k < 6; ++k)
            out.F32(0.0f);
    out.Close(mark);

    for (const TestChunk& chunk : mesh.chunks) {
        out.Tag("CHNK");
        mark = out.Mark();
        out.U32(100);
        out.U32(0);
        WriteMaterial(out, chunk.material);
        WriteGeometry(out, chunk.geometry);
        if (chunk.neighbours)
            WriteNeighbours(out, *chunk.neighbours);
        out.Close(mark);
    }

    if (mesh.influences) {
        const TestInfluences& infl = *mesh.influences;
        out.Tag("INFL");
        mark = out.Mark();
        out.U32(infl.version);
        out.U32(infl.count.value_or(static_cast<uint32_t>(infl.definitions.size())));
        for (const TestInfluence& d : infl.definitions) {
            out.Str(d.bone);
            out.Str(d.parent);
            out.Floats(d.position, 3);
            out.Floats(d.orientation, 9);
            WriteInfluenceGroups(out, d.groups);
        }
        out.Close(mark, infl.size ? std::optional<int32_t>(static_cast<int32_t>(*infl.size)) : std::nullopt);
    }
    if (mesh.skeleton) {
        out.Tag("SKEL");
        mark = out.Mark();
        out.U32(mesh.skeleton->version);
        WriteBone(out, mesh.skeleton->root);
        out.Close(mark);
    }
    if (mesh.attachments)
        WriteAttachments(out, *mesh.attachments);
    if (mesh.progressive) {
        const TestProgressive& pm = *mesh.progressive;
        out.Tag("PMIN");
        mark = out.Mark();
        out.U32(pm.version);
        out.U32(static_cast<uint32_t>(pm.values.size()));
        out.U32(static_cast<uint32_t>(pm.records.size()));
        out.U32(static_cast<uint32_t>(pm.groups.size()));
        out.U32(static_cast<uint32_t>(pm.sets.size()));
        for (uint32_t v : pm.values)
            out.U32(v);
        for (const auto& r : pm.records)
            for (uint32_t w : r)
                out.U32(w);
        for (const auto& g : pm.groups)
            for (uint32_t w : g)
                out.U32(w);
        for (uint32_t s : pm.sets)
            out.U32(s);
        out.Close(mark);
    }
    out.Close(frame, static_cast<int32_t>(out.bytes.size() - frame - 4) + mesh.frameSizeDelta);
    return std::move(out.bytes);
}

inline TestChunk QuadStripChunk(uint32_t quads, const std::string& material)
{
    TestChunk chunk;
    chunk.material.name = material;
    TestGeometry& g = chunk.geometry;
    for (uint32_t q = 0; q < quads; ++q) {
        const auto x = static_cast<float>(q);
        const float corners[4][2] = {{x, 0}, {x + 1, 0}, {x + 1, 1}, {x, 1}};
        for (const auto& c : corners) {
            g.positions.insert(g.positions.end(), {c[0], c[1], 0.0f});
            g.texCoords.insert(g.texCoords.end(), {c[0], c[1]});
            g.normals.insert(g.normals.end(), {0.0f, 0.0f, 1.0f});
        }
        const auto base = static_cast<uint16_t>(4 * q);
        g.indices.insert(g.indices.end(), {base, static_cast<uint16_t>(base + 1), static_cast<uint16_t>(base + 2),
                                           base, static_cast<uint16_t>(base + 2), static_cast<uint16_t>(base + 3)});
        g.faceNormals.insert(g.faceNormals.end(), {0, 0, 1, 0, 0, 1});
    }
    return chunk;
}
