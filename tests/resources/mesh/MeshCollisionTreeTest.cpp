// A mesh definition's collision tree: requested from the background system,
// built over every chunk by its primitive kind, and kept.
#include "resources/mesh/indexed/MeshCollisionTree.h"

#include <gtest/gtest.h>

#include "nyx/gfx/chunks/GeometryChunk.h"
#include "resources/mesh/indexed/CollisionGeometrySharingInterface.h"
#include "resources/mesh/MeshTestSupport.h"

namespace {

// A chunk over the unit square at height z, as a list, a strip or a fan.
TestChunk SquareChunk(uint32_t primitive, float z)
{
    TestChunk chunk = QuadStripChunk(1);
    TestGeometry& g = chunk.geometry;
    g.primitive = primitive;
    g.faceNormals.clear();
    for (size_t i = 2; i < g.positions.size(); i += 3)
        g.positions[i] = z;
    switch (primitive) {
    case 8:  // strip: 0 1 3 2 gives (0,1,3) and (1,2,3) in its winding
        g.indices = {0, 1, 3, 2};
        g.primitiveCount = 2;
        break;
    case 16:  // fan around corner 0
        g.indices = {0, 1, 2, 3};
        g.primitiveCount = 2;
        break;
    default:
        break;
    }
    return chunk;
}

bool HitsAt(const KSAxisBoxTree& tree, float x, float y, KSAxisBoxTreeResult& result)
{
    return tree.Query({x, y, 5.0f}, {x, y, -5.0f}, result);
}

TEST(MeshCollisionTreeTest, WithoutABackgroundSystemThereIsNeverATreeNorARequest)
{
    ASSERT_EQ(OverlappedResourceSystem::Get(), nullptr);
    MeshLoadHarness harness;
    ASSERT_EQ(harness.Load(QuadMesh(2)), RES_OK);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(harness.definition->EnsureCollisionTree(), nullptr);
        EXPECT_FALSE(harness.definition->HasPendingCollisionTreeRequest());
    }
}

TEST(MeshCollisionTreeTest, ARequestedBuildBecomesTheDefinitionsTreeOnceItsJobRan)
{
    OverlappedResourceSystem system;
    MeshLoadHarness harness;
    ASSERT_EQ(harness.Load(QuadMesh(2)), RES_OK);
    EXPECT_EQ(harness.definition->EnsureCollisionTree(), nullptr);
    EXPECT_TRUE(harness.definition->HasPendingCollisionTreeRequest());
    harness.definition->RequestCollisionTree();  // one request at a time
    EXPECT_EQ(system.GetQueuedCount(), 1u);
    EXPECT_EQ(system.RunQueued(), 1u);
    KSAxisBoxTree* tree = harness.definition->EnsureCollisionTree();
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->GetLeafEntryCount(), 4u);
    EXPECT_EQ(harness.definition->EnsureCollisionTree(), tree);
    EXPECT_EQ(system.GetQueuedCount(), 0u);
}

TEST(MeshCollisionTreeTest, ADefinitionDestroyedWithARequestPendingCancelsTheJob)
{
    OverlappedResourceSystem system;
    {
        MeshLoadHarness harness;
        ASSERT_EQ(harness.Load(QuadMesh(1)), RES_OK);
        harness.definition->RequestCollisionTree();
        EXPECT_EQ(system.GetQueuedCount(), 1u);
    }
    EXPECT_EQ(system.GetQueuedCount(), 0u);
    EXPECT_EQ(system.RunQueued(), 0u);
}

TEST(MeshCollisionTreeTest, TrianglesAreNamedByChunkAndFirstIndex)
{
    MeshLoadHarness harness;
    TestMesh mesh;
    for (int c = 0; c < 3; ++c)
        mesh.chunks.push_back(QuadStripChunk(2));
    ASSERT_EQ(harness.Load(mesh), RES_OK);
    CollisionGeometrySharingInterface adapter(*harness.definition);
    const auto tree = MeshCollisionTree::BuildTree(*harness.definition, adapter);
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->GetLeafEntryCount(), 12u);
    bool found = false;
    for (uint32_t i = 0; i < tree->GetLeafEntryCount(); ++i)
        found = found || tree->GetLeafReference(i) == ((2u << 16) | 6u);
    EXPECT_TRUE(found);
}

TEST(MeshCollisionTreeTest, StripsAndFansAreReadByTheirOwnCornerRule)
{
    // Two points, one in each half of the square as the kind cuts it.
    struct Case {
        const char* name;
        uint32_t primitive;
        float first[2];
        float second[2];
    };
    const Case cases[] = {{"list", 4, {0.8f, 0.1f}, {0.1f, 0.8f}},
                          {"strip", 8, {0.1f, 0.1f}, {0.9f, 0.9f}},
                          {"fan", 16, {0.8f, 0.1f}, {0.1f, 0.8f}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MeshLoadHarness harness;
        TestMesh mesh;
        mesh.chunks.push_back(SquareChunk(c.primitive, 0.0f));
        ASSERT_EQ(harness.Load(mesh), RES_OK);
        CollisionGeometrySharingInterface adapter(*harness.definition);
        const auto tree = MeshCollisionTree::BuildTree(*harness.definition, adapter);
        ASSERT_NE(tree, nullptr);
        EXPECT_EQ(tree->GetLeafEntryCount(), 2u);
        // Both halves of the square are there, each under its own face.
        KSAxisBoxTreeResult low;
        KSAxisBoxTreeResult high;
        ASSERT_TRUE(HitsAt(*tree, c.first[0], c.first[1], low));
        ASSERT_TRUE(HitsAt(*tree, c.second[0], c.second[1], high));
        EXPECT_NE(low.reference, high.reference);
        EXPECT_FLOAT_EQ(low.distance, 0.5f);
    }
}

TEST(MeshCollisionTreeTest, AChunkWithoutIndicesAddsNoTrianglesAndTheOthersStillDo)
{
    struct IndexlessFirstChunk : KestroIndexedMeshDefinition {
        void DropIndicesOfChunk0()
        {
            Nyx::GeometryChunk* old = chunks_[0];
            chunks_[0] = old->CreateInstance(old->GetVertexCount(), 0, 0, 0);
            old->Release();
        }
    };
    MeshLoadHarness harness;
    TestMesh mesh;
    mesh.chunks.push_back(QuadStripChunk(1));
    mesh.chunks.push_back(QuadStripChunk(1));
    const std::vector<uint8_t> bytes = WriteMeshFile(mesh);
    IndexlessFirstChunk definition;
    definition.SetFileData(bytes.data(), static_cast<uint32_t>(bytes.size()));
    MeshLoadResult result = RES_UNKNOWN;
    ASSERT_EQ(definition.Load(result, &harness.kernel, &harness.kernel.GetMaterialManager(), harness.owner, 0), RES_OK);
    definition.DropIndicesOfChunk0();
    ASSERT_EQ(definition.GetChunk(0)->GetIndexArray(), nullptr);
    CollisionGeometrySharingInterface adapter(definition);
    const auto tree = MeshCollisionTree::BuildTree(definition, adapter);
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->GetLeafEntryCount(), 2u);
    EXPECT_EQ(tree->GetLeafReference(0) >> 16, 1u);
    EXPECT_EQ(tree->GetLeafReference(1) >> 16, 1u);
}

TEST(OverlappedResourceSystemTest, JobsRunOldestFirstAndCancelledOnesAreDropped)
{
    EXPECT_EQ(OverlappedResourceSystem::Get(), nullptr);
    std::vector<int> ran;
    struct Data {
        std::vector<int>* ran;
        int id;
    };
    Data a{&ran, 1};
    Data b{&ran, 2};
    Data c{&ran, 3};
    auto work = [](void* d) { static_cast<Data*>(d)->ran->push_back(static_cast<Data*>(d)->id); };
    auto done = [](void* d) { static_cast<Data*>(d)->ran->push_back(-static_cast<Data*>(d)->id); };
    OverlappedResourceCallback first(Nyx::PString("a"), work, done, &a);
    OverlappedResourceCallback second(Nyx::PString("b"), work, done, &b);
    OverlappedResourceCallback third(Nyx::PString("c"), work, done, &c);
    {
        OverlappedResourceSystem system;
        EXPECT_EQ(OverlappedResourceSystem::Get(), &system);
        OverlappedResourceSystem other;
        EXPECT_EQ(OverlappedResourceSystem::Get(), &system);
        EXPECT_TRUE(system.Queue(&first));
        EXPECT_FALSE(system.Queue(&first));
        EXPECT_TRUE(system.Queue(&second));
        EXPECT_TRUE(system.Queue(&third));
        second.Cancel();
        EXPECT_EQ(first.GetState(), OverlappedResourceCallback::kQueued);
        EXPECT_FALSE(first.IsFinished());
        system.Finish(&third);
        EXPECT_EQ(system.RunQueued(), 2u);
        EXPECT_EQ(ran, (std::vector<int>{3, -3, 1, -1}));
        EXPECT_TRUE(second.IsFinished());
    }
    EXPECT_EQ(OverlappedResourceSystem::Get(), nullptr);
}

}  // namespace
