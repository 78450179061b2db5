// Engine bitmaps: a block of pixels of one format, owned or viewed, the
// image-file loader (BMP of every depth, run-length forms included, TGA
// true-colour, grey and colour-mapped images, plain or run-length encoded,
// PNG and JPEG) and the drawing operations on 32-bit bitmaps.
//
// 32-bit pixels are stored as the bytes B, G, R, A: read as a little-endian
// u32 the alpha is the top byte. Row 0 is the top row whatever the file's
// row order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "nyx/files/File.h"
#include "nyx/base/PString.h"

namespace Nyx {

class Bitmap {
public:
    enum Format : uint32_t {
        kFormatNone = 0,
        kFormatLuminance8 = 1,  // one byte a pixel
        kFormatARGB32 = 2,      // 32-bit pixels with alpha
        kFormatXRGB32 = 3,      // 32-bit pixels whose alpha carries nothing
        kFormatRaw = 5,         // a block of bytes (compressed data): the pitch is its length
    };

    // Loaded images larger than this do not load: a file header can claim
    // any size, and run-length data need not be as long as the image.
    static constexpr uint32_t kMaxSide = 32768;
    static constexpr uint64_t kMaxPixels = uint64_t{1} << 26;

    // Drawing modes. Shapes blend their colour over the pixels (source over
    // destination by the colour's alpha); kModeFill fills the shape and
    // every other mode draws its outline. Copies replace the pixels with
    // kModeCopy and blend them with kModeBlend.
    enum Mode : uint32_t {
        kModeOutline = 0,
        kModeCopy = 0,
        kModeFill = 1,
        kModeLine = 2,
        kModeBlend = 4,
    };

    // A rectangle (x, y, width, height); a negative width or height spans
    // to the left of x or above y.
    struct Rect {
        int32_t x = 0;
        int32_t y = 0;
        int32_t width = 0;
        int32_t height = 0;
    };

    Bitmap() = default;
    // An owned, zeroed bitmap; empty when the format or size is refused.
    Bitmap(uint32_t width, uint32_t height, uint32_t format);
    ~Bitmap();
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    // Replaces the contents. With data, the bitmap views those bytes (the
    // caller keeps them alive); without, it owns a zeroed buffer of pitch ×
    // height bytes (of pitch bytes for the raw format). A pitch of 0 means
    // rows without padding. False, and an empty bitmap, for an unknown
    // format, a zero side, a pitch shorter than a row, or a buffer that
    // would not fit in 32 bits.
    bool Init(uint32_t width, uint32_t height, uint32_t format, void* data = nullptr, uint32_t pitch = 0);
    void Clear();

    // A new owned bitmap of the same pixel format at another size (areas
    // averaged when shrinking, nearest pixel when growing); null for the raw
    // format or a zero side.
    Bitmap* Scale(uint32_t width, uint32_t height) const;

    // Reads an image file (inside a mount when the base is not empty).
    // Images with alpha load in format 2, others in format 3 with every
    // alpha at 255. False, and an empty bitmap, when the file does not open
    // or is no image this loader reads whole.
    bool Load(const File::Path& path) { return Load(PString(), path); }
    bool Load(const PString& base, const File::Path& path);
    // The same for a file that the rule allows.
    bool Load(const Platform::FileConfinement& rule, const File::Path& path);
    // The same over the file's bytes: BMP, PNG and JPEG by their marks, TGA
    // by the name's extension (the format has no mark).
    bool Decode(std::string_view fileName, const uint8_t* data, size_t size);

    uint32_t GetWidth() const noexcept { return width_; }
    uint32_t GetHeight() const noexcept { return height_; }
    uint32_t GetFormat() const noexcept { return format_; }
    uint32_t GetPitch() const noexcept { return pitch_; }
    uint32_t GetDataSize() const noexcept { return size_; }
    uint8_t* GetData() noexcept { return data_; }
    const uint8_t* GetData() const noexcept { return data_; }
    bool OwnsData() const noexcept { return owned_; }
    bool Empty() const noexcept { return data_ == nullptr; }

    // A 32-bit pixel (0 outside the bitmap or for other formats).
    uint32_t GetPixel(uint32_t x, uint32_t y) const noexcept;
    void SetPixel(uint32_t x, uint32_t y, uint32_t value) noexcept;

    // Drawing on 32-bit bitmaps (formats 2 and 3; others are left alone).
    // Coordinates may lie anywhere: what falls outside is clipped, and the
    // work done is bounded by the bitmap's size, not the shape's.
    void Clear(uint32_t colour) noexcept;
    void BlendPixel(int32_t x, int32_t y, uint32_t colour) noexcept;
    void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour, uint32_t mode) noexcept;
    void Circle(int32_t x, int32_t y, int32_t radius, uint32_t colour, uint32_t mode) noexcept;
    void Box(const Rect& rect, uint32_t colour, uint32_t mode) noexcept;
    void Triangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, uint32_t colour,
                  uint32_t mode) noexcept;
    // The source rectangle copied unscaled with its top-left corner at the
    // point. The source may be this bitmap: overlapping areas copy as if
    // through a separate buffer.
    void Image(const Bitmap& source, int32_t x, int32_t y, const Rect& sourceRect, uint32_t mode);
    // The source rectangle scaled (nearest pixel) onto the destination
    // rectangle, writing only inside the clip rectangle.
    void Image(const Bitmap& source, const Rect& sourceRect, const Rect& destRect, uint32_t mode, const Rect& clip);

    // Source-over blending of one 32-bit pixel value onto another (the
    // colours are not premultiplied by their alpha).
    static uint32_t Blend(uint32_t dest, uint32_t source) noexcept;

    // Bytes of one pixel: 1, 4, or 0 for the raw format and unknown ones.
    static uint32_t BytesPerPixel(uint32_t format) noexcept;

    // Largest image file Load reads.
    static constexpr int64_t kMaxFileBytes = int64_t{1} << 30;

private:
    // Reads the whole of an opened image file and decodes it.
    bool LoadOpened(File& file, const File::Path& path);
    bool DecodeBmp(const uint8_t* data, size_t size);
    bool DecodeTga(const uint8_t* data, size_t size);
    bool DecodePng(const uint8_t* data, size_t size);
    bool DecodeJpeg(const uint8_t* data, size_t size);
    // Row y of a 32-bit bitmap as pixel values.
    uint32_t* Row(uint32_t y) noexcept { return reinterpret_cast<uint32_t*>(data_ + static_cast<size_t>(y) * pitch_); }
    bool Drawable() const noexcept
    {
        return data_ && BytesPerPixel(format_) == 4 && pitch_ % 4 == 0 && reinterpret_cast<uintptr_t>(data_) % 4 == 0;
    }
    // Blends the colour over the pixels x0..x1-1 of row y (already clipped).
    void BlendSpan(uint32_t y, uint32_t x0, uint32_t x1, uint32_t colour) noexcept;
    // The same with clipping; the bounds are inclusive.
    void BlendSpanClipped(int64_t y, int64_t x0, int64_t x1, uint32_t colour) noexcept;

    uint8_t* data_ = nullptr;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    uint32_t format_ = kFormatNone;
    uint32_t pitch_ = 0;
    uint32_t size_ = 0;
    bool owned_ = false;
};

}  // namespace Nyx
