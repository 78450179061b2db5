// Script images beside plain yardsticks, each pair in the same run:
// - Bitmap::Clear of 4096 x 4096 against std::fill of uint32_t (goal: within 2x);
// - a 1024 x 1024 blended copy (mode 4) against a plain per-pixel alpha-blend
//   loop (goal: within 2x);
// - TTFont::MeasureText of 1 MB against summing FT_Get_Advance over the same
//   characters (goal: no slower);
// - drawing text of cached glyphs against the plain blend loop over the same
//   glyph rectangles (goal: within 3x).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H

#include "RatioReporter.h"
#include "nyx/gfx/bitmap/Bitmap.h"
#include "scriptapi/image/FreeTypeFontPlatform.h"
#include "scriptapi/image/TTFont.h"

namespace {

using Nyx::Bitmap;

constexpr uint32_t kClearSide = 4096;
constexpr uint32_t kCopySide = 1024;
constexpr const char* kFace = "DejaVu Sans";
constexpr int32_t kFontHeight = 16;

// The plain source-over blend, as any program would write it.
inline uint32_t PlainBlend(uint32_t d, uint32_t s)
{
    const uint32_t sa = s >> 24;
    if (sa == 255)
        return s;
    if (sa == 0)
        return d;
    const uint32_t da = d >> 24;
    if (da == 0)
        return s;
    const uint32_t ws = sa * 255, wd = da * (255 - sa), total = ws + wd;
    uint32_t out = ((total + 127) / 255) << 24;
    for (uint32_t shift = 0; shift < 24; shift += 8)
        out |= ((((s >> shift) & 0xFF) * ws + ((d >> shift) & 0xFF) * wd + total / 2) / total) << shift;
    return out;
}

void BM_BitmapClear(benchmark::State& state)
{
    Bitmap b(kClearSide, kClearSide, Bitmap::kFormatARGB32);
    uint32_t colour = 0x80402010u;
    for (auto _ : state) {
        b.Clear(colour++);
        benchmark::DoNotOptimize(b.GetData());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kClearSide * kClearSide * 4);
}
BENCHMARK(BM_BitmapClear);

void BM_FillUint32(benchmark::State& state)
{
    std::vector<uint32_t> pixels(size_t{kClearSide} * kClearSide);
    uint32_t colour = 0x80402010u;
    for (auto _ : state) {
        std::fill(pixels.begin(), pixels.end(), colour++);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kClearSide * kClearSide * 4);
}
BENCHMARK(BM_FillUint32);

// Half-transparent source pixels of varying alpha over an opaque picture.
void FillSource(Bitmap& source, Bitmap& dest)
{
    for (uint32_t y = 0; y < kCopySide; ++y)
        for (uint32_t x = 0; x < kCopySide; ++x) {
            source.SetPixel(x, y, ((x * 7 + y) & 0xFF) << 24 | (x & 0xFF) << 16 | (y & 0xFF) << 8 | 0x40);
            dest.SetPixel(x, y, 0xFF000000u | ((x + y) & 0xFFFFFF));
        }
}

void BM_DrawImageBlend(benchmark::State& state)
{
    Bitmap source(kCopySide, kCopySide, Bitmap::kFormatARGB32);
    Bitmap dest(kCopySide, kCopySide, Bitmap::kFormatARGB32);
    FillSource(source, dest);
    const Bitmap::Rect whole{0, 0, int32_t(kCopySide), int32_t(kCopySide)};
    for (auto _ : state) {
        dest.Image(source, 0, 0, whole, Bitmap::kModeBlend);
        benchmark::DoNotOptimize(dest.GetData());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kCopySide * kCopySide * 4);
}
BENCHMARK(BM_DrawImageBlend);

void BM_PlainBlendLoop(benchmark::State& state)
{
    Bitmap source(kCopySide, kCopySide, Bitmap::kFormatARGB32);
    Bitmap dest(kCopySide, kCopySide, Bitmap::kFormatARGB32);
    FillSource(source, dest);
    const auto* s = reinterpret_cast<const uint32_t*>(source.GetData());
    auto* d = reinterpret_cast<uint32_t*>(dest.GetData());
    for (auto _ : state) {
        for (size_t i = 0; i < size_t{kCopySide} * kCopySide; ++i)
            d[i] = PlainBlend(d[i], s[i]);
        benchmark::DoNotOptimize(d);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kCopySide * kCopySide * 4);
}
BENCHMARK(BM_PlainBlendLoop);

// 1 MB of Latin text with spaces.
const std::string& Text()
{
    static const std::string text = [] {
        const std::string words = "The quick brown fox jumps over the lazy dog; Zoë's café, naïve façade. ";
        std::string t;
        while (t.size() < (1u << 20))
            t += words;
        return t;
    }();
    return text;
}

void BM_MeasureText(benchmark::State& state)
{
    TTFont font;
    if (!font.Init(nullptr, kFace, kFontHeight, 0)) {
        state.SkipWithError("no font");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(font.MeasureText(Text()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Text().size()));
}
BENCHMARK(BM_MeasureText);

void BM_FreeTypeAdvanceSum(benchmark::State& state)
{
    FT_Library library;
    FT_Face face;
    if (FT_Init_FreeType(&library) != 0 ||
        FT_New_Face(library, FreeTypeFontPlatform::FaceFile(kFace).c_str(), 0, &face) != 0) {
        state.SkipWithError("no font");
        return;
    }
    FT_Set_Pixel_Sizes(face, 0, kFontHeight);
    const std::string& text = Text();
    for (auto _ : state) {
        FT_Fixed total = 0;
        for (size_t i = 0; i < text.size();) {
            // UTF-8 decoded as MeasureText does, then one advance a character.
            uint32_t c = static_cast<unsigned char>(text[i]);
            size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
            if (n == 2 && i + 1 < text.size())
                c = ((c & 0x1F) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F);
            i += n;
            FT_Fixed advance = 0;
            FT_Get_Advance(face, FT_Get_Char_Index(face, c), FT_LOAD_DEFAULT, &advance);
            total += advance;
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}
BENCHMARK(BM_FreeTypeAdvanceSum);

const std::string kLine = "Cached glyphs drawn again and again";

void BM_DrawTextCachedGlyphs(benchmark::State& state)
{
    TTFont font;
    if (!font.Init(nullptr, kFace, kFontHeight, 0)) {
        state.SkipWithError("no font");
        return;
    }
    Bitmap dest(512, 32, Bitmap::kFormatARGB32);
    dest.Clear(0xFF202020u);
    int64_t pixels = 0;
    for (auto _ : state) {
        int32_t pen = 0;
        pixels = 0;
        for (char ch : kLine) {
            TTFont::Glyph g;
            if (!font.GetGlyph(static_cast<unsigned char>(ch), g))
                continue;
            pen += g.leading;
            font.CopyGlyph(dest, pen, 0, g);
            pixels += int64_t(g.drawnWidth) * font.CellHeight();
            pen += g.drawnWidth + g.trailing;
        }
        benchmark::DoNotOptimize(dest.GetData());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * pixels * 4);
}
BENCHMARK(BM_DrawTextCachedGlyphs);

// The same glyph rectangles blended from the atlas by the plain loop, with
// nothing looked up.
void BM_GlyphRectsPlainBlend(benchmark::State& state)
{
    TTFont font;
    if (!font.Init(nullptr, kFace, kFontHeight, 0)) {
        state.SkipWithError("no font");
        return;
    }
    struct Rect {
        int32_t sx, sy, w, dx;
    };
    std::vector<Rect> rects;
    int32_t pen = 0;
    for (char ch : kLine) {
        TTFont::Glyph g;
        if (!font.GetGlyph(static_cast<unsigned char>(ch), g))
            continue;
        pen += g.leading;
        const float side = float(font.AtlasSize());
        if (g.width > 0)
            rects.push_back({int32_t(g.left * side), int32_t(g.top * side), g.drawnWidth, pen});
        pen += g.drawnWidth + g.trailing;
    }
    Bitmap dest(512, 32, Bitmap::kFormatARGB32);
    dest.Clear(0xFF202020u);
    const Bitmap& atlas = font.Atlas();
    const int32_t h = font.CellHeight();
    int64_t pixels = 0;
    for (auto _ : state) {
        pixels = 0;
        for (const Rect& r : rects) {
            for (int32_t y = 0; y < h; ++y) {
                const auto* s = reinterpret_cast<const uint32_t*>(atlas.GetData() + size_t(r.sy + y) * atlas.GetPitch()) + r.sx;
                auto* d = reinterpret_cast<uint32_t*>(dest.GetData() + size_t(y) * dest.GetPitch()) + std::max(r.dx, 0);
                for (int32_t x = 0; x < r.w; ++x)
                    d[x] = PlainBlend(d[x], s[x]);
            }
            pixels += int64_t(r.w) * h;
        }
        benchmark::DoNotOptimize(dest.GetData());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * pixels * 4);
}
BENCHMARK(BM_GlyphRectsPlainBlend);

}  // namespace

int main(int argc, char** argv)
{
    RatioReporter reporter;
    if (!RunBenchmarksWith(reporter, argc, argv))
        return 1;
    benchmark::Shutdown();
    const struct {
        const char* ours;
        const char* yardstick;
        const char* goal;
    } pairs[] = {
        {"BM_BitmapClear", "BM_FillUint32", "within 2x"},
        {"BM_DrawImageBlend", "BM_PlainBlendLoop", "within 2x"},
        {"BM_MeasureText", "BM_FreeTypeAdvanceSum", "no slower"},
        {"BM_DrawTextCachedGlyphs", "BM_GlyphRectsPlainBlend", "within 3x"},
    };
    for (const auto& p : pairs) {
        const double ours = reporter.BytesPerSecondOf(p.ours);
        const double yard = reporter.BytesPerSecondOf(p.yardstick);
        if (ours > 0 && yard > 0)
            std::printf("%s / %s throughput: %.3f (goal: %s)\n", p.ours, p.yardstick, ours / yard, p.goal);
    }
    return 0;
}
