#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nyx/files/ConfigTree.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "resources/lod/LodTestSupport.h"
#include "resources/mesh/MeshTestSupport.h"
#include "support/TempFolder.h"

namespace {

// Indexed meshes on disk beside a ".lm.txt" that names them.
class LodTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteMesh("lod0.im", QuadMesh(4), 1);
        WriteMesh("lod1.im", QuadMesh(2), 1);
        WriteMesh("lod2.im", QuadMesh(1), 1);
        WriteMesh("extra.im", QuadMesh(1), 2);
        WriteMesh("bare.im", QuadMesh(1), 0);
        folder_.Write("tri.imtxt", kTriangle);
    }

    // A mesh with `points` attachment points and two bones.
    void WriteMesh(const std::string& name, TestMesh mesh, uint32_t points, bool bothBones = true)
    {
        TestAttachments attachments;
        for (uint32_t p = 0; p < points; ++p)
            attachments.points.push_back({"a.p" + std::to_string(p) + (p == 0 ? ":Cull" : "")});
        if (points)
            mesh.attachments = attachments;
        TestInfluences influences;
        influences.definitions.push_back({"root", "", {0, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {{0, {{0}}}}});
        if (bothBones)
            influences.definitions.push_back({"arm", "root", {1, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {{0, {{1}}}}});
        mesh.influences = influences;
        mesh.maxInfluences = 1;
        mesh.maxChunkBones = bothBones ? 2 : 1;
        const std::vector<uint8_t> bytes = WriteMeshFile(mesh);
        folder_.Write(name, std::string(bytes.begin(), bytes.end()));
    }

    MeshLoadResult LoadText(const std::string& text)
    {
        folder_.Write("car.lm.txt", text);
        harness_.owner = MeshOwner(Nyx::PString("owner"), Nyx::PString(folder_ / "car.lm.txt"));
        harness_.definition = std::make_unique<KestroIndexedMeshLODDefinition>();
        return harness_.definition->LoadResourceText(&harness_.kernel, harness_.owner,
                                                     Nyx::String(folder_ / "car.lm.txt"));
    }

    static constexpr const char* kTriangle = R"(version 1
chunks
{
  0
  {
    material "tri.m.onetex"
    positions 0,0,0,1,0,0,0,1,0
    texcoords0 0,0,1,0,0,1
    indices 0,1,2
    normals 0,0,1,0,0,1,0,0,1
    facenormals 0,0,1
  }
}
attachments
{
  0
  {
    name "a.top"
    orientation 1,0,0,0,1,0,0,0,1
    position 0,1,0
  }
}
)";

    TempFolder folder_;
    LodLoadHarness harness_;
};

const char* const kTwoLevels = "version 1.00\nmesh 50\n{\n  name lod0.im\n}\nmesh 200 { name lod1.im }\n";

TEST_F(LodTextTest, ResultCodeForEachTextFault)
{
    struct Case {
        const char* name;
        std::string text;
        MeshLoadResult expected;
    };
    const Case cases[] = {
        {"two levels", kTwoLevels, RES_OK},
        {"version 1.009", "version 1.009\nmesh 50 { name lod0.im }\n", RES_OK},
        {"version 1.01", "version 1.01\nmesh 50 { name lod0.im }\n", RES_FILE_VERSION_ERROR},
        {"version 0.99", "version 0.99\nmesh 50 { name lod0.im }\n", RES_FILE_VERSION_ERROR},
        {"no version", "mesh 50 { name lod0.im }\n", RES_FILE_VERSION_ERROR},
        {"braces that do not close", "version 1\nmesh 50 { name lod0.im\n", RES_FILE_OPEN_ERROR},
        {"no mesh item", "version 1\noffset 2\n", RES_FILE_FORMAT_ERROR},
        {"first mesh is named", "version 1\nmesh collision { name lod0.im }\n", RES_FILE_FORMAT_ERROR},
        {"cut-offs 50 and 50", "version 1\nmesh 50 { name lod0.im }\nmesh 50 { name lod1.im }\n",
         RES_FILE_FORMAT_ERROR},
        {"cut-offs 50 and 40", "version 1\nmesh 50 { name lod0.im }\nmesh 40 { name lod1.im }\n",
         RES_FILE_FORMAT_ERROR},
        {"a level without name", "version 1\nmesh 50\n", RES_FILE_FORMAT_ERROR},
        {"a named mesh without name", "version 1\nmesh 50 { name lod0.im }\nmesh collision\n",
         RES_FILE_FORMAT_ERROR},
        {"a level after a named mesh",
         "version 1\nmesh 50 { name lod0.im }\nmesh collision { name lod1.im }\nmesh 90 { name lod2.im }\n",
         RES_FILE_FORMAT_ERROR},
        {"a repeated name",
         "version 1\nmesh 50 { name lod0.im }\nmesh shadow { name lod1.im }\nmesh shadow { name lod2.im }\n",
         RES_FILE_FORMAT_ERROR},
        {"a missing file", "version 1\nmesh 50 { name gone.im }\n", RES_FILE_OPEN_ERROR},
        {"a level with one attachment point more",
         "version 1\nmesh 50 { name lod0.im }\nmesh 90 { name extra.im }\n", RES_FILE_FORMAT_ERROR},
        {"a level with a bone of the table missing",
         "version 1\nmesh 50 { name lod0.im }\nmesh 90 { name bare.im }\n", RES_FILE_FORMAT_ERROR},
        {"an indexed text mesh", "version 1\nmesh 10 { name tri.imtxt }\n", RES_OK},
    };
    WriteMesh("bare.im", QuadMesh(1), 1, false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LoadText(c.text), c.expected);
    }
}

TEST_F(LodTextTest, LevelsNamedMeshesAndParameters)
{
    ASSERT_EQ(LoadText("version 1\n"
                       "offset 1.5\nmultiplier 3\nanimationCutOff 10\nrenderCutOff 20\nattachmentCutOff 30\n"
                       "calcPoint NEAR\n"
                       "mesh 1.2.3 { name lod0.im }\n"
                       "mesh 40 { name lod1.im }\n"
                       "mesh 90 { name lod2.im }\n"
                       "mesh collision { name lod0.im animated true }\n"
                       "mesh shadow { name extra.im }\n"),
              RES_FILE_FORMAT_ERROR);  // extra.im has two attachment points
    ASSERT_EQ(LoadText("version 1\n"
                       "offset 1.5\nmultiplier 3\nanimationCutOff 10\nrenderCutOff 20\nattachmentCutOff 30\n"
                       "calcPoint NEAR\n"
                       "mesh 1.2.3 { name lod0.im }\n"
                       "mesh 40 { name lod1.im }\n"
                       "mesh 90 { name lod2.im }\n"
                       "mesh collision { name lod0.im animated true }\n"
                       "mesh shadow { name LOD2.im }\n"),
              RES_OK);
    const KestroIndexedMeshLODDefinition& d = *harness_.definition;
    EXPECT_EQ(d.GetCutOffs(), (std::vector<float>{1.2f, 40.0f, 90.0f}));
    // "LOD2.im" is no file name loaded before: a mesh of its own.
    EXPECT_EQ(d.GetMeshCount(), 4u);
    EXPECT_EQ(d.FindNamedMesh(Nyx::PString("collision")), 0);
    EXPECT_TRUE((*d.GetNamedMeshes())[0].animated);
    EXPECT_EQ(d.FindNamedMesh(Nyx::PString("shadow")), 3);
    EXPECT_EQ(d.GetCalcPoint(), 1u);
    EXPECT_EQ(d.GetOffset(), 1.5f);
    EXPECT_EQ(d.GetMultiplier(), 3.0f);
    EXPECT_EQ(d.GetAnimationCutOff(), 10.0f);
    EXPECT_EQ(d.GetRenderCutOff(), 20.0f);
    EXPECT_EQ(d.GetAttachmentCutOff(), 30.0f);
    // The last level is the definition's own, bones and points come from
    // the first.
    EXPECT_EQ(d.GetTotalFaces(), 2u);
    EXPECT_EQ(d.GetBoneCount(), 2u);
    EXPECT_EQ(d.GetInfluenceBlock(1, 2).size(), 1u);
    EXPECT_EQ(d.GetAttachmentName(0).View(), "a.p0");
    EXPECT_EQ(d.GetCullList(), std::vector<Nyx::PString>{Nyx::PString("a.p0")});
    EXPECT_EQ(d.GetKeptDefinitionCount(), 4u);
    EXPECT_EQ(d.GetName().View(), folder_ / "car.lm.txt");

    ASSERT_EQ(LoadText("version 1\ncalcPoint sideways\nmesh 10 { name lod0.im }\n"), RES_OK);
    EXPECT_EQ(harness_.definition->GetCalcPoint(), 0u);
    EXPECT_EQ(harness_.definition->GetMultiplier(), 1.0f);
}

// A load that fails half-way leaves nothing an instance could be made from.
TEST_F(LodTextTest, FailedLoadLeavesTheDefinitionEmpty)
{
    ASSERT_EQ(LoadText("version 1\nmesh 50 { name lod0.im }\nmesh 90 { name extra.im }\n"), RES_FILE_FORMAT_ERROR);
    const KestroIndexedMeshLODDefinition& d = *harness_.definition;
    EXPECT_EQ(d.GetMeshCount(), 0u);
    EXPECT_EQ(d.GetLevelCount(), 0u);
    EXPECT_EQ(d.GetChunkCount(), 0u);
    EXPECT_EQ(d.GetChunk(0), nullptr);
    EXPECT_EQ(d.GetKeptDefinitionCount(), 0u);
    EXPECT_EQ(d.GetBoneCount(), 0u);
    EXPECT_EQ(d.GetAttachmentCount(), 0u);
}

// ".lm.txt" and the ".lm" saved from it describe the same mesh.
TEST_F(LodTextTest, SavedTextLoadsAsTheSameDefinition)
{
    ASSERT_EQ(LoadText("version 1\noffset 2\ncalcPoint far\nmesh 50 { name lod0.im }\nmesh 90 { name lod1.im }\n"
                       "mesh collision { name lod2.im animated yes }\n"),
              RES_OK);
    Nyx::Display display;
    harness_.definition->FinishLod(display);
    EXPECT_EQ(harness_.definition->GetKeptDefinitionCount(), 0u);
    // The levels' equal materials are one.
    const auto& meshes = *harness_.definition->GetMeshes();
    EXPECT_EQ((*meshes[1].materials)[0], (*meshes[0].materials)[0]);
    std::vector<uint8_t> saved;
    ASSERT_EQ(harness_.definition->Save(saved), RES_OK);

    LodLoadHarness binary;
    binary.owner = harness_.owner;
    ASSERT_EQ(binary.Load(saved), RES_OK);
    const KestroIndexedMeshLODDefinition& a = *harness_.definition;
    const KestroIndexedMeshLODDefinition& b = *binary.definition;
    EXPECT_EQ(b.GetCutOffs(), a.GetCutOffs());
    EXPECT_EQ(b.GetMeshCount(), a.GetMeshCount());
    EXPECT_EQ(b.GetCalcPoint(), 2u);
    EXPECT_EQ(b.GetOffset(), 2.0f);
    EXPECT_EQ(b.FindNamedMesh(Nyx::PString("collision")), 2);
    EXPECT_TRUE((*b.GetNamedMeshes())[0].animated);
    for (uint32_t m = 0; m < a.GetMeshCount(); ++m) {
        const LodMesh& x = (*a.GetMeshes())[m];
        const LodMesh& y = (*b.GetMeshes())[m];
        EXPECT_EQ(y.chunkCount, x.chunkCount);
        EXPECT_EQ(y.vertexTotal, x.vertexTotal);
        EXPECT_EQ(y.faceTotal, x.faceTotal);
        EXPECT_EQ(y.chunkNames, x.chunkNames);
        EXPECT_EQ((*y.materials)[0]->GetName(), (*x.materials)[0]->GetName());
        for (uint32_t bone = 0; bone < a.GetBoneCount(); ++bone)
            EXPECT_EQ(b.GetInfluenceBlock(bone, m).size(), a.GetInfluenceBlock(bone, m).size());
    }
    EXPECT_EQ(b.GetCullList(), a.GetCullList());
    EXPECT_EQ(b.GetBoneCount(), 2u);
    // And it saves to the same bytes again.
    std::vector<uint8_t> again;
    ASSERT_EQ(b.Save(again), RES_OK);
    EXPECT_EQ(again, saved);
}

TEST(LodConfigTreeTest, ItemsKeysAndValues)
{
    Nyx::ConfigTree root;
    float version = 0.0f;
    ASSERT_EQ(Nyx::ConfigTree::ParseText("// a note\nVersion 1.5\nmesh 10 // level\n{\n name \"a b.im\"\n}\n"
                                         "mesh \"\" { name x }\nflag\n",
                                         root, version),
              Nyx::ConfigTree::kOk);
    EXPECT_EQ(version, 1.5f);
    EXPECT_EQ(root.Count("MESH"), 2u);
    EXPECT_EQ(root("mesh", 0)("name").Value(), "a b.im");
    EXPECT_EQ(root("mesh", 1).Value(), "");
    EXPECT_TRUE(root("flag").IsKnown());
    EXPECT_FALSE(root("mesh", 2).IsKnown());
    float kept = 7.0f;
    root("nothing") >> kept;
    root("mesh", 0)("name") >> kept;
    EXPECT_EQ(kept, 7.0f);
    for (const char* broken : {"a {\n", "}\n", "a \"open\n", "{ b }\n"})
        EXPECT_NE(Nyx::ConfigTree::ParseText(broken, root, version), Nyx::ConfigTree::kOk) << broken;
}

}  // namespace
