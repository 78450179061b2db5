// LOD instances over loaded LOD files: the first level, the level culling
// picks on either side of each cut-off, the render and attachment cut-offs,
// locking, tint, lighting per entry, drawing into the recording display,
// copies, and the skinned variant's animation band.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "nyx/gfx/display/Display.h"
#include "nyx/scene/ParticleBone.h"
#include "nyx/scene/ViewPoint.h"
#include "resources/lod/KestroDynamicIndexedMeshLODInstance.h"
#include "resources/lod/KestroIndexedMeshLODInstance.h"
#include "resources/lod/LodTestSupport.h"
#include "resources/mesh/instance/InstanceTestSupport.h"

namespace {

// The LOD floats of the file, in their order.
enum LodFloat { kOffset = 0, kMultiplier = 1, kAnimationCutOff = 2, kRenderCutOff = 3, kAttachmentCutOff = 4 };

class LodInstanceTest : public ::testing::Test {
protected:
    void SetUp() override { harness_.kernel.GetMaterialManager().SetRenderContext(&display_); }

    // Levels cut off at 10, 20 and 30 with 3, 2 and 1 pieces.
    static TestLod ThreeLevels()
    {
        TestLod lod = LevelsLod({10, 20, 30});
        lod.meshes[0].pieces.push_back(QuadPiece(1));
        lod.meshes[0].pieces.push_back(QuadPiece(1));
        lod.meshes[1].pieces.push_back(QuadPiece(1));
        return lod;
    }
    std::unique_ptr<KestroIndexedMeshLODInstance> Make(const TestLod& lod)
    {
        EXPECT_EQ(harness_.Load(lod), RES_OK);
        harness_.definition->FinishLod(display_);
        resource_.definition = harness_.definition.get();
        auto instance = std::make_unique<KestroIndexedMeshLODInstance>(&harness_.kernel.GetMaterialManager());
        instance->InitFromResource(&resource_);
        return instance;
    }
    // A view whose camera is `distance` from the centre of the instance's
    // bounding sphere, looking at it.
    static std::unique_ptr<Nyx::ViewPoint> ViewAt(const KestroIndexedMeshLODInstance& instance, float distance,
                                                  uint32_t frame = 1)
    {
        auto view = std::make_unique<Nyx::ViewPoint>(frame);
        const Nyx::Sphere sphere = instance.TriangleGeometry::GetGlobalBoundingSphere();
        view->GetCamera().SetFrame(sphere.centre + Nyx::Vector3f{0.0f, 0.0f, distance}, Nyx::Quaternion());
        return view;
    }
    static bool Added(const Nyx::ViewPoint& view, const KestroIndexedMeshLODInstance& instance)
    {
        for (const Nyx::TriangleGeometry* g : view.GetAdded())
            if (g == &instance)
                return true;
        return false;
    }

    LodLoadHarness harness_;
    Nyx::Display display_;
    CountingResource resource_;
};

TEST_F(LodInstanceTest, StartsWithTheCollisionMeshElseTheLastLevel)
{
    TestLod plain = ThreeLevels();
    TestLod withCollision = ThreeLevels();
    TestLodMesh collision;
    collision.cutOff = -1.0f;
    collision.pieces.push_back(QuadPiece(5));
    withCollision.meshes.push_back(collision);
    withCollision.named.push_back({3, "collision", 0});
    const struct {
        const char* name;
        TestLod lod;
        uint32_t entry;
    } cases[] = {{"levels only", plain, 2}, {"with collision", withCollision, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto instance = Make(c.lod);
        EXPECT_EQ(instance->GetCurrentEntry(), c.entry);
        EXPECT_EQ(instance->GetChunkArray(), instance->GetEntry(c.entry)->chunks);
        EXPECT_EQ(instance->GetID(), 21u);
    }
}

TEST_F(LodInstanceTest, CullingPicksTheLevelOnEitherSideOfEachCutOff)
{
    auto instance = Make(ThreeLevels());
    const struct {
        float distance;
        uint32_t entry;
    } cases[] = {{5.0f, 0}, {9.9f, 0}, {10.1f, 1}, {19.9f, 1}, {20.1f, 2}, {29.9f, 2}, {45.0f, 2}};
    uint32_t frame = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.distance);
        auto view = ViewAt(*instance, c.distance, frame++);
        EXPECT_TRUE(instance->Cull(*view));
        EXPECT_NEAR(instance->GetLastLOD(), c.distance, 1e-3f);
        EXPECT_EQ(instance->GetCurrentEntry(), c.entry);
        EXPECT_EQ(instance->GetChunkCount(), instance->GetEntry(c.entry)->chunkCount);
        EXPECT_TRUE(Added(*view, *instance));
    }
    // Locked, it keeps its level wherever the camera goes.
    instance->SetLocked(true);
    auto view = ViewAt(*instance, 5.0f, frame++);
    instance->Cull(*view);
    EXPECT_EQ(instance->GetCurrentEntry(), 2u);
}

TEST_F(LodInstanceTest, TheRenderCutOffActsBeyondItsValueAndZeroDrawsAlways)
{
    const struct {
        float renderCutOff;
        float distance;
        bool drawn;
    } cases[] = {{0.0f, 0.0f, true},  {0.0f, 1000.0f, true}, {-1.0f, 500.0f, true},
                 {25.0f, 24.0f, true}, {25.0f, 25.0f, true},  {25.0f, 26.0f, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.renderCutOff << " at " << c.distance);
        TestLod lod = ThreeLevels();
        lod.lod[kRenderCutOff] = c.renderCutOff;
        auto instance = Make(lod);
        ASSERT_EQ(instance->GetRenderCutOff(), c.renderCutOff);
        auto view = ViewAt(*instance, c.distance);
        EXPECT_TRUE(instance->Cull(*view));
        EXPECT_EQ(Added(*view, *instance), c.drawn);
    }
}

TEST_F(LodInstanceTest, CutOffAttachmentPointsAreMarkedBeyondTheAttachmentCutOff)
{
    TestLod lod = ThreeLevels();
    TestAttachments points;
    points.points.push_back({"a.light:cull"});
    points.points.push_back({"a.door"});
    lod.attachments = points;
    const struct {
        float attachmentCutOff;
        float distance;
        bool marked;
    } cases[] = {{0.0f, 0.0f, false}, {0.0f, 0.5f, true}, {15.0f, 15.0f, false}, {15.0f, 15.5f, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.attachmentCutOff << " at " << c.distance);
        lod.lod[kAttachmentCutOff] = c.attachmentCutOff;
        auto instance = Make(lod);
        ASSERT_EQ(instance->GetCutOffPoints().size(), 1u);
        auto view = ViewAt(*instance, c.distance);
        instance->Cull(*view);
        EXPECT_EQ(instance->GetCutOffPoints()[0]->HasFlag(Nyx::Particle::kFlagCutOff), c.marked);
        for (const Nyx::AttachmentPoint* point : instance->GetAttachmentPoints()) {
            if (point->GetSecondName().View() == "door") {
                EXPECT_FALSE(point->HasFlag(Nyx::Particle::kFlagCutOff));
            }
        }
    }
}

TEST_F(LodInstanceTest, RenderDrawsThePiecesOfTheChosenLevel)
{
    auto instance = Make(ThreeLevels());
    for (const auto& [distance, pieces] : {std::pair{5.0f, 3u}, std::pair{15.0f, 2u}, std::pair{25.0f, 1u}}) {
        SCOPED_TRACE(distance);
        auto view = ViewAt(*instance, distance);
        instance->Cull(*view);
        display_.ClearRecording();
        instance->Render(display_, *view);
        EXPECT_EQ(display_.GetDraws().size(), pieces);
        for (const Nyx::DisplayDraw& draw : display_.GetDraws())
            EXPECT_EQ(draw.chunk, (*instance->GetEntry(instance->GetCurrentEntry())->chunks).Get(
                                      static_cast<uint32_t>(&draw - display_.GetDraws().data())));
    }
}

TEST_F(LodInstanceTest, TintAndLightingPerEntry)
{
    auto instance = Make(ThreeLevels());
    const struct {
        float r, g, b;
        bool tinted;
    } tints[] = {{1, 1, 1, false}, {1, 1, 0.5f, true}, {0, 0, 0, true}, {1, 1, 1, false}};
    for (const auto& t : tints) {
        instance->SetTint(t.r, t.g, t.b);
        EXPECT_EQ(instance->IsTinted(), t.tinted);
    }
    EXPECT_EQ(instance->GetPendingLightingCount(), 3u);
    auto view = ViewAt(*instance, 25.0f);
    instance->UpdateEntryLighting(display_, *view, {}, 2, false);
    EXPECT_FALSE(instance->EntryNeedsLighting(2));
    EXPECT_TRUE(instance->EntryNeedsLighting(0));
    EXPECT_EQ(instance->GetPendingLightingCount(), 2u);
    instance->UpdateAllLighting(display_, *view, {}, false);
    EXPECT_EQ(instance->GetPendingLightingCount(), 0u);
    EXPECT_FALSE(instance->GetUpdateLighting());
    instance->SetUpdateLighting(true);
    EXPECT_EQ(instance->GetPendingLightingCount(), 3u);
    instance->SetUpdateLighting(false);
    EXPECT_EQ(instance->GetPendingLightingCount(), 0u);
    EXPECT_FALSE(instance->EntryNeedsLighting(1));
}

TEST_F(LodInstanceTest, CopiesShareTheEntriesAndKeepTheLevel)
{
    auto instance = Make(ThreeLevels());
    auto view = ViewAt(*instance, 15.0f);
    instance->Cull(*view);
    std::unique_ptr<Nyx::ViewPortParticle> made(instance->CreateInstance());
    auto* copy = dynamic_cast<KestroIndexedMeshLODInstance*>(made.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetCurrentEntry(), 1u);
    EXPECT_EQ(copy->GetEntryCount(), 3u);
    for (uint32_t n = 0; n < 3; ++n)
        EXPECT_EQ(copy->GetEntry(n)->chunks, instance->GetEntry(n)->chunks);
    EXPECT_EQ(copy->GetCutOffs(), instance->GetCutOffs());
    EXPECT_EQ(resource_.references, 2);
    made.reset();
    EXPECT_EQ(resource_.references, 1);
}

// The skinned instance's bone trees stop beyond A + d and restart below
// A - d; in between the state holds.
TEST_F(LodInstanceTest, AnimationStopsAndRestartsAroundTheAnimationCutOff)
{
    KestroDynamicIndexedMeshLODInstance instance(&harness_.kernel.GetMaterialManager());
    EXPECT_EQ(instance.GetID(), 22u);
    instance.Init({1000.0f}, Nyx::ObjectLOD::kCalcCentre);
    instance.SetOffset(10.0f);
    instance.SetAnimationCutOff(100.0f);
    auto* tree = new Nyx::ParticleBone;
    tree->SetName(Nyx::PString("b.r"));
    auto* arm = new Nyx::ParticleBone;
    arm->SetName(Nyx::PString("arm"));
    tree->Add(arm);
    instance.AddChild(tree);
    auto* other = new Nyx::ParticleBone;
    other->SetName(Nyx::PString("b."));
    instance.AddChild(other);
    Nyx::Camera camera;
    const struct {
        float lod;
        bool stopped;
    } steps[] = {{105, false}, {110, false}, {110.5f, true}, {95, true}, {90, true},
                 {89.5f, false}, {95, false}, {111, true}};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.lod);
        // The offset adds to the measured distance.
        instance.FindLOD(Nyx::Sphere{{0.0f, 0.0f, -(s.lod - 10.0f)}, 0.0f}, camera);
        instance.UpdateAnimation();
        EXPECT_EQ((instance.GetAnimationFlags() & KestroDynamicIndexedMeshLODInstance::kBeyondAnimationCutOff) != 0,
                  s.stopped);
        EXPECT_EQ(tree->HasFlag(Nyx::Particle::kFlagCutOff), s.stopped);
        EXPECT_EQ(arm->HasFlag(Nyx::Particle::kFlagCutOff), s.stopped);
        // Two characters are not a bone tree's name.
        EXPECT_FALSE(other->HasFlag(Nyx::Particle::kFlagCutOff));
    }
    instance.RemoveChild(tree);
    instance.RemoveChild(other);
    delete tree;
    delete other;
}

}  // namespace
