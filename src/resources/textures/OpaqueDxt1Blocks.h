// A DXT1 block whose first colour is not above its second is in
// three-colour mode: its fourth entry decodes as transparent black, in DXT1
// and DXT1a alike. The compression library uses that entry now and then for
// texels of an opaque source, which then come out black or see-through.
// This finds the blocks that must decode opaque and moves such texels to the
// darkest of the block's three colours, which leaves every other texel as
// it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class OpaqueDxt1Blocks {
public:
    // The source as the library read it: four bytes a texel with alpha
    // last, rows without padding. Storage without alpha (`keepsAlpha`
    // false) wants every block opaque; storage with alpha wants opaque the
    // blocks made only of opaque source texels, with a margin around each
    // mip level's block for the library's downsampling filter (wrapping
    // round the edges with `repeatWrap`).
    OpaqueDxt1Blocks(const uint8_t* texels, uint32_t width, uint32_t height, bool keepsAlpha, bool repeatWrap);

    // Rewrites, in one compressed level of width x height texels (8 bytes
    // a 4 x 4 block, rows of blocks top first), the blocks that must decode
    // opaque and use their transparent entry. Bytes past the last whole
    // block are not touched. Returns the number of blocks rewritten.
    uint32_t Apply(uint8_t* blocks, size_t size, uint32_t width, uint32_t height) const;

    // Whether block (bx, by) of a level of width x height must decode opaque.
    bool MustBeOpaque(uint32_t width, uint32_t height, uint32_t bx, uint32_t by) const;

    // Moves the texels of one three-colour block that use its transparent
    // entry to its darkest colour; false (and the block unchanged) when
    // there are none.
    static bool MakeOpaque(uint8_t* block);

private:
    struct Span {
        uint32_t from = 0;
        uint32_t to = 0;  // past the end
    };
    // The spans of [from, to) inside [0, size): clipped, or wrapped round.
    uint32_t Spans(int64_t from, int64_t to, uint32_t size, Span (&out)[2]) const;
    // No texel that is not opaque in source blocks [x0, x1) x [y0, y1).
    bool BlocksOpaque(uint32_t x0, uint32_t x1, uint32_t y0, uint32_t y1) const;

    uint32_t width_;
    uint32_t height_;
    bool everyBlock_;
    bool repeatWrap_;
    uint32_t columns_ = 0;  // source blocks across
    uint32_t rows_ = 0;
    // Summed table over the source blocks: at (x, y), how many of the
    // blocks above and left of it hold a texel that is not opaque.
    std::vector<uint32_t> sums_;
};
