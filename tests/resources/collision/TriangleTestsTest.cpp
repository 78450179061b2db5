// The geometric tests under the collision tree, case by case at their edges.
#include "resources/collision/TriangleTests.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using V = Nyx::Vector3f;

// The triangle (0,0,0), (1,0,0), (0,1,0): seen counter-clockwise from +z.
const V kA{0, 0, 0};
const V kB{1, 0, 0};
const V kC{0, 1, 0};

struct RayCase {
    const char* name;
    V origin;
    V direction;
    bool twoSided;
    bool hit;
    float nearest;  // after the test, starting from 100
};

TEST(RayTriangleIntersectTest, HitsMissesAndTheNearestDistance)
{
    const RayCase cases[] = {
        {"straight down from the front", {0.25f, 0.25f, 2}, {0, 0, -1}, false, true, 2.0f},
        {"from behind, one-sided", {0.25f, 0.25f, -2}, {0, 0, 1}, false, false, 100.0f},
        {"from behind, two-sided", {0.25f, 0.25f, -2}, {0, 0, 1}, true, true, 2.0f},
        {"beside the triangle", {0.75f, 0.75f, 2}, {0, 0, -1}, true, false, 100.0f},
        {"in the triangle's plane", {-1, 0.25f, 0}, {1, 0, 0}, true, false, 100.0f},
        {"through a corner", {0, 0, 1}, {0, 0, -1}, true, true, 1.0f},
        {"triangle behind the start, two-sided", {0.25f, 0.25f, 2}, {0, 0, 1}, true, false, 100.0f},
        {"triangle behind the start, one-sided", {0.25f, 0.25f, -2}, {0, 0, -1}, false, false, 100.0f},
        {"start on the triangle", {0.25f, 0.25f, 0}, {0, 0, -1}, true, true, 0.0f},
    };
    for (const RayCase& c : cases) {
        float nearest = 100.0f;
        EXPECT_EQ(RayTriangleIntersect(kA, kB, kC, c.origin, c.direction, c.twoSided, nearest), c.hit) << c.name;
        EXPECT_FLOAT_EQ(nearest, c.nearest) << c.name;
    }
}

TEST(RayTriangleIntersectTest, AFartherHitIsAHitThatKeepsTheNearestDistance)
{
    float nearest = 1.0f;
    EXPECT_TRUE(RayTriangleIntersect(kA, kB, kC, {0.25f, 0.25f, 3}, {0, 0, -1}, true, nearest));
    EXPECT_EQ(nearest, 1.0f);
}

TEST(PointInTriangleTest, InsideOnTheEdgesAndOutsideForEveryDroppedAxis)
{
    struct Case {
        const char* name;
        V a, b, c, point;
        bool inside;
    };
    const Case cases[] = {
        {"xy inside", kA, kB, kC, {0.2f, 0.2f, 0}, true},
        {"xy on an edge", kA, kB, kC, {0.5f, 0.5f, 0}, true},
        {"xy on a corner", kA, kB, kC, {1, 0, 0}, true},
        {"xy outside", kA, kB, kC, {0.6f, 0.6f, 0}, false},
        {"xy clockwise, inside", kA, kC, kB, {0.2f, 0.2f, 0}, true},
        {"yz inside", {0, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0.2f, 0.2f}, true},
        {"yz outside", {0, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, -0.1f, 0.2f}, false},
        {"zx inside", {0, 0, 0}, {0, 0, 1}, {1, 0, 0}, {0.2f, 0, 0.2f}, true},
        {"zx outside", {0, 0, 0}, {0, 0, 1}, {1, 0, 0}, {0.7f, 0, 0.7f}, false},
    };
    for (const Case& c : cases) {
        const V normal = Nyx::Cross(c.b - c.a, c.c - c.a);
        EXPECT_EQ(PointInTriangle(normal, c.a, c.b, c.c, c.point), c.inside) << c.name;
    }
}

TEST(IsTriangleUsableTest, OnlyTrianglesWithoutAreaAreRefused)
{
    EXPECT_TRUE(IsTriangleUsable(kA, kB, kC));
    EXPECT_TRUE(IsTriangleUsable({0, 0, 0}, {1e-3f, 0, 0}, {0, 1e-3f, 0}));
    EXPECT_FALSE(IsTriangleUsable({0, 0, 0}, {1, 1, 1}, {2, 2, 2}));  // collinear
    EXPECT_FALSE(IsTriangleUsable({1, 2, 3}, {1, 2, 3}, {4, 5, 6}));  // two corners meet
    EXPECT_FALSE(IsTriangleUsable({0, 0, 0}, {1e-30f, 0, 0}, {0, 1e-30f, 0}));  // area underflows
}

TEST(SegmentOverlapsBoxTest, EachSeparatingAxisCanRuleOut)
{
    struct Case {
        const char* name;
        V start, end;
        bool overlap;
    };
    // The unit box around the origin.
    const Case cases[] = {
        {"through the middle", {-2, 0, 0}, {2, 0, 0}, true},
        {"inside", {-0.5f, 0, 0}, {0.5f, 0, 0}, true},
        {"short of it on x", {2, 0, 0}, {3, 0, 0}, false},
        {"beside it on y", {-2, 1.5f, 0}, {2, 1.5f, 0}, false},
        {"beside it on z", {-2, 0, 1.5f}, {2, 0, 1.5f}, false},
        {"diagonal past an edge in yz", {0, 2.5f, 0}, {0, 0, 2.5f}, false},
        {"diagonal past an edge in zx", {2.5f, 0, 0}, {0, 0, 2.5f}, false},
        {"diagonal past an edge in xy", {2.5f, 0, 0}, {0, 2.5f, 0}, false},
        {"diagonal cutting a corner in xy", {1.5f, 0, 0}, {0, 1.5f, 0}, true},
        {"touching a face", {1, -2, 0}, {1, 2, 0}, true},
    };
    const V centre{0, 0, 0};
    const V extents{1, 1, 1};
    for (const Case& c : cases) {
        const V mid = (c.start + c.end) * 0.5f;
        const V half = (c.end - c.start) * 0.5f;
        const V halfAbs{std::fabs(half.x), std::fabs(half.y), std::fabs(half.z)};
        EXPECT_EQ(SegmentOverlapsBox(mid, half, halfAbs, centre, extents), c.overlap) << c.name;
    }
}

}  // namespace
