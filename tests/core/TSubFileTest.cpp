#include <gtest/gtest.h>

#include "core/StreamTestSupport.h"
#include "core/streams/TStream.h"

using namespace streamtest;

namespace {

// A parent of bytes 0..99 and a sub-stream over [10, 30).
struct Fixture {
    explicit Fixture(uint32_t size = 100, uint32_t start = 10, uint32_t end = 30) : parent(Pattern(size))
    {
        parent.SetPosition(start);
        sub = std::make_unique<TSubFile>(&parent, start, end);
    }
    CountingBuffer parent;
    std::unique_ptr<TSubFile> sub;
};

TEST(TSubFile, ReadsStopAtTheRangeEnd)
{
    Fixture f;
    TSubFile& s = *f.sub;
    EXPECT_EQ(s.Tell(), 0u);
    EXPECT_EQ(s.GetSize(), 20u);
    Bytes out(50);
    EXPECT_EQ(s.ReadBytes(out.data(), 50), 20u);
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(out[19], 29);
    EXPECT_EQ(s.Tell(), 20u);
    EXPECT_TRUE(s.IsEOF());
    int32_t v;
    s.ReadInt32(v, -3);
    EXPECT_EQ(v, -3);
    EXPECT_EQ(s.GetError(), 4u);
    EXPECT_EQ(f.parent.GetError(), 0u);
}

TEST(TSubFile, SeeksAreClampedToTheRange)
{
    struct Case {
        const char* name;
        int64_t offset;
        int origin;
        uint32_t tell;       // relative to the range start
        uint32_t parentTell;
    };
    const Case cases[] = {
        {"from start", 5, TStream::kFromStart, 5, 15},
        {"below the start lands on the start", -5, TStream::kFromStart, 0, 10},
        {"past the end lands on the end", 50, TStream::kFromStart, 20, 30},
        {"from current", 3, TStream::kFromCurrent, 7, 17},
        {"from current below the start", -40, TStream::kFromCurrent, 0, 10},
        {"from the end", -4, TStream::kFromEnd, 16, 26},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        TSubFile& s = *f.sub;
        s.SetPosition(4);
        s.SeekRaw(c.offset, c.origin);
        EXPECT_EQ(s.Tell(), c.tell);
        EXPECT_EQ(f.parent.Tell(), c.parentTell);
        int32_t v;
        if (c.parentTell + 4 <= 30) {
            s.ReadInt32(v, 0);
            EXPECT_EQ(uint32_t(v), PatternU32(c.parentTell));
        }
    }
}

TEST(TSubFile, ServedFromTheParentsReadAhead)
{
    Fixture f;
    // The parent read-ahead already holds bytes 10..99 after this read.
    int32_t v;
    f.parent.ReadInt32(v, 0);
    f.parent.SetPosition(10);
    size_t refills = f.parent.asked.size();
    Bytes out(20);
    EXPECT_EQ(f.sub->ReadBytes(out.data(), 20), 20u);
    EXPECT_EQ(f.parent.asked.size(), refills);
    Bytes all = Pattern(30);
    EXPECT_EQ(out, Bytes(all.begin() + 10, all.end()));
    EXPECT_EQ(f.parent.Tell(), 30u);
}

TEST(TSubFile, RangeBeyondTheParentsEndReadsWhatIsThere)
{
    // The parent ends at 20, inside the range [10, 40): a read gets the 10
    // bytes that exist and the position moves by those only.
    Fixture f(20, 10, 40);
    Bytes out(30, 0xEE);
    EXPECT_EQ(f.sub->ReadBytes(out.data(), 30), 10u);
    EXPECT_EQ(f.sub->Tell(), 10u);
    EXPECT_EQ(out[9], 19);
    EXPECT_EQ(out[10], 0xEE);
    int32_t v;
    f.sub->ReadInt32(v, 8);
    EXPECT_EQ(v, 8);
    EXPECT_EQ(f.sub->Tell(), 10u);
}

TEST(TSubFile, StepBackAfterAShortFillSeesTheRealBytes)
{
    // The range ends inside the first fill, so the buffer is not full when
    // a read crosses its end; the bytes behind that fill are not the
    // stream's and a later step back must not be served from them.
    Fixture f(100, 0, 50);
    TSubFile& s = *f.sub;
    Bytes out(48);
    s.ReadBytes(out.data(), 48);
    int32_t v;
    s.ReadInt32(v, -1);
    EXPECT_EQ(v, -1);
    EXPECT_EQ(s.Tell(), 50u);
    s.SetPosition(46);
    s.ReadInt32(v, -1);
    EXPECT_EQ(uint32_t(v), PatternU32(46));
}

TEST(TSubFile, WritesStayInsideTheRange)
{
    Fixture f;
    TSubFile& s = *f.sub;
    s.SetPosition(16);
    Bytes data(10, 0xAA);
    // Four bytes fit before the range end; the rest belongs to the parent.
    EXPECT_EQ(s.WriteBytes(data.data(), 10), 4u);
    EXPECT_EQ(s.Tell(), 20u);
    EXPECT_EQ(s.WriteBytes(data.data(), 10), 0u);
    Bytes b = Contents(f.parent);
    EXPECT_EQ(b[25], 25);
    EXPECT_EQ(b[26], 0xAA);
    EXPECT_EQ(b[29], 0xAA);
    EXPECT_EQ(b[30], 30);
    EXPECT_EQ(b.size(), 100u);
}

TEST(TSubFile, WriteAfterReadLandsAtTheLogicalPosition)
{
    Fixture f;
    TSubFile& s = *f.sub;
    int32_t v;
    s.ReadInt32(v, 0);
    s.WriteInt32(-1);
    EXPECT_EQ(s.Tell(), 8u);
    s.ReadInt32(v, 0);
    EXPECT_EQ(uint32_t(v), PatternU32(18));
    Bytes b = Contents(f.parent);
    EXPECT_EQ((Bytes{b.begin() + 13, b.begin() + 19}), (Bytes{13, 0xFF, 0xFF, 0xFF, 0xFF, 18}));
}

TEST(TSubFile, FailedParentWriteIsNotReportedAsWritten)
{
    TFile parent;  // holds no file: every transfer fails
    TSubFile s(&parent, 0, 100);
    EXPECT_EQ(s.WriteBytes("abcd", 4), 0u);
    EXPECT_EQ(s.Tell(), 0u);
    EXPECT_EQ(parent.GetError(), 1u);
    EXPECT_FALSE(s.IsOpen());
}

TEST(TSubFile, OverLongStringIsSkippedInsideTheRange)
{
    // The skip is a relative seek taken while the sub-stream's read-ahead
    // holds unread bytes.
    Bytes b = {9, 9, 9, 9, 0x70, 0x11, 0x01, 0x00};  // length 70000
    b.resize(b.size() + 70000, 'x');
    Bytes next = {3, 0, 0, 0, 'o', 'k', 0};
    b.insert(b.end(), next.begin(), next.end());
    CountingBuffer parent(b);
    parent.SetPosition(4);
    TSubFile s(&parent, 4, static_cast<uint32_t>(b.size()));
    Nyx::PString p;
    s.ReadPString(p);
    EXPECT_TRUE(p.Empty());
    EXPECT_EQ(s.GetError(), 3u);
    EXPECT_EQ(s.Tell(), 70004u);
    s.ReadPString(p);
    EXPECT_EQ(p.Str(), "ok");
    EXPECT_TRUE(s.IsEOF());
}

}  // namespace
