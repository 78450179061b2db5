// The two alpha-blend caches: draw order against a reference sort of the
// same keys, near chunks drawn primitive by primitive from the farthest,
// degenerate chunks, nesting, the index pool, and the display around the
// pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/materials/Material.h"
#include "resources/AlphaBlendCaches.h"
#include "resources/mesh/GeometryChunkTemplate.h"

namespace {

using Nyx::KestroAlphaBlendCache;

// A material that notes each chunk it is asked to draw, and how.
class NotingMaterial : public Nyx::OneTextureMaterial {
public:
    struct Drawn {
        const Nyx::GeometryChunk* chunk;
        bool ranged;
        std::vector<uint16_t> indices;
        uint32_t primitiveType;
        uint32_t primitiveCount;
        int32_t source;
        int32_t destination;
    };
    NotingMaterial() : OneTextureMaterial(Nyx::PString("noting.m.onetex"), Nyx::PString("onetex")) {}
    using OneTextureMaterial::RenderChunk;
    void RenderChunk(Nyx::Display& display, Nyx::ViewPoint*, Nyx::GeometryChunk& chunk,
                     const Nyx::DisplayLightList*, const Nyx::Matrix4&, int32_t) override
    {
        drawn.push_back({&chunk, false, {}, 0, chunk.GetPrimitiveCount(), display.GetSourceBlend(),
                         display.GetDestinationBlend()});
    }
    void RenderPrimitives(Nyx::Display& display, Nyx::ViewPoint*, Nyx::GeometryChunk& chunk,
                          const Nyx::DisplayLightList*, const Nyx::Matrix4&, const Nyx::PrimitiveRange& range,
                          int32_t) override
    {
        drawn.push_back({&chunk, true, std::vector<uint16_t>(range.indices, range.indices + range.indexCount),
                         range.primitiveType, range.count, display.GetSourceBlend(), display.GetDestinationBlend()});
    }
    std::vector<const Nyx::GeometryChunk*> Order() const
    {
        std::vector<const Nyx::GeometryChunk*> order;
        for (const Drawn& d : drawn)
            order.push_back(d.chunk);
        return order;
    }
    std::vector<Drawn> drawn;
};

Nyx::Matrix4 At(float x, float y, float z)
{
    Nyx::Matrix4 m;
    m.m[3][0] = x;
    m.m[3][1] = y;
    m.m[3][2] = z;
    return m;
}

class AlphaBlendCacheTest : public ::testing::Test {
protected:
    void SetUp() override { material_.AddRef(); }
    // A chunk of the kind with the vertex positions and indices given.
    Nyx::GeometryChunk& Chunk(uint32_t kind, const std::vector<Nyx::Vector3Item>& positions,
                              const std::vector<uint16_t>& indices, uint32_t primitives = 0)
    {
        auto* chunk = new Nyx::GeometryChunkPNT(static_cast<uint32_t>(positions.size()), primitives,
                                                static_cast<uint32_t>(indices.size()), 0, 0);
        chunk->SetPrimitiveFlags(kind);
        const auto items = chunk->GetVector3Array(Nyx::kItemPosition);
        for (size_t i = 0; i < positions.size(); ++i)
            items[static_cast<uint32_t>(i)] = positions[i];
        std::copy(indices.begin(), indices.end(), chunk->GetIndexArray());
        chunks_.emplace_back(chunk);
        return *chunk;
    }
    Nyx::GeometryChunk& FarChunk() { return Chunk(4, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}, 1); }

    Nyx::Display display_;
    NotingMaterial material_;
    std::vector<std::unique_ptr<Nyx::GeometryChunk>> chunks_;
};

TEST_F(AlphaBlendCacheTest, DistanceIsTheFastInverseSquareRootAndBucketsClampAt199)
{
    struct Case {
        float x, y, z;
        uint32_t bucket;
    };
    const Case cases[] = {{0, 0, 0, 0},      {0, 0, 12, 2},        {0, 0, -262, 52}, {0, 349, 0, 69},
                          {0, 0, 351, 70},   {999, 0, 0, 199},     {0, 2000, 0, 199}, {3e5f, 4e5f, 0, 199}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x + c.y + c.z);
        const float d = KestroAlphaBlendCache::Distance(At(c.x, c.y, c.z));
        const double exact = std::sqrt(double{c.x} * c.x + double{c.y} * c.y + double{c.z} * c.z);
        EXPECT_NEAR(d, exact, exact * 2e-3 + 1e-6);
        EXPECT_EQ(KestroAlphaBlendCache::BucketNumber(d), c.bucket);
    }
    EXPECT_EQ(KestroAlphaBlendCache::BucketNumber(std::nanf("")), 0u);
    KestroAlphaBlendCache cache;
    EXPECT_EQ(cache.GetBucket(260.0f), 52u);
    EXPECT_EQ(cache.GetMark(0), 260.0f);
    EXPECT_EQ(cache.GetNearLimit(), 70u);
}

TEST_F(AlphaBlendCacheTest, FarChunksDrawBackToFrontAsAStableSortOfTheirKeys)
{
    // Far enough that no primitive is sorted; equal distances, different
    // directions, and the two beyond the last bucket.
    const float positions[][3] = {{0, 0, 400},  {0, 400, 0}, {500, 0, 0}, {0, 0, 999}, {2000, 0, 0},
                                  {0, 0, 400},  {0, 0, 650}, {0, 0, 401}, {0, 999, 0}, {0, 0, 1500},
                                  {-400, 0, 0}, {0, 0, 360}};
    KestroAlphaBlendCache cache;
    struct Ref {
        uint32_t bucket;
        float key;
        const Nyx::GeometryChunk* chunk;
    };
    std::vector<Ref> reference;
    for (const auto& p : positions) {
        Nyx::GeometryChunk& chunk = FarChunk();
        const Nyx::Matrix4 world = At(p[0], p[1], p[2]);
        cache.AddChunk(material_, chunk, nullptr, world);
        const float key = KestroAlphaBlendCache::Distance(world);
        reference.push_back({KestroAlphaBlendCache::BucketNumber(key), key, &chunk});
    }
    // Later arrivals first among equals: reverse, then a stable sort.
    std::reverse(reference.begin(), reference.end());
    std::stable_sort(reference.begin(), reference.end(), [](const Ref& a, const Ref& b) {
        return a.bucket != b.bucket ? a.bucket > b.bucket : a.key > b.key;
    });
    std::vector<const Nyx::GeometryChunk*> expected;
    for (const Ref& r : reference)
        expected.push_back(r.chunk);

    EXPECT_EQ(cache.GetNodeCount(199), 4u);
    cache.RenderChunks(display_, nullptr);
    EXPECT_EQ(material_.Order(), expected);
    for (const auto& d : material_.drawn) {
        EXPECT_FALSE(d.ranged);
        EXPECT_EQ(d.source, 4);
        EXPECT_EQ(d.destination, 5);
    }
    // The buckets keep their nodes until cleared.
    material_.drawn.clear();
    cache.RenderChunks(display_, nullptr);
    EXPECT_EQ(material_.Order(), expected);
    cache.Clear();
    EXPECT_TRUE(cache.IsEmpty());
    EXPECT_EQ(cache.GetFreeNodeCount(), std::size(positions));
}

TEST_F(AlphaBlendCacheTest, NearChunksDrawTheirPrimitivesFromTheFarthestCentroid)
{
    // Primitives along x; the viewer, in the chunk's space, is at
    // (−2, 0, 10) (world: a translation by (2, 0, −10)).
    const std::vector<Nyx::Vector3Item> row = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 0},
                                               {6, 0, 0}, {7, 0, 0}, {-4, 0, 0}};
    struct Case {
        const char* name;
        uint32_t kind;
        std::vector<uint16_t> indices;
        uint32_t primitives;
        uint32_t displayType;
        std::vector<uint16_t> expected;
    };
    const Case cases[] = {
        {"triangles", 4, {0, 1, 2, 6, 7, 5, 2, 3, 4, 4, 5, 3}, 4, 0, {6, 7, 5, 4, 5, 3, 2, 3, 4, 0, 1, 2}},
        // Odd strip triangles keep the strip's facing: k, k + 2, k + 1.
        {"strip", 8, {0, 1, 2, 3, 4, 5}, 0, 0, {3, 5, 4, 2, 3, 4, 1, 3, 2, 0, 1, 2}},
        {"fan", 16, {2, 0, 1, 7, 6}, 0, 0, {2, 7, 6, 2, 1, 7, 2, 0, 1}},
        {"lines", 1, {0, 1, 7, 6, 3, 4}, 0, 3, {7, 6, 3, 4, 0, 1}},
        {"line strip", 2, {0, 2, 7}, 0, 3, {2, 7, 0, 2}},
        {"points", 0, {7, 0, 2}, 0, 5, {7, 2, 0}},
        // Vertices 0 and 8 are equally far: they keep their order.
        {"points at equal distances", 0, {8, 0, 7, 0, 0}, 0, 5, {7, 8, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        material_.drawn.clear();
        KestroAlphaBlendCache cache;
        Nyx::GeometryChunk& chunk = Chunk(c.kind, row, c.indices, c.primitives);
        cache.AddChunk(material_, chunk, nullptr, At(2, 0, -10));
        cache.RenderChunks(display_, nullptr);
        ASSERT_EQ(material_.drawn.size(), 1u);
        const NotingMaterial::Drawn& d = material_.drawn[0];
        EXPECT_TRUE(d.ranged);
        EXPECT_EQ(d.primitiveType, c.displayType);
        EXPECT_EQ(d.indices, c.expected);
        EXPECT_GT(cache.GetPoolUsed(), 0u);
    }
}

TEST_F(AlphaBlendCacheTest, ChunksWithoutWholePrimitivesGetNoListAndKeyZero)
{
    struct Case {
        const char* name;
        uint32_t kind;
        std::vector<uint16_t> indices;
        uint32_t primitives;
    };
    const Case cases[] = {
        {"strip of one index", 8, {0}, 0},  {"fan of none", 16, {}, 0},   {"line strip of none", 2, {}, 0},
        {"triangles, none counted", 4, {0, 1, 2}, 0}, {"unknown kind", 3, {0, 1, 2}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        material_.drawn.clear();
        KestroAlphaBlendCache cache;
        Nyx::GeometryChunk& degenerate = Chunk(c.kind, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, c.indices, c.primitives);
        // Key 0: drawn after a chunk nearer than its own distance.
        Nyx::GeometryChunk& near = FarChunk();
        cache.AddChunk(material_, degenerate, nullptr, At(0, 0, 100));
        cache.AddChunk(material_, near, nullptr, At(0, 0, 100.5f));
        cache.RenderChunks(display_, nullptr);
        ASSERT_EQ(material_.drawn.size(), 2u);
        EXPECT_EQ(material_.drawn[1].chunk, &degenerate);
        EXPECT_FALSE(material_.drawn[1].ranged);
        EXPECT_EQ(cache.GetPoolUsed(), 3u);  // the near triangle's list only
    }
}

TEST_F(AlphaBlendCacheTest, NestedWindowsDrawOnLeaveAndKeepTheOuterListsIntact)
{
    KestroAlphaBlendCache cache;
    const std::vector<Nyx::Vector3Item> tri = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}};
    Nyx::GeometryChunk& outer = Chunk(4, tri, {0, 1, 2, 3, 2, 1}, 2);
    Nyx::GeometryChunk& outerFar = FarChunk();
    cache.AddChunk(material_, outer, nullptr, At(0, 0, -20));
    cache.AddChunk(material_, outerFar, nullptr, At(0, 0, -800));
    // Viewer at (0, 0, 20): the first triangle's centroid is the farther.
    const std::vector<uint16_t> outerList = {0, 1, 2, 3, 2, 1};

    for (int depth = 1; depth <= 2; ++depth) {
        cache.Enter(display_, nullptr, true);
        EXPECT_TRUE(cache.IsEmpty());
        EXPECT_EQ(cache.GetWindowBase(), 200u * depth);
        // Inner near chunks reuse pool space the outer list must keep.
        cache.AddChunk(material_, Chunk(4, tri, {2, 1, 0, 1, 2, 3}, 2), nullptr, At(0, 0, -20));
    }
    EXPECT_EQ(cache.GetBucketCount(), 600u);
    for (int depth = 2; depth >= 1; --depth) {
        material_.drawn.clear();
        cache.Leave(display_, nullptr, true);
        ASSERT_EQ(material_.drawn.size(), 1u);
        EXPECT_EQ(cache.GetWindowBase(), 200u * (depth - 1));
    }
    cache.AddChunk(material_, Chunk(4, tri, {1, 2, 3, 0, 1, 2}, 2), nullptr, At(0, 0, -30));
    material_.drawn.clear();
    cache.RenderChunks(display_, nullptr);
    ASSERT_EQ(material_.drawn.size(), 3u);
    EXPECT_EQ(material_.drawn[0].chunk, &outerFar);
    EXPECT_EQ(material_.drawn[2].chunk, &outer);
    EXPECT_EQ(material_.drawn[2].indices, outerList);
    EXPECT_EQ(cache.GetBucketCount(), 600u);  // grown only once
}

TEST_F(AlphaBlendCacheTest, ListsBeyondThePoolComeFromTheHeap)
{
    KestroAlphaBlendCache cache;
    // 1,000 triangles a chunk: the eleventh chunk's list no longer fits.
    std::vector<Nyx::Vector3Item> positions;
    std::vector<uint16_t> indices;
    for (uint16_t t = 0; t < 1000; ++t) {
        positions.push_back({static_cast<float>(t), 0, 0});
        indices.insert(indices.end(), {t, t, t});
    }
    for (int i = 0; i < 12; ++i)
        cache.AddChunk(material_, Chunk(4, positions, indices, 1000), nullptr, At(0, 0, -10.0f - i));
    EXPECT_EQ(cache.GetPoolUsed(), 9000u);
    cache.RenderChunks(display_, nullptr);
    ASSERT_EQ(material_.drawn.size(), 12u);
    for (const auto& d : material_.drawn) {
        ASSERT_EQ(d.indices.size(), 3000u);
        EXPECT_EQ(d.indices.front(), 999u);  // farthest from the viewer at x = 0
        EXPECT_EQ(d.indices.back(), 0u);
    }
}

TEST_F(AlphaBlendCacheTest, PassesSetBlendingAndTheUnsortedCacheRestoresTheBlendFunction)
{
    Nyx::GeometryChunk& a = FarChunk();
    Nyx::GeometryChunk& b = FarChunk();
    Nyx::GeometryChunk& c = FarChunk();
    display_.SetAlphaBlendFunction(5, 6);
    display_.SetAlphaTestMode(true);
    const Nyx::PipelineState before = display_.GetPipelineState();

    Nyx::AlphaBlendCacheUnsorted unsorted;
    EXPECT_EQ(unsorted.GetName(), "AlphaBlendCacheUnsorted");
    EXPECT_EQ(unsorted.GetPriority(), 55.0f);
    // Arrival order whatever the distance.
    unsorted.AddChunk(material_, b, nullptr, At(0, 0, -5));
    unsorted.AddChunk(material_, a, nullptr, At(0, 0, -500));
    unsorted.AddChunk(material_, c, nullptr, At(0, 0, -50));
    unsorted.RenderChunks(display_, nullptr);
    EXPECT_EQ(material_.Order(), (std::vector<const Nyx::GeometryChunk*>{&b, &a, &c}));
    for (const auto& d : material_.drawn)
        EXPECT_EQ(std::make_pair(d.source, d.destination), std::make_pair(4, 5));
    Nyx::PipelineState after = display_.GetPipelineState();
    EXPECT_EQ(std::make_pair(after.sourceBlend, after.destinationBlend), std::make_pair(5, 6));
    EXPECT_FALSE(after.blend);
    EXPECT_FALSE(after.alphaTest);
    EXPECT_TRUE(after.depthWrite);
    unsorted.Clear();
    EXPECT_EQ(unsorted.GetCount(), 0u);

    // The sorted cache ends its pass on (1, 0), as it always has.
    display_.SetAlphaTestMode(true);
    KestroAlphaBlendCache sorted;
    sorted.AddChunk(material_, a, nullptr, At(0, 0, -500));
    sorted.RenderChunks(display_, nullptr);
    after = display_.GetPipelineState();
    EXPECT_EQ(std::make_pair(after.sourceBlend, after.destinationBlend), std::make_pair(1, 0));
    EXPECT_FALSE(after.blend);
    EXPECT_FALSE(after.alphaTest);
    EXPECT_TRUE(after.depthWrite);
    EXPECT_NE(after, before);
}

}  // namespace
