#include "core/containers/BucketRing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using Table = BucketRing<int>;

TEST(BucketRingTest, BucketIsKeyXorModulo97)
{
    struct Case {
        uint32_t k1, k2, bucket;
    };
    const Case cases[] = {
        {0, 0, 0},
        {1, 2, 3},
        {97, 0, 0},
        {0x61, 0x61, 0},
        {0xFFFFFFFFu, 0, 0xFFFFFFFFu % 97},
        {0x80000000u, 0x00000001u, 0x80000001u % 97},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Table::BucketOf(c.k1, c.k2), c.bucket) << c.k1 << "," << c.k2;
}

TEST(BucketRingTest, FindMatchesBothKeys)
{
    Table t;
    EXPECT_TRUE(t.Find(1, 2).AtEnd());
    // (1,2), (2,1) and (0,3) share bucket 3; only the exact pair matches.
    t.Insert(1, 2, 10);
    t.Insert(2, 1, 20);
    t.Insert(0, 3, 30);
    t.Insert(1, 2, 11);  // a repeated pair: the first one stays the one found
    EXPECT_EQ(t.Find(1, 2)->value, 10);
    EXPECT_EQ(t.Find(2, 1)->value, 20);
    EXPECT_EQ(t.Find(0, 3)->value, 30);
    EXPECT_EQ(t.Find(1, 2).Bucket(), 3u);
    EXPECT_TRUE(t.Find(3, 0).AtEnd());
    EXPECT_TRUE(t.Find(1, 3).AtEnd());
    EXPECT_EQ(t.Count(), 4u);
    EXPECT_EQ(t.BucketRingAt(3).Count(), 4u);
}

TEST(BucketRingTest, IterationAndEraseAtCrossBuckets)
{
    Table t;
    // Bucket 5 gets 20 entries (two blocks), buckets 7 and 96 one each.
    for (uint32_t i = 0; i < 20; ++i)
        t.Insert(i * 97 + 5, 0, int(i));
    t.Insert(7, 0, 100);
    t.Insert(96, 0, 200);

    std::vector<int> seen;
    for (auto it = t.IteratorBegin(); !it.AtEnd(); t.IteratorNext(it))
        seen.push_back(it->value);
    ASSERT_EQ(seen.size(), 22u);
    EXPECT_EQ(seen[19], 19);
    EXPECT_EQ(seen[20], 100);
    EXPECT_EQ(seen[21], 200);

    // Erasing the last entry of a bucket moves on to the next bucket.
    auto it = t.EraseAt(t.Find(19 * 97 + 5, 0));
    ASSERT_FALSE(it.AtEnd());
    EXPECT_EQ(it.Bucket(), 7u);
    EXPECT_EQ(it->value, 100);
    it = t.EraseAt(it);
    EXPECT_EQ(it->value, 200);
    it = t.EraseAt(it);
    EXPECT_TRUE(it.AtEnd());
    EXPECT_TRUE(t.EraseAt(it).AtEnd());

    // Erase within a bucket gives the next entry of the same bucket.
    it = t.EraseAt(t.Find(3 * 97 + 5, 0));
    EXPECT_EQ(it->value, 4);

    // Erase everything while walking.
    for (it = t.IteratorBegin(); !it.AtEnd();)
        it = t.EraseAt(it);
    EXPECT_EQ(t.Count(), 0u);
    EXPECT_TRUE(t.IteratorBegin().AtEnd());

    t.Insert(1, 1, 1);
    t.Insert(2, 1, 2);
    t.Clear();
    EXPECT_TRUE(t.Find(1, 1).AtEnd());
    EXPECT_EQ(t.Count(), 0u);
}

}  // namespace
