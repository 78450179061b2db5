#include "core/compress/Crc32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// Bit-at-a-time, straight from the definition.
uint32_t ReferenceCrc(const unsigned char* p, size_t n)
{
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int b = 0; b < 8; ++b)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    }
    return ~c;
}

TEST(Crc32Test, KnownValues)
{
    EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(Crc32("", 0), 0u);
    EXPECT_EQ(Crc32(nullptr, 0), 0u);
    EXPECT_EQ(Crc32("a", 1), 0xE8B7BE43u);
    const std::string fox = "The quick brown fox jumps over the lazy dog";
    EXPECT_EQ(Crc32(fox.data(), static_cast<uint32_t>(fox.size())), 0x414FA339u);
}

TEST(Crc32Test, MatchesReferenceAtEveryLengthAndAlignment)
{
    std::mt19937 rng(12345);
    std::vector<unsigned char> storage(5000 + 16);
    for (auto& b : storage)
        b = static_cast<unsigned char>(rng());
    std::vector<uint32_t> lengths;
    for (uint32_t len = 0; len <= 300; ++len)
        lengths.push_back(len);
    // Long buffers go through the interleaved path in 1 KiB groups.
    for (uint32_t len : {1023u, 1024u, 1025u, 1040u, 2047u, 2048u, 3333u, 5000u})
        lengths.push_back(len);
    for (size_t offset = 0; offset < 8; ++offset) {
        for (uint32_t len : lengths) {
            const unsigned char* p = storage.data() + offset;
            ASSERT_EQ(Crc32(p, len), ReferenceCrc(p, len)) << "offset " << offset << " length " << len;
        }
    }
}

TEST(Crc32Test, UpdateContinuesAcrossSplits)
{
    std::mt19937 rng(7);
    std::vector<unsigned char> data(3000);
    for (auto& b : data)
        b = static_cast<unsigned char>(rng());
    const uint32_t whole = Crc32(data.data(), 3000);
    for (uint32_t split : {0u, 1u, 15u, 16u, 17u, 1000u, 1977u, 2999u, 3000u})
        EXPECT_EQ(Crc32Update(Crc32(data.data(), split), data.data() + split, 3000 - split), whole) << split;
}

TEST(Crc32Test, LowerCaseFoldsAsciiLettersOnly)
{
    struct Case {
        const char* mixed;
        const char* lower;
    };
    const Case cases[] = {
        {"", ""},
        {"A", "a"},
        {"Config.Chump", "config.chump"},
        {"ABCXYZ@[`{09_", "abcxyz@[`{09_"},
        // Bytes beyond ASCII are left alone whatever the process locale.
        {"\xC9t\xC9", "\xC9t\xC9"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Crc32LowerCase(c.mixed), Crc32(c.lower, static_cast<uint32_t>(std::strlen(c.lower)))) << c.mixed;
    EXPECT_EQ(Crc32LowerCase(""), 0u);
    EXPECT_NE(Crc32LowerCase("\xC9"), Crc32LowerCase("\xE9"));
}

TEST(Crc32Test, LowerCaseOfLongNames)
{
    // Lengths around the internal folding chunk.
    for (size_t len : {255u, 256u, 257u, 1000u}) {
        std::string mixed, lower;
        for (size_t i = 0; i < len; ++i) {
            const char c = static_cast<char>('A' + i % 26);
            mixed += (i % 3) ? c : static_cast<char>(c + 32);
            lower += static_cast<char>(c + 32);
        }
        EXPECT_EQ(Crc32LowerCase(mixed.c_str()), ReferenceCrc(reinterpret_cast<const unsigned char*>(lower.data()), len)) << len;
    }
}

} // namespace
