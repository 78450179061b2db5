// The font calls on FreeType, with fontconfig choosing the face file:
// - a positive height is the cell height (the face scaled so that its
//   Windows ascent plus descent fill it), a negative one the em height;
// - the metrics, the Unicode-subset bits and the character set come from
//   the face's OS/2 table (a face without one tells character set 1);
// - quality 3 renders one bit a pixel, 4 anti-aliased;
// - bold and italic take the bold or italic face, else embolden or shear;
// - A is the hinted glyph's bitmap left, B its width, C the advance less
//   both, and a glyph is drawn at (pen + A, top + ascent - bitmap top).
// "swiss" and an empty name ask for the default sans face.
#pragma once

#include "scriptapi/image/FontPlatform.h"

class FreeTypeFontPlatform : public FontPlatform {
public:
    std::unique_ptr<Font> CreateFont(const FontRequest& request) override;
    bool GetTextMetrics(Font& font, FontMetrics& out) override;
    uint32_t GetTextCharsetInfo(Font& font, FontSignature& out) override;
    bool GetCharABCWidths(Font& font, uint32_t first, uint32_t last, GlyphWidths* out) override;
    bool TextOut(Font& font, Nyx::Bitmap& target, int32_t x, int32_t y, uint32_t character,
                 const Nyx::Bitmap::Rect& clip) override;

    // The face file fontconfig picks for a name (for tests and messages);
    // empty when none.
    static std::string FaceFile(const std::string& faceName, bool bold = false, bool italic = false);
    // FreeType's version as "major.minor.patch".
    static std::string LibraryVersion();
};
