// The SIMD leaf kernels against the one-by-one kernel: the same triangle and
// the same distance, to the bit, over random rays and over the rays where
// float tests are most fragile: through corners and along edges, in and
// parallel to a triangle's plane, starting or ending on it, and onto
// triangles that tie.
#include "resources/collision/KSLeafTriangles.h"

#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <cstring>
#include <random>
#include <vector>

namespace {

using V = Nyx::Vector3f;
using Kernel = KSLeafTriangles::Kernel;
using Triangle = std::array<V, 3>;

uint32_t Bits(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

struct Leaf {
    uint32_t firstBlock;
    uint32_t count;
};

// Triangles on a small integer grid, so that rays between grid points go
// exactly through corners and along edges and lie exactly in planes: axis
// facing ones, ones whose normal has two equal largest components, exact
// duplicates (a tie in distance) and a triangle without area.
std::vector<Triangle> GridTriangles(std::mt19937& rng, uint32_t count)
{
    std::uniform_int_distribution<int> at(0, 4);
    std::vector<Triangle> out;
    while (out.size() < count) {
        const V p{float(at(rng)), float(at(rng)), float(at(rng))};
        switch (out.size() % 7) {
        case 0:
            out.push_back({p, p + V{1, 0, 0}, p + V{0, 1, 0}});
            break;
        case 1:
            out.push_back({p, p + V{0, 0, 2}, p + V{0, 1, 0}});
            break;
        case 2:
            out.push_back({p, p + V{1, 0, 0}, p + V{0, 0, 1}});
            break;
        case 3:
            out.push_back({p, p + V{1, 1, 0}, p + V{0, 0, 1}});  // |n.x| = |n.y|
            break;
        case 4:
            out.push_back({p, p + V{1, 0, 1}, p + V{0, 1, 1}});  // |n| equal on all axes
            break;
        case 5:
            out.push_back(out[std::uniform_int_distribution<size_t>(0, out.size() - 1)(rng)]);
            break;
        default:
            out.push_back({p, p + V{1, 1, 1}, p + V{2, 2, 2}});  // no area
            break;
        }
    }
    return out;
}

std::vector<Triangle> RandomTriangles(std::mt19937& rng, uint32_t count)
{
    std::uniform_real_distribution<float> where(-1.0f, 5.0f);
    std::uniform_real_distribution<float> offset(-1.5f, 1.5f);
    std::vector<Triangle> out(count);
    for (Triangle& t : out) {
        const V c{where(rng), where(rng), where(rng)};
        for (V& corner : t)
            corner = {c.x + offset(rng), c.y + offset(rng), c.z + offset(rng)};
    }
    return out;
}

KSLeafTriangles::Segment SegmentOf(const V& start, const V& end) { return {start, end, end - start}; }

std::vector<KSLeafTriangles::Segment> Rays(std::mt19937& rng, const std::vector<Triangle>& triangles, uint32_t count)
{
    std::uniform_int_distribution<int> grid(-1, 5);
    std::uniform_real_distribution<float> where(-2.0f, 6.0f);
    std::uniform_int_distribution<size_t> pick(0, triangles.size() - 1);
    std::uniform_int_distribution<int> axis(0, 2);
    std::vector<KSLeafTriangles::Segment> rays;
    while (rays.size() < count) {
        const Triangle& t = triangles[pick(rng)];
        switch (rays.size() % 9) {
        case 0:  // between grid points: corners, edges and planes met exactly
            rays.push_back(SegmentOf({float(grid(rng)), float(grid(rng)), float(grid(rng))},
                                     {float(grid(rng)), float(grid(rng)), float(grid(rng))}));
            break;
        case 1: {  // along an axis through a corner or an edge's middle
            V through = t[rays.size() % 3];
            if (rays.size() % 4 == 1)
                through = (t[0] + t[1]) * 0.5f;
            const int along = axis(rng);
            const V step{along == 0 ? 3.0f : 0.0f, along == 1 ? 3.0f : 0.0f, along == 2 ? 3.0f : 0.0f};
            rays.push_back(SegmentOf(through + step, through - step));
            break;
        }
        case 2: {  // in the triangle's plane, or beside it and parallel
            const V e1 = t[1] - t[0];
            const V lift = rays.size() % 4 == 2 ? V{} : Nyx::Cross(e1, t[2] - t[0]);
            rays.push_back(SegmentOf(t[0] - e1 + lift, t[2] + e1 + lift));
            break;
        }
        case 3:  // starting on a corner, or ending on one
            if (rays.size() % 2)
                rays.push_back(SegmentOf(t[1], {where(rng), where(rng), where(rng)}));
            else
                rays.push_back(SegmentOf({where(rng), where(rng), where(rng)}, t[2]));
            break;
        case 4:  // no length
            rays.push_back(SegmentOf(t[0], t[0]));
            break;
        case 5:
        case 6:
        case 7: {  // from anywhere at a point of an edge, which rounding puts a little off it
            const float f = std::uniform_real_distribution<float>(0.0f, 1.0f)(rng);
            const uint32_t k = static_cast<uint32_t>(rays.size() % 3);
            const V target = t[k] + (t[(k + 1) % 3] - t[k]) * f;
            const V start{where(rng), where(rng), where(rng)};
            rays.push_back(SegmentOf(start, target + (target - start)));
            break;
        }
        default:
            rays.push_back(SegmentOf({where(rng), where(rng), where(rng)}, {where(rng), where(rng), where(rng)}));
            break;
        }
    }
    return rays;
}

// Leaves of every length the kernels step through (a part of a block, a
// block exactly, one more, many), some lanes without a triangle.
struct Layout {
    KSLeafTriangles leaves;
    std::vector<Leaf> list;
};

Layout LayOut(const std::vector<Triangle>& triangles)
{
    Layout out;
    const uint32_t lengths[] = {1, 3, 4, 5, 8, 9, 16, 31, 64, 57, 64};
    uint32_t next = 0;
    for (uint32_t length : lengths) {
        out.list.push_back({out.leaves.BeginLeaf(), length});
        for (uint32_t i = 0; i < length; ++i, ++next) {
            const Triangle& t = triangles[next % triangles.size()];
            out.leaves.Add(next, next % 23 == 7 ? nullptr : t.data());
        }
    }
    return out;
}

struct Tally {
    uint32_t hits = 0;
    uint32_t tests = 0;
};

void ExpectKernelsAgree(const Layout& layout, const std::vector<KSLeafTriangles::Segment>& rays, Tally& tally)
{
    const float limits[] = {FLT_MAX, 0.5f, 0.0f};
    for (Kernel kernel : {Kernel::Sse2, Kernel::Avx2}) {
        if (!KSLeafTriangles::IsSupported(kernel))
            continue;
        SCOPED_TRACE(KSLeafTriangles::NameOf(kernel));
        for (size_t r = 0; r < rays.size(); ++r) {
            for (const Leaf& leaf : layout.list) {
                for (float limit : limits) {
                    float expected = limit;
                    float got = limit;
                    const uint32_t want = layout.leaves.TestWith(Kernel::Scalar, leaf.firstBlock, leaf.count, rays[r],
                                                                 expected);
                    const uint32_t hit = layout.leaves.TestWith(kernel, leaf.firstBlock, leaf.count, rays[r], got);
                    ++tally.tests;
                    tally.hits += want != KSLeafTriangles::kNoHit;
                    if (hit != want || Bits(got) != Bits(expected)) {
                        ADD_FAILURE() << "ray " << r << " leaf of " << leaf.count << " from block " << leaf.firstBlock
                                      << ", limit " << limit << ": triangle " << hit << " at " << got
                                      << ", one by one " << want << " at " << expected;
                        return;
                    }
                }
            }
        }
    }
}

TEST(KSLeafTrianglesTest, SimdKernelsTakeTheSameTriangleAtTheSameDistanceAsOneByOne)
{
    if (!KSLeafTriangles::IsSupported(Kernel::Sse2))
        GTEST_SKIP() << "no SIMD kernel on this processor";
    struct Case {
        const char* name;
        bool grid;
        uint32_t seed;
    };
    const Case cases[] = {{"grid triangles", true, 1}, {"random triangles", false, 2}, {"grid again", true, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::mt19937 rng(c.seed);
        const std::vector<Triangle> triangles = c.grid ? GridTriangles(rng, 300) : RandomTriangles(rng, 300);
        const Layout layout = LayOut(triangles);
        Tally tally;
        ExpectKernelsAgree(layout, Rays(rng, triangles, 3000), tally);
        // The rays must reach triangles for the comparison to mean anything.
        EXPECT_GT(tally.hits, tally.tests / 20);
    }
}

TEST(KSLeafTrianglesTest, OfTiedTrianglesTheLastIsTakenAndAnEqualLimitStillTakesIt)
{
    // One triangle three times: at lanes 1 and 6 of the first block and lane
    // 2 of the next, facing +z at height 1.
    const Triangle t = {V{0, 0, 1}, V{2, 0, 1}, V{0, 2, 1}};
    const Triangle away = {V{10, 10, 1}, V{11, 10, 1}, V{10, 11, 1}};
    KSLeafTriangles leaves;
    const uint32_t first = leaves.BeginLeaf();
    for (uint32_t i = 0; i < 11; ++i)
        leaves.Add(100 + i, (i == 1 || i == 6 || i == 10) ? t.data() : away.data());
    const auto down = SegmentOf({0.5f, 0.5f, 3}, {0.5f, 0.5f, -1});
    for (Kernel kernel : {Kernel::Scalar, Kernel::Sse2, Kernel::Avx2}) {
        SCOPED_TRACE(KSLeafTriangles::NameOf(kernel));
        float nearest = FLT_MAX;
        const uint32_t hit = leaves.TestWith(kernel, first, 11, down, nearest);
        ASSERT_EQ(hit, first * KSLeafTriangles::kLanes + 10);
        EXPECT_EQ(leaves.GetReference(hit), 110u);
        EXPECT_EQ(nearest, 0.5f);
        // Only the first nine: the tie is within a block.
        nearest = 0.5f;
        EXPECT_EQ(leaves.TestWith(kernel, first, 9, down, nearest), first * KSLeafTriangles::kLanes + 6);
        nearest = 0.49f;
        EXPECT_EQ(leaves.TestWith(kernel, first, 11, down, nearest), KSLeafTriangles::kNoHit);
        EXPECT_EQ(nearest, 0.49f);
    }
}

}  // namespace
