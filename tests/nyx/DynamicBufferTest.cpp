#include "nyx/base/DynamicBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace {

using Nyx::DynamicBuffer;

std::string Bytes(const DynamicBuffer& b)
{
    return std::string(reinterpret_cast<const char*>(b.Data()), b.DataLength());
}

TEST(DynamicBufferTest, WriteAndReadBack)
{
    DynamicBuffer b;
    EXPECT_EQ(b.AllocatedSize(), 0u);
    char none[4];
    EXPECT_EQ(b.Read(none, 1, 4), 0u) << "nothing to read from an empty buffer";

    EXPECT_EQ(b.Write("abc", 1, 3), 3u);
    const int32_t values[2] = {0x01020304, -1};
    EXPECT_EQ(b.Write(values, 4, 2), 8u);
    EXPECT_EQ(b.Write("x", 1, 0), 0u);
    EXPECT_EQ(b.Position(), 11u);
    EXPECT_EQ(b.DataLength(), 11u);
    EXPECT_GE(b.AllocatedSize(), 11u);

    b.Seek(0);
    char text[3];
    int32_t back[2];
    EXPECT_EQ(b.Read(text, 1, 3), 3u);
    EXPECT_EQ(b.Read(back, 4, 2), 8u);
    EXPECT_EQ(std::string(text, 3), "abc");
    EXPECT_EQ(back[0], values[0]);
    EXPECT_EQ(back[1], values[1]);

    // Reads stop at the data length, not the allocation.
    b.Seek(9);
    char tail[16];
    EXPECT_EQ(b.Read(tail, 1, 16), 2u);
    EXPECT_EQ(b.Read(tail, 1, 1), 0u);

    // Overwriting in the middle keeps the length.
    b.Seek(1);
    b.Write("ZZ", 1, 2);
    EXPECT_EQ(b.DataLength(), 11u);
    EXPECT_EQ(Bytes(b).substr(0, 3), "aZZ");

    // Growing keeps what was written.
    std::string big(10000, 'q');
    b.Seek(b.DataLength());
    b.Write(big.data(), 1, static_cast<uint32_t>(big.size()));
    EXPECT_EQ(b.DataLength(), 10011u);
    EXPECT_EQ(Bytes(b).substr(0, 3), "aZZ");
    EXPECT_EQ(Bytes(b).substr(11), big);
}

TEST(DynamicBufferTest, SeekLengthAndAllocation)
{
    DynamicBuffer b(100);
    EXPECT_EQ(b.AllocatedSize(), 100u);
    b.Write("head", 1, 4);

    // The position never passes the allocation.
    b.Seek(1000);
    EXPECT_EQ(b.Position(), 100u);

    // A write past the data length leaves a zeroed gap.
    b.Seek(10);
    b.Write("T", 1, 1);
    EXPECT_EQ(b.DataLength(), 11u);
    EXPECT_EQ(Bytes(b), std::string("head\0\0\0\0\0\0T", 11));

    uint32_t before = b.AllocatedSize();
    b.AddLength(50);
    EXPECT_GE(b.AllocatedSize(), before + 50);
    EXPECT_EQ(Bytes(b), std::string("head\0\0\0\0\0\0T", 11));
    b.Reserve(10);
    EXPECT_GE(b.AllocatedSize(), before + 50) << "reserve never shrinks";

    b.SetDataLength(14);
    EXPECT_EQ(Bytes(b), std::string("head\0\0\0\0\0\0T\0\0\0", 14));
    EXPECT_EQ(b.Position(), 11u);
    b.SetDataLength(2);
    EXPECT_EQ(Bytes(b), "he");

    uint32_t alloc = b.AllocatedSize();
    b.Clean();
    EXPECT_EQ(b.Position(), 0u);
    EXPECT_EQ(b.DataLength(), 0u);
    EXPECT_EQ(b.AllocatedSize(), alloc);
}

TEST(DynamicBufferTest, OversizedWriteIsRefusedBeforeTouchingMemory)
{
    // size * count overflows 32 bits: the buffer must refuse rather than wrap.
    DynamicBuffer b(16);
    char byte = 0;
    EXPECT_THROW(b.Write(&byte, 0x10000, 0x10000), std::length_error);
    EXPECT_EQ(b.DataLength(), 0u);
    b.Seek(16);
    EXPECT_THROW(b.Write(&byte, 1, UINT32_MAX), std::length_error);
    EXPECT_EQ(b.Position(), 16u);
}

// Claim hands out room only where a write would append: with the position
// inside the data a write overwrites and must keep the bytes behind it, and
// room the allocation lacks would need a grow.
TEST(DynamicBufferTest, ClaimGivesRoomOnlyAtTheEndOfTheDataWithinTheAllocation)
{
    // n counts from the room left in the allocation when `fromRoom` is set.
    const struct {
        const char* name;
        uint32_t seekTo;
        int32_t n;
        bool fromRoom;
        bool given;
    } cases[] = {
        {"at the end", 6, 4, false, true},
        {"up to the allocation", 6, 0, true, true},
        {"past the allocation", 6, 1, true, false},
        {"inside the data", 2, 4, false, false},
        {"past the data", 8, 4, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DynamicBuffer b(16);
        b.Write("abcdef", 1, 6);
        const auto n = uint32_t(c.fromRoom ? int32_t(b.AllocatedSize() - 6) + c.n : c.n);
        b.Seek(c.seekTo);
        uint8_t* room = b.Claim(n);
        ASSERT_EQ(room != nullptr, c.given);
        if (!room) {
            EXPECT_EQ(b.Position(), c.seekTo);
            EXPECT_EQ(Bytes(b), "abcdef");
            continue;
        }
        std::memset(room, 'z', n);
        EXPECT_EQ(b.Position(), 6 + n);
        EXPECT_EQ(Bytes(b), "abcdef" + std::string(n, 'z'));
    }
}

}  // namespace
