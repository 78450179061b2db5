// Fuzzer bytes as an ".lm.txt" description beside fixed indexed meshes
// (two levels, one with an attachment point more, one without the second
// bone, and a text mesh), loaded into a LOD mesh definition. Whatever the
// bytes: no crash, a result among the known codes, and a failed load leaves
// nothing behind. A description that loads gives levels of increasing
// cut-offs and named meshes that name loaded meshes, finishes, and saves
// to an ".lm" that loads again with the same levels.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzTempFolder.h"
#include "nyx/RenderKernel.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "resources/lod/KestroIndexedMeshLODDefinition.h"
#include "resources/mesh/MeshFileWriter.h"
#include "resources/mesh/MeshOwner.h"

namespace {

std::string_view AsText(const std::vector<uint8_t>& bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

TestMesh SeedMesh(uint32_t quads, uint32_t points, bool bothBones)
{
    TestMesh mesh;
    for (uint32_t q = 0; q < quads; ++q)
        mesh.chunks.push_back(QuadStripChunk(1));
    TestAttachments attachments;
    for (uint32_t p = 0; p < points; ++p)
        attachments.points.push_back({"a.p" + std::to_string(p) + (p == 0 ? ":Cull" : "")});
    mesh.attachments = attachments;
    TestInfluences influences;
    influences.definitions.push_back({"root", "", {0, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {{0, {{0}}}}});
    if (bothBones)
        influences.definitions.push_back({"arm", "root", {1, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {{0, {{1}}}}});
    mesh.influences = influences;
    mesh.maxInfluences = 1;
    mesh.maxChunkBones = 2;
    return mesh;
}

void WriteSeeds(const FuzzTempFolder& folder)
{
    folder.Write("lod0.im", AsText(WriteMeshFile(SeedMesh(3, 1, true))));
    folder.Write("lod1.im", AsText(WriteMeshFile(SeedMesh(1, 1, true))));
    folder.Write("extra.im", AsText(WriteMeshFile(SeedMesh(1, 2, true))));
    folder.Write("bare.im", AsText(WriteMeshFile(SeedMesh(1, 1, false))));
    folder.Write("tri.imtxt", "version 1\nchunks\n{\n  0\n  {\n    material \"tri.m.onetex\"\n"
                              "    positions 0,0,0,1,0,0,0,1,0\n    texcoords0 0,0,1,0,0,1\n    indices 0,1,2\n"
                              "    facenormals 0,0,1\n  }\n}\n");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzTempFolder folder("mesh_lmtxt_fuzz");
    static const bool seeded = (WriteSeeds(folder), true);
    (void)seeded;
    folder.Write("mesh.lm.txt", std::string_view(reinterpret_cast<const char*>(data), size));

    Nyx::RenderKernel kernel(nullptr, 1.0f);
    MeshOwner owner(Nyx::PString("owner"), Nyx::PString(folder / "mesh.lm.txt"));
    KestroIndexedMeshLODDefinition definition;
    const MeshLoadResult result = definition.LoadResourceText(&kernel, owner, Nyx::String(folder / "mesh.lm.txt"));
    FuzzCheck(result < kMeshLoadResultCount);
    if (result != RES_OK) {
        FuzzCheck(definition.GetMeshCount() == 0 && definition.GetKeptDefinitionCount() == 0 &&
                  definition.GetChunkCount() == 0);
        return 0;
    }
    const std::vector<float>& cutOffs = definition.GetCutOffs();
    FuzzCheck(!cutOffs.empty());
    for (size_t k = 1; k < cutOffs.size(); ++k)
        FuzzCheck(cutOffs[k] > cutOffs[k - 1]);
    for (const LodNamedMesh& entry : *definition.GetNamedMeshes())
        FuzzCheck(entry.meshIndex < definition.GetMeshCount());
    Nyx::Display display;
    definition.FinishLod(display);
    std::vector<uint8_t> saved;
    FuzzCheck(definition.Save(saved) == RES_OK);
    Nyx::RenderKernel other(nullptr, 1.0f);
    KestroIndexedMeshLODDefinition reloaded;
    reloaded.SetFileData(saved.data(), static_cast<uint32_t>(saved.size()));
    MeshLoadResult again = RES_UNKNOWN;
    reloaded.Load(again, &other, &other.GetMaterialManager(), owner, 0);
    FuzzCheck(again == RES_OK);
    FuzzCheck(reloaded.GetCutOffs() == cutOffs);
    FuzzCheck(reloaded.GetMeshCount() == definition.GetMeshCount());
    return 0;
}
