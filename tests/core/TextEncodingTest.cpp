#include "core/text/TextEncoding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Utf8Of(uint32_t cp)
{
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
}

// A buffer of exactly `size` bytes holding `text` and a NUL (when it fits),
// so any read past the buffer shows under the address sanitizer.
std::vector<char> Buffer(const std::string& text, size_t size)
{
    std::vector<char> b(size, '#');
    std::memcpy(b.data(), text.data(), std::min(text.size() + 1, size));
    return b;
}

TEST(TextEncodingTest, DecodeUTF8Char)
{
    struct Case {
        std::string bytes; // the buffer holds exactly these bytes
        bool nulTerminated; // end == nullptr, else end == one past the bytes
        uint32_t value;
        int length;
    };
    const Case cases[] = {
        {"A", false, 0x41, 1},
        {"A", true, 0x41, 1},
        {"\xC3\xA9", false, 0xE9, 2},
        {"\xE2\x82\xAC", false, 0x20AC, 3},
        {"\xF0\x9F\x98\x80", false, 0x1F600, 4},
        {"\x80", false, 0x80, 1},                                   // below 0xC0: one byte
        {std::string("\xC3\x41", 2), false, 0x81, 2},               // continuation not validated
        {"\xF8\x88\x80\x80\x80", false, kReplacementChar, 5},
        {"\xFC\x84\x80\x80\x80\x80", false, kReplacementChar, 6},
        // Cut short by the end of the text.
        {"\xE2\x82", false, kReplacementChar, 2},
        {"\xF0\x9F\x98", false, kReplacementChar, 3},
        {"\xC3", false, kReplacementChar, 1},
        {"\xFC\x84", false, kReplacementChar, 2},
        // Cut short by a NUL, with or without an end pointer.
        {std::string("\xE2\x82\0", 3), true, kReplacementChar, 2},
        {std::string("\xE2\x82\0\xAC", 4), false, kReplacementChar, 2},
        {std::string("\xC3\0", 2), true, kReplacementChar, 1},
        {std::string("\0", 1), true, 0, 1},
    };
    for (const Case& c : cases) {
        std::vector<char> buf(c.bytes.begin(), c.bytes.end());
        int length = -1;
        const char* end = c.nulTerminated ? nullptr : buf.data() + buf.size();
        EXPECT_EQ(DecodeUTF8Char(buf.data(), end, &length), c.value) << testing::PrintToString(c.bytes);
        EXPECT_EQ(length, c.length) << testing::PrintToString(c.bytes);
        EXPECT_EQ(DecodeUTF8Char(buf.data(), end, nullptr), c.value);
    }

    const char text[] = "x";
    int length = -1;
    EXPECT_EQ(DecodeUTF8Char(text, text, &length), 0u);
    EXPECT_EQ(length, 0);
}

TEST(TextEncodingTest, Cp1252Mapping)
{
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(CodePointToCp1252(Cp1252ToCodePoint(static_cast<uint8_t>(b))), b);
    EXPECT_EQ(Cp1252ToCodePoint(0x80), 0x20ACu);
    EXPECT_EQ(Cp1252ToCodePoint(0x9F), 0x0178u);
    EXPECT_EQ(Cp1252ToCodePoint(0x8D), 0x008Du);
    EXPECT_EQ(Cp1252ToCodePoint(0xE9), 0x00E9u);
    for (uint32_t cp : {0x80u, 0x9Fu, 0x100u, 0x4E2Du, 0xFFFDu, 0x1F600u})
        EXPECT_EQ(CodePointToCp1252(cp), -1) << cp;
}

TEST(TextEncodingTest, AsciiIsUnchanged)
{
    const std::string text = "Hello, world! ~{|}";
    for (auto convert : {ConvertAnsiToUTF8, ConvertUTF8ToAnsi}) {
        std::vector<char> b = Buffer(text, text.size() + 1);
        EXPECT_EQ(convert(b.data(), static_cast<uint32_t>(b.size())), 0);
        EXPECT_EQ(std::string(b.data()), text);
    }
}

TEST(TextEncodingTest, EveryByteRoundTrips)
{
    std::string ansi, utf8;
    for (int b = 1; b < 256; ++b) {
        ansi += static_cast<char>(b);
        utf8 += Utf8Of(Cp1252ToCodePoint(static_cast<uint8_t>(b)));
    }
    // Exactly big enough; one byte less asks for the full size.
    std::vector<char> small = Buffer(ansi, utf8.size());
    EXPECT_EQ(ConvertAnsiToUTF8(small.data(), static_cast<uint32_t>(small.size())), static_cast<int>(utf8.size() + 1));
    EXPECT_EQ(std::string(small.data()), ansi);

    std::vector<char> b = Buffer(ansi, utf8.size() + 1);
    ASSERT_EQ(ConvertAnsiToUTF8(b.data(), static_cast<uint32_t>(b.size())), 0);
    EXPECT_EQ(std::string(b.data()), utf8);
    ASSERT_EQ(ConvertUTF8ToAnsi(b.data(), static_cast<uint32_t>(b.size())), 0);
    EXPECT_EQ(std::string(b.data()), ansi);
}

TEST(TextEncodingTest, TooSmallBufferIsLeftAlone)
{
    // Three euro signs take 3 bytes each in UTF-8: 10 with the NUL.
    std::vector<char> b = Buffer("\x80\x80\x80", 8);
    const std::vector<char> before = b;
    EXPECT_EQ(ConvertAnsiToUTF8(b.data(), 8), 10);
    EXPECT_EQ(b, before);

    // A buffer without a NUL: the text is the whole buffer and its NUL does not fit.
    std::vector<char> full = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(ConvertAnsiToUTF8(full.data(), 4), 5);
    EXPECT_EQ(ConvertUTF8ToAnsi(full.data(), 4), 5);
    EXPECT_EQ(full, (std::vector<char>{'a', 'b', 'c', 'd'}));
}

TEST(TextEncodingTest, Utf8ToAnsi)
{
    struct Case {
        const char* utf8;
        int result;
        const char* after;
    };
    const Case cases[] = {
        {"caf\xC3\xA9 \xE2\x82\xAC" "5", 0, "caf\xE9 \x80" "5"},
        {"\xC2\x81\xC2\x9D\xC5\xB8", 0, "\x81\x9D\x9F"},            // undefined bytes, U+0178
        {"a\xE4\xB8\xAD" "b", -1, "a???b"},                         // U+4E2D has no byte
        {"\xC3\xA9\xF0\x9F\x98\x80", -1, "??????"},                 // U+1F600
        {"\xC2\x80", -1, "??"},                                      // U+0080 has no byte
        {"x\xC3", -1, "x?"},                                         // cut short
        {"\x80y", -1, "?y"},                                         // stray continuation
        {"\xC3\x41", -1, "?A"},                                      // missing continuation
        {"\xC0\xAF", -1, "??"},                                      // overlong '/'
        {"\xE0\x82\xAC", -1, "???"},                                 // overlong
        {"\xED\xA0\x80", -1, "???"},                                 // surrogate
        {"\xF5\x80\x80\x80", -1, "????"},                            // past U+10FFFF
    };
    for (const Case& c : cases) {
        std::vector<char> b = Buffer(c.utf8, std::strlen(c.utf8) + 1);
        EXPECT_EQ(ConvertUTF8ToAnsi(b.data(), static_cast<uint32_t>(b.size())), c.result) << c.utf8;
        EXPECT_STREQ(b.data(), c.after) << c.utf8;
    }
}

} // namespace
