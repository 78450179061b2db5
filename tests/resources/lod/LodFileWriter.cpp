#include "resources/lod/LodFileWriter.h"

void WriteLodGeometry(meshfilewriter_detail::Out& out, const TestGeometry& g)
{
    const auto vertices = static_cast<uint32_t>(g.positions.size() / 3);
    const auto indices = static_cast<uint32_t>(g.indices.size());
    out.Tag("GEOM");
    const uint32_t mark = out.Mark();
    out.U32(static_cast<uint32_t>(g.version));
    out.U32(g.primitive);
    if (g.version >= 201)
        out.U32(g.geometryFlags);
    out.F32(g.hintValue);
    out.U32(g.vertexCount.value_or(vertices));
    out.U32(g.primitiveCount.value_or(indices / 3));
    out.U32(g.indexCount.value_or(indices));
    out.U32(g.faceCount.value_or(static_cast<uint32_t>(g.faceNormals.size() / 3)));
    if (g.version >= 102)
        out.U32(g.influences);
    if (g.version >= 103)
        out.Str(g.name);
    for (uint32_t k = 0; k < vertices; ++k) {
        out.Floats(&g.positions[3 * k], 3);
        out.F32(2 * k < g.texCoords.size() ? g.texCoords[2 * k] : 0.0f);
        out.F32(2 * k + 1 < g.texCoords.size() ? g.texCoords[2 * k + 1] : 0.0f);
    }
    for (uint16_t i : g.indices) {
        out.bytes.push_back(static_cast<uint8_t>(i));
        out.bytes.push_back(static_cast<uint8_t>(i >> 8));
    }
    for (uint32_t k = 0; k < vertices * 3; ++k)
        out.F32(k < g.normals.size() ? g.normals[k] : 0.0f);
    out.Floats(g.faceNormals.data(), g.faceNormals.size());
    if (g.version >= 201 && (g.geometryFlags & 1))
        for (uint32_t k = 0; k < vertices * 3; ++k)
            out.F32(k < g.extraVectors.size() ? g.extraVectors[k] : 0.0f);
    out.Close(mark, g.size);
}

void WriteLodBoneRecords(meshfilewriter_detail::Out& out, const char* tag,
                         const std::vector<TestLodBone>& bones)
{
    out.Tag(tag);
    const uint32_t mark = out.Mark();
    out.U32(100);
    out.U32(static_cast<uint32_t>(bones.size()));
    for (const TestLodBone& b : bones) {
        out.Str(b.name);
        out.Str(b.parent);
        out.Floats(b.position, 3);
        out.Floats(b.orientation, 9);
    }
    out.Close(mark);
}

std::vector<uint8_t> WriteLodFile(const TestLod& lod)
{
    using namespace meshfilewriter_detail;
    Out out;
    out.Tag("NIRF");
    const uint32_t frame = out.Mark();
    out.Tag("LODM");

    out.Tag("INFO");
    uint32_t mark = out.Mark();
    out.U32(lod.infoVersion);
    out.Floats(lod.position, 3);
    out.Floats(lod.orientation, 4);
    out.U32(lod.meshCount.value_or(static_cast<uint32_t>(lod.meshes.size())));
    out.U32(lod.calcPoint);
    out.Floats(lod.lod, 5);
    out.U32(static_cast<uint32_t>(lod.named.size()));
    for (const TestLodNamed& n : lod.named) {
        out.U32(n.meshIndex);
        out.Str(n.name);
        out.bytes.push_back(n.animated);
    }
    out.Close(mark);

    out.Tag("MATT");
    mark = out.Mark();
    out.U32(lod.mattVersion);
    out.U32(lod.materialCount.value_or(static_cast<uint32_t>(lod.materials.size())));
    for (const TestMaterial& m : lod.materials)
        WriteMaterial(out, m);
    out.Close(mark);

    if (lod.bont)
        WriteLodBoneRecords(out, "BONT", *lod.bont);
    if (lod.rbot)
        WriteLodBoneRecords(out, "RBOT", *lod.rbot);
    if (lod.attachments)
        WriteAttachments(out, *lod.attachments);

    for (const TestLodMesh& mesh : lod.meshes) {
        out.Tag("MESH");
        mark = out.Mark();
        out.U32(100);
        out.U32(mesh.chunkCount.value_or(static_cast<uint32_t>(mesh.pieces.size())));
        out.U32(mesh.maxInfluences);
        out.U32(mesh.maxChunkBones);
        out.F32(mesh.cutOff);
        if (mesh.lodBones) {
            out.Tag("LODB");
            const uint32_t inner = out.Mark();
            out.U32(100);
            for (const auto& block : *mesh.lodBones)
                WriteInfluenceGroups(out, block);
            out.Close(inner);
        }
        for (uint32_t j = 0; j < mesh.pieces.size(); ++j) {
            const TestLodPiece& piece = mesh.pieces[j];
            out.Tag("LCHK");
            const uint32_t inner = out.Mark();
            out.U32(100);
            out.U32(j);
            out.U32(piece.materialIndex);
            WriteLodGeometry(out, piece.geometry);
            if (piece.neighbours)
                WriteNeighbours(out, *piece.neighbours);
            out.Close(inner);
        }
        out.Close(mark);
    }
    out.Close(frame);
    return std::move(out.bytes);
}

TestLodPiece QuadPiece(uint32_t quads, uint32_t material)
{
    TestLodPiece piece;
    piece.materialIndex = material;
    piece.geometry = QuadStripChunk(quads).geometry;
    return piece;
}

TestLod LevelsLod(const std::vector<float>& cutOffs, uint32_t quads)
{
    TestLod lod;
    lod.materials.push_back(TestMaterial{});
    for (float cutOff : cutOffs) {
        TestLodMesh mesh;
        mesh.cutOff = cutOff;
        mesh.pieces.push_back(QuadPiece(quads));
        lod.meshes.push_back(std::move(mesh));
    }
    return lod;
}
