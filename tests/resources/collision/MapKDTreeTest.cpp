// The point map and its memory chain: exact lookups against a linear scan,
// under every rebuild policy.
#include "resources/collision/KSMapKDTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

TEST(KSMemoryChainTest, PiecesComeFromBlocksAndReturnedOnesFirst)
{
    KSMemoryChain chain(20, 100);  // five pieces to a block
    std::vector<void*> pieces;
    for (int i = 0; i < 11; ++i)
        pieces.push_back(chain.Take());
    EXPECT_EQ(chain.GetBlockCount(), 3u);
    std::vector<void*> sorted = pieces;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
    chain.Return(pieces[3]);
    EXPECT_EQ(chain.Take(), pieces[3]);
    chain.Reset();
    EXPECT_EQ(chain.Take(), pieces[0]);
    EXPECT_EQ(chain.GetBlockCount(), 3u);
}

struct Point {
    float p[3];
    int32_t value;
};

std::vector<Point> RandomPoints(uint32_t count, uint32_t seed)
{
    // Few distinct coordinates, so that many entries share a position or
    // one coordinate with another.
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> coordinate(0, 7);
    std::vector<Point> points;
    for (uint32_t i = 0; i < count; ++i)
        points.push_back({{coordinate(rng) * 0.5f, coordinate(rng) * 0.5f, coordinate(rng) * 0.5f},
                          static_cast<int32_t>(i)});
    return points;
}

std::vector<int32_t> Scan(const std::vector<Point>& points, const float p[3], const std::vector<bool>& deleted)
{
    std::vector<int32_t> out;
    for (size_t i = 0; i < points.size(); ++i)
        if (!deleted[i] && points[i].p[0] == p[0] && points[i].p[1] == p[1] && points[i].p[2] == p[2])
            out.push_back(points[i].value);
    std::sort(out.begin(), out.end());
    return out;
}

TEST(KSMapKDTreeTest, FindAgreesWithALinearScanUnderEveryPolicy)
{
    struct Case {
        int32_t insertion;
        int32_t lookup;
        bool defer;
    };
    const Case cases[] = {
        {KSMapKDTree::kAutomatic, KSMapKDTree::kAutomatic, true}, {KSMapKDTree::kAutomatic, KSMapKDTree::kAutomatic, false},
        {KSMapKDTree::kNever, KSMapKDTree::kNever, true},         {KSMapKDTree::kAlways, KSMapKDTree::kNever, true},
        {KSMapKDTree::kAlways, KSMapKDTree::kNever, false},       {50, 5, true},
        {0, KSMapKDTree::kAlways, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.insertion << "/" << c.lookup << "/" << c.defer);
        const std::vector<Point> points = RandomPoints(3000, 7);
        std::vector<bool> deleted(points.size(), false);
        KSMapKDTree map;
        map.SetPolicies(c.insertion, c.lookup);
        map.SetDefer(c.defer);
        std::mt19937 rng(11);
        for (size_t i = 0; i < points.size(); ++i) {
            map.Insert(points[i].p, points[i].value);
            if (i % 97 == 0) {
                // Delete the positions of an earlier entry now and then.
                const size_t victim = rng() % (i + 1);
                map.Delete(points[victim].p);
                for (size_t j = 0; j <= i; ++j)
                    if (std::equal(points[j].p, points[j].p + 3, points[victim].p))
                        deleted[j] = true;
            }
            if (i % 13 == 0) {
                const Point& probe = points[rng() % (i + 1)];
                map.Find(probe.p);
                std::vector<int32_t> found = map.GetResults();
                std::sort(found.begin(), found.end());
                ASSERT_EQ(found, Scan(std::vector<Point>(points.begin(), points.begin() + i + 1), probe.p,
                                      std::vector<bool>(deleted.begin(), deleted.begin() + i + 1)));
            }
        }
        if (c.insertion == KSMapKDTree::kNever && c.lookup == KSMapKDTree::kNever) {
            EXPECT_EQ(map.GetRebuildCount(), 0u);
            EXPECT_EQ(map.GetBuiltCount(), 0u);
        }
    }
}

TEST(KSMapKDTreeTest, SamePositionTwiceIsFoundTwiceAndNearPositionsAreNot)
{
    for (bool rebuildBetween : {false, true}) {
        KSMapKDTree map;
        const float p[3] = {1.0f, 2.0f, 3.0f};
        map.Insert(p, 10);
        if (rebuildBetween)
            map.Rebuild();
        map.Insert(p, 20);
        EXPECT_EQ(map.Find(p), 2u);
        std::vector<int32_t> found = map.GetResults();
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, (std::vector<int32_t>{10, 20}));
        const float near[3] = {1.0f, 2.0f, std::nextafter(3.0f, 4.0f)};
        EXPECT_EQ(map.Find(near), 0u);
    }
}

TEST(KSMapKDTreeTest, ARebuildDropsDeletedEntriesAndGivesTheirPiecesBack)
{
    KSMapKDTree map;
    map.SetPolicies(KSMapKDTree::kNever, KSMapKDTree::kNever);
    const float a[3] = {0, 0, 0};
    const float b[3] = {1, 0, 0};
    map.Insert(a, 1);
    map.Insert(b, 2);
    map.Insert(a, 3);
    EXPECT_EQ(map.Delete(a), 2u);
    EXPECT_EQ(map.Find(a), 0u);
    EXPECT_TRUE(map.Rebuild());
    EXPECT_EQ(map.GetCount(), 1u);
    EXPECT_EQ(map.GetBuiltCount(), 1u);
    EXPECT_EQ(map.Find(b), 1u);
    EXPECT_EQ(map.GetMemoryChain().GetBlockCount(), 1u);
}

TEST(KSMapKDTreeTest, TheProgressCallbackSeesStepsAndCanCancel)
{
    struct Progress {
        uint32_t calls = 0;
        uint32_t lastTotal = 0;
        bool allow = true;
    };
    auto callback = [](void* context, uint32_t step, uint32_t total) {
        auto* p = static_cast<Progress*>(context);
        ++p->calls;
        p->lastTotal = total;
        EXPECT_EQ(step % KSMapKDTree::kProgressEvery, 0u);
        return p->allow;
    };
    const std::vector<Point> points = RandomPoints(5000, 3);
    for (bool allow : {true, false}) {
        KSMapKDTree map;
        map.SetPolicies(KSMapKDTree::kNever, KSMapKDTree::kNever);
        Progress progress;
        progress.allow = allow;
        map.SetProgressCallback(callback, &progress);
        for (const Point& p : points)
            map.Insert(p.p, p.value);
        EXPECT_EQ(map.Rebuild(), allow);
        EXPECT_EQ(map.WasCancelled(), !allow);
        EXPECT_EQ(progress.calls, allow ? 4u : 1u);
        EXPECT_EQ(progress.lastTotal, 5000u);
        // A cancelled ordering leaves every entry searchable.
        std::vector<bool> none(points.size(), false);
        map.Find(points[42].p);
        std::vector<int32_t> found = map.GetResults();
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, Scan(points, points[42].p, none));
    }
}

}  // namespace
