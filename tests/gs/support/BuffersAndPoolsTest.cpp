// The byte buffer, the page allocator and the block pool.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "gs/support/BlockMemory.h"
#include "gs/support/ByteBuffer.h"
#include "gs/support/FrameMemory.h"
#include "gs/support/Queue.h"

using Utils::BlockMemory;
using Utils::ByteBuffer;
using Utils::FrameMemory;

TEST(ByteBufferTest, GrowsByTheGrowthStepPastWhatIsNeeded)
{
    ByteBuffer b;
    ASSERT_TRUE(b.Init(8));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b.Data()) % 4, 0u);
    b.WriteU32(0x04030201);
    b.WriteU32(5);
    EXPECT_EQ(b.Capacity(), 16u);  // 8 reached the capacity of 8: 8 + 8
    b.WriteU8(9);
    EXPECT_EQ(b.Capacity(), 16u);
    EXPECT_EQ(b.Size(), 9u);
    EXPECT_EQ(b.Data()[0], 1);
    EXPECT_EQ(b.Flags(), 0u);
}

TEST(ByteBufferTest, ALongRunOfWritesDoublesTheCapacity)
{
    ByteBuffer b;
    ASSERT_TRUE(b.Init(8));
    for (int i = 0; i < 1000; ++i)
        b.WriteU8(uint8_t(i));
    // 8, 16, 32, ... rather than a step of 8 at a time.
    EXPECT_EQ(b.Capacity(), 1024u);
    EXPECT_EQ(b.Size(), 1000u);
    EXPECT_EQ(b.Data()[999], uint8_t(999));
    // A write past twice the capacity takes what it needs and the step.
    b.WriteBytes(std::string(5000, 'x').data(), 5000);
    EXPECT_EQ(b.Capacity(), 6008u);
}

TEST(ByteBufferTest, ReadsAndSeeksStopAtTheUsedSize)
{
    ByteBuffer b;
    ASSERT_TRUE(b.Init(16));
    b.WriteU32(7);
    b.WriteU16(0x0201);
    ASSERT_TRUE(b.Seek(4));
    uint32_t v = 99;
    // Two bytes before the end: nothing read, the position kept.
    EXPECT_FALSE(b.ReadU32(v));
    EXPECT_EQ(v, 99u);
    EXPECT_EQ(b.Position(), 4u);
    EXPECT_EQ(b.Flags(), ByteBuffer::kPastEnd);
    EXPECT_FALSE(b.Seek(7));
    EXPECT_EQ(b.Position(), 4u);
    EXPECT_TRUE(b.Seek(6));  // the used size itself is a place to stand
    ASSERT_TRUE(b.Seek(0));
    EXPECT_TRUE(b.ReadU32(v));
    EXPECT_EQ(v, 7u);
}

TEST(ByteBufferTest, WithoutDataEveryWriteIsSkipped)
{
    ByteBuffer b;
    b.WriteU32(1);
    EXPECT_EQ(b.Flags(), ByteBuffer::kAllocFailed);
    EXPECT_EQ(b.Size(), 0u);
    b.Free();
    EXPECT_EQ(b.Flags(), 0u);
}

TEST(ByteBufferTest, WritesOverEarlierBytesOnlyInsideTheUsedSize)
{
    ByteBuffer b;
    ASSERT_TRUE(b.Init(16));
    b.WriteU32(0);
    b.WriteU32(0);
    const uint8_t word[4] = {1, 2, 3, 4};
    EXPECT_TRUE(b.WriteAt(4, word, 4));
    EXPECT_EQ(b.Position(), 8u);
    EXPECT_EQ(b.Data()[7], 4);
    // Reaching past the used size writes nothing and marks the buffer.
    EXPECT_FALSE(b.WriteAt(6, word, 4));
    EXPECT_EQ(b.Data()[6], 3);
    EXPECT_EQ(b.Flags(), ByteBuffer::kPastEnd);
    EXPECT_FALSE(b.WriteAt(UINT32_MAX, word, 4));
    EXPECT_EQ(b.Size(), 8u);
}

TEST(FrameMemoryTest, RequestsLargerThanAPageGetNothing)
{
    struct Case {
        uint32_t page, size, alignment;
        bool fits;
    };
    const Case cases[] = {
        {2048, 2048, 1, true}, {2048, 2049, 1, false}, {2048, 2045, 4, true}, {2048, 2046, 4, false},
        {256, 256, 1, true},   {256, 257, 1, false},   {256, 255, 2, true},   {256, 256, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.page << " " << c.size << " " << c.alignment);
        FrameMemory m;
        ASSERT_TRUE(m.StartPages(c.page));
        EXPECT_EQ(m.Alloc(c.size, c.alignment) != nullptr, c.fits);
    }
}

TEST(FrameMemoryTest, FillsPagesInTurnAndAligns)
{
    FrameMemory m;
    ASSERT_TRUE(m.StartPages(256));
    char* a = static_cast<char*>(m.Alloc(200, 1));
    char* b = static_cast<char*>(m.Alloc(100, 8));  // does not fit the rest of the first page
    ASSERT_TRUE(a && b);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 8, 0u);
    EXPECT_TRUE(b < a || b >= a + 200);
    EXPECT_EQ(m.Allocations(), 2u);
    EXPECT_EQ(m.BytesHandedOut(), 300u);
    EXPECT_STREQ(m.StrDup("name.gsl"), "name.gsl");
    EXPECT_EQ(m.StrDup(nullptr), nullptr);
    m.Reset();
    EXPECT_EQ(m.Alloc(1, 1), nullptr);
}

TEST(FrameMemoryTest, TextsLongerThanAPageGetAPageOfTheirOwn)
{
    FrameMemory m;
    ASSERT_TRUE(m.StartPages(256));
    const std::string lengths[] = {std::string(255, 'a'), std::string(256, 'b'), std::string(5000, 'c'), ""};
    std::vector<const char*> copies;
    for (const std::string& text : lengths) {
        const char* copy = m.CopyText(text);
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(std::string(copy), text);
        copies.push_back(copy);
    }
    // Page allocation goes on in the ordinary pages after a long text.
    void* small = m.Alloc(16, 4);
    ASSERT_NE(small, nullptr);
    std::memset(small, 0xFF, 16);
    EXPECT_EQ(std::string(copies[2]), lengths[2]);
    EXPECT_EQ(m.StrDup(lengths[2].c_str()), nullptr);  // StrDup keeps to a page

    m.Reset();
    EXPECT_EQ(m.CopyText("x"), nullptr);  // no page at all
}

TEST(QueueTest, GrowsByItsStepAndKeepsTheOrder)
{
    Utils::Queue<int> q(4);
    EXPECT_EQ(q.Capacity(), 0u);
    int v = -1;
    EXPECT_FALSE(q.Pop(v));
    // Wrap the ring before it grows, so the growth has to move entries.
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(q.Push(i));
    ASSERT_TRUE(q.Pop(v));
    EXPECT_EQ(v, 0);
    for (int i = 3; i < 11; ++i)
        ASSERT_TRUE(q.Push(i));
    EXPECT_EQ(q.Capacity(), 12u);
    EXPECT_EQ(q.Count(), 10u);
    EXPECT_EQ(q.At(0), 1);
    for (int expected = 1; expected < 11; ++expected) {
        ASSERT_TRUE(q.Pop(v));
        EXPECT_EQ(v, expected);
    }
    EXPECT_FALSE(q.Pop(v));
    EXPECT_EQ(q.Count(), 0u);
}

TEST(BlockMemoryTest, RoundsItsSizesUp)
{
    BlockMemory pool;
    ASSERT_TRUE(pool.Init(10, 40, 0));
    EXPECT_EQ(pool.BlockSize(), 12u);
    EXPECT_EQ(pool.BlocksPerChunk(), 64u);
    EXPECT_EQ(pool.BitmapWords(), 2u);
}

TEST(BlockMemoryTest, TakesBlocksInAddressOrder)
{
    BlockMemory pool;
    ASSERT_TRUE(pool.Init(4, 64, 0));
    std::vector<uint8_t*> blocks;
    for (int i = 0; i < 64; ++i)
        blocks.push_back(static_cast<uint8_t*>(pool.Alloc()));
    // Across the bitmap words too: blocks 0..63 in order.
    for (int i = 1; i < 64; ++i)
        EXPECT_EQ(blocks[i] - blocks[i - 1], 4) << i;
    EXPECT_EQ(pool.ChunkCount(), 1u);
    EXPECT_NE(pool.Alloc(), nullptr);  // a full chunk makes another
    EXPECT_EQ(pool.ChunkCount(), 2u);
}

TEST(BlockMemoryTest, TheLowestFreedBlockIsTakenFirstAgain)
{
    BlockMemory pool;
    ASSERT_TRUE(pool.Init(4, 96, 0));
    std::vector<void*> blocks;
    for (int i = 0; i < 40; ++i)  // word 0, then 8 blocks of word 1
        blocks.push_back(pool.Alloc());
    ASSERT_TRUE(pool.Free(blocks[35]));  // word 1
    ASSERT_TRUE(pool.Free(blocks[5]));   // word 0
    EXPECT_EQ(pool.Alloc(), blocks[5]);
    EXPECT_EQ(pool.Alloc(), blocks[35]);
    EXPECT_EQ(static_cast<uint8_t*>(pool.Alloc()) - static_cast<uint8_t*>(blocks[0]), 40 * 4);
    pool.MarkAllFree();
    EXPECT_EQ(pool.Alloc(), blocks[0]);
}

TEST(BlockMemoryTest, FreeRefusesFreeBlocksAndForeignAddresses)
{
    BlockMemory pool;
    ASSERT_TRUE(pool.Init(8, 32, 0));
    auto* a = static_cast<uint8_t*>(pool.Alloc());
    auto* b = static_cast<uint8_t*>(pool.Alloc());
    int outside = 0;
    EXPECT_TRUE(pool.Free(a));
    EXPECT_FALSE(pool.Free(a));
    EXPECT_FALSE(pool.Free(&outside));
    EXPECT_FALSE(pool.Free(b + 1));  // not the start of a block
    EXPECT_EQ(pool.InUse(), 1u);
}

TEST(BlockMemoryTest, EmptyChunksGoOnlyBeyondTheReserve)
{
    struct Case {
        uint32_t reserve;
        uint32_t chunksLeft;
    };
    for (Case c : {Case{0, 1}, Case{1, 2}}) {
        SCOPED_TRACE(c.reserve);
        BlockMemory pool;
        ASSERT_TRUE(pool.Init(4, 32, c.reserve));
        std::vector<void*> blocks;
        for (int i = 0; i < 33; ++i)
            blocks.push_back(pool.Alloc());
        ASSERT_EQ(pool.ChunkCount(), 2u);
        // Emptying the second chunk leaves one free block in the first.
        EXPECT_TRUE(pool.Free(blocks[0]));
        EXPECT_TRUE(pool.Free(blocks[32]));
        EXPECT_EQ(pool.ChunkCount(), c.chunksLeft);
        pool.Shrink();
        EXPECT_EQ(pool.ChunkCount(), 1u);
        EXPECT_EQ(pool.InUse(), 0u);
    }
}
