#include "core/text/TextEncoding.h"

#include <climits>
#include <cstddef>
#include <cstring>

namespace {

// 0x80-0x9F; every other byte is its own code point.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr uint32_t kClassOffset[4] = {0, 0x3080, 0xE2080, 0x3C82080};

int SequenceLength(unsigned char lead) noexcept
{
    if (lead < 0xC0)
        return 1;
    if (lead < 0xE0)
        return 2;
    if (lead < 0xF0)
        return 3;
    if (lead < 0xF8)
        return 4;
    if (lead < 0xFC)
        return 5;
    return 6;
}

int Utf8Length(uint32_t cp) noexcept
{
    return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

// The text's length: up to its first NUL, or the whole buffer without one.
size_t TextLength(const char* buffer, uint32_t bufferSize) noexcept
{
    const void* nul = std::memchr(buffer, 0, bufferSize);
    return nul ? static_cast<size_t>(static_cast<const char*>(nul) - buffer) : bufferSize;
}

void ReplaceHighBytes(char* text, size_t length) noexcept
{
    for (size_t i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80)
            text[i] = '?';
    }
}

// Strict decoding for conversion: well-formed UTF-8 only (no overlong forms,
// surrogates, values past U+10FFFF, stray or missing continuation bytes).
// Gives the byte count, or 0 when the bytes at `p` are malformed.
int DecodeStrict(const unsigned char* p, size_t avail, uint32_t* cp) noexcept
{
    const unsigned char lead = p[0];
    int n;
    uint32_t v;
    uint32_t min;
    if (lead < 0x80) {
        *cp = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2; v = lead & 0x1F; min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3; v = lead & 0x0F; min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4; v = lead & 0x07; min = 0x10000;
    } else {
        return 0;
    }
    if (avail < static_cast<size_t>(n))
        return 0;
    for (int i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        v = (v << 6) | (p[i] & 0x3F);
    }
    if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF))
        return 0;
    *cp = v;
    return n;
}

} // namespace

uint32_t DecodeUTF8Char(const char* text, const char* end, int* outLength) noexcept
{
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const auto* e = reinterpret_cast<const unsigned char*>(end);
    if (e != nullptr && p >= e) {
        if (outLength)
            *outLength = 0;
        return 0;
    }
    const int want = SequenceLength(p[0]);
    uint32_t value = p[0];
    int got = 1;
    // Continuation bytes are unvalidated, but the text's end and its NUL are
    // never read past: a lead byte near the end must not carry the caller
    // beyond the terminator.
    while (got < want && (e == nullptr || p + got < e) && p[got] != 0) {
        value = (value << 6) + p[got];
        ++got;
    }
    if (outLength)
        *outLength = got;
    if (got < want || want > 4)
        return kReplacementChar;
    return value - kClassOffset[want - 1];
}

uint32_t Cp1252ToCodePoint(uint8_t byte) noexcept
{
    return (byte >= 0x80 && byte <= 0x9F) ? kCp1252High[byte - 0x80] : byte;
}

int CodePointToCp1252(uint32_t codePoint) noexcept
{
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return static_cast<int>(codePoint);
    for (int i = 0; i < 32; ++i) {
        if (kCp1252High[i] == codePoint)
            return 0x80 + i;
    }
    return -1;
}

int ConvertAnsiToUTF8(char* buffer, uint32_t bufferSize) noexcept
{
    if (buffer == nullptr)
        return -1;
    auto* text = reinterpret_cast<unsigned char*>(buffer);
    const size_t length = TextLength(buffer, bufferSize);

    size_t needed = 1;
    for (size_t i = 0; i < length; ++i)
        needed += Utf8Length(Cp1252ToCodePoint(text[i]));
    // A size the int result cannot carry counts as a failed conversion.
    if (needed > static_cast<size_t>(INT_MAX)) {
        ReplaceHighBytes(buffer, length);
        return -1;
    }
    if (needed > bufferSize)
        return static_cast<int>(needed);

    // The UTF-8 form is never shorter, so writing from the back never
    // overwrites a byte that is still to be read.
    size_t out = needed - 1;
    text[out] = 0;
    for (size_t i = length; i-- > 0;) {
        const uint32_t cp = Cp1252ToCodePoint(text[i]);
        switch (Utf8Length(cp)) {
        case 1:
            text[--out] = static_cast<unsigned char>(cp);
            break;
        case 2:
            text[--out] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            text[--out] = static_cast<unsigned char>(0xC0 | (cp >> 6));
            break;
        default: // every Windows-1252 code point lies in the BMP
            text[--out] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            text[--out] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            text[--out] = static_cast<unsigned char>(0xE0 | (cp >> 12));
            break;
        }
    }
    return 0;
}

// The conversion fails on malformed UTF-8 and on a character Windows-1252
// cannot hold. Substituting a default character per character instead would
// report success for text that came out altered.
int ConvertUTF8ToAnsi(char* buffer, uint32_t bufferSize) noexcept
{
    if (buffer == nullptr)
        return -1;
    auto* text = reinterpret_cast<unsigned char*>(buffer);
    const size_t length = TextLength(buffer, bufferSize);

    // Checked in full before anything is written, so a failure replaces the
    // original bytes rather than a half-converted mix.
    size_t needed = 1;
    for (size_t i = 0; i < length;) {
        uint32_t cp = 0;
        const int n = DecodeStrict(text + i, length - i, &cp);
        if (n == 0 || CodePointToCp1252(cp) < 0) {
            ReplaceHighBytes(buffer, length);
            return -1;
        }
        i += static_cast<size_t>(n);
        ++needed;
    }
    // Only a buffer without a NUL can be too small, as the form never grows.
    if (needed > bufferSize) {
        if (needed > static_cast<size_t>(INT_MAX)) {
            ReplaceHighBytes(buffer, length);
            return -1;
        }
        return static_cast<int>(needed);
    }

    size_t out = 0;
    for (size_t i = 0; i < length;) {
        uint32_t cp = 0;
        i += static_cast<size_t>(DecodeStrict(text + i, length - i, &cp));
        text[out++] = static_cast<unsigned char>(CodePointToCp1252(cp));
    }
    text[out] = 0;
    return 0;
}
