// A font's character ranges and the lookup of a character's glyph slot.
#pragma once

#include <cstdint>

// Consecutive character codes a font covers, from firstCode to lastCode
// inclusive, with glyph slots counting up from firstSlot.
struct GlyphRange {
    uint32_t firstSlot;
    uint32_t firstCode;
    uint32_t lastCode;
};

// The glyph slot of a character, or the default when no range holds it. The
// ranges must be in ascending order of codes and must not overlap: they are
// binary-searched. An en dash is looked up as a hyphen-minus; codes above
// 0xFFFF, and any code in an empty list or one with a negative count, give
// the default.
uint32_t CodeTableLookup(uint32_t code, const GlyphRange* ranges, int32_t count, uint32_t defaultSlot) noexcept;
