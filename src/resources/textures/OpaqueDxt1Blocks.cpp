#include "resources/textures/OpaqueDxt1Blocks.h"

#include <algorithm>

namespace {

constexpr uint32_t kBlockBytes = 8;
constexpr uint32_t kTransparentEntry = 3;
// Around a block of a mip level, this many of that level's texels of
// source feed it through the library's downsampling filter: more than its
// reach, over every level it builds on.
constexpr int64_t kFilterMargin = 8;

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

uint32_t Le16(const uint8_t* p) { return p[0] | (uint32_t{p[1]} << 8); }

bool UsesTransparentEntry(const uint8_t* block)
{
    if (Le16(block) > Le16(block + 2))
        return false;
    for (uint32_t i = 4; i < kBlockBytes; ++i) {
        const uint32_t b = block[i];
        for (uint32_t shift = 0; shift < 8; shift += 2)
            if (((b >> shift) & 3) == kTransparentEntry)
                return true;
    }
    return false;
}

}  // namespace

OpaqueDxt1Blocks::OpaqueDxt1Blocks(const uint8_t* texels, uint32_t width, uint32_t height, bool keepsAlpha,
                                   bool repeatWrap)
    : width_(width), height_(height), everyBlock_(!keepsAlpha), repeatWrap_(repeatWrap)
{
    if (everyBlock_ || !texels || width == 0 || height == 0)
        return;
    columns_ = (width + 3) / 4;
    rows_ = (height + 3) / 4;
    std::vector<uint8_t> seeThrough(size_t{columns_} * rows_, 0);
    bool any = false;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = texels + size_t{y} * width * 4;
        for (uint32_t x = 0; x < width; ++x) {
            if (row[size_t{x} * 4 + 3] != 0xFF) {
                seeThrough[size_t{y / 4} * columns_ + x / 4] = 1;
                any = true;
            }
        }
    }
    if (!any) {
        everyBlock_ = true;
        return;
    }
    const size_t stride = size_t{columns_} + 1;
    sums_.assign(stride * (size_t{rows_} + 1), 0);
    for (uint32_t y = 0; y < rows_; ++y)
        for (uint32_t x = 0; x < columns_; ++x)
            sums_[(y + 1) * stride + x + 1] = seeThrough[size_t{y} * columns_ + x] + sums_[y * stride + x + 1] +
                                              sums_[(y + 1) * stride + x] - sums_[y * stride + x];
}

uint32_t OpaqueDxt1Blocks::Spans(int64_t from, int64_t to, uint32_t size, Span (&out)[2]) const
{
    if (size == 0 || to <= from)
        return 0;
    if (repeatWrap_) {
        if (to - from >= size) {
            out[0] = {0, size};
            return 1;
        }
        const int64_t start = ((from % size) + size) % size;
        const int64_t end = start + (to - from);
        if (end <= size) {
            out[0] = {static_cast<uint32_t>(start), static_cast<uint32_t>(end)};
            return 1;
        }
        out[0] = {static_cast<uint32_t>(start), size};
        out[1] = {0, static_cast<uint32_t>(end - size)};
        return 2;
    }
    const int64_t start = std::max<int64_t>(from, 0);
    const int64_t end = std::min<int64_t>(to, size);
    if (start >= end)
        return 0;
    out[0] = {static_cast<uint32_t>(start), static_cast<uint32_t>(end)};
    return 1;
}

bool OpaqueDxt1Blocks::BlocksOpaque(uint32_t x0, uint32_t x1, uint32_t y0, uint32_t y1) const
{
    x1 = std::min(x1, columns_);
    y1 = std::min(y1, rows_);
    if (x0 >= x1 || y0 >= y1)
        return true;
    const size_t stride = size_t{columns_} + 1;
    const uint32_t count = sums_[y1 * stride + x1] - sums_[y0 * stride + x1] - sums_[y1 * stride + x0] +
                           sums_[y0 * stride + x0];
    return count == 0;
}

bool OpaqueDxt1Blocks::MustBeOpaque(uint32_t width, uint32_t height, uint32_t bx, uint32_t by) const
{
    if (everyBlock_)
        return true;
    if (sums_.empty() || width == 0 || height == 0)
        return false;
    // The block's texels in its level, then the source texels that feed
    // them: level texel t covers source [t * W / w, (t + 1) * W / w).
    const int64_t lx0 = int64_t{bx} * 4;
    const int64_t ly0 = int64_t{by} * 4;
    if (lx0 >= width || ly0 >= height)
        return false;
    const int64_t lx1 = std::min<int64_t>(lx0 + 4, width);
    const int64_t ly1 = std::min<int64_t>(ly0 + 4, height);
    const int64_t margin = width == width_ && height == height_ ? 0 : kFilterMargin;
    Span xs[2];
    Span ys[2];
    const uint32_t nx = Spans(FloorDiv((lx0 - margin) * width_, width), CeilDiv((lx1 + margin) * width_, width),
                              width_, xs);
    const uint32_t ny = Spans(FloorDiv((ly0 - margin) * height_, height), CeilDiv((ly1 + margin) * height_, height),
                              height_, ys);
    if (nx == 0 || ny == 0)
        return false;
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j < ny; ++j)
            if (!BlocksOpaque(xs[i].from / 4, (xs[i].to + 3) / 4, ys[j].from / 4, (ys[j].to + 3) / 4))
                return false;
    return true;
}

bool OpaqueDxt1Blocks::MakeOpaque(uint8_t* block)
{
    if (!UsesTransparentEntry(block))
        return false;
    // The three colours as a decoder makes them: the two ends and their mean.
    uint32_t entry[3][3];
    for (uint32_t e = 0; e < 2; ++e) {
        const uint32_t c = Le16(block + 2 * e);
        const uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
        entry[e][0] = (r << 3) | (r >> 2);
        entry[e][1] = (g << 2) | (g >> 4);
        entry[e][2] = (b << 3) | (b >> 2);
    }
    for (uint32_t ch = 0; ch < 3; ++ch)
        entry[2][ch] = (entry[0][ch] + entry[1][ch]) / 2;
    uint32_t darkest = 0;
    uint32_t least = UINT32_MAX;
    for (uint32_t e = 0; e < 3; ++e) {
        const uint32_t weight =
            entry[e][0] * entry[e][0] + entry[e][1] * entry[e][1] + entry[e][2] * entry[e][2];
        if (weight < least) {
            least = weight;
            darkest = e;
        }
    }
    for (uint32_t i = 4; i < kBlockBytes; ++i) {
        uint32_t b = block[i];
        for (uint32_t shift = 0; shift < 8; shift += 2)
            if (((b >> shift) & 3) == kTransparentEntry)
                b = (b & ~(3u << shift)) | (darkest << shift);
        block[i] = static_cast<uint8_t>(b);
    }
    return true;
}

uint32_t OpaqueDxt1Blocks::Apply(uint8_t* blocks, size_t size, uint32_t width, uint32_t height) const
{
    const uint32_t across = (width + 3) / 4;
    const uint32_t down = (height + 3) / 4;
    uint32_t changed = 0;
    for (uint32_t by = 0; by < down; ++by) {
        for (uint32_t bx = 0; bx < across; ++bx) {
            const size_t at = (size_t{by} * across + bx) * kBlockBytes;
            if (at + kBlockBytes > size)
                return changed;
            uint8_t* block = blocks + at;
            if (UsesTransparentEntry(block) && MustBeOpaque(width, height, bx, by) && MakeOpaque(block))
                ++changed;
        }
    }
    return changed;
}
