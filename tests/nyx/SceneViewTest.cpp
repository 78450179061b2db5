// The scene side of the headless engine that culling and collision rely
// on: the view frustum, the box ray test, names, copies and the recording
// display.
#include <gtest/gtest.h>

#include <memory>

#include "nyx/gfx/display/Display.h"
#include "nyx/scene/math/OrientedBox.h"
#include "nyx/scene/ParticleBone.h"
#include "nyx/scene/math/Ray.h"
#include "nyx/scene/ReferencePoint.h"
#include "nyx/scene/ViewPoint.h"
#include "nyx/scene/ViewPortParticle.h"

namespace {

using V = Nyx::Vector3f;

TEST(CameraTest, TheFrustumKeepsWhatLiesAheadWithinItsPlanes)
{
    Nyx::Camera camera;
    camera.SetFrame({0, 0, 0}, {});  // looking down -z
    camera.SetProjection(1.5707964f, 1.0f, 1.0f, 100.0f);  // 90 degrees
    struct Case {
        const char* name;
        Nyx::Sphere sphere;
        bool visible;
    };
    const Case cases[] = {
        {"ahead", {{0, 0, -10}, 1}, true},
        {"behind", {{0, 0, 10}, 1}, false},
        {"behind but reaching in", {{0, 0, 0.5f}, 2}, true},
        {"too far", {{0, 0, -150}, 1}, false},
        {"left of the view", {{-30, 0, -10}, 1}, false},
        {"right at the edge", {{10.5f, 0, -10}, 1}, true},
        {"above the view", {{0, 30, -10}, 1}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(camera.IsVisible(c.sphere), c.visible) << c.name;
    EXPECT_EQ(camera.GetViewTransform().position, (V{0, 0, 0}));
}

TEST(OrientedBoxTest, RaysMeetTheBoxOnlyAheadOfTheirStart)
{
    const V corners[8] = {{-1, -1, -1}, {1, -1, -1}, {-1, 1, -1}, {1, 1, -1},
                          {-1, -1, 1},  {1, -1, 1},  {-1, 1, 1},  {1, 1, 1}};
    const Nyx::OrientedBox box(corners, 8, sizeof(V));
    struct Case {
        const char* name;
        V start, direction;
        bool hit;
    };
    const Case cases[] = {
        {"through the middle", {-5, 0, 0}, {1, 0, 0}, true},
        {"away from it", {-5, 0, 0}, {-1, 0, 0}, false},
        {"starting inside", {0, 0, 0}, {0, 1, 0}, true},
        {"passing beside", {-5, 3, 0}, {1, 0, 0}, false},
        {"parallel inside a slab", {0.5f, -5, 0.5f}, {0, 1, 0}, true},
        {"parallel outside a slab", {1.5f, -5, 0}, {0, 1, 0}, false},
        {"diagonal", {-5, -5, -5}, {0.57735f, 0.57735f, 0.57735f}, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(box.TestCollision(Nyx::Ray(c.start, c.direction)), c.hit) << c.name;
    const Nyx::OrientedBox scaled = box.Scaled({2, 1, 0.5f});
    EXPECT_EQ(scaled.GetHalfSize(), (V{box.GetHalfSize().x * 2, box.GetHalfSize().y, box.GetHalfSize().z * 0.5f}));
    EXPECT_EQ(scaled.GetCentre(), box.GetCentre());
}

TEST(ViewPortParticleTest, NamesCopiesAndFrameMarks)
{
    Nyx::ViewPortParticle root;
    root.SetName(Nyx::PString("root"));
    auto* child = new Nyx::ViewPortParticle;
    child->SetName(Nyx::PString("child"));
    child->SetReferenceFrame({0, 0, -10}, {});
    root.AddChild(child);
    auto* bone = new Nyx::ParticleBone;
    bone->SetName(Nyx::PString("bone"));
    child->AddChild(bone);
    EXPECT_EQ(Nyx::ViewPortParticle::FindByName(&root, Nyx::PString("bone")), bone);
    EXPECT_EQ(Nyx::ViewPortParticle::FindByName(&root, Nyx::PString("child")), child);
    EXPECT_EQ(Nyx::ViewPortParticle::FindByName(&root, Nyx::PString("none")), nullptr);

    Nyx::ViewPoint view(3);
    EXPECT_TRUE(root.Cull(view));
    EXPECT_EQ(child->GetFrameMark(), 3u);
    EXPECT_EQ(child->GetLastCulledFrame(), 3u);

    std::unique_ptr<Nyx::ViewPortParticle> copy(root.CreateInstance());
    ASSERT_EQ(copy->GetChildren().size(), 1u);  // the view-port child, not the bone
    auto* copied = static_cast<Nyx::ViewPortParticle*>(copy->GetChildren()[0]);
    EXPECT_NE(copied, child);
    EXPECT_EQ(copied->GetName(), Nyx::PString("child"));
    EXPECT_EQ(copied->GetPosition(), (V{0, 0, -10}));
    EXPECT_TRUE(copied->GetChildren().empty());
    delete copied;
    delete bone;
    delete child;
}

TEST(ReferencePointTest, SubNamesAreThePartsBetweenDots)
{
    struct Case {
        const char* name;
        std::vector<const char*> parts;
    };
    const Case cases[] = {{"p", {"p"}}, {"p.door", {"p", "door"}}, {"p.door.left", {"p", "door", "left"}},
                          {"p..x", {"p", "", "x"}}, {"", {""}}};
    for (const Case& c : cases) {
        std::vector<Nyx::PString> expected;
        for (const char* part : c.parts)
            expected.emplace_back(part);
        EXPECT_EQ(Nyx::ReferencePoint::GetSubNames(Nyx::PString(c.name)), expected) << c.name;
    }
}

TEST(DisplayRecordingTest, SettersAreEventsAndDrawsSnapshotTheState)
{
    Nyx::Display display;
    display.SetFogMode(2);
    Nyx::Transform t;
    t.position = {1, 2, 3};
    display.SetTransform(t);
    display.SetLightingState(true, 2, 0.5f);
    EXPECT_EQ(display.GetEventNames(), (std::vector<std::string>{"SetFogMode", "SetTransform", "SetLightingState"}));
    EXPECT_EQ(display.GetEvents()[2].values, (std::vector<float>{1, 2, 0.5f}));
    EXPECT_EQ(display.GetState().transform, t);
    display.ClearRecording();
    EXPECT_TRUE(display.GetEvents().empty());
    EXPECT_EQ(display.GetFogMode(), 2);
}

}  // namespace
