#include "core/text/GlyphRange.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>

namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;

TEST(GlyphRangeTest, Lookups)
{
    const GlyphRange latin[] = {{0, 0x20, 0x7E}, {95, 0xA0, 0xFF}};
    const GlyphRange all[] = {{0, 0, 0xFFFFFFFFu}};
    const GlyphRange dashes[] = {{7, 0x2000, 0x206F}};
    struct Row {
        uint32_t code;
        const GlyphRange* ranges;
        int32_t count;
        uint32_t slot;
    };
    const Row rows[] = {
        {0x41, latin, 2, 33},     {0x20, latin, 2, 0},      {0x7E, latin, 2, 94},
        {0xA0, latin, 2, 95},     {0xFF, latin, 2, 190},    {0x1F, latin, 2, kNone},
        {0x80, latin, 2, kNone},  {0x100, latin, 2, kNone},
        {0x2013, latin, 2, 13},   // an en dash is looked up as "-"
        {0x2013, dashes, 1, kNone},
        {0x2014, dashes, 1, 7 + 0x14},
        {0x10000, latin, 2, kNone}, {0x10000, all, 1, kNone}, {0xFFFF, all, 1, 0xFFFF},
        {0x41, all, 0, kNone},    {0x41, nullptr, 0, kNone},
        {0x41, all, -1, kNone},   {0x41, all, INT32_MIN, kNone},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << row.code << ", count " << std::dec << row.count);
        EXPECT_EQ(CodeTableLookup(row.code, row.ranges, row.count, kNone), row.slot);
    }
    // The question-mark lookup passes 0 as its default.
    EXPECT_EQ(CodeTableLookup(0x80, latin, 2, 0), 0u);
}

TEST(GlyphRangeTest, BinarySearchFindsEveryRangeAndNoGap)
{
    // Slots need not follow the code order; the last range's slots wrap
    // around 2^32.
    const GlyphRange ranges[] = {
        {0, 0x20, 0x20},    {1, 0x30, 0x39},     {100, 0x41, 0x5A},    {11, 0x61, 0x7A},
        {40, 0x100, 0x17F}, {500, 0x391, 0x3A9}, {900, 0x4000, 0x4FFF}, {0xFFFFFFFEu, 0xF000, 0xF0FF},
    };
    const int32_t count = static_cast<int32_t>(std::size(ranges));
    for (int32_t n = 1; n <= count; ++n) {
        for (int32_t i = 0; i < count; ++i) {
            SCOPED_TRACE(testing::Message() << n << " ranges, range " << i);
            const GlyphRange& r = ranges[i];
            EXPECT_EQ(CodeTableLookup(r.firstCode, ranges, n, kNone), i < n ? r.firstSlot : kNone);
            EXPECT_EQ(CodeTableLookup(r.lastCode, ranges, n, kNone), i < n ? r.firstSlot + (r.lastCode - r.firstCode) : kNone);
            EXPECT_EQ(CodeTableLookup(r.firstCode - 1, ranges, n, kNone), kNone);
            EXPECT_EQ(CodeTableLookup(r.lastCode + 1, ranges, n, kNone), kNone);
        }
    }
    EXPECT_EQ(CodeTableLookup(0xF002, ranges, count, kNone), 0u);
}

}  // namespace
