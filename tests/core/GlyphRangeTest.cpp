#include "core/GlyphRange.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>

namespace {

constexpr uint32_t kDefault = 0xFFFFFFFFu;

TEST(GlyphRangeTest, CodesOfAListOfTwoRanges)
{
    const GlyphRange ranges[] = {{0, 0x20, 0x7E}, {95, 0xA0, 0xFF}};
    struct Row {
        uint32_t code;
        uint32_t slot;
    };
    const Row rows[] = {
        {0x41, 33},       {0x20, 0},        {0x7E, 94},       {0xA0, 95},
        {0xFF, 190},      {0x1F, kDefault}, {0x80, kDefault}, {0x9F, kDefault},
        {0x100, kDefault},
        {0x2013, 13},  // an en dash is looked up as "-"
        {0x10000, kDefault},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << row.code);
        EXPECT_EQ(CodeTableLookup(row.code, ranges, 2, kDefault), row.slot);
    }
    // The question-mark lookup passes 0 as its default.
    EXPECT_EQ(CodeTableLookup(0x80, ranges, 2, 0), 0u);
}

TEST(GlyphRangeTest, EmptyNegativeAndOutOfRangeListsGiveTheDefault)
{
    const GlyphRange everything[] = {{0, 0, 0xFFFFFFFFu}};
    const GlyphRange dashes[] = {{7, 0x2000, 0x206F}};
    struct Row {
        const char* what;
        uint32_t code;
        const GlyphRange* ranges;
        int32_t count;
        uint32_t slot;
    };
    const Row rows[] = {
        {"empty list", 0x41, everything, 0, kDefault},
        {"no list at all", 0x41, nullptr, 0, kDefault},
        {"count -1", 0x41, everything, -1, kDefault},
        {"most negative count", 0x41, everything, INT32_MIN, kDefault},
        {"above 0xFFFF though covered", 0x10000, everything, 1, kDefault},
        {"0xFFFF still looked up", 0xFFFF, everything, 1, 0xFFFF},
        {"en dash replaced before the search", 0x2013, dashes, 1, kDefault},
        {"other dashes kept", 0x2014, dashes, 1, 7 + 0x14},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(CodeTableLookup(row.code, row.ranges, row.count, kDefault), row.slot);
    }
}

TEST(GlyphRangeTest, BinarySearchFindsEveryRangeAndNoGap)
{
    // Slots need not follow the code order; the last range's slot
    // arithmetic wraps around 2^32.
    const GlyphRange ranges[] = {
        {0, 0x20, 0x20},        {1, 0x30, 0x39},       {100, 0x41, 0x5A},   {11, 0x61, 0x7A},
        {40, 0x100, 0x17F},     {500, 0x391, 0x3A9},   {900, 0x4000, 0x4FFF},
        {0xFFFFFFFEu, 0xF000, 0xF0FF},
    };
    const int32_t count = static_cast<int32_t>(std::size(ranges));
    for (int32_t n = 1; n <= count; ++n) {
        for (int32_t i = 0; i < count; ++i) {
            const GlyphRange& r = ranges[i];
            SCOPED_TRACE(testing::Message() << n << " ranges, range " << i);
            EXPECT_EQ(CodeTableLookup(r.firstCode, ranges, n, kDefault), i < n ? r.firstSlot : kDefault);
            EXPECT_EQ(CodeTableLookup(r.lastCode, ranges, n, kDefault),
                      i < n ? r.firstSlot + (r.lastCode - r.firstCode) : kDefault);
            EXPECT_EQ(CodeTableLookup(r.firstCode - 1, ranges, n, kDefault), kDefault);
            EXPECT_EQ(CodeTableLookup(r.lastCode + 1, ranges, n, kDefault), kDefault);
        }
    }
    EXPECT_EQ(CodeTableLookup(0xF001, ranges, count, kDefault), 0xFFFFFFFFu);
    EXPECT_EQ(CodeTableLookup(0xF002, ranges, count, kDefault), 0u);
    EXPECT_EQ(CodeTableLookup(0xF0FF, ranges, count, kDefault), 0xFDu);
}

}  // namespace
