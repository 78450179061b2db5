#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "nyx/gfx/chunks/GeometryChunk.h"
#include "resources/mesh/instance/InstanceTestSupport.h"
#include "resources/mesh/progressive/KestroDynamicProgressiveMeshInstance.h"
#include "resources/mesh/progressive/KestroProgressiveMeshInstance.h"
#include "resources/mesh/progressive/ProgressiveTestSupport.h"

namespace {

struct ProgressiveHarness {
    ProgressiveLoadHarness load;
    Nyx::Display display;
    CountingResource resource;

    ProgressiveHarness() { load.kernel.GetMaterialManager().SetRenderContext(&display); }
    explicit ProgressiveHarness(const TestMesh& mesh) : ProgressiveHarness() { Load(mesh); }
    void Load(const TestMesh& mesh)
    {
        ASSERT_EQ(load.Load(mesh), RES_OK);
        resource.definition = load.definition.get();
    }
    std::unique_ptr<KestroProgressiveMeshInstance> Bind()
    {
        auto instance = std::make_unique<KestroProgressiveMeshInstance>(&load.kernel.GetMaterialManager());
        instance->Bind(&resource, *load.definition);
        return instance;
    }
};

std::vector<uint16_t> Indices(const Nyx::GeometryChunk& chunk)
{
    const uint16_t* at = chunk.GetIndexArray();
    return {at, at + chunk.GetMaxIndices()};
}

TEST(ProgressiveMeshInstanceTest, StartsAtFullDetailWithChunksOfItsOwn)
{
    ProgressiveHarness h(ProgressiveQuadMesh(2, {1, 1, 3}));
    auto instance = h.Bind();
    EXPECT_EQ(instance->GetID(), 19u);
    EXPECT_EQ(instance->GetCurrentFaceCount(), 14u);
    EXPECT_EQ(instance->GetCurrentStep(), 3u);
    EXPECT_NE(instance->GetChunk(0), h.load.definition->GetChunk(0));
    EXPECT_NE(instance->GetChunk(0)->GetIndexArray(), h.load.definition->GetChunk(0)->GetIndexArray());
    EXPECT_EQ(h.resource.references, 1);
    EXPECT_FALSE(instance->AddChunk(h.load.definition->GetChunk(0), nullptr));
    EXPECT_FALSE(instance->FillChunk(*h.load.definition->GetChunk(0), 0));
    EXPECT_EQ(instance->GetChunkCount(), 1u);
}

// Base of 2 quads (4 faces) and sets of 1, 1 and 3 quads: 14 faces.
TEST(ProgressiveMeshInstanceTest, LowersWholeSetsNeverBelowTheTarget)
{
    struct Case {
        const char* name;
        uint32_t lowerTo;
        uint32_t faces;
        uint32_t step;
    };
    const Case cases[] = {
        {"above the count", 20, 14, 3},  {"at the count", 14, 14, 3},  {"inside the top set", 9, 14, 3},
        {"the top set exactly", 8, 8, 2}, {"between sets", 7, 8, 2},    {"to the base", 4, 4, 0},
        {"to nothing", 0, 4, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProgressiveHarness h(ProgressiveQuadMesh(2, {1, 1, 3}));
        auto instance = h.Bind();
        instance->LowerDetail(c.lowerTo);
        EXPECT_EQ(instance->GetCurrentFaceCount(), c.faces);
        EXPECT_EQ(instance->GetCurrentStep(), c.step);
        const Nyx::GeometryChunk& chunk = *instance->GetChunk(0);
        EXPECT_EQ(chunk.GetPrimitiveCount(), c.faces);
        EXPECT_EQ(chunk.GetIndexCount(), 3 * c.faces);
        EXPECT_EQ(chunk.GetVertexCount(), 2 * c.faces);
    }
}

TEST(ProgressiveMeshInstanceTest, TenFaceSetOverNinetyStaysForNinetyOne)
{
    ProgressiveHarness h(ProgressiveQuadMesh(45, {5}));
    auto instance = h.Bind();
    instance->LowerDetail(91);
    EXPECT_EQ(instance->GetCurrentFaceCount(), 100u);
    instance->LowerDetail(90);
    EXPECT_EQ(instance->GetCurrentFaceCount(), 90u);
    EXPECT_EQ(instance->GetCurrentStep(), 0u);
}

TEST(ProgressiveMeshInstanceTest, RaisesBySetsAndStopsAtTheLast)
{
    ProgressiveHarness h(ProgressiveQuadMesh(2, {1, 1, 3}));
    auto instance = h.Bind();
    instance->LowerDetail(0);
    instance->RaiseDetail(5);
    EXPECT_EQ(instance->GetCurrentFaceCount(), 6u);
    EXPECT_EQ(instance->GetCurrentStep(), 1u);
    instance->RaiseDetail(7);  // passes the target by the rest of one set
    EXPECT_EQ(instance->GetCurrentFaceCount(), 8u);
    instance->RaiseDetail(0xFFFFFFFFu);
    EXPECT_EQ(instance->GetCurrentFaceCount(), 14u);
    EXPECT_EQ(instance->GetCurrentStep(), 3u);
    instance->RaiseDetail(0xFFFFFFFFu);
    EXPECT_EQ(instance->GetCurrentStep(), 3u);
}

TEST(ProgressiveMeshInstanceTest, LoweringToNothingAndBackRestoresEveryIndex)
{
    ProgressiveHarness h(ProgressiveQuadMesh(3, {2, 1, 4, 1}));
    auto instance = h.Bind();
    const std::vector<uint16_t> full = Indices(*instance->GetChunk(0));
    instance->LowerDetail(0);
    EXPECT_NE(Indices(*instance->GetChunk(0)), full);
    EXPECT_EQ(Indices(*instance->GetChunk(0))[6 * 3], 11u);  // 12, moved by the undone split
    instance->RaiseDetail(0xFFFFFFFFu);
    EXPECT_EQ(Indices(*instance->GetChunk(0)), full);
    EXPECT_EQ(Indices(*h.load.definition->GetChunk(0)), full);
    EXPECT_EQ(instance->GetChunk(0)->GetIndexCount(), h.load.definition->GetChunk(0)->GetIndexCount());
}

TEST(ProgressiveMeshInstanceTest, WithoutSetsDetailDoesNotMove)
{
    TestMesh mesh = QuadMesh(3);
    ProgressiveHarness h(mesh);
    auto instance = h.Bind();
    const std::vector<uint16_t> full = Indices(*instance->GetChunk(0));
    instance->LowerDetail(0);
    instance->RaiseDetail(100);
    instance->SetDetail(0.0f);
    EXPECT_EQ(instance->GetCurrentFaceCount(), 6u);
    EXPECT_EQ(instance->GetChunk(0)->GetIndexCount(), 18u);
    EXPECT_EQ(Indices(*instance->GetChunk(0)), full);
}

TEST(ProgressiveMeshInstanceTest, SetLargerThanTheCountStays)
{
    // The chunk claims 4 faces while the set alone adds 10.
    TestMesh mesh = ProgressiveQuadMesh(1, {5});
    mesh.chunks[0].geometry.faceCount = 4;
    ProgressiveHarness h(mesh);
    auto instance = h.Bind();
    ASSERT_EQ(instance->GetCurrentFaceCount(), 4u);
    instance->LowerDetail(0);
    EXPECT_EQ(instance->GetCurrentFaceCount(), 4u);
    EXPECT_EQ(instance->GetCurrentStep(), 1u);
}

TEST(ProgressiveMeshInstanceTest, RecordsWithoutValuesEditNoIndex)
{
    TestMesh mesh = ProgressiveQuadMesh(2, {1});
    mesh.progressive->records.back()[3] = 0;
    mesh.progressive->values.clear();
    ProgressiveHarness h(mesh);
    auto instance = h.Bind();
    const std::vector<uint16_t> full = Indices(*instance->GetChunk(0));
    instance->LowerDetail(0);
    EXPECT_EQ(instance->GetCurrentFaceCount(), 4u);
    EXPECT_EQ(Indices(*instance->GetChunk(0)), full);
}

TEST(ProgressiveMeshInstanceTest, InstancesAndCopiesKeepTheirOwnDetail)
{
    ProgressiveHarness h(ProgressiveQuadMesh(2, {1, 1, 3}));
    auto first = h.Bind();
    auto other = h.Bind();
    first->LowerDetail(8);
    std::unique_ptr<KestroProgressiveMeshInstance> copy(
        static_cast<KestroProgressiveMeshInstance*>(first->CreateInstance()));
    EXPECT_EQ(copy->GetID(), 19u);
    EXPECT_EQ(copy->GetCurrentFaceCount(), 8u);
    EXPECT_EQ(copy->GetCurrentStep(), 2u);
    EXPECT_EQ(copy->GetChunk(0)->GetIndexCount(), 24u);
    const std::vector<uint16_t> copied = Indices(*copy->GetChunk(0));
    EXPECT_EQ(copied, Indices(*first->GetChunk(0)));

    first->LowerDetail(0);
    EXPECT_EQ(first->GetCurrentFaceCount(), 4u);
    EXPECT_EQ(copy->GetCurrentFaceCount(), 8u);
    EXPECT_EQ(Indices(*copy->GetChunk(0)), copied);
    EXPECT_EQ(other->GetCurrentFaceCount(), 14u);
    EXPECT_EQ(other->GetChunk(0)->GetIndexCount(), 42u);
    EXPECT_EQ(h.resource.references, 3);
    copy->RaiseDetail(14);
    EXPECT_EQ(Indices(*copy->GetChunk(0)), Indices(*other->GetChunk(0)));
}

TEST(ProgressiveMeshInstanceTest, WantedDetailBecomesRoundedFaceCount)
{
    ProgressiveHarness h(ProgressiveQuadMesh(2, {1, 1, 3}));
    auto instance = h.Bind();
    instance->SetDetail(0.55f);  // 7.7 faces: 8
    EXPECT_EQ(instance->GetCurrentFaceCount(), 8u);
    instance->SetDetailLocked(true);
    instance->SetDetail(0.0f);
    EXPECT_EQ(instance->GetCurrentFaceCount(), 8u);
    instance->SetDetailLocked(false);
    instance->SetMinDetail(0.4f);  // 5.6 faces: 6
    instance->SetDetail(0.0f);
    EXPECT_EQ(instance->GetCurrentFaceCount(), 6u);
    instance->SetDetail(1.0f);
    EXPECT_EQ(instance->GetCurrentFaceCount(), 14u);
}

}  // namespace
