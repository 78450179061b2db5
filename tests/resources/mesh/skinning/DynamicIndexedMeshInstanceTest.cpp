#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "nyx/scene/ParticleBone.h"
#include "nyx/scene/ViewPoint.h"
#include "resources/mesh/instance/InstanceTestSupport.h"
#include "resources/mesh/progressive/KestroDynamicProgressiveMeshInstance.h"
#include "resources/mesh/progressive/ProgressiveTestSupport.h"
#include "resources/mesh/skinning/KestroDynamicIndexedMeshInstance.h"
#include "resources/mesh/skinning/SkinningTestSupport.h"

namespace {

struct DynamicHarness : InstanceHarness {
    explicit DynamicHarness(bool display, uint32_t chunks = 1)
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
};

Nyx::ParticleBone* Arm(Nyx::ParticleStructure& instance) { return instance.GetSkeleton()->Find(Nyx::PString("arm")); }

TEST(DynamicIndexedMeshInstanceTest, SkinsOncePerFrame)
{
    DynamicHarness h(false);
    auto instance = h.SetUp();
    EXPECT_EQ(instance->GetID(), 18u);
    Nyx::ViewPoint view(4);
    Arm(*instance)->SetFramePosition({1, 0, 2});
    instance->Render(h.display, view);
    Arm(*instance)->SetFramePosition({1, 0, 7});
    instance->DrawGeometry(h.display, view, {}, false);
    ExpectNear(PositionOf(*instance->GetChunk(0), 6), QuadVertex(6) + Nyx::Vector3f{0, 0, 2});
    view.NextFrame();
    instance->DrawGeometry(h.display, view, {}, false);
    ExpectNear(PositionOf(*instance->GetChunk(0), 6), QuadVertex(6) + Nyx::Vector3f{0, 0, 7});
}

TEST(DynamicIndexedMeshInstanceTest, CloneKeepsItsOwnPoseAndPalettes)
{
    DynamicHarness h(true);
    auto source = h.SetUp();
    std::unique_ptr<KestroDynamicIndexedMeshInstance> clone(
        static_cast<KestroDynamicIndexedMeshInstance*>(source->CreateInstance()));
    ASSERT_EQ(clone->GetChunkCount(), 1u);
    EXPECT_NE(clone->GetChunk(0), source->GetChunk(0));
    EXPECT_EQ(clone->GetChunk(0)->GetInfluenceMatrix(1), &clone->GetBone(1).skinning);
    EXPECT_EQ(source->GetChunk(0)->GetInfluenceMatrix(1), &source->GetBone(1).skinning);

    Nyx::ViewPoint view(2);
    Arm(*source)->SetFramePosition({1, 5, 0});
    source->Render(h.display, view);
    clone->Render(h.display, view);
    const Nyx::Vector3f rest = QuadVertex(6);
    ExpectNear(source->GetChunk(0)->GetInfluenceMatrix(1)->TransformPoint(rest), rest + Nyx::Vector3f{0, 5, 0});
    ExpectNear(clone->GetChunk(0)->GetInfluenceMatrix(1)->TransformPoint(rest), rest);

    // Given a skeleton of its own, the clone follows it.
    auto* root = new Nyx::ParticleBone;
    root->SetName(Nyx::PString("root"));
    auto* arm = new Nyx::ParticleBone;
    arm->SetName(Nyx::PString("arm"));
    arm->SetFramePosition({1, 0, 0});
    root->Add(arm);
    clone->AddChild(root);
    clone->Attach(root);
    arm->SetFramePosition({1, 0, 3});
    view.NextFrame();
    clone->Render(h.display, view);
    ExpectNear(clone->GetChunk(0)->GetInfluenceMatrix(1)->TransformPoint(rest), rest + Nyx::Vector3f{0, 0, 3});
    clone->RemoveChild(root);
    delete root;
}

TEST(DynamicIndexedMeshInstanceTest, PaletteStopsAtABoneTheInstanceLacks)
{
    DynamicHarness h(true);
    auto instance = h.SetUp();
    KestroInfluenceMesh source;
    std::vector<Nyx::InfluenceDefinition> bones(3);
    bones[0].boneName = Nyx::PString("arm");
    bones[1].boneName = Nyx::PString("tail");
    bones[1].parentName = Nyx::PString("arm");
    bones[2].boneName = Nyx::PString("root");
    bones[2].parentName = Nyx::PString("arm");
    source.LoadFromDefinitions(3, bones.data(), false, 0, nullptr);
    Nyx::GeometryChunk& chunk = *instance->GetChunk(0);

    std::vector<uint32_t> list{0, 2};
    EXPECT_TRUE(instance->BuildBonePalette(chunk, list, true, source));
    EXPECT_EQ(chunk.GetInfluenceMatrices(), (std::vector<uint32_t>{1, 0}));
    EXPECT_EQ(list, (std::vector<uint32_t>{0, 1}));

    list = {2, 1, 0};
    EXPECT_FALSE(instance->BuildBonePalette(chunk, list, true, source));
    EXPECT_EQ(chunk.GetInfluenceMatrices(), std::vector<uint32_t>{0});
    std::vector<uint32_t> none;
    EXPECT_TRUE(instance->BuildBonePalette(chunk, none, false, source));
}

TEST(DynamicIndexedMeshInstanceTest, BoneIndexBytesAreRemappedUpToTheFirstOutOfRange)
{
    DynamicHarness h(true);
    auto instance = h.SetUp();
    Nyx::GeometryChunk& chunk = *instance->GetChunk(0);
    auto words = chunk.GetUDwordArray(Nyx::kItemBoneIndices);
    ASSERT_TRUE(words);
    const std::vector<uint32_t> remap{2, 0, 1};
    struct Case {
        uint32_t before;
        uint32_t after;
    };
    const Case cases[] = {
        {0x06030000u, 0x03000606u},  // all four in range
        {0x09061E03u, 0x09061E00u},  // second byte (30) past the list
        {0xFE000006u, 0xFE060603u},  // a free-slot mark stops the rest
    };
    for (uint32_t v = 0; v < 3; ++v)
        words[v] = cases[v].before;
    EXPECT_TRUE(KestroDynamicIndexedMeshInstance::RemapBoneIndices(chunk, 0, remap));
    for (uint32_t v = 0; v < 3; ++v)
        EXPECT_EQ(words[v], cases[v].after) << v;
    EXPECT_FALSE(KestroDynamicIndexedMeshInstance::RemapBoneIndices(chunk, chunk.GetVertexCount(), remap));
}

TEST(DynamicIndexedMeshInstanceTest, SkinnedChunksAreAddedOnlyWithMatchingSkinningAndBones)
{
    DynamicHarness software(false, 2);
    auto instance = software.SetUp();
    auto donor = software.SetUp();
    DynamicHarness display(true);
    auto displayed = display.SetUp();

    EXPECT_FALSE(instance->AddSkinnedChunk(nullptr, donor.get(), 0));
    EXPECT_FALSE(instance->AddSkinnedChunk(donor->GetChunk(1), nullptr, 1));
    EXPECT_FALSE(instance->AddSkinnedChunk(displayed->GetChunk(0), displayed.get(), 0));
    EXPECT_EQ(instance->GetChunkCount(), 2u);

    ASSERT_TRUE(instance->AddSkinnedChunk(donor->GetChunk(1), donor.get(), 1));
    ASSERT_EQ(instance->GetChunkCount(), 3u);
    EXPECT_NE(instance->GetChunk(2), donor->GetChunk(1));
    EXPECT_EQ(instance->GetBone(1).lists[0].groups.back().chunkIndex, 2u);
    Nyx::ViewPoint view(7);
    Arm(*instance)->SetFramePosition({1, 0, 1});
    instance->Render(software.display, view);
    ExpectNear(PositionOf(*instance->GetChunk(2), 7), QuadVertex(7) + Nyx::Vector3f{0, 0, 1});

    // A donor bone the instance lacks refuses the add.
    KestroInfluenceMesh stranger;
    std::vector<Nyx::InfluenceDefinition> bones(1);
    bones[0].boneName = Nyx::PString("tail");
    bones[0].groups = {{0, {{0, {1, 0, 0, 0}}}}};
    stranger.LoadFromDefinitions(1, bones.data(), false, 0, nullptr);
    EXPECT_FALSE(instance->AddSkinnedChunk(donor->GetChunk(0), &stranger, 0));
    EXPECT_EQ(instance->GetChunkCount(), 3u);

    // A display-skinned chunk gets a palette of this instance's bones.
    auto other = display.SetUp();
    ASSERT_TRUE(displayed->AddSkinnedChunk(other->GetChunk(0), other.get(), 0));
    EXPECT_EQ(displayed->GetChunk(1)->GetInfluenceMatrices(), other->GetChunk(0)->GetInfluenceMatrices());
    EXPECT_EQ(displayed->GetChunk(1)->GetInfluenceMatrix(1), &displayed->GetBone(1).skinning);
    EXPECT_TRUE(displayed->GetChunk(1)->IsVertexDataDirty());
}

TEST(DynamicIndexedMeshInstanceTest, MergedChunksTakeTheOtherGeometryAndItsBones)
{
    DynamicHarness h(false);
    auto instance = h.SetUp();
    auto donor = h.SetUp();
    EXPECT_FALSE(instance->MergeSkinnedChunk(0, donor->GetChunk(0), donor.get(), 0));  // not rebuildable
    EXPECT_FALSE(instance->MergeSkinnedChunk(1, donor->GetChunk(0), donor.get(), 0));
    for (auto* each : {instance.get(), donor.get()})
        each->GetChunk(0)->SetFlags(each->GetChunk(0)->GetFlags() | KestroIndexedMeshInstance::kChunkFlagRebuildable);
    ASSERT_TRUE(instance->MergeSkinnedChunk(0, donor->GetChunk(0), donor.get(), 0));
    EXPECT_EQ(instance->GetChunk(0)->GetVertexCount(), 16u);
    EXPECT_EQ(instance->GetChunk(0)->GetIndexCount(), 24u);
    EXPECT_EQ(instance->GetBone(1).lists[0].groups[0].entries.back().vertex, 15u);
    Nyx::ViewPoint view(7);
    Arm(*instance)->SetFramePosition({1, 2, 0});
    instance->Render(h.display, view);
    ExpectNear(PositionOf(*instance->GetChunk(0), 15), QuadVertex(7) + Nyx::Vector3f{0, 2, 0});
    EXPECT_EQ(donor->GetChunk(0)->GetVertexCount(), 8u);
}

// A progressive mesh skinned in software: each instance deforms the chunk
// copies it draws.
TEST(DynamicIndexedMeshInstanceTest, ProgressiveInstancesSkinTheirOwnChunks)
{
    TestMesh mesh = SkinnedQuads();
    mesh.progressive = ProgressiveQuadMesh(1, {1}).progressive;
    ProgressiveLoadHarness load;
    ASSERT_EQ(load.Load(mesh), RES_OK);
    Nyx::Display display;
    load.kernel.GetMaterialManager().SetRenderContext(&display);
    CountingResource resource;
    KestroDynamicProgressiveMeshInstance instance(&load.kernel.GetMaterialManager());
    instance.SetUp(&resource, *load.definition);
    EXPECT_EQ(instance.GetID(), 20u);
    ASSERT_TRUE(instance.GetChunk(0)->GetFlags() & Nyx::GeometryChunk::kFlagSoftwareSkinned);
    Arm(instance)->SetFramePosition({1, 0, 3});
    Nyx::ViewPoint view(2);
    instance.Render(display, view);
    ExpectNear(PositionOf(*instance.GetChunk(0), 6), QuadVertex(6) + Nyx::Vector3f{0, 0, 3});
    ExpectNear(PositionOf(*load.definition->GetChunk(0), 6), QuadVertex(6));

    std::unique_ptr<KestroDynamicProgressiveMeshInstance> copy(
        static_cast<KestroDynamicProgressiveMeshInstance*>(instance.CreateInstance()));
    EXPECT_EQ(copy->GetBoneCount(), 2u);
    copy->Render(display, view);
    // The copy has no skeleton of its own: its bones keep the bind pose.
    ExpectNear(PositionOf(*copy->GetChunk(0), 6), QuadVertex(6));
    ExpectNear(PositionOf(*instance.GetChunk(0), 6), QuadVertex(6) + Nyx::Vector3f{0, 0, 3});

    instance.LowerDetail(0);
    std::unique_ptr<KestroDynamicProgressiveMeshInstance> lowered(
        static_cast<KestroDynamicProgressiveMeshInstance*>(instance.CreateInstance()));
    EXPECT_EQ(lowered->GetCurrentFaceCount(), 2u);
    EXPECT_EQ(copy->GetCurrentFaceCount(), 4u);
}

}  // namespace
