// Small BMP and TGA images made byte by byte for the texture tests and the
// fuzz seeds.
#pragma once

#include <cstdint>
#include <string>

#include "support/LittleEndianBytes.h"

namespace textureimages {

using littleendian::Put16;
using littleendian::Put32;

// A 24-bit BMP with rows padded to four bytes; `cut` bytes off its end.
inline std::string Bmp(uint32_t width, uint32_t height, size_t cut = 0)
{
    const uint32_t stride = (width * 3 + 3) / 4 * 4;
    std::string s = "BM";
    Put32(s, 54 + stride * height);
    Put32(s, 0);
    Put32(s, 54);
    Put32(s, 40);
    Put32(s, width);
    Put32(s, height);
    Put16(s, 1);
    Put16(s, 24);
    for (int i = 0; i < 6; ++i)
        Put32(s, 0);
    s.append(stride * height, '\x7f');
    s.resize(s.size() - cut);
    return s;
}

// A 32-bit true-colour TGA, plain or run-length encoded (one run a row).
inline std::string Tga(uint16_t width, uint16_t height, bool runLength = false, size_t cut = 0)
{
    std::string s;
    s += '\0';
    s += '\0';
    s += static_cast<char>(runLength ? 10 : 2);
    s.append(9, '\0');
    Put16(s, width);
    Put16(s, height);
    s += static_cast<char>(32);
    s += static_cast<char>(8);
    for (uint16_t row = 0; row < height; ++row) {
        if (runLength) {
            for (uint16_t left = width; left > 0;) {
                const uint16_t run = left > 128 ? 128 : left;
                s += static_cast<char>(0x80 | (run - 1));
                s.append(4, '\x40');
                left = static_cast<uint16_t>(left - run);
            }
        } else {
            s.append(static_cast<size_t>(width) * 4, '\x40');
        }
    }
    s.resize(s.size() - cut);
    return s;
}

}  // namespace textureimages
