// The texture compression itself over images of arbitrary pixels. Input:
// u8 format pick (low 3 bits: RGBA, opaque RGBA, DXT1, DXT1a, DXT3, DXT5;
// bit 3 an XRGB source, bit 4 repeat wrap, bit 5 a normal map, bit 6 mip
// levels), u8 width and u8 height (1 to 64 each), then the pixels, four
// bytes each, alpha last (repeated when short, zero when none).
//
// Whatever the pixels: the compression succeeds; every level has its
// width, height and the byte count of its format, there being one level
// per halving down to 1 x 1 when mips are asked and one otherwise; and in
// DXT1, or in DXT1a of a source that is opaque, no texel decodes
// transparent.
#include <algorithm>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "nyx/gfx/bitmap/Bitmap.h"
#include "resources/TextureTestSupport.h"
#include "resources/textures/TextureCompress.h"

namespace {

struct Choice {
    uint32_t format;
    bool dxt1a;
};
constexpr Choice kChoices[] = {{1, false}, {3, false}, {10, false}, {10, true}, {11, false}, {12, false},
                               {10, false}, {12, false}};

uint32_t Levels(uint32_t width, uint32_t height)
{
    uint32_t n = 1;
    while (width > 1 || height > 1) {
        width = std::max(1u, width / 2);
        height = std::max(1u, height / 2);
        ++n;
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3 || size > 3 + 64 * 64 * 4)
        return 0;
    const Choice choice = kChoices[data[0] & 7];
    const bool xrgb = (data[0] & 8) != 0;
    const bool repeat = (data[0] & 16) != 0;
    const bool normal = (data[0] & 32) != 0;
    const bool mips = (data[0] & 64) != 0;
    const uint32_t width = (data[1] & 63) + 1;
    const uint32_t height = (data[2] & 63) + 1;
    const uint8_t* pixels = data + 3;
    const size_t count = size - 3;

    Nyx::Bitmap source(width, height, xrgb ? Nyx::Bitmap::kFormatXRGB32 : Nyx::Bitmap::kFormatARGB32);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t pixel = 0;
            const size_t at = (size_t{y} * width + x) * 4;
            for (size_t i = 0; count > 0 && i < 4; ++i)
                pixel |= uint32_t(pixels[(at + i) % count]) << (8 * i);
            source.SetPixel(x, y, pixel);
        }
    }

    TextureCompress out;
    FuzzCheck(TextureCompress::Compress(source, out, choice.format, choice.dxt1a, repeat, normal, mips, false));
    // The compression leaves in the source the pixels it compressed.
    bool opaque = true;
    for (uint32_t y = 0; y < height && opaque; ++y)
        for (uint32_t x = 0; x < width && opaque; ++x)
            opaque = (source.GetPixel(x, y) >> 24) == 0xFF;

    FuzzCheck(out.GetCount() == (mips ? Levels(width, height) : 1u));
    uint32_t w = width;
    uint32_t h = height;
    for (uint32_t level = 0; level < out.GetCount(); ++level) {
        const Nyx::Bitmap& bitmap = *out.GetLevel(level);
        FuzzCheck(bitmap.GetWidth() == w && bitmap.GetHeight() == h);
        FuzzCheck(bitmap.GetFormat() == Nyx::Bitmap::kFormatRaw);
        FuzzCheck(bitmap.GetDataSize() == texturetest::LevelBytes(choice.format, w, h));
        if (choice.format == 10 && (!choice.dxt1a || opaque)) {
            const std::string bytes(reinterpret_cast<const char*>(bitmap.GetData()), bitmap.GetDataSize());
            for (uint32_t texel : texturetest::DecodeDxt(10, w, h, bytes))
                FuzzCheck((texel >> 24) == 0xFF);
        }
        w = std::max(1u, w / 2);
        h = std::max(1u, h / 2);
    }
    return 0;
}
