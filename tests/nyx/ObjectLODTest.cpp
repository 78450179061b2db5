// The level-of-detail state: the value measured to each point of a sphere,
// the level chosen on either side of each cut-off, the 128-value limit.
#include <gtest/gtest.h>

#include <vector>

#include "nyx/scene/ObjectLOD.h"

namespace {

TEST(ObjectLODTest, TheValueIsTheDistanceToTheChosenPointScaledAndOffset)
{
    struct Case {
        uint32_t calcPoint;
        float centreDistance;
        float expected;  // radius 3, multiplier 2, offset 1
    };
    const Case cases[] = {
        {Nyx::ObjectLOD::kCalcCentre, 10.0f, 21.0f},
        {Nyx::ObjectLOD::kCalcNear, 10.0f, 15.0f},
        {Nyx::ObjectLOD::kCalcFar, 10.0f, 27.0f},
        // From inside the sphere the nearest point is where the camera is.
        {Nyx::ObjectLOD::kCalcNear, 2.0f, 1.0f},
        {7, 10.0f, 21.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.calcPoint);
        Nyx::ObjectLOD lod;
        lod.Init({10.0f}, c.calcPoint);
        lod.SetMultiplier(2.0f);
        lod.SetOffset(1.0f);
        Nyx::Camera camera;
        camera.SetFrame({0.0f, 4.0f, 0.0f}, Nyx::Quaternion());
        const Nyx::Sphere sphere{{0.0f, 4.0f, -c.centreDistance}, 3.0f};
        EXPECT_FLOAT_EQ(lod.FindLOD(sphere, camera), c.expected);
        EXPECT_FLOAT_EQ(lod.GetLastLOD(), c.expected);
    }
}

TEST(ObjectLODTest, TheLevelIsTheFirstWhoseCutOffIsAtLeastTheValue)
{
    Nyx::ObjectLOD lod;
    lod.Init({10.0f, 20.0f, 30.0f}, 0);
    const struct {
        float value;
        uint32_t level;
    } cases[] = {{-5.0f, 0}, {9.99f, 0}, {10.0f, 0}, {10.01f, 1}, {20.0f, 1},
                 {20.01f, 2}, {30.0f, 2}, {30.01f, 2}, {1e30f, 2}};
    for (const auto& c : cases)
        EXPECT_EQ(lod.FindLODIndex(c.value), c.level) << c.value;
    Nyx::ObjectLOD none;
    EXPECT_EQ(none.FindLODIndex(5.0f), 0u);
}

TEST(ObjectLODTest, InitKeepsAtMost128CutOffsAndCopiesCarryTheWholeState)
{
    std::vector<float> cutOffs(130);
    for (size_t i = 0; i < cutOffs.size(); ++i)
        cutOffs[i] = static_cast<float>(i);
    Nyx::ObjectLOD lod;
    lod.Init(cutOffs, Nyx::ObjectLOD::kCalcFar);
    EXPECT_EQ(lod.GetLODCount(), Nyx::ObjectLOD::kMaxCutOffs);
    EXPECT_EQ(lod.GetCutOffs().back(), 127.0f);
    EXPECT_EQ(lod.FindLODIndex(500.0f), 127u);
    lod.SetMultiplier(3.0f);
    lod.SetOffset(-2.0f);
    Nyx::ObjectLOD copy;
    copy.InitInstance(lod);
    EXPECT_EQ(copy.GetCutOffs(), lod.GetCutOffs());
    EXPECT_EQ(copy.GetCalcPoint(), Nyx::ObjectLOD::kCalcFar);
    EXPECT_EQ(copy.GetMultiplier(), 3.0f);
    EXPECT_EQ(copy.GetOffset(), -2.0f);
}

}  // namespace
