// Image files through Bitmap::Load: BMP, TGA, PNG and JPEG files written by
// the test, whole and cut short.
#include "nyx/gfx/bitmap/Bitmap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "support/ImageFiles.h"
#include "support/TempFolder.h"

namespace {

using Nyx::Bitmap;

// A 5 x 3 picture: each pixel's colour from its place, alpha varying. The
// opaque one (for the lossy format) changes gently.
std::vector<uint32_t> Pixels(bool opaque)
{
    const uint32_t step = opaque ? 6u : 60u;
    std::vector<uint32_t> px;
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 5; ++x)
            px.push_back(((opaque ? 255u : 55u + 40u * x) << 24) | ((x * step) << 16) | ((y * step * 2) << 8) | 200u);
    return px;
}

struct Format {
    const char* name;
    std::function<std::string(const std::vector<uint32_t>&)> make;
    bool opaque;     // the file keeps no alpha
    int tolerance;   // per colour byte
    uint32_t format; // the loaded bitmap's
};

const Format kFormats[] = {
    {"a.bmp", [](const auto& px) { return imagefiles::Bmp(5, 3, px); }, false, 0, Bitmap::kFormatARGB32},
    {"a.tga", [](const auto& px) { return imagefiles::Tga(5, 3, px); }, false, 0, Bitmap::kFormatARGB32},
    {"a.png", [](const auto& px) { return imagefiles::Png(5, 3, px); }, false, 0, Bitmap::kFormatARGB32},
    {"a.jpg", [](const auto& px) { return imagefiles::Jpeg(5, 3, px); }, true, 12, Bitmap::kFormatXRGB32},
};

TEST(BitmapCodecsTest, WholeFilesLoadWithTheirPixels)
{
    TempFolder folder;
    for (const Format& f : kFormats) {
        const std::vector<uint32_t> px = Pixels(f.opaque);
        folder.Write(f.name, f.make(px));
        Bitmap b;
        ASSERT_TRUE(b.Load(Nyx::File::Path(folder / f.name))) << f.name;
        ASSERT_EQ(5u, b.GetWidth());
        ASSERT_EQ(3u, b.GetHeight());
        EXPECT_EQ(f.format, b.GetFormat()) << f.name;
        for (uint32_t i = 0; i < px.size(); ++i) {
            const uint32_t got = b.GetPixel(i % 5, i / 5);
            EXPECT_EQ(px[i] >> 24, got >> 24) << f.name << " pixel " << i;
            for (uint32_t shift = 0; shift < 24; shift += 8)
                EXPECT_LE(std::abs(int((px[i] >> shift) & 0xFF) - int((got >> shift) & 0xFF)), f.tolerance)
                    << f.name << " pixel " << i << " byte " << shift / 8;
        }
    }
}

TEST(BitmapCodecsTest, FilesCutShortDoNotLoad)
{
    TempFolder folder;
    for (const Format& f : kFormats) {
        const std::string whole = f.make(Pixels(f.opaque));
        for (size_t keep : {whole.size() / 2, whole.size() - 20, size_t{12}}) {
            folder.Write(f.name, whole.substr(0, keep));
            Bitmap b;
            EXPECT_FALSE(b.Load(Nyx::File::Path(folder / f.name))) << f.name << " cut to " << keep;
            EXPECT_TRUE(b.Empty());
        }
    }
}

TEST(BitmapCodecsTest, ImagesBeyondTheSizeLimitDoNotLoad)
{
    // A PNG header claiming 40000 x 1 pixels.
    std::string png = imagefiles::Png(1, 1, {0xFFFFFFFFu});
    png[16] = 0;
    png[17] = 0;
    png[18] = char(0x9C);
    png[19] = 0x40;
    Bitmap b;
    EXPECT_FALSE(b.Decode("big.png", reinterpret_cast<const uint8_t*>(png.data()), png.size()));
}

}  // namespace
