#include "scriptapi/image/FreeTypeFontPlatform.h"

#include <algorithm>
#include <unordered_map>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

// GCC says so by a macro, clang by a feature test.
#if defined(__SANITIZE_ADDRESS__)
#define KESTRO_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTRO_ADDRESS_SANITIZER 1
#endif
#endif

#if defined(KESTRO_ADDRESS_SANITIZER)
// fontconfig loses a block of its own while it parses its configuration,
// once per process; the leak checker is told so, for every program that
// finds faces.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
#endif

namespace {

// The library lives for the whole process: fonts of the process-wide font
// cache are freed at exit, after any order of static destructors.
FT_Library Library()
{
    static FT_Library library = [] {
        FT_Library made = nullptr;
        if (FT_Init_FreeType(&made) != 0)
            made = nullptr;
        return made;
    }();
    return library;
}

// Code-page bits of the font signature and the character sets they stand
// for, in bit order.
struct CodePageCharset {
    uint32_t bit;
    uint32_t charset;
};
constexpr CodePageCharset kCodePages[] = {
    {0, 0},    {1, 238},  {2, 204},  {3, 161},  {4, 162},  {5, 177},  {6, 178},  {7, 186},
    {8, 163},  {16, 222}, {17, 128}, {18, 134}, {19, 129}, {20, 136}, {21, 130}, {31, 2},
};

// The slant that shears an upright face into an italic one.
constexpr FT_Fixed kItalicShear = 0x0366A;  // 0.2126

class FreeTypeFont : public FontPlatform::Font {
public:
    ~FreeTypeFont() override
    {
        if (face)
            FT_Done_Face(face);
    }

    FT_Face face = nullptr;
    bool mono = true;
    bool embolden = false;
    bool underline = false;
    bool strikeOut = false;
    int32_t height = 0;
    int32_t ascent = 0;
    uint32_t charset = 1;
    std::unordered_map<FT_UInt, GlyphWidths> widths;  // by glyph index

    FT_Int32 LoadFlags() const { return FT_LOAD_DEFAULT | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL); }

    // Loads and renders one glyph into the face's slot; false when FreeType
    // cannot.
    bool Render(FT_UInt index)
    {
        if (FT_Load_Glyph(face, index, LoadFlags()) != 0)
            return false;
        FT_GlyphSlot slot = face->glyph;
        if (embolden && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
            // As FreeType's own emboldening: a 24th of the em, the advance
            // widened by as much.
            const FT_Pos strength = FT_MulFix(face->units_per_EM, face->size->metrics.y_scale) / 24;
            FT_Outline_Embolden(&slot->outline, strength);
            slot->advance.x += (strength + 63) & ~63;
        }
        return FT_Render_Glyph(slot, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) == 0;
    }

    bool Widths(FT_UInt index, GlyphWidths& out)
    {
        if (auto it = widths.find(index); it != widths.end()) {
            out = it->second;
            return true;
        }
        if (!Render(index))
            return false;
        const FT_GlyphSlot slot = face->glyph;
        out.a = slot->bitmap_left;
        out.b = static_cast<int32_t>(slot->bitmap.width);
        out.c = static_cast<int32_t>((slot->advance.x + 32) >> 6) - out.a - out.b;
        widths.emplace(index, out);
        return true;
    }

    // A line of the underline or strike-out: `position` font units above the
    // baseline, `thickness` units thick, across the advance.
    void DrawLine(Nyx::Bitmap& target, int32_t x, int32_t top, int32_t advance, int32_t position, int32_t thickness,
                  const Nyx::Bitmap::Rect& clip) const
    {
        const FT_Fixed scale = face->size->metrics.y_scale;
        const int32_t rows = std::max<int32_t>(1, static_cast<int32_t>((FT_MulFix(thickness, scale) + 32) >> 6));
        const int32_t row0 = top + ascent - static_cast<int32_t>((FT_MulFix(position, scale) + 32) >> 6);
        for (int32_t r = row0; r < row0 + rows; ++r)
            for (int32_t c = x; c < x + advance; ++c)
                if (c >= clip.x && c < clip.x + clip.width && r >= clip.y && r < clip.y + clip.height)
                    target.SetPixel(static_cast<uint32_t>(c), static_cast<uint32_t>(r), 0x00FFFFFF);
    }
};

std::string FontconfigFamily(const std::string& name)
{
    std::string lower = name;
    for (char& c : lower)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    return lower.empty() || lower == "swiss" ? std::string("sans-serif") : name;
}

// The face file and its index for a description, with what the match lacks
// of the asked weight and slant.
struct FaceChoice {
    std::string file;
    int index = 0;
    bool needsBold = false;
    bool needsItalic = false;
};

bool ChooseFace(const std::string& name, bool bold, bool italic, FaceChoice& out)
{
    if (!FcInit())
        return false;
    FcPattern* pattern = FcPatternCreate();
    if (!pattern)
        return false;
    const std::string family = FontconfigFamily(name);
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match)
        return false;
    FcChar8* file = nullptr;
    bool found = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file;
    if (found) {
        out.file = reinterpret_cast<const char*>(file);
        if (FcPatternGetInteger(match, FC_INDEX, 0, &out.index) != FcResultMatch)
            out.index = 0;
        int weight = FC_WEIGHT_REGULAR;
        int slant = FC_SLANT_ROMAN;
        FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
        FcPatternGetInteger(match, FC_SLANT, 0, &slant);
        out.needsBold = bold && weight < FC_WEIGHT_DEMIBOLD;
        out.needsItalic = italic && slant == FC_SLANT_ROMAN;
    }
    FcPatternDestroy(match);
    return found;
}

FreeTypeFont& Of(FontPlatform::Font& font) { return static_cast<FreeTypeFont&>(font); }

}  // namespace

std::unique_ptr<FontPlatform::Font> FreeTypeFontPlatform::CreateFont(const FontRequest& request)
{
    FT_Library library = Library();
    FaceChoice choice;
    if (!library || !ChooseFace(request.faceName, request.weight >= 700, request.italic, choice))
        return nullptr;
    auto font = std::make_unique<FreeTypeFont>();
    if (FT_New_Face(library, choice.file.c_str(), choice.index, &font->face) != 0) {
        font->face = nullptr;
        return nullptr;
    }
    FT_Face face = font->face;
    if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0)
        return nullptr;
    font->mono = request.quality != 4;
    font->embolden = choice.needsBold;
    font->underline = request.underline;
    font->strikeOut = request.strikeOut;
    font->charset = request.charset;

    // The cell is the Windows ascent and descent; a face without them
    // uses its own ascender and descender.
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    int64_t up = os2 ? os2->usWinAscent : face->ascender;
    int64_t down = os2 ? os2->usWinDescent : -face->descender;
    if (up + down <= 0) {
        up = face->units_per_EM;
        down = 0;
    }
    // A height of 0 asks for the default size: a 16-pixel cell.
    int64_t height = request.height == 0 ? 16 : request.height;
    int64_t em26;  // the em in 26.6 pixels
    if (height > 0) {
        em26 = (height * 64 * face->units_per_EM + (up + down) / 2) / (up + down);
        font->ascent = static_cast<int32_t>((height * up + (up + down) / 2) / (up + down));
        font->height = static_cast<int32_t>(height);
    } else {
        em26 = -height * 64;
        font->ascent = static_cast<int32_t>((-height * up + face->units_per_EM / 2) / face->units_per_EM);
        font->height =
            font->ascent + static_cast<int32_t>((-height * down + face->units_per_EM / 2) / face->units_per_EM);
    }
    if (em26 <= 0 || em26 > (int64_t{1} << 24))
        return nullptr;
    if (FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(em26), 72, 72) != 0)
        return nullptr;
    if (choice.needsItalic) {
        FT_Matrix shear = {0x10000, kItalicShear, 0, 0x10000};
        FT_Set_Transform(face, &shear, nullptr);
    }
    return font;
}

bool FreeTypeFontPlatform::GetTextMetrics(Font& font, FontMetrics& out)
{
    out.height = Of(font).height;
    out.ascent = Of(font).ascent;
    return true;
}

uint32_t FreeTypeFontPlatform::GetTextCharsetInfo(Font& font, FontSignature& out)
{
    out = FontSignature();
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(Of(font).face, FT_SFNT_OS2));
    if (!os2)
        return 1;
    out.unicodeRanges[0] = static_cast<uint32_t>(os2->ulUnicodeRange1);
    out.unicodeRanges[1] = static_cast<uint32_t>(os2->ulUnicodeRange2);
    out.unicodeRanges[2] = static_cast<uint32_t>(os2->ulUnicodeRange3);
    out.unicodeRanges[3] = static_cast<uint32_t>(os2->ulUnicodeRange4);
    out.codePages[0] = static_cast<uint32_t>(os2->ulCodePageRange1);
    out.codePages[1] = static_cast<uint32_t>(os2->ulCodePageRange2);
    // The asked set when the face has it (the default set is the Western
    // one), else the face's first.
    const uint32_t wanted = Of(font).charset == 1 ? 0 : Of(font).charset;
    uint32_t first = 1;
    for (const CodePageCharset& page : kCodePages) {
        if ((out.codePages[0] & (1u << page.bit)) == 0)
            continue;
        if (page.charset == wanted)
            return wanted;
        if (first == 1)
            first = page.charset;
    }
    return first;
}

bool FreeTypeFontPlatform::GetCharABCWidths(Font& font, uint32_t first, uint32_t last, GlyphWidths* out)
{
    if (first > last)
        return false;
    FreeTypeFont& f = Of(font);
    for (uint32_t c = first; c <= last; ++c) {
        // A character the face lacks measures as its missing-glyph box.
        if (!f.Widths(FT_Get_Char_Index(f.face, c), out[c - first]))
            return false;
    }
    return true;
}

bool FreeTypeFontPlatform::TextOut(Font& font, Nyx::Bitmap& target, int32_t x, int32_t y, uint32_t character,
                                   const Nyx::Bitmap::Rect& clip)
{
    FreeTypeFont& f = Of(font);
    if (!f.Render(FT_Get_Char_Index(f.face, character)))
        return false;
    const FT_GlyphSlot slot = f.face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    const int32_t left = x + slot->bitmap_left;
    const int32_t top = y + f.ascent - slot->bitmap_top;
    const int32_t advance = static_cast<int32_t>((slot->advance.x + 32) >> 6);
    auto inside = [&](int64_t c, int64_t r) {
        return c >= clip.x && c < int64_t{clip.x} + clip.width && r >= clip.y && r < int64_t{clip.y} + clip.height;
    };
    for (uint32_t r = 0; r < bitmap.rows; ++r) {
        const unsigned char* row = bitmap.buffer + static_cast<ptrdiff_t>(r) * bitmap.pitch;
        for (uint32_t c = 0; c < bitmap.width; ++c) {
            uint32_t level;
            if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO)
                level = (row[c / 8] >> (7 - c % 8)) & 1 ? 255 : 0;
            else
                level = row[c];
            const int64_t px = int64_t{left} + c;
            const int64_t py = int64_t{top} + r;
            if (level != 0 && inside(px, py))
                target.SetPixel(static_cast<uint32_t>(px), static_cast<uint32_t>(py), level * 0x010101u);
        }
    }
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(f.face, FT_SFNT_OS2));
    const TT_Postscript* post = static_cast<const TT_Postscript*>(FT_Get_Sfnt_Table(f.face, FT_SFNT_POST));
    if (f.underline)
        f.DrawLine(target, x, y, advance, post ? post->underlinePosition : -f.face->units_per_EM / 10,
                   post ? post->underlineThickness : f.face->units_per_EM / 20, clip);
    if (f.strikeOut)
        f.DrawLine(target, x, y, advance, os2 ? os2->yStrikeoutPosition : f.face->units_per_EM / 4,
                   os2 ? os2->yStrikeoutSize : f.face->units_per_EM / 20, clip);
    return true;
}

std::string FreeTypeFontPlatform::FaceFile(const std::string& faceName, bool bold, bool italic)
{
    FaceChoice choice;
    return ChooseFace(faceName, bold, italic, choice) ? choice.file : std::string();
}

std::string FreeTypeFontPlatform::LibraryVersion()
{
    FT_Int major = 0, minor = 0, patch = 0;
    if (FT_Library library = Library())
        FT_Library_Version(library, &major, &minor, &patch);
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}
