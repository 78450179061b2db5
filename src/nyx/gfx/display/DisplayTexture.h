// What the display knows of textures it would upload.
#pragma once

#include <cstdint>

namespace Nyx {

class DisplayTexture {
public:
    // Levels of a full mip chain of that size, down to 1 x 1: one more than
    // the whole binary logarithm of the larger side; 0 for an empty size.
    static uint32_t GetNumMipLevels(uint32_t width, uint32_t height) noexcept
    {
        uint32_t side = width > height ? width : height;
        uint32_t levels = 0;
        while (side > 0) {
            ++levels;
            side >>= 1;
        }
        return levels;
    }
};

}  // namespace Nyx
