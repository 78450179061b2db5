#include <gtest/gtest.h>

#include <cmath>

#include "nyx/gfx/display/Matrix4.h"
#include "nyx/scene/math/Transformation.h"

namespace {

void ExpectIdentity(const Nyx::Matrix4& m)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(m.m[r][c], r == c ? 1.0f : 0.0f, 1e-5f) << r << "," << c;
}

TEST(Matrix4Test, InverseUndoesFramesAndScales)
{
    const float h = std::sqrt(0.5f);
    Nyx::Matrix4 frame = Nyx::Matrix4::FromFrame({h, 0.0f, 0.0f, h}, {3.0f, -2.0f, 5.0f});
    frame.ScaleAxes({2.0f, 0.5f, 4.0f});
    Nyx::Matrix4 inverse;
    ASSERT_TRUE(frame.Invert(inverse));
    ExpectIdentity(inverse * frame);
    ExpectIdentity(frame * inverse);

    Nyx::Matrix4 flat;
    flat.m[2][2] = 0.0f;
    const Nyx::Matrix4 before = frame;
    Nyx::Matrix4 out = frame;
    EXPECT_FALSE(flat.Invert(out));
    EXPECT_EQ(out, before);

    for (const float bad : {std::nanf(""), INFINITY}) {
        Nyx::Matrix4 damaged = frame;
        damaged.m[3][1] = bad;
        EXPECT_FALSE(damaged.Invert(out)) << bad;
        EXPECT_EQ(out, before) << bad;
    }
}

TEST(Matrix4Test, TransformationMatchesTheMatrixChain)
{
    const float h = std::sqrt(0.5f);
    const Nyx::Quaternion turn{0.0f, 0.0f, h, h};
    Nyx::Transformation chain(turn, {1, 2, 3});
    chain.MultiplyTransform(Nyx::Transformation(turn, {4, 0, 0}));
    chain.SetScale({2, 2, 2});
    Nyx::Matrix4 m = Nyx::Matrix4::FromFrame(turn, {4, 0, 0}) * Nyx::Matrix4::FromFrame(turn, {1, 2, 3});
    m.ScaleAxes({2, 2, 2});
    const Nyx::Vector3f p{0.5f, -1.0f, 2.0f};
    const Nyx::Vector3f a = chain.Transform(p);
    const Nyx::Vector3f b = m.TransformPoint(p);
    EXPECT_NEAR(a.x, b.x, 1e-5f);
    EXPECT_NEAR(a.y, b.y, 1e-5f);
    EXPECT_NEAR(a.z, b.z, 1e-5f);
}

// Bones and the display share one layout: a scaled bone frame must be the
// matrix the display builds for the same placement.
TEST(Matrix4Test, ScaledFrameMatchesTheDisplayPlacement)
{
    const float h = std::sqrt(0.5f);
    const Nyx::Quaternion turn{h, 0.0f, 0.0f, h};
    Nyx::Transform placement = Nyx::Transform::FromFrame({3.0f, -2.0f, 5.0f}, turn);
    placement.scale = {2.0f, 0.5f, 4.0f};
    Nyx::Matrix4 frame = Nyx::Matrix4::FromFrame(turn, {3.0f, -2.0f, 5.0f});
    frame.ScaleAxes(placement.scale);
    const Nyx::Matrix4 display = Nyx::Matrix4::FromTransform(placement);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(frame.m[r][c], display.m[r][c], 1e-6f) << r << "," << c;
    const Nyx::Vector3f p{0.5f, -1.0f, 2.0f};
    const Nyx::Vector3f a = placement.Apply(p);
    const Nyx::Vector3f b = frame.TransformPoint(p);
    EXPECT_NEAR(a.x, b.x, 1e-5f);
    EXPECT_NEAR(a.y, b.y, 1e-5f);
    EXPECT_NEAR(a.z, b.z, 1e-5f);
}

}  // namespace
