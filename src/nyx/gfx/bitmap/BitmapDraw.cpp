// The drawing operations of Nyx::Bitmap. Every shape is clipped to the
// bitmap before it is walked, so coordinates from scripts (any 32-bit value)
// cost no more than the pixels that can change.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "nyx/gfx/bitmap/Bitmap.h"

static_assert(std::endian::native == std::endian::little, "32-bit pixels are read as little-endian values");

namespace Nyx {

namespace {

// The largest n with n * n <= v.
int64_t ISqrt(int64_t v)
{
    if (v <= 0)
        return 0;
    int64_t r = static_cast<int64_t>(std::sqrt(static_cast<double>(v)));
    while (r > 0 && r * r > v)
        --r;
    while ((r + 1) * (r + 1) <= v)
        ++r;
    return r;
}

struct Span {
    int64_t x0;
    int64_t y0;
    int64_t x1;  // exclusive
    int64_t y1;
};

// A rectangle as a span with a positive extent.
Span Normalise(const Bitmap::Rect& r)
{
    int64_t x = r.x;
    int64_t y = r.y;
    int64_t w = r.width;
    int64_t h = r.height;
    if (w < 0) {
        x += w;
        w = -w;
    }
    if (h < 0) {
        y += h;
        h = -h;
    }
    return {x, y, x + w, y + h};
}

Span Intersect(const Span& a, const Span& b)
{
    return {std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
}

bool NoArea(const Span& s) { return s.x0 >= s.x1 || s.y0 >= s.y1; }

}  // namespace

uint32_t Bitmap::Blend(uint32_t dest, uint32_t source) noexcept
{
    const uint32_t sa = source >> 24;
    if (sa == 255)
        return source;
    if (sa == 0)
        return dest;
    const uint32_t da = dest >> 24;
    if (da == 0)
        return source;
    // Weights scaled by 255: the source's sa * 255, the destination's
    // da * (255 - sa); their sum is the result's alpha times 255.
    const uint32_t ws = sa * 255;
    const uint32_t wd = da * (255 - sa);
    const uint32_t total = ws + wd;
    uint32_t out = ((total + 127) / 255) << 24;
    for (uint32_t shift = 0; shift < 24; shift += 8) {
        const uint32_t s = (source >> shift) & 0xFF;
        const uint32_t d = (dest >> shift) & 0xFF;
        out |= ((s * ws + d * wd + total / 2) / total) << shift;
    }
    return out;
}

void Bitmap::Clear(uint32_t colour) noexcept
{
    if (!Drawable())
        return;
    for (uint32_t y = 0; y < height_; ++y) {
        uint32_t* row = Row(y);
        std::fill(row, row + width_, colour);
    }
}

void Bitmap::BlendSpan(uint32_t y, uint32_t x0, uint32_t x1, uint32_t colour) noexcept
{
    uint32_t* row = Row(y);
    const uint32_t alpha = colour >> 24;
    if (alpha == 0)
        return;
    if (alpha == 255) {
        std::fill(row + x0, row + x1, colour);
        return;
    }
    for (uint32_t x = x0; x < x1; ++x)
        row[x] = Blend(row[x], colour);
}

void Bitmap::BlendSpanClipped(int64_t y, int64_t x0, int64_t x1, uint32_t colour) noexcept
{
    if (y < 0 || y >= height_)
        return;
    x0 = std::max<int64_t>(x0, 0);
    x1 = std::min<int64_t>(x1, int64_t{width_} - 1);
    if (x0 > x1)
        return;
    BlendSpan(static_cast<uint32_t>(y), static_cast<uint32_t>(x0), static_cast<uint32_t>(x1 + 1), colour);
}

void Bitmap::BlendPixel(int32_t x, int32_t y, uint32_t colour) noexcept
{
    if (!Drawable() || x < 0 || y < 0 || static_cast<uint32_t>(x) >= width_ || static_cast<uint32_t>(y) >= height_)
        return;
    uint32_t& p = Row(static_cast<uint32_t>(y))[x];
    p = Blend(p, colour);
}

void Bitmap::Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour, uint32_t) noexcept
{
    if (!Drawable())
        return;
    // Walked along its longer axis, one pixel a step, but only over the
    // steps whose pixel can lie inside the bitmap.
    const int64_t dx = int64_t{x2} - x1;
    const int64_t dy = int64_t{y2} - y1;
    const int64_t steps = std::max(std::abs(dx), std::abs(dy));
    if (steps == 0) {
        BlendPixel(x1, y1, colour);
        return;
    }
    const bool alongX = std::abs(dx) >= std::abs(dy);
    // The range of steps along the major axis that stays inside the bitmap.
    const int64_t major0 = alongX ? x1 : y1;
    const int64_t majorDir = (alongX ? dx : dy) < 0 ? -1 : 1;
    const int64_t limit = alongX ? width_ : height_;
    int64_t first = 0;
    int64_t last = steps;
    // major = major0 + majorDir * i must lie in [0, limit).
    if (majorDir > 0) {
        first = std::max<int64_t>(first, -major0);
        last = std::min<int64_t>(last, limit - 1 - major0);
    } else {
        first = std::max<int64_t>(first, major0 - (limit - 1));
        last = std::min<int64_t>(last, major0);
    }
    const int64_t minorDelta = alongX ? dy : dx;
    const int64_t minor0 = alongX ? y1 : x1;
    for (int64_t i = first; i <= last; ++i) {
        // The minor coordinate rounded to the nearest pixel, halves away
        // from the start.
        // (2^32 steps times a 2^32 delta needs more than 64 bits.)
        const __int128 num = static_cast<__int128>(minorDelta) * i;
        const __int128 twice = 2 * static_cast<__int128>(steps);
        const int64_t minor =
            minor0 + static_cast<int64_t>(num >= 0 ? (2 * num + steps) / twice : -((-2 * num + steps) / twice));
        const int64_t major = major0 + majorDir * i;
        const int64_t px = alongX ? major : minor;
        const int64_t py = alongX ? minor : major;
        if (px >= 0 && py >= 0 && px < width_ && py < height_) {
            uint32_t& p = Row(static_cast<uint32_t>(py))[px];
            p = Blend(p, colour);
        }
    }
}

void Bitmap::Circle(int32_t x, int32_t y, int32_t radius, uint32_t colour, uint32_t mode) noexcept
{
    if (!Drawable() || radius < 0)
        return;
    const int64_t r = radius;
    const int64_t rr = r * r;
    // Half the width of the disc on the row d away from the centre.
    auto half = [&](int64_t d) -> int64_t { return d > r ? -1 : ISqrt(rr - d * d); };
    const int64_t top = std::max<int64_t>(int64_t{y} - r, 0);
    const int64_t bottom = std::min<int64_t>(int64_t{y} + r, int64_t{height_} - 1);
    for (int64_t row = top; row <= bottom; ++row) {
        const int64_t d = std::abs(row - y);
        const int64_t outer = half(d);
        if (mode == kModeFill) {
            BlendSpanClipped(row, int64_t{x} - outer, int64_t{x} + outer, colour);
            continue;
        }
        // The ring: from the disc's edge on this row in to just past the
        // edge of the row next further out, so the outline has no gaps.
        const int64_t inner = std::min(half(d + 1) + 1, outer);
        if (inner <= 0) {
            BlendSpanClipped(row, int64_t{x} - outer, int64_t{x} + outer, colour);
            continue;
        }
        BlendSpanClipped(row, int64_t{x} - outer, int64_t{x} - inner, colour);
        BlendSpanClipped(row, int64_t{x} + inner, int64_t{x} + outer, colour);
    }
}

void Bitmap::Box(const Rect& rect, uint32_t colour, uint32_t mode) noexcept
{
    if (!Drawable())
        return;
    const Span box = Normalise(rect);
    if (NoArea(box))
        return;
    const Span inside = Intersect(box, {0, 0, width_, height_});
    if (NoArea(inside))
        return;
    if (mode == kModeFill) {
        for (int64_t row = inside.y0; row < inside.y1; ++row)
            BlendSpan(static_cast<uint32_t>(row), static_cast<uint32_t>(inside.x0), static_cast<uint32_t>(inside.x1),
                      colour);
        return;
    }
    // Top and bottom rows whole, then the two sides between them; a box one
    // pixel wide or high is its own outline, drawn once.
    BlendSpanClipped(box.y0, box.x0, box.x1 - 1, colour);
    if (box.y1 - 1 > box.y0)
        BlendSpanClipped(box.y1 - 1, box.x0, box.x1 - 1, colour);
    for (int64_t row = std::max(box.y0 + 1, int64_t{0}); row < std::min(box.y1 - 1, int64_t{height_}); ++row) {
        BlendSpanClipped(row, box.x0, box.x0, colour);
        if (box.x1 - 1 > box.x0)
            BlendSpanClipped(row, box.x1 - 1, box.x1 - 1, colour);
    }
}

void Bitmap::Triangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, uint32_t colour,
                      uint32_t mode) noexcept
{
    if (!Drawable())
        return;
    if (mode != kModeFill) {
        Line(x1, y1, x2, y2, colour, mode);
        Line(x2, y2, x3, y3, colour, mode);
        Line(x3, y3, x1, y1, colour, mode);
        return;
    }
    // Each row's pixel centres (y + 0.5) against the three edges; a pixel is
    // filled when its centre lies between the row's crossings.
    const double px[3] = {double(x1) + 0.5, double(x2) + 0.5, double(x3) + 0.5};
    const double py[3] = {double(y1) + 0.5, double(y2) + 0.5, double(y3) + 0.5};
    const int64_t top = std::max<int64_t>(std::min({y1, y2, y3}), 0);
    const int64_t bottom = std::min<int64_t>(std::max({y1, y2, y3}), int64_t{height_} - 1);
    for (int64_t row = top; row <= bottom; ++row) {
        const double cy = double(row) + 0.5;
        double lo = HUGE_VAL;
        double hi = -HUGE_VAL;
        for (int e = 0; e < 3; ++e) {
            const int f = (e + 1) % 3;
            const double ya = py[e];
            const double yb = py[f];
            if ((cy < std::min(ya, yb)) || (cy > std::max(ya, yb)))
                continue;
            double cx;
            if (ya == yb) {
                lo = std::min({lo, px[e], px[f]});
                hi = std::max({hi, px[e], px[f]});
                continue;
            }
            cx = px[e] + (cy - ya) * (px[f] - px[e]) / (yb - ya);
            lo = std::min(lo, cx);
            hi = std::max(hi, cx);
        }
        if (lo > hi)
            continue;
        // Pixel centres x + 0.5 inside [lo, hi]: x from ceil(lo - 0.5) to
        // floor(hi - 0.5), clamped before converting.
        const double first = std::clamp(std::ceil(lo - 0.5), -1.0, double(width_));
        const double last = std::clamp(std::floor(hi - 0.5), -1.0, double(width_));
        BlendSpanClipped(row, static_cast<int64_t>(first), static_cast<int64_t>(last), colour);
    }
}

void Bitmap::Image(const Bitmap& source, int32_t x, int32_t y, const Rect& sourceRect, uint32_t mode)
{
    if (!Drawable() || !source.Drawable())
        return;
    Span from = Intersect(Normalise(sourceRect), {0, 0, source.width_, source.height_});
    if (NoArea(from))
        return;
    // Where the clipped source lands, then clipped again to this bitmap.
    const int64_t shiftX = int64_t{x} - Normalise(sourceRect).x0;
    const int64_t shiftY = int64_t{y} - Normalise(sourceRect).y0;
    const Span to = Intersect({from.x0 + shiftX, from.y0 + shiftY, from.x1 + shiftX, from.y1 + shiftY},
                              {0, 0, width_, height_});
    if (NoArea(to))
        return;
    from = {to.x0 - shiftX, to.y0 - shiftY, to.x1 - shiftX, to.y1 - shiftY};
    const uint32_t w = static_cast<uint32_t>(to.x1 - to.x0);
    const uint32_t h = static_cast<uint32_t>(to.y1 - to.y0);

    // A copy within one bitmap reads its rows in the order that never reads
    // a row already written; within a row, memmove and a temporary row keep
    // overlapping pixels whole.
    const bool self = &source == this;
    const bool upward = self && to.y0 > from.y0;
    std::vector<uint32_t> temp;
    if (self && mode != kModeCopy)
        temp.resize(w);
    for (uint32_t i = 0; i < h; ++i) {
        const uint32_t r = upward ? h - 1 - i : i;
        const uint32_t* src =
            reinterpret_cast<const uint32_t*>(source.data_ + static_cast<size_t>(from.y0 + r) * source.pitch_) +
            from.x0;
        uint32_t* dst = Row(static_cast<uint32_t>(to.y0 + r)) + to.x0;
        if (mode == kModeCopy) {
            std::memmove(dst, src, size_t{w} * 4);
            continue;
        }
        if (self) {
            std::memcpy(temp.data(), src, size_t{w} * 4);
            src = temp.data();
        }
        for (uint32_t c = 0; c < w; ++c)
            dst[c] = Blend(dst[c], src[c]);
    }
}

void Bitmap::Image(const Bitmap& source, const Rect& sourceRect, const Rect& destRect, uint32_t mode,
                   const Rect& clip)
{
    if (!Drawable() || !source.Drawable())
        return;
    const Span from = Normalise(sourceRect);
    const Span dest = Normalise(destRect);
    if (NoArea(from) || NoArea(dest))
        return;
    const Span to = Intersect(Intersect(dest, Normalise(clip)), {0, 0, width_, height_});
    if (NoArea(to))
        return;
    const int64_t fw = from.x1 - from.x0;
    const int64_t fh = from.y1 - from.y0;
    const int64_t dw = dest.x1 - dest.x0;
    const int64_t dh = dest.y1 - dest.y0;
    // The source is read whole first when it is this bitmap, so a scaled
    // self-copy reads no pixel it has already written.
    const Bitmap* src = &source;
    Bitmap copy;
    if (&source == this) {
        if (!copy.Init(width_, height_, format_))
            return;
        std::memcpy(copy.data_, data_, size_);
        src = &copy;
    }
    std::vector<int64_t> columns(static_cast<size_t>(to.x1 - to.x0));
    for (int64_t dx = to.x0; dx < to.x1; ++dx)
        columns[static_cast<size_t>(dx - to.x0)] = from.x0 + (dx - dest.x0) * fw / dw;
    for (int64_t dy = to.y0; dy < to.y1; ++dy) {
        const int64_t sy = from.y0 + (dy - dest.y0) * fh / dh;
        if (sy < 0 || sy >= src->height_)
            continue;
        const uint32_t* srow = reinterpret_cast<const uint32_t*>(src->data_ + static_cast<size_t>(sy) * src->pitch_);
        uint32_t* drow = Row(static_cast<uint32_t>(dy));
        for (int64_t dx = to.x0; dx < to.x1; ++dx) {
            const int64_t sx = columns[static_cast<size_t>(dx - to.x0)];
            if (sx < 0 || sx >= src->width_)
                continue;
            drow[dx] = mode == kModeCopy ? srow[sx] : Blend(drow[dx], srow[sx]);
        }
    }
}

}  // namespace Nyx
