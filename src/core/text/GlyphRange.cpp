#include "core/text/GlyphRange.h"

namespace {

struct Substitution {
    uint32_t code;
    uint32_t replacement;
};

// Fonts seldom carry an en dash; every text font carries the hyphen.
constexpr Substitution kSubstitutions[] = {
    {0x2013, 0x002D},
};

}  // namespace

uint32_t CodeTableLookup(uint32_t code, const GlyphRange* ranges, int32_t count, uint32_t defaultSlot) noexcept
{
    for (const Substitution& s : kSubstitutions) {
        if (s.code == code) {
            code = s.replacement;
            break;
        }
    }
    if (code > 0xFFFF || count <= 0)
        return defaultSlot;
    int32_t low = 0;
    int32_t high = count - 1;
    while (low <= high) {
        const int32_t middle = low + (high - low) / 2;
        const GlyphRange& r = ranges[middle];
        if (code < r.firstCode)
            high = middle - 1;
        else if (code <= r.lastCode)
            return r.firstSlot - r.firstCode + code;  // unsigned: wraps modulo 2^32
        else
            low = middle + 1;
    }
    return defaultSlot;
}
