#include "core/streams/LittleEndian.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace {

// Each value with the bytes it is stored as. Every byte of 0x80 and above
// would sign-extend through a char, and a high top byte shifted as an int
// overflows.
struct Case {
    int width;
    uint64_t value;
    std::vector<uint8_t> bytes;
};

const Case kCases[] = {
    {2, 0x8001, {0x01, 0x80}},
    {2, 0xFFFF, {0xFF, 0xFF}},
    {4, 0x80FF7F01, {0x01, 0x7F, 0xFF, 0x80}},
    {4, 0xFFFFFFFE, {0xFE, 0xFF, 0xFF, 0xFF}},
    {8, 0x8877665544332211, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}},
    {8, 0x00000000FFFFFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}},
};

uint64_t Load(int width, const uint8_t* p)
{
    return width == 2 ? LoadLE16(p) : width == 4 ? LoadLE32(p) : LoadLE64(p);
}

void Store(int width, uint8_t* p, uint64_t v)
{
    if (width == 2)
        StoreLE16(p, static_cast<uint16_t>(v));
    else if (width == 4)
        StoreLE32(p, static_cast<uint32_t>(v));
    else
        StoreLE64(p, v);
}

TEST(LittleEndianTest, StoresExactlyItsBytesAndLoadsThemBackAtEveryAlignment)
{
    for (const Case& c : kCases) {
        for (size_t at = 0; at < 8; ++at) {
            SCOPED_TRACE(testing::Message() << "width " << c.width << " value " << std::hex << c.value << " at "
                                            << at);
            std::array<uint8_t, 24> buffer;
            buffer.fill(0xAA);
            Store(c.width, buffer.data() + at, c.value);
            std::vector<uint8_t> expected(buffer.size(), 0xAA);
            std::copy(c.bytes.begin(), c.bytes.end(), expected.begin() + at);
            EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.end()), expected);
            EXPECT_EQ(Load(c.width, buffer.data() + at), c.value);
        }
    }
}

TEST(LittleEndianTest, SignedValuesKeepEveryBit)
{
    uint8_t b[8];
    StoreLE16(b, static_cast<uint16_t>(int16_t{-2}));
    EXPECT_EQ(static_cast<int16_t>(LoadLE16(b)), -2);
    StoreLE32(b, static_cast<uint32_t>(INT32_MIN));
    EXPECT_EQ(static_cast<int32_t>(LoadLE32(b)), INT32_MIN);
    StoreLE64(b, static_cast<uint64_t>(int64_t{-3}));
    EXPECT_EQ(static_cast<int64_t>(LoadLE64(b)), -3);
    // A 16-bit load is not widened with its sign.
    EXPECT_EQ(uint32_t{LoadLE16(b)}, 0xFFFDu);
}

}  // namespace
