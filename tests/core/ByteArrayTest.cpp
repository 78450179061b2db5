#include "core/streams/ByteArray.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <utility>

namespace {

TEST(ByteArrayTest, AppendGrowsInSteps)
{
    ByteArray a;
    EXPECT_EQ(a.Capacity(), 0u);
    struct Step {
        uint32_t count, capacity;
    };
    const Step steps[] = {{1, 128}, {128, 128}, {129, 256}, {256, 256}, {257, 384}, {1000, 1024}};
    uint32_t n = 0;
    for (const Step& s : steps) {
        while (n < s.count)
            a.Append(uint8_t(n++ * 7));
        EXPECT_EQ(a.Count(), s.count);
        EXPECT_EQ(a.Capacity(), s.capacity) << "count " << s.count;
    }
    for (uint32_t i = 0; i < n; ++i)
        ASSERT_EQ(a[i], uint8_t(i * 7)) << "byte " << i;
}

TEST(ByteArrayTest, ResizeRoundsUpKeepsBytesAndZeroesNewOnes)
{
    ByteArray a;
    for (uint8_t b : {1, 2, 3})
        a.Append(b);
    struct Step {
        uint32_t size, capacity;
    };
    const Step steps[] = {{300, 384}, {384, 384}, {385, 512}, {2, 512}, {200, 512}, {0, 512}};
    for (const Step& s : steps) {
        a.Resize(s.size);
        EXPECT_EQ(a.Count(), s.size);
        EXPECT_EQ(a.Capacity(), s.capacity) << "size " << s.size;
    }
    a.Resize(3);
    EXPECT_EQ(a[0], 0);  // shrunk to 0 before: nothing old is resurrected

    ByteArray b;
    for (uint8_t v : {9, 8, 7})
        b.Append(v);
    b.Resize(200);
    EXPECT_EQ(b[0], 9);
    EXPECT_EQ(b[2], 7);
    for (uint32_t i = 3; i < 200; ++i)
        ASSERT_EQ(b[i], 0) << "byte " << i;
    b.Resize(1);
    b.Resize(4);
    EXPECT_EQ(b[0], 9);
    EXPECT_EQ(b[1], 0);

    ByteArray c(std::move(b));
    EXPECT_EQ(b.Count(), 0u);
    EXPECT_EQ(b.Data(), nullptr);
    EXPECT_EQ(c.Count(), 4u);
}

TEST(ByteArrayTest, ResizeBeyond32BitsThrows)
{
    ByteArray a;
    EXPECT_THROW(a.Resize(UINT32_MAX), std::length_error);
    EXPECT_EQ(a.Count(), 0u);
}

}  // namespace
