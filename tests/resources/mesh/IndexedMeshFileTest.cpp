#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "nyx/gfx/GeometryChunk.h"
#include "resources/mesh/MeshTestSupport.h"

namespace {

struct FileCase {
    const char* name;
    std::function<void(TestMesh&)> edit;
    MeshLoadResult expected;
};

// Every check of the frame and the IDXM form, as a written file in and its
// load result out.
TEST(IndexedMeshFileTest, ResultCodeForEachFileFault)
{
    const FileCase cases[] = {
        {"a plain mesh loads", [](TestMesh&) {}, RES_OK},
        {"magic other than NIRF", [](TestMesh& m) { m.magic = "FRIN"; }, RES_FILE_FORMAT_ERROR},
        {"form other than IDXM", [](TestMesh& m) { m.form = "LODM"; }, RES_FILE_FORMAT_ERROR},
        {"frame size one byte more than the content", [](TestMesh& m) { m.frameSizeDelta = 1; },
         RES_FILE_FORMAT_ERROR},
        {"frame size one byte short", [](TestMesh& m) { m.frameSizeDelta = -1; }, RES_FILE_FORMAT_ERROR},
        {"INFO version 99", [](TestMesh& m) { m.infoVersion = 99; }, RES_FILE_VERSION_ERROR},
        {"INFO version 105", [](TestMesh& m) { m.infoVersion = 105; }, RES_FILE_VERSION_ERROR},
        {"INFO version 100", [](TestMesh& m) { m.infoVersion = 100; }, RES_OK},
        {"INFO version 104 with its six extra floats", [](TestMesh& m) { m.infoVersion = 104; }, RES_OK},
        {"GEOM version 100", [](TestMesh& m) { m.chunks[0].geometry.version = 100; }, RES_FILE_VERSION_ERROR},
        {"GEOM version 202", [](TestMesh& m) { m.chunks[0].geometry.version = 202; }, RES_FILE_VERSION_ERROR},
        {"GEOM version 101", [](TestMesh& m) { m.chunks[0].geometry.version = 101; }, RES_OK},
        {"GEOM version 104 with colours", [](TestMesh& m) { m.chunks[0].geometry.version = 104; }, RES_OK},
        {"GEOM version 201 with extra vectors",
         [](TestMesh& m) { m.chunks[0].geometry.geometryFlags = 1; }, RES_OK},
        {"primitive code 3", [](TestMesh& m) { m.chunks[0].geometry.primitive = 3; }, RES_FILE_FORMAT_ERROR},
        {"primitive code 0x21 reads as 1", [](TestMesh& m) { m.chunks[0].geometry.primitive = 0x21; }, RES_OK},
        {"index equal to the vertex count",
         [](TestMesh& m) { m.chunks[0].geometry.indices[2] = 4; }, RES_FILE_FORMAT_ERROR},
        {"MATL version 101", [](TestMesh& m) { m.chunks[0].material.version = 101; }, RES_FILE_VERSION_ERROR},
        {"MATL of an unknown type", [](TestMesh& m) { m.chunks[0].material.name = "body.m.nosuchtype"; },
         RES_UNKNOWN_MATERIAL},
        {"neither INFL, SKEL nor ATCH after the chunks", [](TestMesh&) {}, RES_OK},
        {"INFL version 101",
         [](TestMesh& m) { m.influences = TestInfluences{101, {}, {}, {}}; }, RES_FILE_FORMAT_ERROR},
        {"INFL with 1024 definitions reads none and misses its end",
         [](TestMesh& m) {
             m.influences = TestInfluences{};
             m.influences->definitions.resize(1);
             m.influences->definitions[0].bone = "root";
             m.influences->count = 1024;
         },
         RES_FILE_FORMAT_ERROR},
        {"SKEL with a BONE of version 20",
         [](TestMesh& m) { m.skeleton = TestSkeleton{100, TestBone{20, "root", {}, {0, 0, 0, 1}, {}, {}}}; }, RES_OK},
        {"SKEL with a BONE of version 101",
         [](TestMesh& m) { m.skeleton = TestSkeleton{100, TestBone{101, "root", {}, {0, 0, 0, 1}, {}, {}}}; },
         RES_FILE_FORMAT_ERROR},
        {"ATCH version 101", [](TestMesh& m) { m.attachments = TestAttachments{101, {{"a.x"}}, {}}; },
         RES_FILE_FORMAT_ERROR},
        {"ATCH version 100", [](TestMesh& m) { m.attachments = TestAttachments{100, {{"a.x"}}, {}}; }, RES_OK},
        {"NINF records of every face",
         [](TestMesh& m) { m.chunks[0].neighbours = std::vector<uint32_t>{1, 2, 3, 4, 5, 6}; }, RES_OK},
        {"more CHNKs promised than written", [](TestMesh& m) { m.chunkCount = 2; }, RES_FILE_FORMAT_ERROR},
    };
    for (const FileCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestMesh mesh = QuadMesh();
        c.edit(mesh);
        MeshLoadHarness harness;
        EXPECT_EQ(harness.Load(mesh), c.expected);
    }
}

TEST(IndexedMeshFileTest, EmptyMemoryFileAndMissingManager)
{
    MeshLoadHarness harness;
    EXPECT_EQ(harness.Load(std::vector<uint8_t>{}), RES_FILE_OPEN_ERROR);
    KestroIndexedMeshDefinition definition;
    const std::vector<uint8_t> bytes = WriteMeshFile(QuadMesh());
    definition.SetFileData(bytes.data(), static_cast<uint32_t>(bytes.size()));
    MeshLoadResult result = RES_OK;
    EXPECT_EQ(definition.Load(result, &harness.kernel, nullptr, harness.owner, 0), RES_NO_MATERIAL_MANAGER);
}

}  // namespace
