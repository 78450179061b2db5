#include <gtest/gtest.h>

#include "nyx/gfx/chunks/GeometryChunk.h"
#include "resources/mesh/progressive/ProgressiveTestSupport.h"

namespace {

TEST(ProgressiveMeshDefinitionTest, LoadsTablesAndLinksRunsByPosition)
{
    ProgressiveLoadHarness h;
    TestMesh mesh = QuadMesh(4);
    TestProgressive pm;
    // Set 0 owns groups 0-2, set 1 groups 3-4; record 1 owns no values.
    pm.sets = {3, 2};
    pm.groups = {{0, 1}, {0, 0}, {0, 1}, {0, 1}, {0, 1}};
    pm.records = {{0, 0, 0, 2}, {0, 0, 0, 0}, {0, 0, 0, 1}, {4, 2, 1, 1}};
    pm.values = {0, 1, 2, 18, 5};
    mesh.progressive = pm;
    ASSERT_EQ(h.Load(mesh), RES_OK);
    const KestroProgressiveMeshDefinition& d = *h.definition;
    EXPECT_EQ(d.GetValueCount(), 5u);
    EXPECT_EQ(d.GetRecordCount(), 4u);
    EXPECT_EQ(d.GetGroupCount(), 5u);
    EXPECT_EQ(d.GetSetCount(), 2u);
    EXPECT_EQ(d.GetSets()[1].firstGroup, 3u);
    EXPECT_EQ(d.GetGroups()[2].firstRecord, 1u);
    EXPECT_EQ(d.GetGroups()[3].firstRecord, 2u);
    EXPECT_EQ(d.GetRecords()[1].firstValue, 2u);
    EXPECT_EQ(d.GetRecords()[2].firstValue, 2u);
    EXPECT_EQ(d.GetRecords()[3].firstValue, 3u);
    EXPECT_EQ(d.GetFullFaceCount(), 8u);
    EXPECT_EQ(d.GetName().View(), "body.pm");
    EXPECT_EQ(d.GetTextureScale(), 0.0f);
    EXPECT_FALSE(d.HasAnimationCapability());
}

TEST(ProgressiveMeshDefinitionTest, FileWithoutTablesLoadsEmpty)
{
    ProgressiveLoadHarness h;
    ASSERT_EQ(h.Load(QuadMesh(2)), RES_OK);
    EXPECT_EQ(h.definition->GetSetCount(), 0u);
    EXPECT_EQ(h.definition->GetValueCount(), 0u);
    EXPECT_TRUE(h.definition->GetSets().empty());
    EXPECT_TRUE(h.definition->GetValues().empty());
}

TEST(ProgressiveMeshDefinitionTest, NoMaterialManagerIsRefusedBeforeOpening)
{
    ProgressiveLoadHarness h;
    KestroProgressiveMeshDefinition definition;
    MeshLoadResult result = RES_OK;
    definition.Load(result, &h.kernel, nullptr, h.owner, Nyx::String("missing/nothing.pm"));
    EXPECT_EQ(result, RES_NO_MATERIAL_MANAGER);
    definition.Load(result, &h.kernel, &h.kernel.GetMaterialManager(), h.owner, Nyx::String("missing/nothing.pm"));
    EXPECT_EQ(result, RES_FILE_OPEN_ERROR);
}

// Tables that do not fit the data or each other are refused whole.
TEST(ProgressiveMeshDefinitionTest, BrokenTablesAreFormatErrors)
{
    struct Case {
        const char* name;
        void (*edit)(TestMesh&);
        int patchCount;  // -1: none
        uint32_t patchValue;
    };
    const Case cases[] = {
        {"version 100", [](TestMesh& m) { m.progressive->version = 100; }, -1, 0},
        {"values beyond the data", [](TestMesh&) {}, 0, 0x40000000u},
        {"records beyond the data", [](TestMesh&) {}, 1, 0x10000000u},
        {"groups beyond the data", [](TestMesh&) {}, 2, 0x20000000u},
        {"sets beyond the data", [](TestMesh&) {}, 3, 0x40000000u},
        {"sets own more groups than there are", [](TestMesh& m) { m.progressive->sets.back() = 5; }, -1, 0},
        {"groups own more records than there are", [](TestMesh& m) { m.progressive->groups.back()[1] = 9; }, -1, 0},
        {"records own more values than there are", [](TestMesh& m) { m.progressive->records.back()[3] = 4; }, -1, 0},
        {"a value past its chunk's indices", [](TestMesh& m) { m.progressive->values.back() = 60; }, -1, 0},
        {"a group of a missing chunk", [](TestMesh& m) { m.progressive->groups.back()[0] = 1; }, -1, 0},
        {"a set removing more vertices than the chunk has",
         [](TestMesh& m) { m.progressive->records.back()[0] = 1000; }, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMesh mesh = ProgressiveQuadMesh(2, {1, 2});
        c.edit(mesh);
        std::vector<uint8_t> bytes = WriteMeshFile(mesh);
        if (c.patchCount >= 0)
            PatchProgressiveCount(bytes, static_cast<uint32_t>(c.patchCount), c.patchValue);
        ProgressiveLoadHarness h;
        EXPECT_EQ(h.Load(bytes), RES_FILE_FORMAT_ERROR);
        EXPECT_EQ(h.definition->GetSetCount(), 0u);
        EXPECT_TRUE(h.definition->GetRecords().empty());
    }
}

}  // namespace
