#include "config/kuid/KUIDRing.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

KUID Nth(int32_t i) { return KUID(1000 + i, i, i % 128); }

TEST(KUIDRingTest, BlockOf128AndTheBlockAfter)
{
    KUIDRing ring;
    for (int32_t i = 0; i < 128; ++i)
        ring.Append(Nth(i));
    const auto* first = ring.FirstBlock();
    EXPECT_EQ(first->next, first);
    ring.Append(Nth(128));
    EXPECT_NE(first->next, first);
    EXPECT_EQ(first->next->count, 1u);
    // The new block's unused slots read as the null KUID.
    for (uint32_t i = 1; i < KUIDRing::kEntriesPerBlock; ++i)
        ASSERT_EQ(first->next->entries[i], KUID::Null) << "slot " << i;
    EXPECT_EQ(ring.Count(), 129u);

    KUIDRing::Iterator it = ring.IteratorAt(128);
    EXPECT_EQ(*it, Nth(128));
    KUIDRing::Iterator back = it;
    KUIDRing::IteratorAdvance(back, -1);
    EXPECT_EQ(*back, Nth(127));
    EXPECT_EQ(back.BlockOf(), first);

    EXPECT_TRUE(ring.Erase(it).AtEnd());
    EXPECT_EQ(first->next, first);
    EXPECT_EQ(ring.Count(), 128u);
}

TEST(KUIDRingTest, FindComparesAllThreeWords)
{
    KUIDRing ring;
    EXPECT_TRUE(ring.Find(KUID(1, 2, 3)).AtEnd());
    ring.Append(KUID(1, 2, 0));
    ring.Append(KUID(1, 3, 3));
    ring.Append(KUID(2, 2, 3));
    ring.Append(KUID(1, 2, 3));
    EXPECT_EQ(ring.Find(KUID(1, 2, 3)), ring.IteratorAt(3));
    EXPECT_TRUE(ring.Find(KUID::Null).AtEnd());
}

TEST(KUIDRingTest, ErasingTheOnlyEntryEmptiesTheRing)
{
    KUIDRing ring;
    ring.Append(KUID(5, 6, 7));
    EXPECT_TRUE(ring.Erase(ring.IteratorBegin()).AtEnd());
    EXPECT_EQ(ring.FirstBlock(), nullptr);
    EXPECT_EQ(ring.Count(), 0u);

    ring.Append(KUID(5, 6, 7));
    EXPECT_TRUE(ring.EraseUnordered(ring.IteratorBegin()).AtEnd());
    EXPECT_TRUE(ring.Empty());
}

}  // namespace
