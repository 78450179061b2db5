// The TrueType rasteriser on DejaVu Sans through FreeType, and on made-up
// platforms that fail a step or answer with chosen widths.
#include "scriptapi/image/TTFont.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include "scriptapi/image/FreeTypeFontPlatform.h"
#include "scriptapi/image/TTFontCache.h"
#include "scriptapi/specs/SpecTestSupport.h"

namespace {

constexpr const char* kFace = "DejaVu Sans";

// The test command installs the face; without it these tests would prove
// nothing, so they fail rather than skip.
constexpr const char* kNoDejaVu = "DejaVu Sans is not installed: install the package fonts-dejavu-core";

bool HaveDejaVu()
{
    return FreeTypeFontPlatform::FaceFile(kFace).find("DejaVuSans.ttf") != std::string::npos;
}

// FreeType with chosen steps failing.
class FailingPlatform : public FreeTypeFontPlatform {
public:
    bool failCreate = false;
    bool failDC = false;
    bool failMetrics = false;
    bool defaultCharset = false;
    int failWidthsCall = -1;
    bool failDIB = false;
    int widthCalls = 0;
    std::vector<uint32_t> charsets;

    std::unique_ptr<Font> CreateFont(const FontRequest& r) override
    {
        charsets.push_back(r.charset);
        return failCreate ? nullptr : FreeTypeFontPlatform::CreateFont(r);
    }
    bool CreateDC() override { return !failDC; }
    bool GetTextMetrics(Font& f, FontMetrics& out) override
    {
        return !failMetrics && FreeTypeFontPlatform::GetTextMetrics(f, out);
    }
    uint32_t GetTextCharsetInfo(Font& f, FontSignature& out) override
    {
        const uint32_t got = FreeTypeFontPlatform::GetTextCharsetInfo(f, out);
        return defaultCharset ? 1 : got;
    }
    bool GetCharABCWidths(Font& f, uint32_t first, uint32_t last, GlyphWidths* out) override
    {
        return widthCalls++ != failWidthsCall && FreeTypeFontPlatform::GetCharABCWidths(f, first, last, out);
    }
    bool CreateDIBSection(Nyx::Bitmap& atlas, uint32_t side) override
    {
        return !failDIB && FreeTypeFontPlatform::CreateDIBSection(atlas, side);
    }
};

// A font of chosen subsets whose every character's A is its code point.
class NumberedPlatform : public FontPlatform {
public:
    FontSignature signature;
    std::unique_ptr<Font> CreateFont(const FontRequest&) override { return std::make_unique<Font>(); }
    bool GetTextMetrics(Font&, FontMetrics& out) override
    {
        out = {10, 8};
        return true;
    }
    uint32_t GetTextCharsetInfo(Font&, FontSignature& out) override
    {
        out = signature;
        return 0;
    }
    bool GetCharABCWidths(Font&, uint32_t first, uint32_t last, GlyphWidths* out) override
    {
        for (uint32_t c = first; c <= last; ++c)
            out[c - first] = {int32_t(c), 1, 0};
        return true;
    }
    bool TextOut(Font&, Nyx::Bitmap&, int32_t, int32_t, uint32_t, const Nyx::Bitmap::Rect&) override { return true; }
};

struct PlatformScope {
    explicit PlatformScope(FontPlatform& p) { FontPlatform::SetCurrent(&p); }
    ~PlatformScope() { FontPlatform::SetCurrent(nullptr); }
};

// The pixels of a glyph's atlas rectangle, one byte a pixel (the colour's
// lowest byte where the alpha is set, else 0).
std::vector<std::string> CellPixels(const TTFont& font, const TTFont::Glyph& g)
{
    const float side = float(font.AtlasSize());
    const int32_t x0 = int32_t(g.left * side), y0 = int32_t(g.top * side);
    std::vector<std::string> rows;
    for (int32_t y = 0; y < int32_t(g.height * side); ++y) {
        std::string row;
        for (int32_t x = 0; x < int32_t(g.width * side); ++x) {
            const uint32_t p = font.Atlas().GetPixel(uint32_t(x0 + x), uint32_t(y0 + y));
            row += char((p >> 24) ? (p & 0xFF) : 0);
        }
        rows.push_back(row);
    }
    return rows;
}

TEST(TTFontTest, AtlasSideHoldsSixtyFourCells)
{
    EXPECT_EQ(128u, TTFont::AtlasSide(10, 20));  // 64 holds 3 x 6, 128 holds 6 x 12
    EXPECT_EQ(64u, TTFont::AtlasSide(8, 7));
    EXPECT_EQ(512u, TTFont::AtlasSide(100, 100));
    EXPECT_EQ(0u, TTFont::CharsetFromName("ANSI"));
    EXPECT_EQ(161u, TTFont::CharsetFromName("Greek"));
    EXPECT_EQ(1u, TTFont::CharsetFromName("klingon"));
    EXPECT_EQ(1u, TTFont::CharsetFromName(nullptr));
}

TEST(TTFontTest, MetricsFollowTheFaceTables)
{
    ASSERT_TRUE(HaveDejaVu()) << kNoDejaVu;
    FT_Library library;
    ASSERT_EQ(0, FT_Init_FreeType(&library));
    FT_Face face;
    ASSERT_EQ(0, FT_New_Face(library, FreeTypeFontPlatform::FaceFile(kFace).c_str(), 0, &face));
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    ASSERT_NE(nullptr, os2);
    const double up = os2->usWinAscent, down = os2->usWinDescent, em = face->units_per_EM;
    FT_Done_Face(face);
    FT_Done_FreeType(library);

    for (int32_t height : {20, 13, -16}) {
        TTFont font;
        ASSERT_TRUE(font.Init(nullptr, kFace, height, 0)) << height;
        if (height > 0) {
            EXPECT_EQ(height, font.CellHeight());
            EXPECT_EQ(std::lround(height * up / (up + down)), font.Ascent());
        } else {
            EXPECT_EQ(std::lround(-height * up / em), font.Ascent());
            EXPECT_EQ(std::lround(-height * up / em) + std::lround(-height * down / em), font.CellHeight());
        }
        int32_t widest = 0;
        for (const GlyphWidths& w : font.Widths())
            widest = std::max(widest, w.b);
        EXPECT_EQ(widest + 1, font.CellWidth());
        EXPECT_EQ(TTFont::AtlasSide(font.CellWidth(), font.CellHeight()), font.AtlasSize());
        EXPECT_EQ(font.AtlasSize() / uint32_t(font.CellWidth()), font.Columns());
        EXPECT_EQ(font.AtlasSize() / uint32_t(font.CellHeight() + 1), font.Rows());
        const GlyphWidths& space = font.Widths()[font.GlyphIndex(' ', 0)];
        EXPECT_EQ(space.a + space.b + space.c, font.SpaceWidth());
        EXPECT_EQ(font.GlyphIndex('?', 0), font.DefaultGlyph());
        for (size_t i = 1; i < font.Ranges().size(); ++i)
            EXPECT_LT(font.Ranges()[i - 1].first, font.Ranges()[i].first);
    }
}

TEST(TTFontTest, MeasureTextSumsTheWidths)
{
    ASSERT_TRUE(HaveDejaVu()) << kNoDejaVu;
    TTFont font;
    ASSERT_TRUE(font.Init(nullptr, kFace, 16, 0));
    auto abc = [&](uint32_t c) { return font.Widths()[font.GlyphIndex(c, font.DefaultGlyph())]; };
    const GlyphWidths a = abc('A'), v = abc('V'), g = abc('g');
    EXPECT_EQ(a.a + a.b + a.c + v.a + v.b + v.c + g.a + g.b, font.MeasureText("AVg"));
    EXPECT_EQ(font.MeasureText("AVg"), font.MeasureText("AVg  \t "));
    EXPECT_EQ(font.MeasureText("AVg"), font.MeasureText("A\x01V\x1Fg"));
    EXPECT_EQ(0, font.MeasureText("\x01\x02\n\r"));
    EXPECT_EQ(0, font.MeasureText(""));
    EXPECT_EQ(font.SpaceWidth() + a.a + a.b, font.MeasureText(" A"));
    EXPECT_EQ(font.MeasureText("-"), font.MeasureText("\xE2\x80\x93"));        // en dash
    EXPECT_EQ(font.MeasureText("?"), font.MeasureText("\xF0\x9F\x98\x80"));    // above U+FFFF
}

TEST(TTFontTest, SubstitutesDrawTheGlyphsTheyStandFor)
{
    ASSERT_TRUE(HaveDejaVu()) << kNoDejaVu;
    TTFont font;
    ASSERT_TRUE(font.Init(nullptr, kFace, 16, 0));
    const std::pair<uint32_t, uint32_t> pairs[] = {{0x2013, '-'}, {0x2019, '\''}, {0x1F600, '?'}, {0x10000, '?'}};
    for (const auto& [substitute, plain] : pairs) {
        TTFont::Glyph a, b;
        ASSERT_TRUE(font.GetGlyph(substitute, a));
        ASSERT_TRUE(font.GetGlyph(plain, b));
        EXPECT_EQ(b.leading, a.leading);
        EXPECT_EQ(b.drawnWidth, a.drawnWidth);
        EXPECT_EQ(b.trailing, a.trailing);
        EXPECT_EQ(CellPixels(font, b), CellPixels(font, a)) << std::hex << substitute;
    }
    TTFont::Glyph control, space;
    ASSERT_TRUE(font.GetGlyph(0x07, control));
    EXPECT_EQ(0, control.drawnWidth);
    ASSERT_TRUE(font.GetGlyph(' ', space));
    EXPECT_EQ(font.SpaceWidth(), space.drawnWidth);
    EXPECT_EQ(0.0f, space.width);
}

// Every glyph drawn once more than the atlas has cells: the newest still
// gets a cell, the least used one giving way.
TEST(TTFontTest, AFullAtlasGivesUpItsLeastUsedCell)
{
    ASSERT_TRUE(HaveDejaVu()) << kNoDejaVu;
    TTFont font;
    ASSERT_TRUE(font.Init(nullptr, kFace, 12, 0));
    const uint32_t cells = font.Columns() * font.Rows();
    TTFont::Glyph glyph;
    ASSERT_TRUE(font.GetGlyph('A', glyph));
    ASSERT_TRUE(font.GetGlyph('A', glyph));  // used twice: the last to go
    uint32_t drawn = 0;
    for (uint32_t c = 0x100; drawn < cells + 5 && c < 0x250; ++c) {
        TTFont::Glyph g;
        ASSERT_TRUE(font.GetGlyph(c, g)) << "U+" << std::hex << c << " after " << std::dec << drawn;
        if (g.width > 0)
            ++drawn;
    }
    EXPECT_EQ(cells + 5, drawn);
    EXPECT_LE(font.CachedGlyphs(), cells);
    TTFont::Glyph again;
    ASSERT_TRUE(font.GetGlyph('A', again));
    EXPECT_EQ(glyph.left, again.left);
    EXPECT_EQ(glyph.top, again.top);
}

TEST(TTFontTest, ACellLargerThanTheAtlasFailsTheSetUp)
{
    ASSERT_TRUE(HaveDejaVu()) << kNoDejaVu;
    CaughtLog log;
    TTFont font;
    EXPECT_FALSE(font.Init(nullptr, kFace, 600, 0));
    EXPECT_NE(std::string::npos, log.Text().find("TTFont::Init> 'DejaVu Sans' size too large"));
    TTFont::Glyph glyph;
    EXPECT_FALSE(font.GetGlyph('A', glyph));
    EXPECT_EQ(0, font.MeasureText("A"));
}

// Subsets 51 (two ranges), 52, 59 (five) and 70 lie out of ascending
// order in the table; each code point still finds its own width.
TEST(TTFontTest, RangesOutOfTableOrderAreFound)
{
    NumberedPlatform platform;
    platform.signature.unicodeRanges[0] = 1;                  // bit 0: 0020-007E
    platform.signature.unicodeRanges[1] = (1u << 19) | (1u << 20) | (1u << 27);  // 51, 52, 59
    platform.signature.unicodeRanges[2] = (1u << 6) | (1u << 11);             // 70, 75
    PlatformScope scope(platform);
    TTFont font;
    ASSERT_TRUE(font.Init(nullptr, "x", 10, 0));
    for (uint32_t c : {0x41u, 0x3100u, 0x312Fu, 0x3130u, 0x318Fu, 0x31A0u, 0x31BFu, 0x2E80u, 0x2FF5u, 0x3400u,
                       0x4E00u, 0x9FFFu, 0x0F00u, 0x1200u}) {
        const uint32_t index = font.GlyphIndex(c, UINT32_MAX);
        ASSERT_LT(index, font.Widths().size()) << std::hex << c;
        EXPECT_EQ(int32_t(c), font.Widths()[index].a) << std::hex << c;
    }
    EXPECT_EQ(UINT32_MAX, font.GlyphIndex(0x3190, UINT32_MAX));
}

TEST(TTFontTest, EachFailedStepLogsItsText)
{
    ASSERT_TRUE(HaveDejaVu()) << kNoDejaVu;
    struct Case {
        const char* charset;
        void (*arrange)(FailingPlatform&);
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {nullptr, [](FailingPlatform& p) { p.failCreate = true; },
         {"'DejaVu Sans' CreateFontW failed", "'DejaVu Sans' failed retry"}},
        {"greek", [](FailingPlatform& p) { p.failCreate = true; },
         {"'DejaVu Sans' CreateFontW failed", "'DejaVu Sans' retrying with DEFAULT_CHARSET",
          "'DejaVu Sans' CreateFontW failed", "'DejaVu Sans' failed retry"}},
        {nullptr, [](FailingPlatform& p) { p.failMetrics = true; }, {"'DejaVu Sans' GetTextMetricsW failed"}},
        {nullptr, [](FailingPlatform& p) { p.defaultCharset = true; }, {"'DejaVu Sans' DEFAULT_CHARSET"}},
        {nullptr, [](FailingPlatform& p) { p.failWidthsCall = 2; },
         {"'DejaVu Sans' Unable to get char widths for range 2"}},
        {nullptr, [](FailingPlatform& p) { p.failDIB = true; }, {"'DejaVu Sans' CreateDIBSection failed"}},
        {nullptr, [](FailingPlatform& p) { p.failDC = true; }, {}},
    };
    for (const Case& c : cases) {
        FailingPlatform platform;
        c.arrange(platform);
        PlatformScope scope(platform);
        CaughtLog log;
        TTFont font;
        EXPECT_FALSE(font.Init(c.charset, kFace, 12, 0));
        std::istringstream text(log.Text());
        std::vector<std::string> lines;
        for (std::string line; std::getline(text, line);) {
            const size_t at = line.find("TTFont::Init> ");
            if (at != std::string::npos)
                lines.push_back(line.substr(at + 14));
        }
        EXPECT_EQ(c.lines, lines);
        EXPECT_TRUE(font.Widths().empty());
    }
}

TEST(TTFontTest, TheCacheKeepsOneFontPerDescriptionAndRetriesFailures)
{
    ASSERT_TRUE(HaveDejaVu()) << kNoDejaVu;
    const Nyx::PString face(kFace);
    TTFont* first = TTFontCache::Get(face, 14);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, TTFontCache::Get(face, 14));
    EXPECT_NE(first, TTFontCache::Get(face, 15));
    TTFontCache::Description bold;
    bold.bold = true;
    bold.height = 14;
    bold.faceName = face;
    EXPECT_NE(first, TTFontCache::Get(bold));

    const size_t kept = TTFontCache::Count();
    {
        FailingPlatform platform;
        platform.failCreate = true;
        PlatformScope scope(platform);
        CaughtLog log;
        EXPECT_EQ(nullptr, TTFontCache::Get(face, 17));
        EXPECT_EQ(kept, TTFontCache::Count());
    }
    TTFont* retried = TTFontCache::Get(face, 17);
    EXPECT_NE(nullptr, retried);
    EXPECT_EQ(kept + 1, TTFontCache::Count());
    // Past one block of records, the earlier fonts stay where they were.
    for (int32_t h = 30; h < 30 + int32_t(TTFontCache::kRecordsPerBlock); ++h)
        ASSERT_NE(nullptr, TTFontCache::Get(face, h));
    EXPECT_EQ(first, TTFontCache::Get(face, 14));
    EXPECT_EQ(retried, TTFontCache::Get(face, 17));
}

// Golden glyphs: pinned to DejaVu Sans 2.37 and FreeType 2.12.1; with
// KESTRO_WRITE_GOLDEN set the files are written anew
// (scripts/regenerate-glyph-goldens.sh).
TEST(TTFontTest, GlyphsMatchTheirGoldenPictures)
{
    ASSERT_TRUE(HaveDejaVu()) << kNoDejaVu;
    const bool write = std::getenv("KESTRO_WRITE_GOLDEN") != nullptr;
    if (!write && FreeTypeFontPlatform::LibraryVersion() != "2.12.1")
        GTEST_SKIP() << "the golden glyphs are FreeType 2.12.1's";
    struct Case {
        const char* name;
        uint32_t style;
        uint32_t character;
    };
    const Case cases[] = {{"A_mono", 0, 'A'},           {"g_mono", 0, 'g'},
                          {"A_antialiased", TTFont::kAntialiased, 'A'},
                          {"e_underline", TTFont::kUnderline, 'e'},
                          {"W_shadow", TTFont::kShadow, 'W'},  {"Q_bold_italic", TTFont::kBold | TTFont::kItalic, 'Q'}};
    for (const Case& c : cases) {
        TTFont font;
        ASSERT_TRUE(font.Init(nullptr, kFace, 16, c.style));
        TTFont::Glyph glyph;
        ASSERT_TRUE(font.GetGlyph(c.character, glyph));
        const std::vector<std::string> rows = CellPixels(font, glyph);
        std::ostringstream pgm;
        pgm << "P5\n" << (rows.empty() ? 0 : rows[0].size()) << " " << rows.size() << "\n255\n";
        for (const std::string& row : rows)
            pgm << row;
        const std::string path = std::string(KESTRO_TEST_DATA_DIR) + "/glyphs/" + c.name + ".pgm";
        if (write) {
            std::ofstream(path, std::ios::binary) << pgm.str();
            continue;
        }
        std::ifstream in(path, std::ios::binary);
        ASSERT_TRUE(in) << path;
        const std::string golden((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_TRUE(golden == pgm.str()) << c.name;
    }
}

}  // namespace
