#include "core/streams/TStream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "core/StreamTestSupport.h"

using namespace streamtest;

namespace {

// ------------------------------------------------------------ typed readers

struct ReaderCase {
    const char* name;
    Bytes bytes;
    // Reads one record with a recognisable default and returns it widened.
    std::function<uint64_t(TStream&)> read;
    uint64_t expected;
    uint32_t error;
    uint32_t tellAfter;
};

uint64_t AsBits(float f) { return std::bit_cast<uint32_t>(f); }

TEST(TStreamReaders, TypedRecordsAndShortReads)
{
    auto rBool = [](TStream& s) { bool v = false; s.ReadBool(v, true); return uint64_t(v); };
    auto rU8 = [](TStream& s) { uint8_t v = 0; s.ReadUInt8(v, 0xEE); return uint64_t(v); };
    auto rU16 = [](TStream& s) { uint16_t v = 0; s.ReadUInt16(v, 0xEEEE); return uint64_t(v); };
    auto rI32 = [](TStream& s) { int32_t v = 0; s.ReadInt32(v, -7); return uint64_t(uint32_t(v)); };
    auto rU32 = [](TStream& s) { uint32_t v = 0; s.ReadInt32(v, 0xEEEEEEEEu); return uint64_t(v); };
    auto rF32 = [](TStream& s) { float v = 0; s.ReadFloat(v, 2.5f); return AsBits(v); };
    auto rU64 = [](TStream& s) { uint64_t v = 0; s.ReadUInt64(v, 0xEEull); return v; };

    const ReaderCase cases[] = {
        {"bool 0", {0x00}, rBool, 0, 0, 1},
        {"bool 1", {0x01}, rBool, 1, 0, 1},
        {"bool any non-zero", {0x80}, rBool, 1, 0, 1},
        {"bool short", {}, rBool, 1, 4, 0},
        {"u8", {0xAB}, rU8, 0xAB, 0, 1},
        {"u8 short", {}, rU8, 0xEE, 4, 0},
        {"u16 little-endian", {0x34, 0x12}, rU16, 0x1234, 0, 2},
        {"u16 short", {0x34}, rU16, 0xEEEE, 4, 1},
        {"i32 negative", {0xFE, 0xFF, 0xFF, 0xFF}, rI32, 0xFFFFFFFE, 0, 4},
        {"i32 short keeps default", {1, 2, 3}, rI32, uint32_t(-7), 4, 3},
        {"u32", {0x78, 0x56, 0x34, 0x12}, rU32, 0x12345678, 0, 4},
        {"f32 1.0", {0x00, 0x00, 0x80, 0x3F}, rF32, AsBits(1.0f), 0, 4},
        {"f32 short", {0x00, 0x00}, rF32, AsBits(2.5f), 4, 2},
        {"u64", {1, 2, 3, 4, 5, 6, 7, 8}, rU64, 0x0807060504030201ull, 0, 8},
        {"u64 short", {1, 2, 3, 4, 5, 6, 7}, rU64, 0xEE, 4, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CountingBuffer s(c.bytes);
        EXPECT_EQ(c.read(s), c.expected);
        EXPECT_EQ(s.GetError(), c.error);
        EXPECT_EQ(s.Tell(), c.tellAfter);
    }
}

TEST(TStreamReaders, FirstErrorCodeSticks)
{
    CountingBuffer s({1, 2, 3});
    int32_t v = 0;
    s.ReadInt32(v, 99);
    EXPECT_EQ(v, 99);
    EXPECT_EQ(s.GetError(), 4u);
    s.ReadInt32(v, 5);
    EXPECT_EQ(v, 5);
    EXPECT_EQ(s.GetError(), 4u);

    TBuffer t;
    t.WriteInt32(70000);
    t.Rewind();
    t.SetError(4);
    Nyx::PString p("x");
    t.ReadPString(p);
    EXPECT_TRUE(p.Empty());
    EXPECT_EQ(t.GetError(), 4u) << "a later string-limit failure must not replace the first code";
}

TEST(TStreamReaders, ReadBytesReturnsCountRead)
{
    CountingBuffer s(Pattern(10));
    uint8_t out[16] = {};
    EXPECT_EQ(s.ReadBytes(out, 0), 0u);
    EXPECT_EQ(s.ReadBytes(out, 4), 4u);
    EXPECT_EQ(s.ReadBytes(out, 16), 6u);
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(out[5], 9);
    EXPECT_EQ(s.GetError(), 0u) << "raw reads record nothing";
    EXPECT_TRUE(s.IsEOF());
}

TEST(TStreamReaders, Int32Array)
{
    Bytes three = {1, 0, 0, 0, 2, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    struct Case {
        const char* name;
        Bytes bytes;
        int32_t count;
        std::vector<int32_t> expected;  // the first elements of out afterwards
        uint32_t error;
    };
    const Case cases[] = {
        {"count 0 touches nothing", three, 0, {77, 77, 77, 77}, 0},
        {"negative count touches nothing", three, -3, {77, 77, 77, 77}, 0},
        {"whole", three, 3, {1, 2, -1, 77}, 0},
        {"short element is 0 and the loop goes on", {1, 0, 0, 0, 2, 0}, 4, {1, 0, 0, 0}, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CountingBuffer s(c.bytes);
        std::vector<int32_t> out(4, 77);
        s.ReadInt32Array(out.data(), c.count);
        EXPECT_EQ(out, c.expected);
        EXPECT_EQ(s.GetError(), c.error);
    }

    // Elements spread over several refills come out in order.
    CountingBuffer big(Pattern(40000));
    std::vector<int32_t> out(10000);
    uint8_t first;
    big.ReadBytes(&first, 1);
    big.ReadInt32Array(out.data(), 9999);
    for (uint32_t i = 0; i < 9999; ++i)
        ASSERT_EQ(uint32_t(out[i]), PatternU32(1 + 4 * i)) << i;
    EXPECT_EQ(big.GetError(), 0u);
}

TEST(TStreamReaders, Int32ArrayStopsAskingAnExhaustedStream)
{
    // A count far beyond what the stream holds must not turn into a read per
    // element once the stream has run dry.
    CountingBuffer s(Pattern(10));
    std::vector<int32_t> out(1 << 20, 77);
    s.ReadInt32Array(out.data(), int32_t(out.size()));
    EXPECT_EQ(uint32_t(out[0]), PatternU32(0));
    EXPECT_EQ(uint32_t(out[1]), PatternU32(4));
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(out.back(), 0);
    EXPECT_EQ(s.GetError(), 4u);
    EXPECT_LE(s.asked.size(), 3u);
}

// ------------------------------------------------------------ strings

Bytes Record(uint32_t len, const std::string& body)
{
    Bytes b = {uint8_t(len), uint8_t(len >> 8), uint8_t(len >> 16), uint8_t(len >> 24)};
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

TEST(TStreamStrings, ReadBothKinds)
{
    std::string big(600, 'q');
    std::string max(65534, 'm');
    struct Case {
        const char* name;
        Bytes bytes;
        std::string text;
        uint32_t error;
        uint32_t tellAfter;
    };
    std::vector<Case> cases = {
        {"length 0", Record(0, ""), "", 0, 4},
        {"text and NUL", Record(4, std::string("abc", 4)), "abc", 0, 8},
        {"text without NUL", Record(3, "abc"), "abc", 0, 7},
        {"empty text with its NUL", Record(1, std::string(1, '\0')), "", 0, 5},
        {"a NUL ends the text", Record(4, std::string("a\0bc", 4)), "a", 0, 8},
        {"heap-sized text", Record(601, big + std::string(1, '\0')), big, 0, 605},
        {"longest record", Record(65535, max + std::string(1, '\0')), max, 0, 65539},
        {"short length field", {4, 0}, "", 4, 2},
        {"short body", Record(10, "abc"), "", 4, 7},
        {"over the limit is skipped", Record(65536, std::string(65536, 'z')), "", 3, 65540},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        {
            CountingBuffer s(c.bytes);
            Nyx::PString p("stale");
            s.ReadPString(p);
            EXPECT_EQ(p.Str(), c.text);
            EXPECT_EQ(p, Nyx::PString(c.text)) << "read strings are interned";
            EXPECT_EQ(s.GetError(), c.error);
            EXPECT_EQ(s.Tell(), c.tellAfter);
        }
        {
            CountingBuffer s(c.bytes);
            Nyx::String str("stale");
            s.ReadString(str);
            EXPECT_EQ(str.Str(), c.text);
            EXPECT_EQ(s.GetError(), c.error);
            EXPECT_EQ(s.Tell(), c.tellAfter);
        }
    }
}

TEST(TStreamStrings, OverLongRecordIsSkippedAndTheNextReads)
{
    // The skip starts with most of the read-ahead unread, so the relative
    // seek must count from the logical position.
    Bytes b = Record(70000, std::string(70000, 'x'));
    Bytes next = Record(3, std::string("ok", 3));
    b.insert(b.end(), next.begin(), next.end());
    CountingBuffer s(b);
    Nyx::PString p;
    s.ReadPString(p);
    EXPECT_TRUE(p.Empty());
    EXPECT_EQ(s.GetError(), 3u);
    EXPECT_EQ(s.Tell(), 70004u);
    Nyx::String str;
    s.ReadString(str);
    EXPECT_EQ(str.Str(), "ok");
    EXPECT_EQ(s.GetError(), 3u);
}

TEST(TStreamStrings, HugeLengthDoesNotAllocateOrRunAway)
{
    CountingBuffer s(Record(0xFFFFFFF0u, "abc"));
    Nyx::String str("x");
    s.ReadString(str);
    EXPECT_TRUE(str.Empty());
    EXPECT_EQ(s.GetError(), 3u);
    int32_t v = 0;
    s.ReadInt32(v, 42);
    EXPECT_EQ(v, 42);
    EXPECT_TRUE(s.IsEOF());
}

// ------------------------------------------------------------ writers

struct WriterCase {
    const char* name;
    std::function<void(TStream&)> write;
    Bytes expected;
};

TEST(TStreamWriters, RecordForms)
{
    std::string longest(65534, 'a');
    std::string tooLong(65535, 'a');
    const WriterCase cases[] = {
        {"u8", [](TStream& s) { s.WriteUInt8(0xAB); }, {0xAB}},
        {"bool true", [](TStream& s) { s.WriteBool(true); }, {0x01}},
        {"bool false", [](TStream& s) { s.WriteBool(false); }, {0x00}},
        {"u16", [](TStream& s) { s.WriteUInt16(0x1234); }, {0x34, 0x12}},
        {"i32", [](TStream& s) { s.WriteInt32(-2); }, {0xFE, 0xFF, 0xFF, 0xFF}},
        {"u32", [](TStream& s) { s.WriteInt32(0x12345678u); }, {0x78, 0x56, 0x34, 0x12}},
        {"f32", [](TStream& s) { s.WriteFloat(1.0f); }, {0x00, 0x00, 0x80, 0x3F}},
        {"u64", [](TStream& s) { s.WriteUInt64(0x0807060504030201ull); }, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"bytes", [](TStream& s) { s.WriteBytes("xyz", 3); }, {'x', 'y', 'z'}},
        {"PString abc", [](TStream& s) { s.WritePString(Nyx::PString("abc")); },
         {0x04, 0x00, 0x00, 0x00, 0x61, 0x62, 0x63, 0x00}},
        {"PString empty", [](TStream& s) { s.WritePString(Nyx::PString()); }, {0, 0, 0, 0}},
        {"String abc", [](TStream& s) { s.WriteString(Nyx::AnsiString("abc")); },
         {0x04, 0x00, 0x00, 0x00, 0x61, 0x62, 0x63, 0x00}},
        {"String empty", [](TStream& s) { s.WriteString(Nyx::AnsiString("")); }, {0, 0, 0, 0}},
        {"PString too long", [&](TStream& s) { s.WritePString(Nyx::PString(tooLong)); }, {0, 0, 0, 0}},
        {"String too long", [&](TStream& s) { s.WriteString(Nyx::AnsiString(tooLong)); }, {0, 0, 0, 0}},
        {"block",
         [](TStream& s) {
             uint32_t at = s.BeginBlock();
             s.WriteUInt16(7);
             s.EndBlock(at);
         },
         {0x02, 0x00, 0x00, 0x00, 0x07, 0x00}},
        {"empty block", [](TStream& s) { s.EndBlock(s.BeginBlock()); }, {0, 0, 0, 0}},
        {"open block marker", [](TStream& s) { s.BeginBlock(); }, {0xEB, 0xCE, 0xED, 0xFE}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TBuffer s;
        c.write(s);
        EXPECT_EQ(Contents(s), c.expected);
        EXPECT_EQ(s.Tell(), c.expected.size());
        EXPECT_EQ(s.GetError(), 0u);
    }

    // The longest string records fit exactly and read back.
    for (bool engine : {false, true}) {
        TBuffer s;
        if (engine)
            s.WriteString(Nyx::AnsiString(longest));
        else
            s.WritePString(Nyx::PString(longest));
        Bytes b = Contents(s);
        ASSERT_EQ(b.size(), 4u + 65535u);
        EXPECT_EQ(b[0] | b[1] << 8 | b[2] << 16, 65535);
        EXPECT_EQ(b.back(), 0);
        s.Rewind();
        Nyx::String back;
        s.ReadString(back);
        EXPECT_EQ(back.Str(), longest);
    }
}

TEST(TStreamWriters, BlockPatchesItsLengthAndReturnsToTheEnd)
{
    TBuffer s;
    s.WriteBytes(Pattern(10).data(), 10);
    uint32_t at = s.BeginBlock();
    EXPECT_EQ(at, 10u);
    s.WriteBytes(Pattern(20).data(), 20);
    s.EndBlock(at);
    EXPECT_EQ(s.Tell(), 34u);
    Bytes b = Contents(s);
    ASSERT_EQ(b.size(), 34u);
    EXPECT_EQ((Bytes{b.begin() + 10, b.begin() + 14}), (Bytes{20, 0, 0, 0}));
    EXPECT_EQ(b[14], 0);
    EXPECT_EQ(b[33], 19);

    // Nested blocks patch independently.
    TBuffer n;
    uint32_t outer = n.BeginBlock();
    uint32_t inner = n.BeginBlock();
    n.WriteInt32(5);
    n.EndBlock(inner);
    n.EndBlock(outer);
    EXPECT_EQ(Contents(n), (Bytes{8, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0}));
}

TEST(TStreamWriters, WriteInt32AtReturnsToWhereItWas)
{
    TBuffer s;
    s.WriteBytes(Pattern(12).data(), 12);
    s.WriteInt32At(4, -1);
    EXPECT_EQ(s.Tell(), 12u);
    s.WriteUInt8(0x55);
    Bytes b = Contents(s);
    EXPECT_EQ(b, (Bytes{0, 1, 2, 3, 0xFF, 0xFF, 0xFF, 0xFF, 8, 9, 10, 11, 0x55}));
}

TEST(TStreamWriters, WriteAfterPartialReadLandsAtTheLogicalPosition)
{
    // The first read pulls the whole buffer into the read-ahead; the write
    // must go where the reader stands, not behind the prefetched bytes.
    CountingBuffer s(Pattern(12));
    int32_t v;
    s.ReadInt32(v, 0);
    ASSERT_EQ(s.UnreadCount(), 8u);
    s.WriteInt32(-1);
    EXPECT_EQ(s.Tell(), 8u);
    EXPECT_EQ(s.UnreadCount(), 0u);
    s.ReadInt32(v, 0);
    EXPECT_EQ(uint32_t(v), PatternU32(8));
    EXPECT_EQ(Contents(s), (Bytes{0, 1, 2, 3, 0xFF, 0xFF, 0xFF, 0xFF, 8, 9, 10, 11}));
}

// ------------------------------------------------------------ read-ahead

TEST(TStreamReadAhead, RefillsAcrossBlockBoundaries)
{
    // Reading the whole stream in 3-byte steps crosses every 4096 boundary
    // at a different phase; each step must see the right bytes and tell.
    const uint32_t size = 3 * 4096 + 100;
    Bytes src = Pattern(size);
    CountingBuffer s(src);
    uint8_t got[3];
    for (uint32_t at = 0; at + 3 <= size; at += 3) {
        ASSERT_EQ(s.Tell(), at);
        ASSERT_EQ(s.ReadBytes(got, 3), 3u) << at;
        ASSERT_EQ(got[0], src[at]);
        ASSERT_EQ(got[2], src[at + 2]);
    }
    // First fill 4096, then 4080 behind the kept 16 bytes.
    ASSERT_GE(s.asked.size(), 3u);
    EXPECT_EQ(s.asked[0], 4096u);
    EXPECT_EQ(s.asked[1], 4080u);
    EXPECT_EQ(s.asked[2], 4080u);
    EXPECT_EQ(s.GetError(), 0u);
}

TEST(TStreamReadAhead, LargeReadsBypassTheBuffer)
{
    struct Case {
        const char* name;
        uint32_t first;  // bytes read before the large read
        uint32_t n;
        std::vector<uint32_t> asked;
    };
    const Case cases[] = {
        {"4080 straight through", 0, 4080, {4080}},
        {"4079 through the buffer", 0, 4079, {4096}},
        {"remainder of 4080 after a partial buffer", 1, 4095 + 4080, {4096, 4080}},
        {"remainder under 4080 refills", 1, 4095 + 4079, {4096, 4080}},
    };
    Bytes src = Pattern(20000);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CountingBuffer s(src);
        Bytes out(c.n);
        uint8_t b;
        if (c.first)
            s.ReadBytes(&b, c.first);
        EXPECT_EQ(s.ReadBytes(out.data(), c.n), c.n);
        EXPECT_EQ(s.asked, c.asked);
        EXPECT_TRUE(std::equal(out.begin(), out.end(), src.begin() + c.first));
        EXPECT_EQ(s.Tell(), c.first + c.n);
        int32_t v;
        s.ReadInt32(v, 0);
        EXPECT_EQ(uint32_t(v), PatternU32(c.first + c.n));
    }
}

TEST(TStreamReadAhead, KeptBytesAllowAStepBackWithoutSeeking)
{
    Bytes src = Pattern(10000);
    CountingBuffer s(src);
    Bytes sink(4000);
    s.ReadBytes(sink.data(), 4000);
    s.ReadBytes(sink.data(), 94);
    int32_t v;
    s.ReadInt32(v, 0);  // drains the buffer and refills behind the kept 16
    ASSERT_EQ(s.asked, (std::vector<uint32_t>{4096, 4080}));
    EXPECT_EQ(uint32_t(v), PatternU32(4094));
    // The kept 16 bytes stand for 4080..4095: back to 4080 stays inside.
    s.SetPosition(4080);
    EXPECT_EQ(s.seeks, 0);
    s.ReadInt32(v, 0);
    EXPECT_EQ(uint32_t(v), PatternU32(4080));
    s.SetPosition(4079);
    EXPECT_EQ(s.seeks, 1) << "one byte before them leaves the read-ahead";
    s.ReadInt32(v, 0);
    EXPECT_EQ(uint32_t(v), PatternU32(4079));
    // Forward moves within the unread bytes stay inside too.
    s.SetPosition(5000);
    s.ReadInt32(v, 0);
    EXPECT_EQ(uint32_t(v), PatternU32(5000));
}

// A reader decoding in place sees only bytes the read-ahead really holds:
// at a refill's edge or the stream's end it must fall back to reading.
TEST(TStreamReadAhead, BufferedBytesAreOnlyThoseHeldAndConsumingMovesOn)
{
    const uint32_t size = 4096 + 30;
    Bytes src = Pattern(size);
    CountingBuffer s(src);
    EXPECT_EQ(s.Buffered(1), nullptr) << "nothing is held before the first read";
    int32_t v;
    s.ReadInt32(v, 0);
    const struct {
        uint32_t n;
        bool held;
    } asks[] = {{4, true}, {4092, true}, {4093, false}};
    for (const auto& a : asks) {
        SCOPED_TRACE(a.n);
        const uint8_t* p = s.Buffered(a.n);
        ASSERT_EQ(p != nullptr, a.held);
        if (p) {
            EXPECT_EQ(LoadLE32(p), PatternU32(4));
        }
    }
    s.Consume(4088);
    EXPECT_EQ(s.Tell(), 4092u);
    EXPECT_EQ(s.Buffered(5), nullptr) << "4 bytes are left before the refill";
    s.ReadInt32(v, 0);
    EXPECT_EQ(uint32_t(v), PatternU32(4092));
    s.ReadInt32(v, 0);
    EXPECT_EQ(uint32_t(v), PatternU32(4096));
    ASSERT_NE(s.Buffered(26), nullptr);
    EXPECT_EQ(s.Buffered(27), nullptr) << "the stream ends 26 bytes on";
    EXPECT_EQ(s.GetError(), 0u);
}

}  // namespace
