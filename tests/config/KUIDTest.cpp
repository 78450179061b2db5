#include "config/kuid/KUID.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "core/streams/TStream.h"

namespace {

std::string Describe(const KUID& k)
{
    return "(" + std::to_string(k.user) + ", " + std::to_string(k.content) + ", " + std::to_string(k.version) + ")";
}

std::vector<uint8_t> Bytes(TBuffer& b)
{
    const Nyx::DynamicBuffer* d = b.GetBuffer();
    return std::vector<uint8_t>(d->Data(), d->Data() + d->DataLength());
}

struct TextCase {
    KUID k;
    const char* text;
    const char* shortText;
    const char* plain;
};

const TextCase kTextCases[] = {
    {{5, 100, 0}, "<kuid:5:100>", "<kuid:5:100>", "kuid 5 100"},
    {{5, 100, 3}, "<kuid2:5:100:3>", "<kuid:5:100>", "kuid2 5 100 3"},
    {{-5, 100, 127}, "<kuid:-5:100>", "<kuid:-5:100>", "kuid -5 100"},
    {{5, 100, 127}, "<kuid2:5:100:127>", "<kuid:5:100>", "kuid2 5 100 127"},
    {{-5, 100, 3}, "<kuid2:-5:100:3>", "<kuid:-5:100>", "kuid2 -5 100 3"},
    {{0, -7, 0}, "<kuid:0:-7>", "<kuid:0:-7>", "kuid 0 -7"},
    {KUID::Null, "<NULL>", "<NULL>", "NULLKUID"},
};

TEST(KUIDTest, TextForms)
{
    for (const TextCase& c : kTextCases) {
        SCOPED_TRACE(Describe(c.k));
        EXPECT_EQ(c.k.ToString().Str(), c.text);
        EXPECT_EQ(c.k.ToShortString().Str(), c.shortText);
        EXPECT_EQ(c.k.ToPlainString().Str(), c.plain);
    }
    // Interned: the null text is the one shared string.
    EXPECT_EQ(KUID::Null.ToString(), KUIDNullText());
    EXPECT_EQ(KUIDNullText(), Nyx::PString("<NULL>"));
}

struct ParseCase {
    const char* text;
    KUID strict;
    KUID lenient;
};

constexpr KUID N = KUID::Null;

const ParseCase kParseCases[] = {
    // Keyword forms, any case.
    {"<kuid:5:100>", {5, 100, 0}, {5, 100, 0}},
    {"<KUID2:5:100:3>", {5, 100, 3}, {5, 100, 3}},
    {"<Kuid2:5:100:127>", {5, 100, 127}, {5, 100, 127}},
    {"<kuid:-5:100>", {-5, 100, 127}, {-5, 100, 127}},
    {"<kuid2:-5:100:127>", N, N},
    {"<kuid2:5:100:0>", {5, 100, 0}, {5, 100, 0}},
    // Strict shape checks; the lenient reader takes what "%d" takes.
    {"<kuid:5:100", N, {5, 100, 0}},
    {"<kuid:5:100>x", N, {5, 100, 0}},
    {"<kuid:5:100:7>", N, {5, 100, 0}},
    {"<kuid: 5:100>", N, {5, 100, 0}},
    {"<kuid:5:-100>", N, {5, -100, 0}},
    {"<kuid:--5:100>", N, N},
    {"<kuid:abc>", N, N},
    {"<kuid:5>", N, {5, -1, 0}},
    {"<kuid2:+5:100:3>", N, {5, 100, 3}},
    {"<kuid2:5:100>", N, {5, 100, 127}},
    {"<kuid2:5:100:3", N, {5, 100, 3}},
    // Without '<': only the start is examined.
    {"kuid:5:100", {5, 100, 0}, {5, 100, 0}},
    {"KUID:5:100 and more", {5, 100, 0}, {5, 100, 0}},
    {"kuid2:5:100:3", {5, 100, 3}, {5, 100, 3}},
    {"kuid:-5:100", {-5, 100, 127}, {-5, 100, 127}},
    {"kuid:x", N, N},
    {"kuid2:-5:100:127", N, N},
    // Bare numbers: lenient only.
    {"5:100", N, {5, 100, 0}},
    {"-5:100", N, {-5, 100, 127}},
    {"<5:100>", N, {5, 100, 0}},
    {"<5:100", N, {5, 100, 0}},
    {"<-5:100>", N, {-5, 100, 127}},
    {"<5:100>>", N, N},
    {"<5:100>7", N, N},
    {"5:", N, {5, -1, 0}},
    {":5", N, N},
    {"12345", N, {-1, 12345, 127}},
    {"-42", N, {-1, -42, 127}},
    {"-", N, N},
    {"1:2:3", N, N},
    {"", N, N},
    {"hello", N, N},
    // The null texts.
    {"<NULL>", N, N},
    {"<null>", N, N},
    {"<Nu5:100>", N, N},
    {"abcLL>5:100", N, N},
    {"123ll>", N, N},
    // Version and user ranges.
    {"<kuid2:5:100:127>", {5, 100, 127}, {5, 100, 127}},
    {"<kuid2:5:100:128>", N, N},
    {"<kuid2:33554432:1:0>", N, N},
    {"<kuid:33554432:1>", N, N},
    // Only user ids the 25-bit packed field keeps are accepted.
    {"<kuid:16777215:1>", {16777215, 1, 0}, {16777215, 1, 0}},
    {"<kuid:16777216:1>", N, N},
    {"<kuid2:16777216:1:3>", N, N},
    {"<kuid2:33554431:1:3>", N, N},
    {"<kuid:-16777216:1>", {-16777216, 1, 127}, {-16777216, 1, 127}},
    {"<kuid:-16777217:1>", N, N},
    {"-16777216:5", N, {-16777216, 5, 127}},
    {"-16777217:5", N, N},
    // A number "%d" cannot hold names no asset: neither clamped nor wrapped.
    {"<kuid:5:2147483647>", {5, INT_MAX, 0}, {5, INT_MAX, 0}},
    {"<kuid:5:2147483648>", N, N},
    {"<kuid:5:99999999999>", N, N},
    {"<kuid:5:-2147483648>", N, {5, INT_MIN, 0}},
    {"<kuid:5:-2147483649>", N, N},
    // The first ten digits at the limit, and more behind them.
    {"<kuid:5:21474836470>", N, N},
    {"<kuid:5:-21474836480>", N, N},
    {"<kuid:5:0000000000002147483647>", {5, INT_MAX, 0}, {5, INT_MAX, 0}},
    {"<kuid:4294967301:1>", N, N},
    {"<kuid:-2147483649:1>", N, N},
    {"<kuid2:5:1:2147483648>", N, N},
    {"<kuid2:5:1:4294967296>", N, N},
    {"<kuid2:5:1:-1>", N, N},
    {"<kuid2:5:99999999999:3>", N, N},
    {"kuid:5:99999999999", N, N},
    {"kuid:5:100junk", {5, 100, 0}, {5, 100, 0}},
    {"99999999999", N, N},
    {"2147483647", N, {-1, INT_MAX, 127}},
    {"-2147483648", N, {-1, INT_MIN, 127}},
    {"-2147483649", N, N},
    {"5:2147483648", N, N},
    {"<5:99999999999>", N, N},
    // Signs and blanks as "%d" reads them, where the strict shape lets them.
    {"<kuid:+5:100>", N, {5, 100, 0}},
    {"<kuid:5: +100>", N, {5, 100, 0}},
    {"<kuid:5: 99999999999>", N, N},
    {"<kuid:5:100 >", N, {5, 100, 0}},
    // A number that is never read does not count.
    {"<kuid:5>99999999999", N, {5, -1, 0}},
};

TEST(KUIDTest, Parse)
{
    for (const ParseCase& c : kParseCases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Describe(KUID::Parse(c.text, true)), Describe(c.strict));
        EXPECT_EQ(Describe(KUID::Parse(c.text, false)), Describe(c.lenient));
    }
    EXPECT_TRUE(KUID::Parse(nullptr, true).IsNull());
    EXPECT_TRUE(KUID::Parse(nullptr, false).IsNull());
}

TEST(KUIDTest, PackedWord)
{
    EXPECT_EQ(KUID(5, 100, 3).PackedWord(), 0x06000005u);
    EXPECT_EQ(KUID::Null.PackedWord(), 0xFFFFFFFFu);
    EXPECT_EQ(KUID(-16777216, 0, 127).PackedWord(), 0xFF000000u);

    struct {
        uint32_t word;
        KUID k;
    } const unpack[] = {
        {0x01FFFFFFu, {-1, 9, 0}},
        {0xFFFFFFFFu, {-1, 9, 127}},
        {0x01000000u, {-16777216, 9, 0}},
        {0x00FFFFFFu, {16777215, 9, 0}},
        {0x06000005u, {5, 9, 3}},
    };
    for (const auto& u : unpack) {
        SCOPED_TRACE(u.word);
        EXPECT_EQ(KUID::FromPacked(u.word, 9), u.k);
    }
}

TEST(KUIDTest, PackedBytes)
{
    const KUID k(5, 100, 3);
    TBuffer stream;
    WriteKUID(stream, k);
    EXPECT_EQ(Bytes(stream), (std::vector<uint8_t>{0x64, 0, 0, 0, 0x05, 0, 0, 0x06}));

    uint8_t chunk[KUID::kPackedSize];
    k.ToChunk(chunk);
    const uint8_t expected[] = {0x05, 0, 0, 0x06, 0x64, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(chunk, expected, sizeof expected));
    EXPECT_EQ(KUID::FromChunk(expected), k);
}

TEST(KUIDTest, ReadKUIDShortRecords)
{
    struct {
        std::vector<uint8_t> bytes;
        KUID k;
        uint32_t error;
    } const cases[] = {
        {{0x64, 0, 0, 0, 0x05, 0, 0, 0x06}, {5, 100, 3}, 0},
        {{}, KUID::Null, 4},
        {{0x01, 0}, KUID::Null, 4},
        // The first word arrives: only the packed word takes its default.
        {{0x64, 0, 0, 0, 0x05, 0}, {-1, 100, 127}, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.size());
        Nyx::DynamicBuffer data;
        if (!c.bytes.empty())
            data.Write(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()), 1);
        data.Seek(0);
        TBuffer stream(&data);
        KUID k(1, 2, 3);
        ReadKUID(stream, k);
        EXPECT_EQ(k, c.k);
        EXPECT_EQ(stream.GetError(), c.error);
    }
}

// Whatever the parser accepts is written out and read back unchanged, in both
// packed forms and as text.
TEST(KUIDTest, EveryParsedKUIDRoundTrips)
{
    std::vector<KUID> parsed;
    for (const ParseCase& c : kParseCases)
        for (const KUID& k : {c.strict, c.lenient})
            if (!k.IsNull())
                parsed.push_back(k);

    TBuffer stream;
    for (const KUID& k : parsed)
        WriteKUID(stream, k);
    stream.Rewind();
    for (const KUID& k : parsed) {
        SCOPED_TRACE(Describe(k));
        KUID back;
        ReadKUID(stream, back);
        EXPECT_EQ(back, k);
        EXPECT_EQ(KUID::FromPacked(k.PackedWord(), k.content), k);
        uint8_t chunk[KUID::kPackedSize];
        k.ToChunk(chunk);
        EXPECT_EQ(KUID::FromChunk(chunk), k);
        EXPECT_EQ(KUID::Parse(k.ToString().c_str(), false), k);
        // The strict grammar has no sign for the content id.
        if (k.content >= 0) {
            EXPECT_EQ(KUID::Parse(k.ToString().c_str(), true), k);
        }
    }
    EXPECT_EQ(stream.GetError(), 0u);
}

}  // namespace
