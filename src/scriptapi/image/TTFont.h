// One system TrueType font as a glyph atlas: a square 32-bit bitmap cut
// into equal cells, into which glyphs are drawn on first use and from which
// script images copy them when they draw text. It also measures text from
// the widths it reads once per Unicode range at set-up.
//
// Used from the thread that runs scripts; not locked.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include "nyx/gfx/bitmap/Bitmap.h"
#include "scriptapi/image/FontPlatform.h"

class TTFont {
public:
    // Style flags.
    static constexpr uint32_t kBold = 1;
    static constexpr uint32_t kUnderline = 2;
    static constexpr uint32_t kItalic = 4;
    static constexpr uint32_t kStrikeOut = 32;
    static constexpr uint32_t kShadow = 64;
    static constexpr uint32_t kAntialiased = 128;

    static constexpr uint32_t kMaxAtlasSide = 512;

    // A glyph as GetGlyph gives it: its atlas rectangle in texture units,
    // its leading bearing, drawn width and trailing bearing in pixels.
    struct Glyph {
        float left = 0;
        float top = 0;
        float width = 0;
        float height = 0;
        int32_t leading = 0;
        int32_t drawnWidth = 0;
        int32_t trailing = 0;
    };

    // The glyphs of one Unicode subset: its first glyph index and its code
    // points.
    struct Range {
        uint32_t firstGlyph;
        uint32_t first;
        uint32_t last;
    };

    TTFont() = default;
    ~TTFont() { Reset(); }
    TTFont(const TTFont&) = delete;
    TTFont& operator=(const TTFont&) = delete;

    // Sets the font up: charset name (or null), face name as ANSI text (or
    // null), height (> 0 cell, < 0 em), style flags. Failures are logged.
    bool Init(const char* charsetName, const char* faceName, int32_t height, uint32_t style);
    void Reset();

    // Width in pixels of a UTF-8 text: trailing blanks and the last glyph's
    // trailing bearing do not count.
    int32_t MeasureText(std::string_view text) const;
    // False when the character cannot be drawn.
    bool GetGlyph(uint32_t character, Glyph& out);
    // Copies the glyph's atlas rectangle to the point, blending.
    void CopyGlyph(Nyx::Bitmap& dest, int32_t x, int32_t y, const Glyph& glyph) const;
    void DropDC() noexcept { dc_ = false; }

    // The glyph index of a code point, or `fallback` when no range holds it.
    uint32_t GlyphIndex(uint32_t codePoint, uint32_t fallback) const noexcept;

    // The value of a charset name (1 for null or an unknown name).
    static uint32_t CharsetFromName(const char* name) noexcept;
    // The atlas side for a cell: the smallest power of two from 64 up to
    // kMaxAtlasSide that holds 64 cells, else kMaxAtlasSide.
    static uint32_t AtlasSide(int32_t cellWidth, int32_t cellHeight) noexcept;

    int32_t CellHeight() const noexcept { return cellHeight_; }
    int32_t Ascent() const noexcept { return ascent_; }
    int32_t CellWidth() const noexcept { return cellWidth_; }
    uint32_t AtlasSize() const noexcept { return atlasSize_; }
    int32_t SpaceWidth() const noexcept { return spaceWidth_; }
    uint32_t Columns() const noexcept { return columns_; }
    uint32_t Rows() const noexcept { return rows_; }
    uint32_t Style() const noexcept { return style_; }
    uint32_t DefaultGlyph() const noexcept { return defaultGlyph_; }
    bool HasDC() const noexcept { return dc_; }
    bool AtlasChanged() const noexcept { return atlasChanged_; }
    const std::vector<Range>& Ranges() const noexcept { return ranges_; }
    const std::vector<GlyphWidths>& Widths() const noexcept { return abcWidths_; }
    const Nyx::Bitmap& Atlas() const noexcept { return atlas_; }
    // Characters with a cell in the atlas.
    size_t CachedGlyphs() const noexcept { return glyphCells_.size(); }

private:
    struct Cell {
        uint32_t character = 0;  // 0: empty
        uint32_t glyph = 0;      // index into abcWidths_
        uint32_t useCount = 0;
        int32_t x = 0;
        int32_t y = 0;
    };

    bool Fail(const char* format, const char* face);
    bool EnsureDC();
    // The character whose glyph a cell of `character` shows.
    uint32_t DrawnCharacter(uint32_t character) const noexcept;
    void ConvertCell(const Cell& cell, int32_t black);
    void CountUse(uint32_t cell);

    FontPlatform* platform_ = nullptr;
    bool dc_ = false;
    std::unique_ptr<FontPlatform::Font> font_;
    Nyx::Bitmap atlas_;
    bool atlasChanged_ = false;
    int32_t cellHeight_ = 0;
    int32_t ascent_ = 0;
    int32_t cellWidth_ = 0;
    uint32_t atlasSize_ = 0;
    int32_t spaceWidth_ = 0;
    float texelScale_ = 0;
    int32_t extraSpacing_ = 0;
    uint32_t columns_ = 0;
    uint32_t rows_ = 0;
    uint32_t style_ = 0;
    int32_t shadowExtra_ = 0;
    std::vector<GlyphWidths> abcWidths_;
    std::map<uint32_t, uint32_t> glyphCells_;  // character -> cell
    std::vector<Cell> cells_;
    // Cells by use count, least used first, and each cell's place in it.
    std::vector<uint32_t> cellOrder_;
    std::vector<uint32_t> orderPlace_;
    std::vector<Range> ranges_;
    uint32_t defaultGlyph_ = 0;
};
