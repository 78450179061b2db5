// The collision box tree: its shape, its stored boxes, and queries that
// answer every ray as testing every triangle does.
#include "resources/collision/KSAxisBoxTree.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "resources/collision/KSDebugVp.h"
#include "resources/collision/TriangleSoup.h"

namespace {

using V = Nyx::Vector3f;

struct ExactBox {
    V min{FLT_MAX, FLT_MAX, FLT_MAX};
    V max{-FLT_MAX, -FLT_MAX, -FLT_MAX};
    void Add(const V& p)
    {
        min = {std::min(min.x, p.x), std::min(min.y, p.y), std::min(min.z, p.z)};
        max = {std::max(max.x, p.x), std::max(max.y, p.y), std::max(max.z, p.z)};
    }
    void Add(const ExactBox& b)
    {
        Add(b.min);
        Add(b.max);
    }
};

struct Shape {
    uint32_t leaves = 0;
    uint32_t largestLeaf = 0;
    uint32_t boxesMissingTheirTriangles = 0;
};

// Checks every stored box against the exact box of the triangles below it.
ExactBox Visit(const KSAxisBoxTree& tree, const TriangleSoup& soup, uint32_t index, Shape& shape)
{
    const KSAxisBoxTree::StoredNode& node = tree.GetNodes()[index];
    ExactBox exact;
    if (KSAxisBoxTree::IsLeaf(node)) {
        ++shape.leaves;
        shape.largestLeaf = std::max(shape.largestLeaf, static_cast<uint32_t>(node.word1));
        for (int32_t i = 0; i < node.word1; ++i) {
            V corners[3];
            EXPECT_TRUE(soup.GetTriangleCorners(tree.GetLeafReference(static_cast<uint32_t>(~node.word0 + i)), corners));
            for (const V& c : corners)
                exact.Add(c);
        }
    } else {
        exact.Add(Visit(tree, soup, static_cast<uint32_t>(node.word0), shape));
        exact.Add(Visit(tree, soup, static_cast<uint32_t>(node.word1), shape));
    }
    V centre;
    V extents;
    tree.GetNodeBox(node, centre, extents);
    const bool contains = centre.x - extents.x <= exact.min.x && centre.x + extents.x >= exact.max.x &&
                          centre.y - extents.y <= exact.min.y && centre.y + extents.y >= exact.max.y &&
                          centre.z - extents.z <= exact.min.z && centre.z + extents.z >= exact.max.z;
    if (!contains)
        ++shape.boxesMissingTheirTriangles;
    return exact;
}

Shape CheckShape(const KSAxisBoxTree& tree, const TriangleSoup& soup)
{
    Shape shape;
    Visit(tree, soup, 0, shape);
    return shape;
}

// Fires rays between random points of the soup's cube and compares the
// tree's answer with the brute-force one.
void ExpectQueriesAgree(const KSAxisBoxTree& tree, const TriangleSoup& soup, uint32_t rays, uint32_t seed,
                        float size, V base = {})
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> where(-0.1f * size, 1.1f * size);
    uint32_t hits = 0;
    for (uint32_t r = 0; r < rays; ++r) {
        const V start{base.x + where(rng), base.y + where(rng), base.z + where(rng)};
        const V target{base.x + where(rng), base.y + where(rng), base.z + where(rng)};
        const V direction = Nyx::Normalised(target - start);
        const float length = 2.0f * size;
        KSAxisBoxTreeResult result;
        const bool hit = tree.Query(start, start + direction * length, result);
        const BruteForceHit brute = BruteForce(soup, start, direction, length);
        ASSERT_EQ(hit, brute.triangle >= 0) << "ray " << r;
        if (!hit)
            continue;
        ++hits;
        EXPECT_EQ(TriangleSoup::IndexOf(static_cast<uint32_t>(result.reference)), brute.triangle) << "ray " << r;
        EXPECT_NEAR(result.distance * length, brute.distance, 1e-4f * length) << "ray " << r;
        EXPECT_NEAR(result.normal.Length(), 1.0f, 1e-5f);
        EXPECT_EQ(result.unused, -1);
    }
    if (soup.triangles.size() >= 200) {
        EXPECT_GT(hits, rays / 10);
    }
}

TEST(KSAxisBoxTreeTest, SixtyFourTrianglesOrFewerMakeOneLeaf)
{
    for (uint32_t count : {1u, 2u, 63u, 64u}) {
        const TriangleSoup soup = TriangleSoup::Random(count, count, 10.0f, 1.0f);
        KSAxisBoxTree tree;
        soup.AddAllTo(tree);
        ASSERT_TRUE(tree.Build());
        ASSERT_EQ(tree.GetNodes().size(), 1u);
        EXPECT_EQ(tree.GetNodes()[0].word0, ~0);
        EXPECT_EQ(tree.GetNodes()[0].word1, static_cast<int32_t>(count));
        EXPECT_EQ(tree.GetDepth(), 0u);
    }
    const TriangleSoup soup = TriangleSoup::Random(65, 65, 10.0f, 1.0f);
    KSAxisBoxTree tree;
    soup.AddAllTo(tree);
    ASSERT_TRUE(tree.Build());
    EXPECT_EQ(tree.GetNodes().size(), 3u);
}

TEST(KSAxisBoxTreeTest, LeavesHoldAtMostSixtyFourAndEveryStoredBoxContainsItsTriangles)
{
    for (uint32_t count : {66u, 500u, 5000u, 30000u}) {
        SCOPED_TRACE(count);
        const TriangleSoup soup = TriangleSoup::Random(count, count, 100.0f, 2.0f);
        KSAxisBoxTree tree;
        soup.AddAllTo(tree);
        ASSERT_TRUE(tree.Build());
        const Shape shape = CheckShape(tree, soup);
        EXPECT_LE(shape.largestLeaf, KSAxisBoxTree::kLeafSizeLimit);
        EXPECT_EQ(tree.GetNodes().size(), 2 * shape.leaves - 1);
        EXPECT_EQ(shape.boxesMissingTheirTriangles, 0u);
        EXPECT_EQ(tree.GetLeafEntryCount(), count);
    }
}

TEST(KSAxisBoxTreeTest, TheSameTrianglesBuildTheSameTree)
{
    const TriangleSoup soup = TriangleSoup::Random(3000, 5, 10.0f, 0.0f);  // triangles without area
    TriangleSoup grid;
    // Many equal box centres: the order comes from the triangle numbers.
    for (int i = 0; i < 2000; ++i)
        grid.triangles.push_back({V{float(i % 4), 0, 0}, V{float(i % 4) + 1, 0, 0}, V{float(i % 4), 1, float(i % 3)}});
    KSAxisBoxTree first;
    KSAxisBoxTree second;
    grid.AddAllTo(first);
    grid.AddAllTo(second);
    ASSERT_TRUE(first.Build());
    ASSERT_TRUE(second.Build());
    ASSERT_EQ(first.GetLeafEntryCount(), second.GetLeafEntryCount());
    for (uint32_t i = 0; i < first.GetLeafEntryCount(); ++i)
        ASSERT_EQ(first.GetLeafReference(i), second.GetLeafReference(i));

    KSAxisBoxTree flat;
    soup.AddAllTo(flat);
    EXPECT_FALSE(flat.Build());  // every triangle was skipped
    EXPECT_EQ(flat.GetSkippedCount(), 3000u);
    EXPECT_FALSE(flat.IsBuilt());
}

TEST(KSAxisBoxTreeTest, QueriesAgreeWithTestingEveryTriangle)
{
    struct Case {
        uint32_t triangles;
        float triangleSize;
        uint32_t seed;
    };
    const Case cases[] = {{10, 3.0f, 1}, {200, 5.0f, 2}, {3000, 3.0f, 3}, {25000, 1.5f, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.triangles);
        const TriangleSoup soup = TriangleSoup::Random(c.triangles, c.seed, 100.0f, c.triangleSize);
        KSAxisBoxTree tree;
        soup.AddAllTo(tree);
        ASSERT_TRUE(tree.Build());
        ExpectQueriesAgree(tree, soup, 300, c.seed, 100.0f);
    }
}

TEST(KSAxisBoxTreeTest, ASmallMeshFarFromTheOriginKeepsBoxesAroundItsTriangles)
{
    // The centre step at this distance is far coarser than the boxes: their
    // half-extents must cover it.
    const V base{1000.0f, -1500.0f, 1200.0f};
    TriangleSoup soup;
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> where(0.0f, 0.01f);
    for (int i = 0; i < 500; ++i) {
        const V c{base.x + where(rng), base.y + where(rng), base.z + where(rng)};
        const float s = 0.003f;
        // Well-shaped triangles facing each of the three axes.
        if (i % 3 == 0)
            soup.triangles.push_back({c, c + V{s, 0, 0}, c + V{0, s, 0}});
        else if (i % 3 == 1)
            soup.triangles.push_back({c, c + V{0, s, 0}, c + V{0, 0, s}});
        else
            soup.triangles.push_back({c, c + V{0, 0, s}, c + V{s, 0, 0}});
    }
    KSAxisBoxTree tree;
    soup.AddAllTo(tree);
    ASSERT_TRUE(tree.Build());
    EXPECT_EQ(CheckShape(tree, soup).boxesMissingTheirTriangles, 0u);
    // A short segment through each triangle's middle finds it. Far from the
    // origin the plane test is too coarse for ray-by-ray agreement with
    // brute force; through the middle it is safe.
    uint32_t found = 0;
    for (uint32_t i = 0; i < soup.triangles.size(); ++i) {
        const auto& t = soup.triangles[i];
        const V middle = (t[0] + t[1] + t[2]) * (1.0f / 3.0f);
        const V normal = Nyx::Normalised(Nyx::Cross(t[1] - t[0], t[2] - t[0]));
        KSAxisBoxTreeResult result;
        if (tree.Query(middle + normal * 0.001f, middle - normal * 0.001f, result))
            ++found;
    }
    EXPECT_EQ(found, soup.triangles.size());
}

TEST(KSAxisBoxTreeTest, ChunksFrom512AndFacesPast16BitReferencesAreSkipped)
{
    const V a{0, 0, 0};
    const V b{1, 0, 0};
    const V c{0, 1, 0};
    KSAxisBoxTree tree;
    tree.BeginBuild(nullptr);
    tree.AddTriangle(a, b, c, 511u << 16);
    tree.AddTriangle(a, b, c, 512u << 16);
    tree.AddFace(a, b, c, 3, 21845);  // first index 65,535: still fits
    tree.AddFace(a, b, c, 3, 21846);  // first index 65,538 would alias face 0
    tree.AddFace(a, b, c, 600, 0);
    EXPECT_EQ(tree.GetSkippedCount(), 3u);
    ASSERT_TRUE(tree.Build());
    ASSERT_EQ(tree.GetLeafEntryCount(), 2u);
    EXPECT_EQ(tree.GetLeafReference(0), 511u << 16);
    EXPECT_EQ(tree.GetLeafReference(1), (3u << 16) | 65535u);
}

TEST(KSAxisBoxTreeTest, AnEmptyTreeAnswersNothing)
{
    KSAxisBoxTree tree;
    EXPECT_EQ(tree.GetSetting(), 8);
    EXPECT_FALSE(tree.Build());
    KSAxisBoxTreeResult result;
    EXPECT_FALSE(tree.Query({0, 0, 0}, {1, 1, 1}, result));
    EXPECT_EQ(result.distance, 3.4028235e38f);
    EXPECT_EQ(result.reference, -1);
}

TEST(KSDebugVpTest, TheGlobalViewportIsCurrentAndDrawsNothing)
{
    KSDebugVp& global = KSDebugVp::Global();
    EXPECT_EQ(KSDebugVp::Current(), &global);
    EXPECT_TRUE(global.IsAvailable());
    global.BeginFrame();
    global.DrawLine({0, 0, 0}, {1, 1, 1}, 0xFF00FF00u);
    global.DrawText({0, 0, 0}, "text", 0);
    global.EndFrame();
    global.Flush();

    struct Recording : KSDebugVp {
        void SubmitPrimitive(const Nyx::Vector3f* points, uint32_t kind, uint32_t count, uint32_t colour,
                             uint32_t flag0, uint32_t flag1) override
        {
            seen = {points[1].x, float(kind), float(count), float(colour), float(flag0), float(flag1)};
        }
        std::vector<float> seen;
    };
    {
        Recording recording;
        EXPECT_EQ(KSDebugVp::Current(), &recording);
        recording.DrawLine({0, 0, 0}, {5, 0, 0}, 7);
        EXPECT_EQ(recording.seen, (std::vector<float>{5, 2, 2, 7, 0, 1}));
    }
    EXPECT_EQ(KSDebugVp::Current(), nullptr);
}

}  // namespace
