#include "core/compress/AdaptiveHuffman.h"
#include "core/compress/LZSSCompress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Nyx::AdaptiveHuffman;
using Nyx::LZSSCompress;

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Repeat(uint8_t b, size_t n) { return Bytes(n, b); }

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes RandomBytes(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes out(n);
    for (auto& b : out)
        b = static_cast<uint8_t>(rng());
    return out;
}

// Config-like text: indented tags, quoted strings, numbers and KUIDs.
Bytes ConfigText(size_t n, uint32_t seed)
{
    static const char* const kTags[] = {"kuid", "username", "kind", "category-class", "mesh-table", "effects",
                                        "attachment", "texture", "kestro-build", "description", "thumbnails"};
    static const char* const kWords[] = {"default", "mesh", "station", "freight", "bogey", "light", "signal",
                                         "track", "passenger", "diesel", "steam", "yard"};
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < n) {
        s.append(rng() % 4, ' ');
        s += kTags[rng() % std::size(kTags)];
        switch (rng() % 3) {
        case 0:
            s += " <kuid:" + std::to_string(rng() % 700000) + ":" + std::to_string(rng() % 100000) + ">";
            break;
        case 1:
            s += " \"";
            s += kWords[rng() % std::size(kWords)];
            s += " ";
            s += kWords[rng() % std::size(kWords)];
            s += "\"";
            break;
        default:
            s += " " + std::to_string(rng() % 1000) + "." + std::to_string(rng() % 100);
        }
        s += "\n";
    }
    s.resize(n);
    return Text(s);
}

// Four fresh random bytes or a six-byte copy from up to 16000 bytes back, in
// equal measure: a match every ten bytes or so, at spread-out distances, so a
// megabyte sends both Huffman models past their rebuild point many times.
Bytes ManyShortMatches(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < n) {
        if (out.size() < 64 || rng() % 2) {
            for (int i = 0; i < 4; ++i)
                out.push_back(static_cast<uint8_t>(rng()));
        } else {
            const size_t back = 6 + rng() % (std::min<size_t>(out.size(), 16000) - 5);
            const size_t from = out.size() - back;
            for (size_t i = 0; i < 6; ++i)
                out.push_back(out[from + i]);
        }
    }
    out.resize(n);
    return out;
}

// With the default room the stored form always fits, so this never fails.
Bytes Compress(const Bytes& data, uint32_t level, size_t room = 0)
{
    LZSSCompress codec;
    Bytes out(room ? room : data.size() + 1);
    const int64_t n = codec.CompressBlock(out.data(), static_cast<uint32_t>(out.size()), data.data(),
                                          static_cast<uint32_t>(data.size()), level);
    EXPECT_GE(n, 1);
    out.resize(static_cast<size_t>(std::max<int64_t>(n, 0)));
    return out;
}

// Decodes into a buffer of exactly `capacity` bytes, so a write past it is
// caught by the address sanitizer.
std::optional<Bytes> Decompress(const Bytes& stream, uint32_t capacity)
{
    LZSSCompress codec;
    std::unique_ptr<uint8_t[]> out(new uint8_t[capacity ? capacity : 1]);
    const int64_t n = codec.DecompressBlock(out.get(), capacity, stream.data(), static_cast<uint32_t>(stream.size()));
    if (n < 0)
        return std::nullopt;
    return Bytes(out.get(), out.get() + n);
}

// Every structural promise of the model: pairs side by side, parents after
// their children, sums right, each symbol at exactly one leaf, one root last,
// and frequencies in non-decreasing order.
::testing::AssertionResult TreeIsSound(const AdaptiveHuffman& m)
{
    const uint32_t nodes = m.NodeCount();
    const uint32_t root = m.Root();
    if (m.Parent(root) != AdaptiveHuffman::kNoNode)
        return ::testing::AssertionFailure() << "root has a parent";
    std::vector<int> symbolSeen(m.LeafCount(), 0);
    std::vector<int> adopted(nodes, 0);
    for (uint32_t i = 0; i < nodes; ++i) {
        if (i + 1 < nodes && m.Frequency(i) > m.Frequency(i + 1))
            return ::testing::AssertionFailure() << "order broken at " << i;
        const uint16_t c = m.Child(i);
        if (c & AdaptiveHuffman::kLeafBit) {
            const uint32_t s = c & ~AdaptiveHuffman::kLeafBit;
            if (s >= m.LeafCount() || m.LeafOf(s) != i)
                return ::testing::AssertionFailure() << "leaf " << i << " and its symbol disagree";
            ++symbolSeen[s];
            continue;
        }
        if (c + 1u >= i || m.Parent(c) != i || m.Parent(c + 1) != i)
            return ::testing::AssertionFailure() << "node " << i << " and its children disagree";
        if (m.Frequency(i) != m.Frequency(c) + m.Frequency(c + 1))
            return ::testing::AssertionFailure() << "node " << i << " is not the sum of its children";
        ++adopted[c];
        ++adopted[c + 1];
    }
    for (uint32_t s = 0; s < m.LeafCount(); ++s) {
        if (symbolSeen[s] != 1)
            return ::testing::AssertionFailure() << "symbol " << s << " has " << symbolSeen[s] << " leaves";
    }
    for (uint32_t i = 0; i < nodes; ++i) {
        if ((i != root) != (adopted[i] == 1))
            return ::testing::AssertionFailure() << "node " << i << " has " << adopted[i] << " parents";
    }
    return ::testing::AssertionSuccess();
}

// ---------------------------------------------------------------------------
// Round trips and headers

TEST(LZSSTest, RoundTripsEveryLevelAcrossSizeBoundaries)
{
    // The sizes where storing, the mode choice, the hash width and the
    // history slide change.
    const uint32_t sizes[] = {0, 1, 6, 7, 255, 256, 257, 1999, 2000, 4096, 4097, 16384, 16385, 23999, 24000,
                              33025, 33026, 33027, 70000, 1u << 20};
    const Bytes text = ConfigText(1u << 20, 1);
    const Bytes random = RandomBytes(1u << 20, 2);
    for (uint32_t level = 0; level <= 9; ++level) {
        for (uint32_t size : sizes) {
            for (const Bytes* source : {&text, &random}) {
                const Bytes data(source->begin(), source->begin() + size);
                const Bytes stream = Compress(data, level);
                ASSERT_FALSE(stream.empty());
                EXPECT_LE(stream.size(), size + 1u);
                // A coded form longer than the source is replaced by the stored one.
                if (stream[0] != LZSSCompress::HeaderFor(size, level)) {
                    EXPECT_EQ(stream[0], 0x00);
                    EXPECT_EQ(stream.size(), size + 1u);
                }
                if (source == &text && size >= 256) {
                    EXPECT_EQ(stream[0], LZSSCompress::HeaderFor(size, level));
                }
                const auto back = Decompress(stream, size);
                ASSERT_TRUE(back) << "level " << level << " size " << size << (source == &text ? " text" : " random");
                ASSERT_TRUE(*back == data) << "level " << level << " size " << size;
            }
        }
    }
}

TEST(LZSSTest, RoundTripsPatternsThatStressTheMatchFinder)
{
    const Bytes cases[] = {
        Repeat('x', 100000),                                  // one distance-1 match far beyond 258
        Concat({Repeat('a', 300), Repeat('b', 259), Repeat('c', 260)}),  // 1- and 2-byte rests
        ManyShortMatches(200000, 3),
        Concat({RandomBytes(40000, 4), RandomBytes(40000, 4)}),  // a copy beyond every window
        Concat({ConfigText(20000, 5), RandomBytes(5000, 6), ConfigText(20000, 5)}),
    };
    for (const Bytes& data : cases) {
        for (uint32_t level = 1; level <= 9; ++level) {
            const auto back = Decompress(Compress(data, level), static_cast<uint32_t>(data.size()));
            ASSERT_TRUE(back && *back == data) << "level " << level << " size " << data.size();
        }
    }
}

TEST(LZSSTest, HuffmanLevelsStayInStepThroughManyRebuilds)
{
    // About 100,000 matches and 400,000 literals: the distance model passes
    // its rebuild point several times and the literal model dozens of times.
    const Bytes data = ManyShortMatches(1u << 20, 7);
    for (uint32_t level = 7; level <= 9; ++level) {
        const Bytes stream = Compress(data, level);
        EXPECT_EQ(stream[0], 0x20 | level);
        EXPECT_LT(stream.size(), data.size() * 95 / 100) << "level " << level << " found too few matches";
        const auto back = Decompress(stream, static_cast<uint32_t>(data.size()));
        ASSERT_TRUE(back && *back == data) << "level " << level;
    }
}

TEST(LZSSTest, HeaderFollowsLevelAndSize)
{
    struct Case {
        uint32_t size;
        uint32_t level;
        uint8_t header;
    };
    const Case cases[] = {
        {6, 5, 0x00},      {7, 5, 0x05},      {100, 9, 0x06},    {255, 7, 0x06},     {256, 7, 0x17},
        {4000, 5, 0x15},   {5000, 5, 0x25},   {256, 1, 0x01},    {257, 1, 0x11},     {4096, 4, 0x14},
        {4097, 4, 0x24},   {4097, 9, 0x29},   {1000, 0, 0x00},   {1000, 10, 0x19},   {5000, 0xFFFFFFFF, 0x29},
        {255, 1, 0x01},    {300, 3, 0x13},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LZSSCompress::HeaderFor(c.size, c.level), c.header) << c.size << " @ " << c.level;
        const Bytes stream = Compress(ConfigText(c.size, 9), c.level, 2 * c.size + 64);
        EXPECT_EQ(stream[0], c.header) << c.size << " @ " << c.level;
    }
}

TEST(LZSSTest, SmallSourceIsStoredVerbatim)
{
    const Bytes data = Text("abcabc");
    EXPECT_EQ(Compress(data, 5), Concat({{0x00}, data}));
}

// ---------------------------------------------------------------------------
// Exact streams of the flag-word levels

TEST(LZSSTest, WritesTheFlagWordFormExactly)
{
    Bytes distinct(256);
    for (uint32_t i = 0; i < 256; ++i)
        distinct[i] = static_cast<uint8_t>(i);
    Bytes thirtyOne(31);
    for (uint32_t i = 0; i < 31; ++i)
        thirtyOne[i] = static_cast<uint8_t>('A' + i);

    struct Case {
        const char* name;
        Bytes data;
        uint32_t level;
        Bytes stream;
    };
    const Case cases[] = {
        // Mode 1: a literal, then a 299-byte match split into 258 + 41, each
        // with an all-ones length field and the code in a byte.
        {"run of 300", Repeat('a', 300), 5,
         {0x15, 0x0C, 0, 0, 0, 'a', 0x01, 0xF0, 0xFF, 0x01, 0xF0, 0x26}},
        // Mode 1: 256 unmatched bytes as one raw run, then a 44-byte match.
        {"raw run", Concat({distinct, Bytes(distinct.begin(), distinct.begin() + 44)}), 5,
         Concat({{0x15, 0x06, 0, 0, 0, 0xFD}, distinct, {0x00, 0xF1, 41}})},
        // Mode 0: eight literals, then a match with its code in three flag bits.
        {"mode 0 short code", Text("abcdefghabcdefgh"), 5,
         Concat({{0x05, 0x00, 0x0B, 0, 0}, Text("abcdefgh"), {8}})},
        // Mode 0: a code of 7 or more is three 1 bits and a byte.
        {"mode 0 long code", Text("abcdefghabcdefghabcdefgh"), 5,
         Concat({{0x05, 0x00, 0x0F, 0, 0}, Text("abcdefgh"), {13, 8}})},
        // Mode 0: the match's flag bit is the group's 32nd, so its length
        // bits and its distance byte belong to the next group.
        {"group closes inside an item", Concat({thirtyOne, Repeat('A' + 30, 3)}), 5,
         Concat({{0x05, 0, 0, 0, 0x80}, thirtyOne, {0, 0, 0, 0, 1}})},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Compress(c.data, c.level, 4 * c.data.size()), c.stream) << c.name;
        const auto back = Decompress(c.stream, static_cast<uint32_t>(c.data.size()));
        EXPECT_TRUE(back && *back == c.data) << c.name;
    }
}

TEST(LZSSTest, DecodingStopsAtTheSourceSize)
{
    const Bytes data = ConfigText(5000, 11);
    for (uint32_t level : {1u, 5u, 9u}) {
        const Bytes stream = Compress(data, level);
        Bytes padded = Concat({stream, RandomBytes(64, 12)});
        LZSSCompress codec;
        Bytes out(data.size());
        EXPECT_EQ(codec.DecompressBlock(out.data(), static_cast<uint32_t>(out.size()), padded.data(),
                                        static_cast<uint32_t>(stream.size())),
                  static_cast<int64_t>(data.size()));
        EXPECT_EQ(out, data);
    }
}

TEST(LZSSTest, ATruncatedStreamNeverOverrunsAndYieldsOnlyAPrefix)
{
    const Bytes data = ConfigText(3000, 13);
    for (uint32_t level = 0; level <= 9; ++level) {
        const Bytes stream = Compress(data, level);
        for (size_t cut = 0; cut < stream.size(); ++cut) {
            const Bytes part(stream.begin(), stream.begin() + cut);
            const auto back = Decompress(part, static_cast<uint32_t>(data.size()));
            if (!back)
                continue;
            // Only the flag-word and stored forms have no end marker.
            EXPECT_TRUE(level < 7) << "level " << level << " cut " << cut;
            ASSERT_LE(back->size(), data.size());
            EXPECT_TRUE(std::equal(back->begin(), back->end(), data.begin())) << "level " << level << " cut " << cut;
        }
    }
}

// ---------------------------------------------------------------------------
// Output limits

TEST(LZSSTest, CompressionFallsBackToStoredOrFails)
{
    const Bytes random = RandomBytes(5000, 14);
    const Bytes text = ConfigText(5000, 15);
    LZSSCompress codec;
    Bytes out(6000);

    // Incompressible data: the coded form would be longer, so it is stored.
    EXPECT_EQ(codec.CompressBlock(out.data(), 5001, random.data(), 5000, 5), 5001);
    EXPECT_EQ(out[0], 0x00);
    EXPECT_TRUE(std::equal(random.begin(), random.end(), out.begin() + 1));
    EXPECT_EQ(codec.CompressBlock(out.data(), 5000, random.data(), 5000, 5), -1);

    // A coded form that fits exactly is kept; one byte less fails, since the
    // stored form is bigger still.
    for (uint32_t level : {1u, 5u, 9u}) {
        const Bytes stream = Compress(text, level);
        ASSERT_LT(stream.size(), 5000u);
        const uint32_t exact = static_cast<uint32_t>(stream.size());
        EXPECT_EQ(codec.CompressBlock(out.data(), exact, text.data(), 5000, level), exact);
        EXPECT_TRUE(std::equal(stream.begin(), stream.end(), out.begin()));
        EXPECT_EQ(codec.CompressBlock(out.data(), exact - 1, text.data(), 5000, level), -1);
    }
    EXPECT_EQ(codec.CompressBlock(out.data(), 0, text.data(), 5000, 5), -1);
    EXPECT_EQ(codec.CompressBlock(out.data(), 1, text.data(), 0, 5), 1);
}

TEST(LZSSTest, DecodingRefusesOutputPastTheCapacity)
{
    const Bytes text = ConfigText(20000, 16);
    for (uint32_t level = 0; level <= 9; ++level) {
        const Bytes stream = Compress(text, level);
        for (uint32_t capacity : {0u, 1u, 19999u}) {
            LZSSCompress codec;
            std::unique_ptr<uint8_t[]> out(new uint8_t[capacity + 1]);
            Nyx::CompressOutput sink(out.get(), capacity);
            EXPECT_FALSE(codec.DecompressData(sink, stream.data(), static_cast<uint32_t>(stream.size())))
                << "level " << level << " capacity " << capacity;
            // What was decoded before the refusal is kept and is correct.
            EXPECT_LE(sink.Size(), capacity);
            EXPECT_TRUE(std::equal(out.get(), out.get() + sink.Size(), text.begin()));
        }
        EXPECT_TRUE(Decompress(stream, 20000));
    }
}

TEST(LZSSTest, DecodesIntoAGrowingBufferUpToItsLimit)
{
    const Bytes text = ConfigText(100000, 17);
    for (uint32_t level : {0u, 3u, 6u, 8u}) {
        const Bytes stream = Compress(text, level);
        LZSSCompress codec;
        Nyx::DynamicBuffer buffer;
        Nyx::CompressOutput grown(buffer, 1u << 20);
        ASSERT_TRUE(codec.DecompressData(grown, stream.data(), static_cast<uint32_t>(stream.size())));
        ASSERT_EQ(buffer.DataLength(), text.size());
        EXPECT_TRUE(std::equal(text.begin(), text.end(), buffer.Data()));

        Nyx::DynamicBuffer small;
        Nyx::CompressOutput limited(small, 99999);
        EXPECT_FALSE(codec.DecompressData(limited, stream.data(), static_cast<uint32_t>(stream.size())));
        EXPECT_LE(small.DataLength(), 99999u);
    }
}

// ---------------------------------------------------------------------------
// Malformed streams

// Writes a Huffman-level body the way the coder does, symbol by symbol.
class HuffmanStreamWriter {
public:
    explicit HuffmanStreamWriter(uint8_t header) : bytes_{header}
    {
        literals_.Init(LZSSCompress::kLiteralModelSymbols);
        distances_.Init(LZSSCompress::kModes[header >> 4].distanceHighSymbols);
    }
    HuffmanStreamWriter& Literal(uint32_t symbol) { return Symbol(literals_, symbol); }
    HuffmanStreamWriter& Distance(uint32_t symbol) { return Symbol(distances_, symbol); }
    HuffmanStreamWriter& Bits(uint32_t value, uint32_t n)
    {
        for (uint32_t i = 0; i < n; ++i)
            Bit((value >> i) & 1);
        return *this;
    }
    Bytes Finish()
    {
        while (count_ != 0)
            Bit(0);
        return bytes_;
    }

private:
    HuffmanStreamWriter& Symbol(AdaptiveHuffman& m, uint32_t symbol)
    {
        uint32_t words[AdaptiveHuffman::kMaxNodes / 32 + 1];
        const uint32_t n = m.Code(symbol, words);
        for (uint32_t i = 0; i < n; ++i)
            Bit((words[i / 32] >> (i % 32)) & 1);
        m.Update(symbol);
        return *this;
    }
    void Bit(uint32_t b)
    {
        acc_ |= b << count_;
        if (++count_ == 16) {
            bytes_.push_back(static_cast<uint8_t>(acc_));
            bytes_.push_back(static_cast<uint8_t>(acc_ >> 8));
            acc_ = 0;
            count_ = 0;
        }
    }
    AdaptiveHuffman literals_;
    AdaptiveHuffman distances_;
    Bytes bytes_;
    uint32_t acc_ = 0;
    uint32_t count_ = 0;
};

TEST(LZSSTest, WritesTheHuffmanFormItemByItem)
{
    // Mode 1, level 9: "abcabc" + 250 more of the same: literals a b c, then
    // one 253-byte match at distance 3 (class 15, code 250 = 129 + 121).
    Bytes data;
    for (int i = 0; i < 256; ++i)
        data.push_back(static_cast<uint8_t>('a' + i % 3));
    const Bytes expected = HuffmanStreamWriter(0x19)
                               .Literal('a').Literal('b').Literal('c')
                               .Literal(256 + 15).Bits(121, 7)
                               .Distance(0).Bits(3, 6)
                               .Literal(LZSSCompress::kEndSymbol)
                               .Finish();
    EXPECT_EQ(Compress(data, 9), expected);
}

TEST(LZSSTest, RefusesMalformedStreams)
{
    struct Case {
        const char* name;
        Bytes stream;
    };
    const Bytes filler29 = RandomBytes(29, 18);
    const Case cases[] = {
        {"empty source", {}},
        {"level 10", {0x0A, 1, 2, 3}},
        {"level 15", {0x1F}},
        {"mode 3", {0x35, 0, 0, 0, 0, 'a'}},
        {"high header bits", {0x45, 0, 0, 0, 0, 'a'}},
        {"stored with high bits", {0x80, 'a'}},
        {"flag word cut short", {0x15, 0, 0}},
        {"match before any output", {0x15, 0x01, 0, 0, 0, 0x01, 0x00}},
        {"distance 0", {0x15, 0x04, 0, 0, 0, 'a', 0x00, 0x00}},
        {"distance past the output", {0x15, 0x04, 0, 0, 0, 'a', 0x02, 0x00}},
        {"mode 2 distance past the output", {0x25, 0x04, 0, 0, 0, 'a', 0xFF, 0x3F}},
        {"match word cut short", {0x15, 0x04, 0, 0, 0, 'a', 0x01}},
        {"length byte missing", {0x15, 0x04, 0, 0, 0, 'a', 0x01, 0xF0}},
        {"mode 0 distance 0", {0x05, 0x02, 0, 0, 0, 'a', 0x00}},
        {"mode 0 distance missing", {0x05, 0x1E, 0, 0, 0, 'a', 10}},
        {"raw run past the input", Concat({{0x15, 0x02, 0, 0, 0, 10}, RandomBytes(12, 19)})},
        {"next flag word cut short", Concat({{0x05, 0, 0, 0, 0x80}, filler29, {'x', 'y', 0, 0}})},
        {"huffman without end", HuffmanStreamWriter(0x19).Literal('a').Literal('b').Finish()},
        {"huffman empty body", {0x19}},
        {"huffman odd trailing byte is not read", Concat({HuffmanStreamWriter(0x17).Literal('a').Finish(), {0xFF}})},
        {"huffman filler symbol", HuffmanStreamWriter(0x19).Literal('a').Literal(273).Finish()},
        {"huffman length past 258",
         HuffmanStreamWriter(0x19).Literal('a').Literal(256 + 15).Bits(127, 7).Distance(0).Bits(1, 6).Literal(272).Finish()},
        {"huffman distance 0",
         HuffmanStreamWriter(0x19).Literal('a').Literal(256).Distance(0).Bits(0, 6).Literal(272).Finish()},
        {"huffman distance past the output",
         HuffmanStreamWriter(0x29).Literal('a').Literal(256).Distance(1).Bits(0, 8).Literal(272).Finish()},
        {"huffman cut inside a match", HuffmanStreamWriter(0x19).Literal('a').Literal(256 + 15).Finish()},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(Decompress(c.stream, 1000)) << c.name;

    // The same shapes with sound fields decode, so the refusals above are
    // the fields' doing.
    const Case sound[] = {
        {"stored", {0x00, 'a', 'b'}},
        {"header only", {0x15}},
        {"trailing flag bits", {0x15, 0, 0, 0, 0}},
        {"distance 1", {0x15, 0x04, 0, 0, 0, 'a', 0x01, 0x00}},
        {"mode 0 distance 1", {0x05, 0x02, 0, 0, 0, 'a', 0x01}},
        {"raw run", Concat({{0x15, 0x02, 0, 0, 0, 10}, RandomBytes(13, 19)})},
        {"mode 0 header at level 9 uses flag words", {0x09, 0x02, 0, 0, 0, 'a', 0x01}},
        {"huffman length 258",
         HuffmanStreamWriter(0x19).Literal('a').Literal(256 + 15).Bits(126, 7).Distance(0).Bits(1, 6).Literal(272).Finish()},
    };
    for (const Case& c : sound)
        EXPECT_TRUE(Decompress(c.stream, 1000)) << c.name;
}

TEST(LZSSTest, RandomBodiesNeverOverrun)
{
    std::mt19937 rng(20);
    for (int i = 0; i < 3000; ++i) {
        Bytes stream = RandomBytes(1 + rng() % 200, static_cast<uint32_t>(rng()));
        stream[0] = static_cast<uint8_t>(rng() % 3 << 4 | rng() % 10);
        const uint32_t capacity = rng() % 2 ? 64 : 4096;
        const auto back = Decompress(stream, capacity);
        EXPECT_TRUE(!back || back->size() <= capacity);
    }
}

// ---------------------------------------------------------------------------
// Streaming to a sink

// Collects what the decoder hands out; refuses the piece that would take it
// past `limit` bytes.
class CollectingSink : public Nyx::DecompressSink {
public:
    explicit CollectingSink(size_t limit = SIZE_MAX) : limit_(limit) {}
    bool Put(const uint8_t* data, uint32_t size) override
    {
        ++calls;
        EXPECT_FALSE(refused) << "a piece after a refusal";
        EXPECT_GT(size, 0u);
        largestPiece = std::max<size_t>(largestPiece, size);
        if (bytes.size() + size > limit_) {
            refused = true;
            return false;
        }
        bytes.insert(bytes.end(), data, data + size);
        return true;
    }
    Bytes bytes;
    size_t largestPiece = 0;
    int calls = 0;
    bool refused = false;

private:
    size_t limit_;
};

TEST(LZSSTest, StreamingDecodeMatchesTheWholeBufferDecode)
{
    // Long outputs with matches reaching back across the pieces handed out,
    // at every level, and the damaged streams both forms must refuse alike.
    const Bytes inputs[] = {
        ManyShortMatches(300000, 30),
        Concat({RandomBytes(20000, 31), Repeat('q', 200000), ConfigText(150000, 32)}),
        ConfigText(100, 33),
        Bytes(),
    };
    for (uint32_t level = 0; level <= 9; ++level) {
        for (const Bytes& data : inputs) {
            const Bytes stream = Compress(data, level);
            LZSSCompress codec;
            CollectingSink sink;
            ASSERT_TRUE(codec.DecompressTo(sink, stream.data(), static_cast<uint32_t>(stream.size())))
                << "level " << level << " size " << data.size();
            EXPECT_TRUE(sink.bytes == data) << "level " << level << " size " << data.size();
            // Held in memory: the history and one piece, never the output.
            EXPECT_LE(sink.largestPiece, LZSSCompress::kHistory + (size_t(1) << 16));
            for (size_t cut : {stream.size() / 3, stream.size() - 1}) {
                if (cut == 0 || cut >= stream.size())
                    continue;
                const Bytes part(stream.begin(), stream.begin() + cut);
                CollectingSink partial;
                const bool streamed = codec.DecompressTo(partial, part.data(), static_cast<uint32_t>(part.size()));
                const auto whole = Decompress(part, static_cast<uint32_t>(data.size()));
                EXPECT_EQ(streamed, whole.has_value()) << "level " << level << " cut " << cut;
                ASSERT_LE(partial.bytes.size(), data.size());
                EXPECT_TRUE(std::equal(partial.bytes.begin(), partial.bytes.end(), data.begin()));
            }
        }
    }
}

TEST(LZSSTest, StreamingDecodeStopsWhenTheSinkRefuses)
{
    const Bytes data = ManyShortMatches(400000, 34);
    for (uint32_t level : {0u, 3u, 6u, 9u}) {
        const Bytes stream = Compress(data, level);
        for (size_t limit : {size_t(0), size_t(1000), size_t(70000), data.size() - 1}) {
            LZSSCompress codec;
            CollectingSink sink(limit);
            EXPECT_FALSE(codec.DecompressTo(sink, stream.data(), static_cast<uint32_t>(stream.size())))
                << "level " << level << " limit " << limit;
            EXPECT_TRUE(sink.refused);
            EXPECT_LE(sink.bytes.size(), limit);
        }
    }
}

// ---------------------------------------------------------------------------
// The adaptive Huffman model

TEST(AdaptiveHuffmanTest, StartsWithEveryLeafAtItsSymbol)
{
    AdaptiveHuffman m(LZSSCompress::kLiteralModelSymbols);
    ASSERT_EQ(m.LeafCount(), 274u);
    ASSERT_EQ(m.NodeCount(), 547u);
    for (uint32_t s = 0; s < 274; ++s) {
        EXPECT_EQ(m.LeafOf(s), s);
        EXPECT_EQ(m.Frequency(s), 1);
    }
    EXPECT_EQ(m.Child(274), 0);
    EXPECT_EQ(m.Child(275), 2);
    EXPECT_EQ(m.Child(411), 274);
    EXPECT_EQ(m.Frequency(m.Root()), 274);
    EXPECT_TRUE(TreeIsSound(m));
}

TEST(AdaptiveHuffmanTest, UpdateKeepsCodesPrefixFreeAndShortensFrequentSymbols)
{
    AdaptiveHuffman m(16);
    for (int i = 0; i < 40; ++i)
        m.Update(5);
    ASSERT_TRUE(TreeIsSound(m));
    uint32_t words[AdaptiveHuffman::kMaxNodes / 32 + 1];
    EXPECT_EQ(m.Code(5, words), 1u);
    EXPECT_EQ(m.Code(0, words), 5u);
}

TEST(AdaptiveHuffmanTest, RebuildHalvesLeavesAndKeepsTheTreeSound)
{
    // Skewed, flat and drifting symbol mixes, each run well past the rebuild
    // point and with extra rebuilds forced at odd moments.
    std::mt19937 rng(21);
    for (uint32_t symbols : {273u, 64u, 16u, 7u}) {
        for (int mix = 0; mix < 4; ++mix) {
            AdaptiveHuffman m(symbols);
            std::vector<double> weights(symbols);
            for (uint32_t s = 0; s < symbols; ++s) {
                switch (mix) {
                case 0: weights[s] = 1.0; break;
                case 1: weights[s] = 1.0 / (1 + s); break;
                case 2: weights[s] = std::ldexp(1.0, -int(s % 40)); break;
                default: weights[s] = 1.0 + rng() % 50; break;
                }
            }
            std::discrete_distribution<uint32_t> pick(weights.begin(), weights.end());
            uint32_t rebuilds = 0;
            for (int step = 1; step <= 100000; ++step) {
                if (mix == 3 && step % 9000 == 0) {
                    std::shuffle(weights.begin(), weights.end(), rng);
                    pick = std::discrete_distribution<uint32_t>(weights.begin(), weights.end());
                }
                const bool forced = step % 997 == 0 && step < 10000;
                const bool due = m.Frequency(m.Root()) >= AdaptiveHuffman::kRebuildFrequency;
                if (!forced && !due) {
                    m.Update(pick(rng));
                    continue;
                }
                std::vector<uint32_t> expected;
                for (uint32_t t = 0; t < m.LeafCount(); ++t)
                    expected.push_back((m.Frequency(m.LeafOf(t)) + 1u) / 2);
                if (forced) {
                    m.Rebuild();
                } else {
                    const uint32_t s = pick(rng);
                    m.Update(s);
                    ++expected[s];
                    ++rebuilds;
                }
                for (uint32_t t = 0; t < m.LeafCount(); ++t)
                    ASSERT_EQ(m.Frequency(m.LeafOf(t)), expected[t]) << "symbol " << t << ", step " << step;
                ASSERT_TRUE(TreeIsSound(m)) << symbols << " symbols, mix " << mix << ", step " << step;
            }
            EXPECT_GE(rebuilds, 2u) << symbols << " symbols, mix " << mix;
        }
    }
}

}  // namespace
