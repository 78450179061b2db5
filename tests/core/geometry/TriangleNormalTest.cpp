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
        // The squared length, 2^-140, is subnormal yet exact, and not 0.
        {"tiny", {0, 0, 0}, {0x1p-35f, 0, 0}, {0, 0x1p-35f, 0}, {0, 0, -1}},
        // The squared length underflows to 0: the cross product stays as it is.
        {"tinier", {0, 0, 0}, {0x1p-70f, 0, 0}, {0, 0x1p-70f, 0}, {0, 0, -0x1p-140f}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Vector3 n{9, 9, 9};
        TriangleNormal(row.a, row.b, row.c, n);
        EXPECT_FLOAT_EQ(n.x, row.n.x);
        EXPECT_FLOAT_EQ(n.y, row.n.y);
        EXPECT_FLOAT_EQ(n.z, row.n.z);
    }
    // The output may be one of the points.
    Vector3 a{0, 0, 0};
    TriangleNormal(a, {1, 0, 0}, {0, 1, 0}, a);
    EXPECT_FLOAT_EQ(a.z, -1.0f);
}

}  // namespace
