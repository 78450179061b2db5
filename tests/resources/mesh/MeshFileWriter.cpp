#include "resources/mesh/MeshFileWriter.h"

void meshfilewriter_detail::WriteMaterial(Out& out, const TestMaterial& m)
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

void meshfilewriter_detail::WriteGeometry(Out& out, const TestGeometry& g)
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

void meshfilewriter_detail::WriteNeighbours(Out& out, const std::vector<uint32_t>& words)
{
    out.Tag("NINF");
    const uint32_t mark = out.Mark();
    out.U32(100);
    for (uint32_t w : words)
        out.U32(w);
    out.Close(mark);
}

void meshfilewriter_detail::WriteInfluenceGroups(Out& out, const std::vector<TestInfluenceGroup>& groups)
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

void meshfilewriter_detail::WriteAttachments(Out& out, const TestAttachments& attachments)
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

void meshfilewriter_detail::WriteBone(Out& out, const TestBone& b)
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

std::vector<uint8_t> WriteMeshFile(const TestMesh& mesh)
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

TestChunk QuadStripChunk(uint32_t quads, const std::string& material)
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
