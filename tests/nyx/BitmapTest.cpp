// The engine bitmap: its loader over every BMP depth and TGA form, and the
// buffer operations the texture conversion relies on.
#include "nyx/gfx/bitmap/Bitmap.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

void Put16(std::string& s, uint32_t v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v)
{
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

// A BMP of the given depth and compression with a two-colour palette (red,
// green) for the indexed depths, over the stored pixel bytes as given.
std::string Bmp(int32_t width, int32_t height, uint16_t bits, uint32_t compression, const std::string& pixels)
{
    const uint32_t colours = bits <= 8 ? 2 : 0;
    const uint32_t offset = 54 + colours * 4;
    std::string s = "BM";
    Put32(s, offset + static_cast<uint32_t>(pixels.size()));
    Put32(s, 0);
    Put32(s, offset);
    Put32(s, 40);
    Put32(s, static_cast<uint32_t>(width));
    Put32(s, static_cast<uint32_t>(height));
    Put16(s, 1);
    Put16(s, bits);
    Put32(s, compression);
    Put32(s, static_cast<uint32_t>(pixels.size()));
    Put32(s, 0);
    Put32(s, 0);
    Put32(s, colours);
    Put32(s, 0);
    if (colours) {
        Put32(s, 0x00FF0000);  // red
        Put32(s, 0x0000FF00);  // green
    }
    return s + pixels;
}

std::string Tga(uint8_t type, uint16_t width, uint16_t height, uint8_t bits, uint8_t descriptor,
                const std::string& pixels)
{
    std::string s;
    s += '\0';
    s += '\0';
    s += static_cast<char>(type);
    s.append(9, '\0');
    Put16(s, width);
    Put16(s, height);
    s += static_cast<char>(bits);
    s += static_cast<char>(descriptor);
    return s + pixels;
}

std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s += static_cast<char>(v);
    return s;
}

constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kGreen = 0xFF00FF00;

TEST(BitmapTest, LoadsEveryBmpDepthAndTgaForm)
{
    struct Case {
        const char* name;
        const char* file;
        std::string bytes;
        uint32_t format;
        // Top-left, top-right, bottom-left pixels of a 2 x 2 image.
        uint32_t topLeft, topRight, bottomLeft;
    };
    // Rows of BMPs are stored bottom first, each padded to four bytes.
    const Case cases[] = {
        {"bmp 1 bit", "a.bmp", Bmp(2, 2, 1, 0, Bytes({0x40, 0, 0, 0, 0x80, 0, 0, 0})), 3, kGreen, kRed, kRed},
        {"bmp 4 bits", "a.bmp", Bmp(2, 2, 4, 0, Bytes({0x01, 0, 0, 0, 0x10, 0, 0, 0})), 3, kGreen, kRed, kRed},
        {"bmp 8 bits", "a.bmp", Bmp(2, 2, 8, 0, Bytes({1, 1, 0, 0, 0, 1, 0, 0})), 3, kRed, kGreen, kGreen},
        {"bmp 24 bits", "a.bmp", Bmp(2, 2, 24, 0, Bytes({0, 0, 255, 0, 255, 0, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0})), 3,
         kGreen, kRed, kRed},
        {"bmp 32 bits, alpha", "a.bmp",
         Bmp(2, 2, 32, 0, Bytes({0, 0, 255, 128, 0, 0, 255, 0, 0, 255, 0, 255, 0, 0, 255, 255})), 2, 0xFF00FF00,
         0xFFFF0000, 0x80FF0000},
        {"bmp 32 bits, no alpha", "a.bmp",
         Bmp(2, 2, 32, 0, Bytes({0, 0, 255, 0, 0, 0, 255, 0, 0, 255, 0, 0, 0, 0, 255, 0})), 3, kGreen, kRed, kRed},
        {"bmp 16 bits", "a.bmp", Bmp(2, 2, 16, 0, Bytes({0, 0x7C, 0, 0x7C, 0xE0, 0x03, 0, 0x7C})), 3, kGreen, kRed,
         kRed},
        // RLE8: bottom row a run of two reds; end of line; top row green then red.
        {"bmp rle8", "a.bmp", Bmp(2, 2, 8, 1, Bytes({2, 0, 0, 0, 1, 1, 1, 0, 0, 1})), 3, kGreen, kRed, kRed},
        // RLE8 literal run of two indexes then end of the image.
        {"bmp rle8 literal", "a.bmp", Bmp(2, 2, 8, 1, Bytes({0, 0, 0, 3, 1, 0, 1, 0, 0, 1})), 3, kGreen,
         kRed, kRed},
        // RLE4: two pixels alternating from the byte 0x10 in each row.
        {"bmp rle4", "a.bmp", Bmp(2, 2, 4, 2, Bytes({2, 0x01, 0, 0, 2, 0x10, 0, 1})), 3, kGreen, kRed, kRed},
        {"tga 24 bits", "a.tga",
         Tga(2, 2, 2, 24, 0, Bytes({0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 0, 0})), 3, kRed, 0xFF0000FF, kGreen},
        {"tga 32 bits top first", "a.TGA",
         Tga(2, 2, 2, 32, 0x28, Bytes({0, 0, 255, 255, 0, 255, 0, 255, 0, 0, 255, 0, 0, 0, 255, 255})), 2, kRed,
         kGreen, 0x00FF0000},
        {"tga 8-bit grey", "a.tga", Tga(3, 2, 2, 8, 0x20, Bytes({0, 255, 255, 0})), 3, 0xFF000000, 0xFFFFFFFF,
         0xFFFFFFFF},
        {"tga rle 32 bits", "a.tga",
         Tga(10, 2, 2, 32, 0x20, Bytes({0x81, 0, 0, 255, 255, 0x81, 0, 255, 0, 7})), 2, kRed, kRed, 0x0700FF00},
        {"tga rle 24 bits across rows", "a.tga", Tga(10, 2, 2, 24, 0x20, Bytes({0x83, 0, 255, 0})), 3, kGreen,
         kGreen, kGreen},
        {"tga rle 8-bit grey", "a.tga", Tga(11, 2, 2, 8, 0x20, Bytes({0x01, 10, 20, 0x81, 30})), 3, 0xFF0A0A0A,
         0xFF141414, 0xFF1E1E1E},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Nyx::Bitmap bitmap;
        ASSERT_TRUE(bitmap.Decode(c.file, reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()));
        EXPECT_EQ(bitmap.GetWidth(), 2u);
        EXPECT_EQ(bitmap.GetHeight(), 2u);
        EXPECT_EQ(bitmap.GetFormat(), c.format);
        EXPECT_EQ(bitmap.GetPixel(0, 0), c.topLeft);
        EXPECT_EQ(bitmap.GetPixel(1, 0), c.topRight);
        EXPECT_EQ(bitmap.GetPixel(0, 1), c.bottomLeft);
    }
}

TEST(BitmapTest, RefusesImagesItCannotReadWhole)
{
    struct Case {
        const char* name;
        const char* file;
        std::string bytes;
    };
    const Case cases[] = {
        {"rle8 with no length", "a.bmp", Bmp(2, 2, 8, 1, "")},
        {"rle4 on 8 bits", "a.bmp", Bmp(2, 2, 8, 2, Bytes({2, 0, 0, 1}))},
        {"bmp too large", "a.bmp", Bmp(70000, 70000, 8, 1, Bytes({0, 1}))},
        {"tga rle cut short", "a.tga", Tga(10, 2, 2, 32, 0, Bytes({0x81, 0, 0, 255}))},
        {"tga colour-mapped without a map", "a.tga", Tga(1, 2, 2, 8, 0, Bytes({0, 0, 0, 0}))},
        {"tga of an unknown type", "a.tga", Tga(5, 2, 2, 8, 0, Bytes({0, 0, 0, 0}))},
        {"tga named otherwise", "a.png", Tga(2, 1, 1, 24, 0, Bytes({1, 2, 3}))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Nyx::Bitmap bitmap;
        EXPECT_FALSE(bitmap.Decode(c.file, reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()));
        EXPECT_TRUE(bitmap.Empty());
    }
}

TEST(BitmapTest, InitOwnsOrViewsAndScaleAveragesAreas)
{
    Nyx::Bitmap raw;
    ASSERT_TRUE(raw.Init(8, 8, Nyx::Bitmap::kFormatRaw, nullptr, 32));
    EXPECT_EQ(raw.GetDataSize(), 32u);
    EXPECT_TRUE(raw.OwnsData());
    EXPECT_EQ(raw.Scale(4, 4), nullptr);
    EXPECT_FALSE(raw.Init(8, 8, Nyx::Bitmap::kFormatRaw, nullptr, 0));
    EXPECT_FALSE(raw.Init(8, 8, 4));
    EXPECT_FALSE(raw.Init(8, 8, Nyx::Bitmap::kFormatARGB32, nullptr, 16));  // a pitch shorter than a row

    uint8_t bytes[16] = {};
    Nyx::Bitmap view;
    ASSERT_TRUE(view.Init(2, 2, Nyx::Bitmap::kFormatARGB32, bytes));
    EXPECT_FALSE(view.OwnsData());
    view.SetPixel(1, 1, 0x11223344);
    EXPECT_EQ(bytes[12], 0x44);
    EXPECT_EQ(bytes[15], 0x11);

    Nyx::Bitmap four(4, 2, Nyx::Bitmap::kFormatARGB32);
    for (uint32_t x = 0; x < 4; ++x)
        for (uint32_t y = 0; y < 2; ++y)
            four.SetPixel(x, y, x < 2 ? 0xFF000000 : 0xFFFFFFFF);
    std::unique_ptr<Nyx::Bitmap> half(four.Scale(2, 1));
    ASSERT_NE(half, nullptr);
    EXPECT_EQ(half->GetFormat(), 2u);
    EXPECT_EQ(half->GetPixel(0, 0), 0xFF000000u);
    EXPECT_EQ(half->GetPixel(1, 0), 0xFFFFFFFFu);
    std::unique_ptr<Nyx::Bitmap> one(four.Scale(1, 1));
    EXPECT_EQ(one->GetPixel(0, 0), 0xFF808080u);
    std::unique_ptr<Nyx::Bitmap> grown(four.Scale(8, 4));
    EXPECT_EQ(grown->GetPixel(7, 3), 0xFFFFFFFFu);
}

}  // namespace
