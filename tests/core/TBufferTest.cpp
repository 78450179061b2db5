#include <gtest/gtest.h>

#include "core/StreamTestSupport.h"
#include "core/streams/TStream.h"

using namespace streamtest;

namespace {

TEST(TBuffer, SeekOrigins)
{
    struct Case {
        const char* name;
        uint32_t start;  // logical position before the seek
        int64_t offset;
        int origin;
        uint32_t expected;
    };
    // 10 bytes of data in an allocation of 64.
    const Case cases[] = {
        {"from start", 3, 7, TStream::kFromStart, 7},
        {"from current", 3, 4, TStream::kFromCurrent, 7},
        {"from current backwards", 5, -2, TStream::kFromCurrent, 3},
        {"from end counts backwards", 0, 4, TStream::kFromEnd, 6},
        {"from end by 0", 0, 0, TStream::kFromEnd, 10},
        {"before the start stops at 0", 3, -9, TStream::kFromCurrent, 0},
        {"cut to the allocated size", 0, 1000, TStream::kFromStart, 64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto* buf = new Nyx::DynamicBuffer(64);
        TBuffer s(buf, true);
        s.WriteBytes(Pattern(10).data(), 10);
        s.SetPosition(c.start);
        uint8_t b;
        s.ReadBytes(&b, 1);  // leaves read-ahead bytes unread
        s.SetPosition(c.start);
        ASSERT_EQ(buf->AllocatedSize(), 64u);
        s.SeekRaw(c.offset, c.origin);
        EXPECT_EQ(buf->Position(), c.expected);
    }
}

TEST(TBuffer, EndOfStreamAndSize)
{
    TBuffer s;
    EXPECT_TRUE(s.IsEOF());
    EXPECT_EQ(s.GetSize(), 0u);
    s.WriteBytes(Pattern(10).data(), 10);
    EXPECT_TRUE(s.IsEOF());
    s.Rewind();
    EXPECT_FALSE(s.IsEOF());
    uint8_t b[9];
    s.ReadBytes(b, 9);
    // The whole buffer sits in the read-ahead now; one byte is still unread.
    EXPECT_FALSE(s.IsEOF());
    EXPECT_EQ(s.GetSize(), 10u);
    EXPECT_EQ(s.Tell(), 9u);
    s.ReadBytes(b, 1);
    EXPECT_TRUE(s.IsEOF());
    s.Reset();
    EXPECT_EQ(s.Tell(), 0u);
    EXPECT_EQ(s.GetSize(), 0u);
}

TEST(TBuffer, GrowthRule)
{
    struct Case {
        const char* name;
        uint32_t initial;
        uint32_t position;
        uint32_t n;
        uint32_t atLeast;
        uint32_t below;
    };
    const Case cases[] = {
        // Above 16384 a write that does not fit adds n + 64 KiB at once.
        {"large buffer grows by n + 65536", 20000, 19990, 20, 20000 + 20 + 65536, UINT32_MAX},
        {"large buffer that fits stays", 20000, 100, 20, 20000, 20001},
        {"small buffer grows by the engine's rule", 64, 60, 40, 100, 65536},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto* buf = new Nyx::DynamicBuffer(c.initial);
        buf->SetDataLength(c.position);
        TBuffer s(buf, true);
        s.SetPosition(c.position);
        Bytes data = Pattern(c.n);
        EXPECT_EQ(s.WriteBytes(data.data(), c.n), c.n);
        EXPECT_GE(buf->AllocatedSize(), c.atLeast);
        EXPECT_LT(buf->AllocatedSize(), c.below);
        EXPECT_EQ(buf->DataLength(), c.position + c.n);
        EXPECT_EQ(s.GetError(), 0u);
    }
}

TEST(TBuffer, FailedWriteSetsCode3)
{
    TBuffer s;
    s.WriteUInt8(1);
    // A write the buffer cannot hold (past 4 GiB) raises inside it; the
    // stream turns that into code 3 and 0 bytes written.
    static const uint8_t data[1] = {0};
    EXPECT_EQ(s.WriteBytes(data, UINT32_MAX), 0u);
    EXPECT_EQ(s.GetError(), 3u);
    EXPECT_EQ(s.Tell(), 1u);
    s.WriteUInt8(2);
    EXPECT_EQ(Contents(s), (Bytes{1, 2}));
    EXPECT_EQ(s.GetError(), 3u);
}

}  // namespace
