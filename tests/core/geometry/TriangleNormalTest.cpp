#include "core/geometry/TriangleNormal.h"

#include <gtest/gtest.h>

namespace {

TEST(TriangleNormalTest, NormalsOfTriangles)
{
    struct Row {
        const char* what;
        Vector3 a, b, c;
        Vector3 n;
    };
    const Row rows[] = {
        {"unit right triangle", {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, -1}},
        {"stretched", {0, 0, 0}, {2, 0, 0}, {0, 3, 0}, {0, 0, -1}},
        {"other winding", {0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}},
        {"away from the origin", {5, 5, 5}, {5, 6, 5}, {5, 5, 6}, {-1, 0, 0}},
        {"slanted", {1, 1, 1}, {2, 1, 1}, {1, 4, 5}, {0, 0.8f, -0.6f}},
        {"collinear", {0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {0, 0, 0}},
        {"coincident", {1, 2, 3}, {1, 2, 3}, {4, 5, 6}, {0, 0, 0}},
        // The squared length of the cross product, 2^-140, is subnormal yet
        // exact, and not 0.
        {"tiny", {0, 0, 0}, {0x1p-35f, 0, 0}, {0, 0x1p-35f, 0}, {0, 0, -1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Vector3 n{9, 9, 9};
        TriangleNormal(row.a, row.b, row.c, n);
        EXPECT_NEAR(n.x, row.n.x, 1e-6f);
        EXPECT_NEAR(n.y, row.n.y, 1e-6f);
        EXPECT_NEAR(n.z, row.n.z, 1e-6f);
    }
}

TEST(TriangleNormalTest, ACrossProductWhoseSquareUnderflowsIsLeftUnscaled)
{
    Vector3 n;
    TriangleNormal({0, 0, 0}, {1e-20f, 0, 0}, {0, 1e-20f, 0}, n);
    const float e = 1e-20f;
    EXPECT_EQ(n.x, 0.0f);
    EXPECT_EQ(n.y, 0.0f);
    EXPECT_EQ(n.z, -(e * e));
    EXPECT_LT(n.z, 0.0f);
}

TEST(TriangleNormalTest, TheOutputMayBeOneOfThePoints)
{
    Vector3 a{0, 0, 0};
    TriangleNormal(a, {1, 0, 0}, {0, 1, 0}, a);
    EXPECT_FLOAT_EQ(a.z, -1.0f);
}

}  // namespace
