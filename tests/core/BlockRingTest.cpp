#include "core/containers/BlockRing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

// Four entries a block keep block boundaries within reach of small tables.
using Ring4 = BlockRing<uint32_t, 4>;
using FirstFit4 = BlockRing<uint32_t, 4, BlockRingFirstFitTraits>;

template <class R>
std::vector<uint32_t> Contents(const R& ring)
{
    std::vector<uint32_t> out;
    for (uint32_t v : ring)
        out.push_back(v);
    return out;
}

// Block counts in ring order, checking the links on the way.
template <class R>
std::vector<uint32_t> Layout(const R& ring)
{
    std::vector<uint32_t> out;
    const auto* first = ring.FirstBlock();
    if (!first)
        return out;
    const auto* b = first;
    do {
        EXPECT_EQ(b->next->prev, b);
        EXPECT_GT(b->count, 0u) << "empty block left in the ring";
        EXPECT_LE(b->count, R::kEntriesPerBlock);
        out.push_back(b->count);
        b = b->next;
    } while (b != first && out.size() < 100000);
    return out;
}

// Block k holds 100*k, 100*k+1, ... up to its count in the layout.
void Build(Ring4& ring, const std::vector<uint32_t>& layout)
{
    for (uint32_t k = 0; k < layout.size(); ++k)
        for (uint32_t j = 0; j < Ring4::kEntriesPerBlock; ++j)
            ring.Append(100 * k + j);
    for (auto it = ring.IteratorBegin(); !it.AtEnd();) {
        if (*it % 100 >= layout[*it / 100])
            it = ring.Erase(it);
        else
            ++it;
    }
}

constexpr int64_t kEnd = -1;

int64_t ValueAt(const Ring4::Iterator& it)
{
    return it.AtEnd() ? kEnd : int64_t(*it);
}

TEST(BlockRingTest, AppendFillsTheLastBlockThenAddsOne)
{
    Ring4 ring;
    EXPECT_TRUE(ring.Empty());
    EXPECT_EQ(ring.Count(), 0u);
    EXPECT_TRUE(ring.IteratorBegin().AtEnd());
    for (uint32_t i = 0; i < 9; ++i)
        ring.Append(i);
    EXPECT_EQ(Layout(ring), (std::vector<uint32_t>{4, 4, 1}));
    EXPECT_EQ(ring.Count(), 9u);
    EXPECT_EQ(Contents(ring), (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(ring.FirstBlock()->prev->count, 1u);
}

TEST(BlockRingTest, EraseGivesTheFollowingEntry)
{
    struct Case {
        const char* name;
        std::vector<uint32_t> layout;
        int64_t index;
        int64_t next;  // value at the returned position, or kEnd
        std::vector<uint32_t> after;
    };
    const Case cases[] = {
        {"middle of a block", {4}, 1, 2, {3}},
        {"last of the only block", {4}, 3, kEnd, {3}},
        {"last of a non-last block", {4, 4}, 3, 100, {3, 4}},
        {"last of a partly filled block", {2, 3}, 1, 100, {1, 3}},
        {"only entry of the last block", {4, 1}, 4, kEnd, {4}},
        {"only entry of a middle block", {4, 1, 4}, 4, 200, {4, 4}},
        {"only entry of the first block", {1, 4}, 0, 100, {4}},
        {"only entry of the ring", {1}, 0, kEnd, {}},
        {"first of a later block", {4, 3}, 4, 101, {4, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Ring4 ring;
        Build(ring, c.layout);
        std::vector<uint32_t> expected = Contents(ring);
        expected.erase(expected.begin() + c.index);

        Ring4::Iterator next = ring.Erase(ring.IteratorAt(c.index));
        EXPECT_EQ(ValueAt(next), c.next);
        EXPECT_EQ(Layout(ring), c.after);
        EXPECT_EQ(Contents(ring), expected);
        if (!next.AtEnd()) {
            // The position carries the ring's current first block, so it
            // keeps walking correctly after the first block was freed.
            EXPECT_EQ(next.First(), ring.FirstBlock());
            Ring4::Iterator again = ring.IteratorAt(c.index);
            EXPECT_EQ(next, again);
        }
        EXPECT_EQ(ring.Empty(), c.after.empty());
    }
}

TEST(BlockRingTest, EraseUnorderedFillsTheSlotFromItsBlock)
{
    struct Case {
        const char* name;
        std::vector<uint32_t> layout;
        int64_t index;
        int64_t next;
        std::vector<uint32_t> contents;
    };
    const Case cases[] = {
        {"first of a full block", {4, 2}, 0, 3, {3, 1, 2, 100, 101}},
        {"last of a block", {4, 2}, 3, 100, {0, 1, 2, 100, 101}},
        {"only entry of the first block", {1, 3}, 0, 100, {100, 101, 102}},
        {"only entry of the last block", {4, 1}, 4, kEnd, {0, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Ring4 ring;
        Build(ring, c.layout);
        Ring4::Iterator next = ring.EraseUnordered(ring.IteratorAt(c.index));
        EXPECT_EQ(ValueAt(next), c.next);
        EXPECT_EQ(Contents(ring), c.contents);
        Layout(ring);
    }
}

TEST(BlockRingTest, EraseAtTheEndIsHarmless)
{
    Ring4 ring;
    EXPECT_TRUE(ring.Erase(ring.IteratorBegin()).AtEnd());
    EXPECT_TRUE(ring.EraseUnordered(ring.end()).AtEnd());
    ring.Append(7);
    EXPECT_TRUE(ring.Erase(ring.end()).AtEnd());
    EXPECT_EQ(ring.Count(), 1u);
}

TEST(BlockRingTest, AdvanceCrossesBlocksBothWays)
{
    Ring4 ring;
    Build(ring, {4, 1, 4});
    const std::vector<uint32_t> flat = Contents(ring);
    ASSERT_EQ(flat.size(), 9u);
    struct Case {
        int64_t from;
        int64_t n;
        int64_t to;  // flat index, or kEnd
    };
    const Case cases[] = {
        {0, 0, 0},
        {0, 3, 3},
        {0, 4, 4},
        {3, 1, 4},
        {0, 5, 5},
        {2, 6, 8},
        {0, 9, kEnd},
        {8, 1, kEnd},
        {0, 1000000, kEnd},
        {2, INT64_MAX, kEnd},
        {4, -1, 3},  // first entry of a later block back to the last of the one before
        {5, -1, 4},
        {5, -2, 3},
        {5, -5, 0},
        {8, -8, 0},
        {8, -9, kEnd},
        {0, -1, kEnd},
        {3, -4, kEnd},
        {4, -5, kEnd},
        {2, INT64_MIN, kEnd},
        {7, -1000000, kEnd},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "from " << c.from << " by " << c.n);
        Ring4::Iterator it = ring.IteratorAt(c.from);
        Ring4::IteratorAdvance(it, c.n);
        EXPECT_EQ(ValueAt(it), c.to == kEnd ? kEnd : int64_t(flat[c.to]));
        if (c.from == 0) {
            EXPECT_EQ(ring.IteratorAt(c.n), it);
        }
    }

    Ring4::Iterator end = ring.end();
    Ring4::IteratorAdvance(end, -1);
    EXPECT_TRUE(end.AtEnd());
}

TEST(BlockRingTest, NextAndPostIncrementWalkTheRingOnce)
{
    Ring4 ring;
    Build(ring, {2, 4, 1});
    Ring4::Iterator it = ring.IteratorBegin();
    Ring4::Iterator old = it++;
    EXPECT_EQ(*old, 0u);
    EXPECT_EQ(*it, 1u);
    std::vector<uint32_t> seen;
    for (; !it.AtEnd(); Ring4::IteratorNext(it))
        seen.push_back(*it);
    EXPECT_EQ(seen, (std::vector<uint32_t>{1, 100, 101, 102, 103, 200}));
    Ring4::IteratorNext(it);
    EXPECT_TRUE(it.AtEnd());
}

TEST(BlockRingTest, IteratorsSurviveAppends)
{
    Ring4 ring;
    for (uint32_t i = 0; i < 6; ++i)
        ring.Append(i);
    Ring4::Iterator mid = ring.IteratorAt(5);
    Ring4::Iterator last = ring.IteratorAt(5);
    const auto* first = ring.FirstBlock();
    const uint32_t* entry = mid.Entry();
    for (uint32_t i = 6; i < 200; ++i)
        ring.Append(i);
    EXPECT_EQ(ring.FirstBlock(), first);
    EXPECT_EQ(mid.Entry(), entry);
    EXPECT_EQ(*mid, 5u);
    Ring4::IteratorAdvance(mid, 100);
    EXPECT_EQ(*mid, 105u);
    ++last;  // the former last entry now has successors
    EXPECT_EQ(*last, 6u);
}

TEST(BlockRingTest, FindGivesTheFirstEqualEntry)
{
    Ring4 ring;
    EXPECT_TRUE(ring.Find(3).AtEnd());
    for (uint32_t v : {5u, 9u, 3u, 7u, 1u, 3u, 8u})
        ring.Append(v);
    Ring4::Iterator it = ring.Find(3);
    EXPECT_EQ(it, ring.IteratorAt(2));
    it = ring.Find(8);
    EXPECT_EQ(it.BlockOf(), ring.FirstBlock()->next);
    EXPECT_EQ(it.IndexInBlock(), 2u);
    const Ring4& cring = ring;
    EXPECT_TRUE(cring.Find(4).AtEnd());
}

TEST(BlockRingTest, ClearAndMoveReleaseBlocks)
{
    Ring4 a;
    for (uint32_t i = 0; i < 10; ++i)
        a.Append(i);
    Ring4 b(std::move(a));
    EXPECT_TRUE(a.Empty());
    EXPECT_EQ(b.Count(), 10u);
    Ring4 c;
    c.Append(1);
    c = std::move(b);  // c's own block must be freed, not leaked
    EXPECT_EQ(Contents(c), (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    c.Clear();
    EXPECT_TRUE(c.Empty());
    c.Append(4);
    EXPECT_EQ(Contents(c), std::vector<uint32_t>{4});
}

TEST(BlockRingTest, SmallPointerRingRefillsEarlierBlocksFirst)
{
    int objs[12] = {};
    SmallPointerRing<int*> small;
    PointerBlockRing<int*> plain;
    for (int i = 0; i < 9; ++i) {
        small.Append(&objs[i]);
        plain.Append(&objs[i]);
    }
    EXPECT_EQ(Layout(small), (std::vector<uint32_t>{4, 4, 1}));

    small.Erase(small.IteratorAt(1));
    small.Append(&objs[9]);
    EXPECT_EQ(Layout(small), (std::vector<uint32_t>{4, 4, 1}));
    EXPECT_EQ(*small.IteratorAt(3), &objs[9]);
    small.Erase(small.IteratorAt(5));
    small.Append(&objs[10]);  // the hole in block two comes before the last block
    EXPECT_EQ(Layout(small), (std::vector<uint32_t>{4, 4, 1}));
    EXPECT_EQ(*small.IteratorAt(7), &objs[10]);
    small.Append(&objs[11]);
    EXPECT_EQ(Layout(small), (std::vector<uint32_t>{4, 4, 2}));

    // The ordinary ring only ever appends behind its last entry.
    plain.Erase(plain.IteratorAt(1));
    plain.Append(&objs[9]);
    EXPECT_EQ(Layout(plain), std::vector<uint32_t>{9});
    EXPECT_EQ(*plain.IteratorAt(8), &objs[9]);
}

TEST(BlockRingTest, JobRecordBlocksStartZeroed)
{
    struct Job {
        uint32_t a, b, c, d, e;
    };
    JobRecordRing<Job> ring;
    ring.Append(Job{1, 2, 3, 4, 5});
    const auto* block = ring.FirstBlock();
    EXPECT_EQ(block->entries[0].e, 5u);
    for (uint32_t i = 1; i < JobRecordRing<Job>::kEntriesPerBlock; ++i) {
        const Job& j = block->entries[i];
        EXPECT_EQ(j.a | j.b | j.c | j.d | j.e, 0u) << "slot " << i;
    }
}

struct Owned {
    virtual ~Owned() = default;
};

struct Tracked : Owned {
    Tracked(int id, std::vector<int>& log, const PointerBlockRing<Owned*>& ring)
        : id(id), log(log), ring(ring)
    {
    }
    ~Tracked() override
    {
        // A destructor that looks at the ring it is being deleted from sees
        // it empty rather than a half-freed chain.
        log.push_back(ring.Empty() ? id : -1);
    }
    int id;
    std::vector<int>& log;
    const PointerBlockRing<Owned*>& ring;
};

TEST(BlockRingTest, DeleteAllDeletesInRingOrderAndEmpties)
{
    std::vector<int> log;
    PointerBlockRing<Owned*> ring;
    for (int i = 0; i < 30; ++i)
        ring.Append(new Tracked(i, log, ring));
    ring.Append(nullptr);
    ring.DeleteAll();
    EXPECT_TRUE(ring.Empty());
    std::vector<int> expected;
    for (int i = 0; i < 30; ++i)
        expected.push_back(i);
    EXPECT_EQ(log, expected);

    ring.DeleteAll();  // nothing left, nothing happens
    EXPECT_EQ(log.size(), 30u);
}

// Reference model: the blocks as vectors, with the placement rules of the
// ring, checked against the real chain after every step.
template <class R, bool FirstFit>
void RunDifferential(uint32_t seed)
{
    constexpr uint32_t N = R::kEntriesPerBlock;
    std::mt19937 rng(seed);
    R ring;
    std::vector<std::vector<uint32_t>> model;
    auto flat = [&] {
        std::vector<uint32_t> f;
        for (auto& b : model)
            f.insert(f.end(), b.begin(), b.end());
        return f;
    };
    auto locate = [&](size_t i) {
        size_t b = 0;
        while (i >= model[b].size())
            i -= model[b++].size();
        return std::pair<size_t, size_t>(b, i);
    };

    int emptied = 0;
    for (int step = 0; step < 6000; ++step) {
        const std::vector<uint32_t> before = flat();
        const size_t size = before.size();
        // Growing and draining phases take the ring up to a few dozen
        // entries and back down to empty, over and over.
        bool draining = (step / 200) % 2 == 1;
        bool append = rng() % 100 < (draining ? 15u : 55u);
        uint32_t op = rng() % 100;
        if (size == 0)
            ++emptied;
        if (size == 0 || append) {
            uint32_t v = rng() % 64;
            ring.Append(v);
            size_t target = model.size();
            if (FirstFit) {
                for (size_t b = 0; b < model.size(); ++b)
                    if (model[b].size() < N) {
                        target = b;
                        break;
                    }
            } else if (!model.empty() && model.back().size() < N) {
                target = model.size() - 1;
            }
            if (target == model.size())
                model.emplace_back();
            model[target].push_back(v);
        } else if (op < 45) {
            size_t i = rng() % size;
            auto next = ring.Erase(ring.IteratorAt(int64_t(i)));
            auto [b, j] = locate(i);
            model[b].erase(model[b].begin() + j);
            if (model[b].empty())
                model.erase(model.begin() + b);
            if (i + 1 < size)
                ASSERT_EQ(*next, before[i + 1]) << "step " << step;
            else
                ASSERT_TRUE(next.AtEnd()) << "step " << step;
        } else if (op < 60) {
            size_t i = rng() % size;
            ring.EraseUnordered(ring.IteratorAt(int64_t(i)));
            auto [b, j] = locate(i);
            model[b][j] = model[b].back();
            model[b].pop_back();
            if (model[b].empty())
                model.erase(model.begin() + b);
        } else if (op < 90) {
            int64_t from = rng() % size;
            int64_t n = int64_t(rng() % (2 * size + 7)) - int64_t(size) - 3;
            auto it = ring.IteratorAt(from);
            R::IteratorAdvance(it, n);
            int64_t to = from + n;
            if (to < 0 || to >= int64_t(size))
                ASSERT_TRUE(it.AtEnd()) << "step " << step << " from " << from << " by " << n;
            else
                ASSERT_EQ(*it, before[to]) << "step " << step << " from " << from << " by " << n;
        } else {
            uint32_t v = rng() % 64;
            auto it = ring.Find(v);
            auto pos = std::find(before.begin(), before.end(), v);
            if (pos == before.end())
                ASSERT_TRUE(it.AtEnd());
            else
                ASSERT_EQ(it, ring.IteratorAt(pos - before.begin()));
        }
        std::vector<uint32_t> layout;
        for (auto& b : model)
            layout.push_back(uint32_t(b.size()));
        ASSERT_EQ(Layout(ring), layout) << "step " << step;
        ASSERT_EQ(Contents(ring), flat()) << "step " << step;
        ASSERT_EQ(ring.Count(), uint32_t(flat().size()));
    }
    EXPECT_GT(emptied, 10);
}

TEST(BlockRingTest, MatchesABlockModelOnRandomSequences)
{
    RunDifferential<Ring4, false>(20240611);
    RunDifferential<FirstFit4, true>(77);
    RunDifferential<BlockRing<uint32_t, 1>, false>(5);
}

}  // namespace
