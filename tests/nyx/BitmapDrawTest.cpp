// Drawing on engine bitmaps: each primitive inside, across and outside
// every edge, fills against outlines, the blend against its formula, and
// copies of a bitmap onto itself.
#include "nyx/gfx/bitmap/Bitmap.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

using Nyx::Bitmap;

constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kRed = 0xFFFF0000u;

// The set pixels as a picture: '#' for the colour, '.' for 0, '?' else.
std::vector<std::string> Picture(const Bitmap& b, uint32_t colour = kWhite)
{
    std::vector<std::string> rows;
    for (uint32_t y = 0; y < b.GetHeight(); ++y) {
        std::string row;
        for (uint32_t x = 0; x < b.GetWidth(); ++x) {
            const uint32_t p = b.GetPixel(x, y);
            row += p == colour ? '#' : p == 0 ? '.' : '?';
        }
        rows.push_back(row);
    }
    return rows;
}

uint32_t Count(const Bitmap& b, uint32_t colour)
{
    uint32_t n = 0;
    for (uint32_t y = 0; y < b.GetHeight(); ++y)
        for (uint32_t x = 0; x < b.GetWidth(); ++x)
            n += b.GetPixel(x, y) == colour;
    return n;
}

TEST(BitmapDrawTest, ClearAndPointsClipAtEveryEdge)
{
    Bitmap b(4, 3, Bitmap::kFormatARGB32);
    b.Clear(kRed);
    EXPECT_EQ(12u, Count(b, kRed));
    b.Clear(0);
    const int32_t points[][2] = {{-1, 0}, {4, 0}, {0, -1}, {0, 3}, {INT_MIN, INT_MAX}, {3, 2}, {0, 0}};
    for (const auto& p : points)
        b.BlendPixel(p[0], p[1], kWhite);
    EXPECT_EQ((std::vector<std::string>{"#...", "....", "...#"}), Picture(b));
}

TEST(BitmapDrawTest, LinesInsideAcrossAndOutside)
{
    struct Case {
        int32_t x1, y1, x2, y2;
        std::vector<std::string> picture;
    };
    const Case cases[] = {
        {0, 0, 3, 3, {"#...", ".#..", "..#.", "...#"}},
        {-10, 1, 10, 1, {"....", "####", "....", "...."}},     // across left and right
        {2, -10, 2, 10, {"..#.", "..#.", "..#.", "..#."}},     // across top and bottom
        {-2, -2, 5, 5, {"#...", ".#..", "..#.", "...#"}},      // across two corners
        {INT_MIN, 0, INT_MAX, 0, {"####", "....", "....", "...."}},
        {-5, -1, 9, -1, {"....", "....", "....", "...."}},     // outside above
        {4, 0, 4, 3, {"....", "....", "....", "...."}},        // outside right
        {1, 2, 1, 2, {"....", "....", ".#..", "...."}},        // one point
    };
    for (const Case& c : cases) {
        Bitmap b(4, 4, Bitmap::kFormatARGB32);
        b.Line(c.x1, c.y1, c.x2, c.y2, kWhite, Bitmap::kModeLine);
        EXPECT_EQ(c.picture, Picture(b)) << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;
    }
}

TEST(BitmapDrawTest, BoxesFillOrOutlineAndClip)
{
    struct Case {
        Bitmap::Rect rect;
        uint32_t mode;
        std::vector<std::string> picture;
    };
    const Case cases[] = {
        {{1, 1, 3, 3}, Bitmap::kModeFill, {".....", ".###.", ".###.", ".###.", "....."}},
        {{1, 1, 3, 3}, Bitmap::kModeOutline, {".....", ".###.", ".#.#.", ".###.", "....."}},
        {{4, 4, -3, -3}, Bitmap::kModeOutline, {".....", ".###.", ".#.#.", ".###.", "....."}},
        {{-2, -2, 4, 4}, Bitmap::kModeOutline, {".#...", "##...", ".....", ".....", "....."}},
        {{3, 3, 10, 10}, Bitmap::kModeFill, {".....", ".....", ".....", "...##", "...##"}},
        {{-1, -1, 7, 7}, Bitmap::kModeOutline, {".....", ".....", ".....", ".....", "....."}},
        {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, Bitmap::kModeFill, {".....", ".....", ".....", ".....", "....."}},
        {{5, 0, 3, 3}, Bitmap::kModeFill, {".....", ".....", ".....", ".....", "....."}},
    };
    for (const Case& c : cases) {
        Bitmap b(5, 5, Bitmap::kFormatARGB32);
        b.Box(c.rect, kWhite, c.mode);
        EXPECT_EQ(c.picture, Picture(b)) << c.rect.x << "," << c.rect.y << " mode " << c.mode;
    }
}

TEST(BitmapDrawTest, CirclesFillOrOutlineAndClip)
{
    Bitmap filled(7, 7, Bitmap::kFormatARGB32);
    filled.Circle(3, 3, 2, kWhite, Bitmap::kModeFill);
    EXPECT_EQ((std::vector<std::string>{".......", "...#...", "..###..", ".#####.", "..###..", "...#...", "......."}),
              Picture(filled));
    Bitmap ring(7, 7, Bitmap::kFormatARGB32);
    ring.Circle(3, 3, 3, kWhite, Bitmap::kModeLine);
    EXPECT_EQ((std::vector<std::string>{"...#...", ".##.##.", ".#...#.", "#.....#", ".#...#.", ".##.##.", "...#..."}),
              Picture(ring));
    // Centred outside every edge in turn: only the part inside is drawn,
    // and a huge radius costs no more than the bitmap.
    const int32_t centres[][2] = {{-3, 3}, {9, 3}, {3, -3}, {3, 9}};
    for (const auto& c : centres) {
        Bitmap b(7, 7, Bitmap::kFormatARGB32);
        b.Circle(c[0], c[1], 4, kWhite, Bitmap::kModeFill);
        EXPECT_GT(Count(b, kWhite), 0u);
        EXPECT_LT(Count(b, kWhite), 49u);
    }
    Bitmap huge(7, 7, Bitmap::kFormatARGB32);
    huge.Circle(0, 0, INT_MAX, kWhite, Bitmap::kModeFill);
    EXPECT_EQ(49u, Count(huge, kWhite));
    huge.Circle(0, 0, INT_MAX, kRed, Bitmap::kModeLine);
    EXPECT_EQ(0u, Count(huge, kRed));
    huge.Circle(3, 3, -1, kRed, Bitmap::kModeFill);
    EXPECT_EQ(0u, Count(huge, kRed));
}

TEST(BitmapDrawTest, TrianglesFillOrOutlineAndClip)
{
    Bitmap filled(5, 5, Bitmap::kFormatARGB32);
    filled.Triangle(0, 0, 4, 0, 0, 4, kWhite, Bitmap::kModeFill);
    EXPECT_EQ((std::vector<std::string>{"#####", "####.", "###..", "##...", "#...."}), Picture(filled));
    Bitmap outline(5, 5, Bitmap::kFormatARGB32);
    outline.Triangle(0, 0, 4, 0, 0, 4, kWhite, Bitmap::kModeLine);
    EXPECT_EQ((std::vector<std::string>{"#####", "#..#.", "#.#..", "##...", "#...."}), Picture(outline));
    Bitmap across(5, 5, Bitmap::kFormatARGB32);
    across.Triangle(-100, -100, 200, -100, -100, 200, kWhite, Bitmap::kModeFill);
    EXPECT_EQ(25u, Count(across, kWhite));
    Bitmap outside(5, 5, Bitmap::kFormatARGB32);
    outside.Triangle(6, 0, 9, 0, 6, 4, kWhite, Bitmap::kModeFill);
    outside.Triangle(INT_MIN, INT_MIN, INT_MIN, INT_MAX, INT_MIN + 1, 0, kWhite, Bitmap::kModeFill);
    EXPECT_EQ(0u, Count(outside, kWhite));
}

TEST(BitmapDrawTest, BlendIsSourceOverByAlpha)
{
    // out alpha = sa + da (1 - sa); out colour = (sc sa + dc da (1 - sa)) / out alpha.
    struct Case {
        uint32_t dest, source, want;
    };
    const Case cases[] = {
        {0xFF0000FFu, 0xFFFF0000u, 0xFFFF0000u},  // opaque source replaces
        {0xFF0000FFu, 0x00FF0000u, 0xFF0000FFu},  // clear source keeps
        {0x00000000u, 0x80FF0000u, 0x80FF0000u},  // onto nothing: the source
        {0xFF0000FFu, 0x80FF0000u, 0xFF80007Fu},  // half over opaque
        {0x80000000u, 0x80FFFFFFu, 0xC0AAAAAAu},  // half over half
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.want, Bitmap::Blend(c.dest, c.source)) << std::hex << c.dest << " " << c.source;
        Bitmap b(1, 1, Bitmap::kFormatARGB32);
        b.Clear(c.dest);
        b.BlendPixel(0, 0, c.source);
        EXPECT_EQ(c.want, b.GetPixel(0, 0));
    }
}

TEST(BitmapDrawTest, ImageCopiesClipAtEveryEdge)
{
    Bitmap source(2, 2, Bitmap::kFormatARGB32);
    source.Clear(kWhite);
    struct Case {
        int32_t x, y;
        uint32_t count;
    };
    const Case cases[] = {{0, 0, 4}, {-1, -1, 1}, {3, 3, 1}, {-1, 3, 1}, {3, -1, 1}, {4, 0, 0}, {0, -2, 0},
                          {INT_MIN, INT_MAX, 0}};
    for (const Case& c : cases) {
        Bitmap b(4, 4, Bitmap::kFormatARGB32);
        b.Image(source, c.x, c.y, Bitmap::Rect{0, 0, 2, 2}, Bitmap::kModeBlend);
        EXPECT_EQ(c.count, Count(b, kWhite)) << c.x << "," << c.y;
    }
    // A source rectangle reaching past the source copies what is there.
    Bitmap b(4, 4, Bitmap::kFormatARGB32);
    b.Image(source, 0, 0, Bitmap::Rect{-1, -1, 4, 4}, Bitmap::kModeCopy);
    EXPECT_EQ((std::vector<std::string>{"....", ".##.", ".##.", "...."}), Picture(b));
}

TEST(BitmapDrawTest, ScaledImageStaysInsideTheClip)
{
    Bitmap source(2, 1, Bitmap::kFormatARGB32);
    source.SetPixel(0, 0, kWhite);
    source.SetPixel(1, 0, kRed);
    Bitmap b(4, 2, Bitmap::kFormatARGB32);
    b.Image(source, Bitmap::Rect{0, 0, 2, 1}, Bitmap::Rect{0, 0, 4, 2}, Bitmap::kModeCopy, Bitmap::Rect{0, 0, 3, 2});
    EXPECT_EQ((std::vector<std::string>{"##?.", "##?."}), Picture(b));
    EXPECT_EQ(kRed, b.GetPixel(2, 0));
}

TEST(BitmapDrawTest, SelfCopyActsAsThroughASeparateBuffer)
{
    // Overlapping copies in each direction, copied and blended, against the
    // same copy from a separate bitmap.
    const int32_t shifts[][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {-1, -1}};
    for (uint32_t mode : {uint32_t(Bitmap::kModeCopy), uint32_t(Bitmap::kModeBlend)}) {
        for (const auto& s : shifts) {
            Bitmap self(5, 5, Bitmap::kFormatARGB32);
            Bitmap other(5, 5, Bitmap::kFormatARGB32);
            for (uint32_t y = 0; y < 5; ++y)
                for (uint32_t x = 0; x < 5; ++x) {
                    self.SetPixel(x, y, 0xFF000000u | (y * 5 + x));
                    other.SetPixel(x, y, 0xFF000000u | (y * 5 + x));
                }
            Bitmap separate(5, 5, Bitmap::kFormatARGB32);
            separate.Image(other, 0, 0, Bitmap::Rect{0, 0, 5, 5}, Bitmap::kModeCopy);
            const Bitmap::Rect from{1, 1, 3, 3};
            self.Image(self, 1 + s[0], 1 + s[1], from, mode);
            other.Image(separate, 1 + s[0], 1 + s[1], from, mode);
            for (uint32_t y = 0; y < 5; ++y)
                for (uint32_t x = 0; x < 5; ++x)
                    ASSERT_EQ(other.GetPixel(x, y), self.GetPixel(x, y))
                        << "mode " << mode << " shift " << s[0] << "," << s[1] << " at " << x << "," << y;
        }
    }
}

TEST(BitmapDrawTest, OtherFormatsAreLeftAlone)
{
    Bitmap grey(2, 2, Bitmap::kFormatLuminance8);
    grey.Clear(kWhite);
    grey.Line(0, 0, 1, 1, kWhite, 0);
    grey.Box(Bitmap::Rect{0, 0, 2, 2}, kWhite, Bitmap::kModeFill);
    for (uint32_t i = 0; i < grey.GetDataSize(); ++i)
        EXPECT_EQ(0, grey.GetData()[i]);
    Bitmap none;
    none.Clear(kWhite);
    none.Circle(0, 0, 3, kWhite, Bitmap::kModeFill);
    EXPECT_TRUE(none.Empty());
}

}  // namespace
