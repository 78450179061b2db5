#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "nyx/scene/ParticleBone.h"
#include "nyx/scene/ScaledBone.h"
#include "nyx/scene/ViewPoint.h"
#include "resources/mesh/instance/InstanceTestSupport.h"
#include "resources/mesh/skinning/KestroDynamicIndexedMeshInstance.h"
#include "resources/mesh/skinning/SkinningTestSupport.h"

namespace {

struct SkinnedHarness : InstanceHarness {
    explicit SkinnedHarness(bool display, uint32_t chunks = 1)
    {
        load.kernel.SetCapability(Nyx::RenderKernel::kCapabilityHardwareSkinning, display);
        EXPECT_TRUE(Load(SkinnedQuads(chunks)));
    }
    std::unique_ptr<KestroDynamicIndexedMeshInstance> SetUp()
    {
        auto instance = std::make_unique<KestroDynamicIndexedMeshInstance>(&load.kernel.GetMaterialManager());
        instance->SetUp(&resource, *load.definition);
        return instance;
    }
    Nyx::GeometryChunk* const* Chunks() const { return load.definition->GetSharedChunkArray()->GetEntries().data(); }
};

Nyx::ParticleBone* Arm(KestroDynamicIndexedMeshInstance& instance) { return instance.GetSkeleton()->Find(Nyx::PString("arm")); }

TEST(InfluenceMeshTest, SoftwareSkinningIsTheWeightedSumOfBoneOffsets)
{
    SkinnedHarness h(false);
    auto instance = h.SetUp();
    Nyx::GeometryChunk* chunk = instance->GetChunk(0);
    ASSERT_TRUE(chunk->GetFlags() & Nyx::GeometryChunk::kFlagSoftwareSkinned);
    ASSERT_NE(chunk, h.load.definition->GetChunk(0));
    const Nyx::Vector3f at{1.0f, 0.5f, 2.0f};
    Arm(*instance)->SetFramePosition(at);
    Arm(*instance)->SetFrameOrientation(QuarterTurnZ());
    Nyx::ViewPoint view(3);
    instance->Render(h.display, view);
    for (uint32_t v = 0; v < 8; ++v) {
        SCOPED_TRACE(v);
        ExpectNear(PositionOf(*chunk, v), ExpectedQuadVertex(v, at, QuarterTurnZ()));
        // The definition's chunk keeps its rest positions.
        ExpectNear(PositionOf(*h.load.definition->GetChunk(0), v), QuadVertex(v));
    }
}

TEST(InfluenceMeshTest, DisplayPaletteMatchesTheWeightedSum)
{
    SkinnedHarness h(true);
    auto instance = h.SetUp();
    Nyx::GeometryChunk* chunk = instance->GetChunk(0);
    ASSERT_FALSE(chunk->GetFlags() & Nyx::GeometryChunk::kFlagSoftwareSkinned);
    ASSERT_EQ(chunk->GetInfluenceMatrices().size(), 2u);
    const Nyx::Vector3f at{0.0f, 3.0f, 0.0f};
    Arm(*instance)->SetFramePosition(at);
    Arm(*instance)->SetFrameOrientation(QuarterTurnZ());
    Nyx::ViewPoint view(3);
    instance->Render(h.display, view);
    const Nyx::Matrix4* root = chunk->GetInfluenceMatrix(0);
    const Nyx::Matrix4* arm = chunk->GetInfluenceMatrix(1);
    ASSERT_TRUE(root && arm);
    EXPECT_EQ(arm, &instance->GetBone(1).skinning);
    for (uint32_t v = 0; v < 8; ++v) {
        SCOPED_TRACE(v);
        const Nyx::Vector3f rest = PositionOf(*chunk, v);
        const Nyx::Vector3f moved = v < 4    ? root->TransformPoint(rest)
                                    : v > 4 ? arm->TransformPoint(rest)
                                            : root->TransformPoint(rest) * 0.25f + arm->TransformPoint(rest) * 0.75f;
        ExpectNear(moved, ExpectedQuadVertex(v, at, QuarterTurnZ()));
    }
}

// A moved and turned root carries the arm along, whichever way the chunk
// is skinned: the bone chain composes in the order the display expects.
TEST(InfluenceMeshTest, MovedRootCarriesTheArmInBothSkinnings)
{
    for (const bool display : {false, true}) {
        SCOPED_TRACE(display);
        SkinnedHarness h(display);
        auto instance = h.SetUp();
        Nyx::GeometryChunk* chunk = instance->GetChunk(0);
        Nyx::ParticleBone* root = instance->GetSkeleton()->Find(Nyx::PString("root"));
        ASSERT_NE(root, nullptr);
        const Nyx::Vector3f rootAt{2.0f, -1.0f, 0.5f};
        const Nyx::Quaternion rootTurn{0.0f, std::sqrt(0.5f), 0.0f, std::sqrt(0.5f)};
        const Nyx::Vector3f armAt{1.0f, 2.0f, 0.0f};
        root->SetFramePosition(rootAt);
        root->SetFrameOrientation(rootTurn);
        Arm(*instance)->SetFramePosition(armAt);
        Arm(*instance)->SetFrameOrientation(QuarterTurnZ());
        Nyx::ViewPoint view(3);
        instance->Render(h.display, view);
        const Nyx::Matrix4* rootMatrix = chunk->GetInfluenceMatrix(0);
        const Nyx::Matrix4* armMatrix = chunk->GetInfluenceMatrix(1);
        ASSERT_EQ(display, rootMatrix && armMatrix);
        for (uint32_t v = 0; v < 8; ++v) {
            SCOPED_TRACE(v);
            const Nyx::Vector3f expected = rootAt + rootTurn.Rotate(ExpectedQuadVertex(v, armAt, QuarterTurnZ()));
            if (!display) {
                ExpectNear(PositionOf(*chunk, v), expected);
                continue;
            }
            const Nyx::Vector3f rest = QuadVertex(v);
            const Nyx::Vector3f onRoot = rootMatrix->TransformPoint(rest);
            const Nyx::Vector3f onArm = armMatrix->TransformPoint(rest);
            ExpectNear(v < 4 ? onRoot : v > 4 ? onArm : onRoot * 0.25f + onArm * 0.75f, expected);
        }
    }
}

TEST(InfluenceMeshTest, UpdatesOncePerStampAndAlwaysForStampZero)
{
    SkinnedHarness h(false);
    auto instance = h.SetUp();
    Nyx::GeometryChunk* chunk = instance->GetChunk(0);
    Nyx::GeometryChunk* const chunks[] = {chunk};
    instance->Update(1, chunks, 5, 0);
    Arm(*instance)->SetFramePosition({1, 0, 4});
    instance->Update(1, chunks, 5, 0);
    ExpectNear(PositionOf(*chunk, 5), QuadVertex(5));
    instance->Update(1, chunks, 6, 0);
    ExpectNear(PositionOf(*chunk, 5), QuadVertex(5) + Nyx::Vector3f{0, 0, 4});
    Arm(*instance)->SetFramePosition({1, 0, 1});
    instance->Update(1, chunks, 0, 0);
    ExpectNear(PositionOf(*chunk, 5), QuadVertex(5) + Nyx::Vector3f{0, 0, 1});
    Arm(*instance)->SetFramePosition({1, 0, 2});
    instance->Update(1, chunks, 0, 0);
    ExpectNear(PositionOf(*chunk, 5), QuadVertex(5) + Nyx::Vector3f{0, 0, 2});
    EXPECT_EQ(instance->GetStamps().size(), KestroInfluenceMesh::kStampGrowth);
}

TEST(InfluenceMeshTest, BoneWithoutNodeKeepsItsBindPose)
{
    SkinnedHarness h(false);
    auto instance = h.SetUp();
    Nyx::ParticleBone lone;
    lone.SetName(Nyx::PString("root"));
    instance->Attach(&lone);
    EXPECT_EQ(instance->GetBone(0).node, &lone);
    EXPECT_EQ(instance->GetBone(1).node, nullptr);
    Arm(*instance)->SetFramePosition({5, 5, 5});
    Nyx::GeometryChunk* const chunks[] = {instance->GetChunk(0)};
    instance->Update(1, chunks, 0, 0);
    for (uint32_t v = 0; v < 8; ++v)
        ExpectNear(PositionOf(*instance->GetChunk(0), v), QuadVertex(v));
}

// Bones made by hand over the chunks of a software-skinned load.
struct HandMadeBones {
    SkinnedHarness h{false, 2};
    std::vector<Nyx::InfluenceDefinition> bones;
    KestroInfluenceMesh mesh;

    HandMadeBones() { bones.push_back(Bone("root", "")); }
    static Nyx::InfluenceDefinition Bone(const char* name, const char* parent)
    {
        Nyx::InfluenceDefinition d;
        d.boneName = Nyx::PString(name);
        d.parentName = Nyx::PString(parent);
        return d;
    }
    void Load()
    {
        mesh.LoadFromDefinitions(static_cast<uint32_t>(bones.size()), bones.data(), false, 2, h.Chunks());
        mesh.Attach(nullptr);
    }
    Nyx::GeometryChunk& Chunk(uint32_t i) { return *h.load.definition->GetChunk(i); }
};

TEST(InfluenceMeshTest, EntriesPastTheChunkAreSkippedAndWeightsStayAsGiven)
{
    HandMadeBones m;
    Nyx::InfluenceGroup group{0, {}};
    group.entries.push_back({8, {1.0f, 9.0f, 9.0f, 9.0f}});        // vertex 8 of 8
    group.entries.push_back({1, {0.5f, 2.0f, 4.0f, 6.0f}});        // half a weight
    m.bones[0].groups = {group, {7, {{0, {1.0f, 1, 1, 1}}}}};      // chunk 7 of 2
    m.Load();
    m.mesh.Update(2, m.h.Chunks(), 0, 0);
    ExpectNear(PositionOf(m.Chunk(0), 1), {1.0f, 2.0f, 3.0f});
    ExpectNear(PositionOf(m.Chunk(0), 7), {0.0f, 0.0f, 0.0f});
}

TEST(InfluenceMeshTest, ListsBonesDoNotHaveAreSkipped)
{
    HandMadeBones m;
    m.bones[0].groups = {{0, {{0, {1.0f, 7, 7, 7}}}}};
    m.Load();
    m.mesh.Update(2, m.h.Chunks(), 1, 3);
    m.mesh.ClearSoftwarePositions(2, m.h.Chunks(), 2);
    // Nothing rebuilds them under those lists: the positions stay.
    ExpectNear(PositionOf(m.Chunk(0), 0), QuadVertex(0));
    ExpectNear(PositionOf(m.Chunk(0), 6), QuadVertex(6));
}

TEST(InfluenceMeshTest, ParentNamesInALoopAreWalkedOnce)
{
    HandMadeBones m;
    m.bones.push_back(HandMadeBones::Bone("a", "b"));
    m.bones.push_back(HandMadeBones::Bone("b", "a"));
    m.bones.push_back(HandMadeBones::Bone("self", "self"));
    m.bones.push_back(HandMadeBones::Bone("leaf", "root"));
    // Named like the root and naming it: it hangs below the root once.
    m.bones.push_back(HandMadeBones::Bone("root", "root"));
    m.bones[4].groups = {{0, {{0, {1.0f, 1, 2, 3}}}}};
    m.bones[5].groups = {{0, {{2, {1.0f, 1, 1, 1}}}}};
    m.bones[1].groups = {{0, {{0, {1.0f, 50, 50, 50}}}}};
    m.Load();
    m.mesh.Update(2, m.h.Chunks(), 0, 0);
    ASSERT_NE(m.mesh.GetRootBone(), nullptr);
    EXPECT_EQ(m.mesh.GetRootBone()->name.View(), "root");
    EXPECT_EQ(m.mesh.GetBone(3).children.size(), 0u);
    // Only what hangs from the root moves vertices.
    ExpectNear(PositionOf(m.Chunk(0), 0), {1.0f, 2.0f, 3.0f});
    ExpectNear(PositionOf(m.Chunk(0), 2), {1.0f, 1.0f, 1.0f});
    EXPECT_EQ(m.mesh.GetBone(0).children, (std::vector<uint32_t>{4, 5}));
}

TEST(InfluenceMeshTest, DisplaySkinnedChunksKeepPositionsBesideSoftwareOnes)
{
    HandMadeBones m;
    m.Chunk(1).SetFlags(m.Chunk(1).GetFlags() & ~Nyx::GeometryChunk::kFlagSoftwareSkinned);
    m.bones[0].groups = {{0, {{0, {1.0f, 1, 1, 1}}}}, {1, {{0, {1.0f, 1, 1, 1}}}}};
    m.Load();
    m.mesh.Update(2, m.h.Chunks(), 0, 0);
    ExpectNear(PositionOf(m.Chunk(0), 0), {1.0f, 1.0f, 1.0f});
    ExpectNear(PositionOf(m.Chunk(0), 1), {0.0f, 0.0f, 0.0f});
    for (uint32_t v = 0; v < 8; ++v)
        ExpectNear(PositionOf(m.Chunk(1), v), QuadVertex(v));
}

TEST(InfluenceMeshTest, ScaledNodesStretchWhatTheyMoveButNotTheirChildren)
{
    HandMadeBones m;
    m.bones.push_back(HandMadeBones::Bone("leaf", "root"));
    m.bones[1].position = {0, 0, 1};
    m.bones[0].groups = {{0, {{0, {1.0f, 1, 2, 3}}}}};
    m.bones[1].groups = {{0, {{1, {1.0f, 1, 0, 0}}}}};
    m.Load();
    Nyx::ScaledBone root;
    root.SetName(Nyx::PString("root"));
    root.SetScale({2, 3, 4});
    auto* leaf = new Nyx::ParticleBone;
    leaf->SetName(Nyx::PString("leaf"));
    leaf->SetFramePosition({0, 0, 1});
    root.Add(leaf);
    m.mesh.Attach(&root);
    m.mesh.Update(2, m.h.Chunks(), 0, 0);
    ExpectNear(PositionOf(m.Chunk(0), 0), {2.0f, 6.0f, 12.0f});
    ExpectNear(PositionOf(m.Chunk(0), 1), {1.0f, 0.0f, 1.0f});
    root.SetScaleDisabled(true);
    m.mesh.Update(2, m.h.Chunks(), 0, 0);
    ExpectNear(PositionOf(m.Chunk(0), 0), {1.0f, 2.0f, 3.0f});
}

TEST(InfluenceMeshTest, CopyTakesBonesButNotNodesOrStamps)
{
    SkinnedHarness h(false);
    auto instance = h.SetUp();
    Nyx::GeometryChunk* const chunks[] = {instance->GetChunk(0)};
    instance->Update(1, chunks, 9, 0);
    KestroInfluenceMesh copy;
    copy.CopyInfluencesFrom(*instance);
    ASSERT_EQ(copy.GetBoneCount(), 2u);
    EXPECT_EQ(copy.GetBone(1).name.View(), "arm");
    EXPECT_EQ(copy.GetBone(1).node, nullptr);
    EXPECT_EQ(copy.GetBone(1).inverseBind, instance->GetBone(1).inverseBind);
    EXPECT_EQ(copy.GetRootBone()->children, std::vector<uint32_t>{1});
    EXPECT_EQ(copy.GetStamps(), std::vector<uint32_t>(KestroInfluenceMesh::kStampGrowth, 0));
}

}  // namespace
