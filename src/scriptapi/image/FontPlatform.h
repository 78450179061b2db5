// The text functions the TrueType rasteriser asks of the platform, in the
// shape of the system's font calls it was written against: create a font
// from a description, read its metrics, character set and font signature,
// the widths of a run of characters, and draw one character into a 32-bit
// bitmap. The process uses the FreeType one; tests put in their own to fail
// a step or to answer with made-up fonts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "nyx/gfx/bitmap/Bitmap.h"

struct FontRequest {
    std::string faceName;  // UTF-8; empty for the default face
    int32_t height = 0;    // > 0: cell height, < 0: em height, in pixels
    int32_t weight = 400;  // 700 bold
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    uint32_t charset = 1;
    uint32_t quality = 3;  // 3: one bit a pixel, 4: anti-aliased
};

struct FontMetrics {
    int32_t height = 0;
    int32_t ascent = 0;
};

// The font signature: the Unicode-subset bits and the code-page bits.
struct FontSignature {
    uint32_t unicodeRanges[4] = {0, 0, 0, 0};
    uint32_t codePages[2] = {0, 0};
};

// Leading bearing A, black-box width B and trailing bearing C in pixels.
struct GlyphWidths {
    int32_t a = 0;
    int32_t b = 0;
    int32_t c = 0;
};

class FontPlatform {
public:
    class Font {
    public:
        virtual ~Font() = default;
    };

    virtual ~FontPlatform() = default;

    virtual std::unique_ptr<Font> CreateFont(const FontRequest& request) = 0;
    // The drawing context the set-up and the glyph drawing work in.
    virtual bool CreateDC() { return true; }
    virtual bool GetTextMetrics(Font& font, FontMetrics& out) = 0;
    // The character set the font is selected with (1 when it tells none).
    virtual uint32_t GetTextCharsetInfo(Font& font, FontSignature& out) = 0;
    // The widths of every character from first to last, into out[0..].
    virtual bool GetCharABCWidths(Font& font, uint32_t first, uint32_t last, GlyphWidths* out) = 0;
    // The atlas's pixels: side x side, 32 bits a pixel, zeroed.
    virtual bool CreateDIBSection(Nyx::Bitmap& atlas, uint32_t side);
    // Draws the character white on black, its cell's top-left at (x, y)
    // with the pen at x, writing only inside the clip rectangle.
    virtual bool TextOut(Font& font, Nyx::Bitmap& target, int32_t x, int32_t y, uint32_t character,
                         const Nyx::Bitmap::Rect& clip) = 0;

    // The platform in use: the one set, else the FreeType one.
    static FontPlatform& Current();
    // Null puts the FreeType one back. The caller keeps the object alive.
    static void SetCurrent(FontPlatform* platform) noexcept;
};
