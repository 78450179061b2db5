// Fuzzer bytes as an image file for the engine bitmap's loader: the first
// byte picks the file's format (BMP, TGA, PNG, JPEG), the rest is the file.
// Whatever the bytes: no crash, no read past them, and a loaded bitmap has
// sides within the loader's limits, a 32-bit format and every pixel
// readable; one that did not load is empty. A loaded image is then drawn
// onto itself and scaled, as scripts may do.
#include <cstdint>
#include <cstddef>

#include "FuzzCheck.h"
#include "nyx/gfx/bitmap/Bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static const char* const kNames[] = {"a.bmp", "a.tga", "a.png", "a.jpg"};
    Nyx::Bitmap bitmap;
    const bool loaded = bitmap.Decode(kNames[data[0] % 4], data + 1, size - 1);
    if (!loaded) {
        FuzzCheck(bitmap.Empty() && bitmap.GetWidth() == 0);
        return 0;
    }
    const uint32_t w = bitmap.GetWidth();
    const uint32_t h = bitmap.GetHeight();
    FuzzCheck(w > 0 && h > 0 && w <= Nyx::Bitmap::kMaxSide && h <= Nyx::Bitmap::kMaxSide);
    FuzzCheck(uint64_t{w} * h <= Nyx::Bitmap::kMaxPixels);
    FuzzCheck(bitmap.GetFormat() == Nyx::Bitmap::kFormatARGB32 || bitmap.GetFormat() == Nyx::Bitmap::kFormatXRGB32);
    FuzzCheck(uint64_t{bitmap.GetPitch()} * h <= bitmap.GetDataSize());
    uint32_t sum = 0;
    for (uint32_t y = 0; y < h; y += 1 + h / 64)
        for (uint32_t x = 0; x < w; x += 1 + w / 64)
            sum += bitmap.GetPixel(x, y);
    FuzzCheck(bitmap.GetPixel(w, 0) == 0 && bitmap.GetPixel(0, h) == 0);
    if (uint64_t{w} * h <= 4096) {
        const int32_t iw = static_cast<int32_t>(w), ih = static_cast<int32_t>(h);
        bitmap.Image(bitmap, 1, 1, Nyx::Bitmap::Rect{0, 0, iw, ih}, Nyx::Bitmap::kModeBlend);
        bitmap.Image(bitmap, Nyx::Bitmap::Rect{0, 0, iw, ih}, Nyx::Bitmap::Rect{0, 0, ih, iw}, Nyx::Bitmap::kModeCopy,
                     Nyx::Bitmap::Rect{0, 0, iw, ih});
    }
    (void)sum;
    return 0;
}
