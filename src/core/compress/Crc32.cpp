#include "core/compress/Crc32.h"

#include <array>
#include <cstddef>

#include "core/streams/LittleEndian.h"

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;
constexpr int kSlices = 16;
// Long buffers are taken in groups of kLanes consecutive stretches of kLane
// bytes, each with its own register, so the lookups of one stretch overlap
// those of the others instead of all waiting on a single register.
constexpr size_t kLane = 256;
constexpr size_t kLanes = 4;

using Tables = std::array<std::array<uint32_t, 256>, kSlices>;
using ShiftTables = std::array<std::array<uint32_t, 256>, 4>;

constexpr uint32_t ZeroBit(uint32_t c)
{
    return (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
}

// Table k advances a byte through k further zero bytes, which lets the main
// loop fold sixteen input bytes per step with independent lookups.
constexpr Tables MakeTables()
{
    Tables t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = ZeroBit(c);
        t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i) {
        for (int k = 1; k < kSlices; ++k)
            t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    }
    return t;
}

// Moving a register through kLane zero bytes is linear in the register, so
// it is the XOR of the images of its four bytes.
constexpr ShiftTables MakeShiftTables()
{
    std::array<uint32_t, 32> image{};
    for (int bit = 0; bit < 32; ++bit) {
        uint32_t c = 1u << bit;
        for (size_t i = 0; i < kLane * 8; ++i)
            c = ZeroBit(c);
        image[bit] = c;
    }
    ShiftTables s{};
    for (int k = 0; k < 4; ++k) {
        for (uint32_t v = 0; v < 256; ++v) {
            uint32_t r = 0;
            for (int bit = 0; bit < 8; ++bit) {
                if (v & (1u << bit))
                    r ^= image[k * 8 + bit];
            }
            s[k][v] = r;
        }
    }
    return s;
}

// Built by the compiler: no start-up cost and nothing to guard between threads.
constexpr Tables kTables = MakeTables();
constexpr ShiftTables kShift = MakeShiftTables();

inline uint32_t Slice16(uint32_t c, const unsigned char* p) noexcept
{
    const auto& t = kTables;
    const uint32_t w0 = LoadLE32(p) ^ c;
    const uint32_t w1 = LoadLE32(p + 4);
    const uint32_t w2 = LoadLE32(p + 8);
    const uint32_t w3 = LoadLE32(p + 12);
    return t[15][w0 & 0xFF] ^ t[14][(w0 >> 8) & 0xFF] ^ t[13][(w0 >> 16) & 0xFF] ^ t[12][w0 >> 24]
         ^ t[11][w1 & 0xFF] ^ t[10][(w1 >> 8) & 0xFF] ^ t[9][(w1 >> 16) & 0xFF] ^ t[8][w1 >> 24]
         ^ t[7][w2 & 0xFF] ^ t[6][(w2 >> 8) & 0xFF] ^ t[5][(w2 >> 16) & 0xFF] ^ t[4][w2 >> 24]
         ^ t[3][w3 & 0xFF] ^ t[2][(w3 >> 8) & 0xFF] ^ t[1][(w3 >> 16) & 0xFF] ^ t[0][w3 >> 24];
}

inline uint32_t ShiftLane(uint32_t c) noexcept
{
    return kShift[0][c & 0xFF] ^ kShift[1][(c >> 8) & 0xFF] ^ kShift[2][(c >> 16) & 0xFF] ^ kShift[3][c >> 24];
}

// Works on the raw (uninverted) register. The register is linear in the
// register before and in the data, so a stretch started from 0 gives its own
// contribution, and the registers of the stretches before it only need to be
// carried through its length as if it held zeros.
uint32_t Update(uint32_t c, const unsigned char* p, size_t n) noexcept
{
    while (n >= kLanes * kLane) {
        uint32_t c0 = c, c1 = 0, c2 = 0, c3 = 0;
        for (size_t i = 0; i < kLane; i += kSlices) {
            c0 = Slice16(c0, p + i);
            c1 = Slice16(c1, p + kLane + i);
            c2 = Slice16(c2, p + 2 * kLane + i);
            c3 = Slice16(c3, p + 3 * kLane + i);
        }
        c = ShiftLane(ShiftLane(ShiftLane(c0) ^ c1) ^ c2) ^ c3;
        p += kLanes * kLane;
        n -= kLanes * kLane;
    }
    while (n >= kSlices) {
        c = Slice16(c, p);
        p += kSlices;
        n -= kSlices;
    }
    while (n--)
        c = (c >> 8) ^ kTables[0][(c ^ *p++) & 0xFF];
    return c;
}

} // namespace

uint32_t Crc32Update(uint32_t crc, const void* data, uint32_t length) noexcept
{
    if (length == 0)
        return crc;
    return ~Update(~crc, static_cast<const unsigned char*>(data), length);
}

uint32_t Crc32(const void* data, uint32_t length) noexcept
{
    return Crc32Update(0, data, length);
}

uint32_t Crc32LowerCase(const char* text) noexcept
{
    if (text == nullptr)
        return 0;
    // Folded through a small buffer so long names still take the sliced loop.
    // The folding is spelled out rather than left to tolower, whose result
    // would follow whatever locale the process has set.
    unsigned char folded[256];
    uint32_t c = ~0u;
    size_t n = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text);; ++p) {
        const unsigned char b = *p;
        if (b == 0 || n == sizeof folded) {
            c = Update(c, folded, n);
            n = 0;
            if (b == 0)
                break;
        }
        folded[n++] = (b >= 'A' && b <= 'Z') ? static_cast<unsigned char>(b + ('a' - 'A')) : b;
    }
    return ~c; // an empty name leaves the preset, which inverts to 0
}
