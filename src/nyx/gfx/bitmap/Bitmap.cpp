#include "nyx/gfx/bitmap/Bitmap.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <vector>

namespace Nyx {

namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16)
           | (static_cast<uint32_t>(p[3]) << 24);
}

// Bytes beyond `offset` that the data holds; 0 when the offset lies past it.
uint64_t Remaining(size_t size, uint64_t offset) { return offset < size ? size - offset : 0; }

bool EndsWithNoCase(std::string_view name, std::string_view ext)
{
    if (name.size() < ext.size())
        return false;
    for (size_t i = 0; i < ext.size(); ++i) {
        char c = name[name.size() - ext.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + ('a' - 'A'));
        if (c != ext[i])
            return false;
    }
    return true;
}

uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }

// One colour channel of a packed pixel, widened to 8 bits.
struct Channel {
    uint32_t mask = 0;
    uint32_t shift = 0;
    uint32_t bits = 0;

    explicit Channel(uint32_t m = 0) : mask(m)
    {
        if (mask != 0) {
            shift = static_cast<uint32_t>(std::countr_zero(mask));
            bits = static_cast<uint32_t>(std::popcount(mask));
        }
    }
    uint32_t Get(uint32_t pixel) const
    {
        if (mask == 0)
            return 0;
        const uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8)
            return v >> (bits - 8);
        const uint32_t max = (1u << bits) - 1;
        return (v * 255 + max / 2) / max;
    }
};

constexpr size_t kBmpFileHeader = 14;
constexpr uint32_t kBmpCoreHeader = 12;
constexpr uint32_t kBmpRgb = 0;
constexpr uint32_t kBmpRle8 = 1;
constexpr uint32_t kBmpRle4 = 2;
constexpr uint32_t kBmpBitFields = 3;
constexpr uint32_t kBmpAlphaBitFields = 6;

constexpr size_t kTgaHeader = 18;

bool SizeAllowed(uint64_t width, uint64_t height)
{
    return width > 0 && height > 0 && width <= Bitmap::kMaxSide && height <= Bitmap::kMaxSide
           && width * height <= Bitmap::kMaxPixels;
}

// Run-length BMP data into colour indexes, bottom row first as stored.
// Pixels the data never reaches keep index 0.
void DecodeBmpRle(const uint8_t* p, size_t n, bool four, uint32_t width, uint32_t height, std::vector<uint8_t>& out)
{
    uint32_t x = 0;
    uint32_t y = 0;
    size_t at = 0;
    auto put = [&](uint8_t index) {
        if (x < width && y < height)
            out[static_cast<size_t>(y) * width + x] = index;
        ++x;
    };
    while (at + 1 < n && y < height) {
        const uint8_t count = p[at];
        const uint8_t value = p[at + 1];
        at += 2;
        if (count > 0) {
            for (uint32_t i = 0; i < count; ++i)
                put(four ? static_cast<uint8_t>((i & 1) ? value & 0x0F : value >> 4) : value);
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of the image
            break;
        } else if (value == 2) {  // move right and up
            if (at + 1 >= n)
                break;
            x += p[at];
            y += p[at + 1];
            at += 2;
        } else {  // a run of literal indexes, padded to a 16-bit boundary
            const size_t bytes = four ? (value + 1u) / 2u : value;
            if (bytes > n - at)
                break;
            for (uint32_t i = 0; i < value; ++i) {
                const uint8_t b = p[at + (four ? i / 2 : i)];
                put(four ? static_cast<uint8_t>((i & 1) ? b & 0x0F : b >> 4) : b);
            }
            at += (bytes + 1) & ~size_t{1};
        }
    }
}

}  // namespace

Bitmap::Bitmap(uint32_t width, uint32_t height, uint32_t format) { Init(width, height, format); }

Bitmap::~Bitmap() { Clear(); }

void Bitmap::Clear()
{
    if (owned_)
        delete[] data_;
    data_ = nullptr;
    width_ = height_ = pitch_ = size_ = 0;
    format_ = kFormatNone;
    owned_ = false;
}

uint32_t Bitmap::BytesPerPixel(uint32_t format) noexcept
{
    switch (format) {
    case kFormatLuminance8:
        return 1;
    case kFormatARGB32:
    case kFormatXRGB32:
        return 4;
    default:
        return 0;
    }
}

bool Bitmap::Init(uint32_t width, uint32_t height, uint32_t format, void* data, uint32_t pitch)
{
    Clear();
    if (width == 0 || height == 0)
        return false;
    uint64_t size;
    if (format == kFormatRaw) {
        if (pitch == 0)
            return false;
        size = pitch;
    } else {
        const uint32_t bpp = BytesPerPixel(format);
        if (bpp == 0)
            return false;
        const uint64_t row = uint64_t{width} * bpp;
        if (pitch == 0)
            pitch = row > UINT32_MAX ? 0 : static_cast<uint32_t>(row);
        if (pitch < row)
            return false;
        size = uint64_t{pitch} * height;
    }
    if (size > UINT32_MAX)
        return false;
    if (data) {
        data_ = static_cast<uint8_t*>(data);
    } else {
        data_ = new (std::nothrow) uint8_t[size]();
        if (!data_)
            return false;
        owned_ = true;
    }
    width_ = width;
    height_ = height;
    format_ = format;
    pitch_ = pitch;
    size_ = static_cast<uint32_t>(size);
    return true;
}

uint32_t Bitmap::GetPixel(uint32_t x, uint32_t y) const noexcept
{
    if (!data_ || x >= width_ || y >= height_ || BytesPerPixel(format_) != 4)
        return 0;
    return Le32(data_ + static_cast<size_t>(y) * pitch_ + static_cast<size_t>(x) * 4);
}

void Bitmap::SetPixel(uint32_t x, uint32_t y, uint32_t value) noexcept
{
    if (!data_ || x >= width_ || y >= height_ || BytesPerPixel(format_) != 4)
        return;
    uint8_t* p = data_ + static_cast<size_t>(y) * pitch_ + static_cast<size_t>(x) * 4;
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
}

Bitmap* Bitmap::Scale(uint32_t width, uint32_t height) const
{
    const uint32_t bpp = BytesPerPixel(format_);
    if (!data_ || bpp == 0 || width == 0 || height == 0)
        return nullptr;
    auto* out = new (std::nothrow) Bitmap;
    if (!out || !out->Init(width, height, format_)) {
        delete out;
        return nullptr;
    }
    for (uint32_t y = 0; y < height; ++y) {
        // The source rows and columns this pixel covers, at least one each.
        const uint32_t y0 = static_cast<uint32_t>(uint64_t{y} * height_ / height);
        const uint32_t y1 = std::max(y0 + 1, static_cast<uint32_t>(uint64_t{y + 1} * height_ / height));
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t x0 = static_cast<uint32_t>(uint64_t{x} * width_ / width);
            const uint32_t x1 = std::max(x0 + 1, static_cast<uint32_t>(uint64_t{x + 1} * width_ / width));
            uint64_t sum[4] = {0, 0, 0, 0};
            for (uint32_t sy = y0; sy < y1; ++sy) {
                const uint8_t* row = data_ + static_cast<size_t>(sy) * pitch_;
                for (uint32_t sx = x0; sx < x1; ++sx)
                    for (uint32_t c = 0; c < bpp; ++c)
                        sum[c] += row[static_cast<size_t>(sx) * bpp + c];
            }
            const uint64_t count = uint64_t{y1 - y0} * (x1 - x0);
            uint8_t* dst = out->data_ + static_cast<size_t>(y) * out->pitch_ + static_cast<size_t>(x) * bpp;
            for (uint32_t c = 0; c < bpp; ++c)
                dst[c] = static_cast<uint8_t>((sum[c] + count / 2) / count);
        }
    }
    return out;
}

bool Bitmap::Load(const PString& base, const File::Path& path)
{
    Clear();
    File file;
    return file.Open(base, path, File::kModeRead) && LoadOpened(file, path);
}

bool Bitmap::Load(const Platform::FileConfinement& rule, const File::Path& path)
{
    Clear();
    File file;
    return file.Open(rule, path, File::kModeRead) && LoadOpened(file, path);
}

bool Bitmap::LoadOpened(File& file, const File::Path& path)
{
    const int64_t size = file.Size();
    if (size <= 0 || size > kMaxFileBytes)
        return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (file.Read(bytes.data(), 1, static_cast<uint32_t>(size)) != static_cast<uint32_t>(size))
        return false;
    return Decode(path.FileName(), bytes.data(), bytes.size());
}

bool Bitmap::Decode(std::string_view fileName, const uint8_t* data, size_t size)
{
    Clear();
    if (!data || size == 0)
        return false;
    bool ok = false;
    static constexpr uint8_t kPngMark[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (size >= 2 && data[0] == 'B' && data[1] == 'M')
        ok = DecodeBmp(data, size);
    else if (size >= sizeof kPngMark && std::memcmp(data, kPngMark, sizeof kPngMark) == 0)
        ok = DecodePng(data, size);
    else if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF)
        ok = DecodeJpeg(data, size);
    else if (EndsWithNoCase(fileName, ".tga"))
        ok = DecodeTga(data, size);
    if (!ok)
        Clear();
    return ok;
}

bool Bitmap::DecodeBmp(const uint8_t* data, size_t size)
{
    if (size < kBmpFileHeader + 4)
        return false;
    const uint32_t pixelOffset = Le32(data + 10);
    const uint32_t headerSize = Le32(data + 14);
    if (headerSize != kBmpCoreHeader && (headerSize < 40 || headerSize > 256))
        return false;
    if (Remaining(size, kBmpFileHeader) < headerSize)
        return false;
    const uint8_t* h = data + kBmpFileHeader;
    int64_t width;
    int64_t height;
    uint16_t planes;
    uint16_t bits;
    uint32_t compression = kBmpRgb;
    uint32_t imageBytes = 0;
    uint32_t coloursUsed = 0;
    if (headerSize == kBmpCoreHeader) {
        width = Le16(h + 4);
        height = Le16(h + 6);
        planes = Le16(h + 8);
        bits = Le16(h + 10);
    } else {
        width = static_cast<int32_t>(Le32(h + 4));
        height = static_cast<int32_t>(Le32(h + 8));
        planes = Le16(h + 12);
        bits = Le16(h + 14);
        compression = Le32(h + 16);
        imageBytes = Le32(h + 20);
        coloursUsed = Le32(h + 32);
    }
    const bool topDown = height < 0;
    if (height < 0)
        height = -height;
    if (planes != 1 || width <= 0 || height <= 0)
        return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return false;

    // The colour table of an indexed image lies between the headers and
    // the pixels.
    const uint64_t entry = headerSize == kBmpCoreHeader ? 3 : 4;
    std::vector<uint32_t> palette;
    if (bits <= 8) {
        const uint64_t colours = coloursUsed != 0 ? coloursUsed : (uint64_t{1} << bits);
        if (colours > (uint64_t{1} << bits))
            return false;
        if (kBmpFileHeader + headerSize + colours * entry > pixelOffset)
            return false;
        if (Remaining(size, kBmpFileHeader + headerSize) < colours * entry)
            return false;
        const uint8_t* table = data + kBmpFileHeader + headerSize;
        palette.resize(size_t{1} << bits, Argb(255, 0, 0, 0));
        for (uint64_t i = 0; i < colours; ++i) {
            const uint8_t* c = table + i * entry;
            palette[i] = Argb(255, c[2], c[1], c[0]);
        }
    } else if (pixelOffset < kBmpFileHeader + headerSize) {
        return false;
    }

    // Channel masks of 16- and 32-bit pixels: given after a 40-byte header,
    // inside a longer one.
    Channel red(bits == 16 ? 0x7C00u : 0x00FF0000u);
    Channel green(bits == 16 ? 0x03E0u : 0x0000FF00u);
    Channel blue(bits == 16 ? 0x001Fu : 0x000000FFu);
    Channel alpha(bits == 32 ? 0xFF000000u : 0u);
    const bool fields = compression == kBmpBitFields || compression == kBmpAlphaBitFields;
    if (fields) {
        if (bits != 16 && bits != 32)
            return false;
        const uint64_t maskCount = (compression == kBmpAlphaBitFields || headerSize >= 56) ? 4 : 3;
        const uint64_t at = kBmpFileHeader + (headerSize >= 52 ? 40 : headerSize);
        if (Remaining(size, at) < maskCount * 4)
            return false;
        red = Channel(Le32(data + at));
        green = Channel(Le32(data + at + 4));
        blue = Channel(Le32(data + at + 8));
        alpha = Channel(maskCount == 4 ? Le32(data + at + 12) : 0u);
    }

    const uint32_t w = static_cast<uint32_t>(width);
    const uint32_t hgt = static_cast<uint32_t>(height);
    const bool rle = (compression == kBmpRle8 && bits == 8) || (compression == kBmpRle4 && bits == 4);
    if (!rle && compression != kBmpRgb && !fields)
        return false;

    const uint64_t stride = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
    if (rle) {
        // Run-length data states its own length.
        if (imageBytes == 0 || Remaining(size, pixelOffset) < imageBytes)
            return false;
    } else {
        // stride * height, without overflowing: compared by division.
        const uint64_t have = Remaining(size, pixelOffset);
        if (static_cast<uint64_t>(height) > have / stride)
            return false;
    }
    if (!SizeAllowed(w, hgt) || !Init(w, hgt, kFormatARGB32))
        return false;

    const uint8_t* pixels = data + pixelOffset;
    bool anyAlpha = false;
    if (rle) {
        std::vector<uint8_t> indexes(static_cast<size_t>(w) * hgt, 0);
        DecodeBmpRle(pixels, imageBytes, bits == 4, w, hgt, indexes);
        for (uint32_t y = 0; y < hgt; ++y)
            for (uint32_t x = 0; x < w; ++x)
                SetPixel(x, hgt - 1 - y, palette[indexes[static_cast<size_t>(y) * w + x]]);
    } else {
        for (uint32_t y = 0; y < hgt; ++y) {
            const uint8_t* row = pixels + stride * y;
            const uint32_t out = topDown ? y : hgt - 1 - y;
            for (uint32_t x = 0; x < w; ++x) {
                uint32_t value;
                switch (bits) {
                case 1:
                    value = palette[(row[x / 8] >> (7 - x % 8)) & 1];
                    break;
                case 4:
                    value = palette[(row[x / 2] >> ((x & 1) ? 0 : 4)) & 0x0F];
                    break;
                case 8:
                    value = palette[row[x]];
                    break;
                case 24:
                    value = Argb(255, row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
                    break;
                default: {
                    const uint32_t raw = bits == 16 ? Le16(row + x * 2) : Le32(row + static_cast<size_t>(x) * 4);
                    const uint32_t a = alpha.Get(raw);
                    anyAlpha = anyAlpha || a != 0;
                    value = Argb(a, red.Get(raw), green.Get(raw), blue.Get(raw));
                    break;
                }
                }
                SetPixel(x, out, value);
            }
        }
    }
    // A file with an alpha channel that is zero throughout stores none: its
    // image is opaque.
    if (alpha.mask != 0 && anyAlpha)
        return true;
    format_ = kFormatXRGB32;
    for (uint32_t y = 0; y < hgt; ++y)
        for (uint32_t x = 0; x < w; ++x)
            data_[static_cast<size_t>(y) * pitch_ + static_cast<size_t>(x) * 4 + 3] = 255;
    return true;
}

bool Bitmap::DecodeTga(const uint8_t* data, size_t size)
{
    if (size < kTgaHeader)
        return false;
    const uint8_t idLength = data[0];
    const uint8_t mapType = data[1];
    const uint8_t type = data[2];
    const uint16_t mapFirst = Le16(data + 3);
    const uint16_t mapLength = Le16(data + 5);
    const uint8_t mapEntryBits = data[7];
    const uint16_t width = Le16(data + 12);
    const uint16_t height = Le16(data + 14);
    const uint8_t bits = data[16];
    const uint8_t descriptor = data[17];
    if (width == 0 || height == 0 || mapType > 1)
        return false;
    const bool runLength = type >= 9;
    const uint8_t base = runLength ? static_cast<uint8_t>(type - 8) : type;
    bool hasAlpha = false;
    switch (base) {
    case 1:  // indexed
        if (mapType != 1 || mapLength == 0 || (bits != 8 && bits != 16))
            return false;
        hasAlpha = mapEntryBits == 32;
        break;
    case 2:  // true colour
        if (bits != 15 && bits != 16 && bits != 24 && bits != 32)
            return false;
        hasAlpha = bits == 32;
        break;
    case 3:  // grey
        if (bits != 8 && bits != 16)
            return false;
        hasAlpha = bits == 16;
        break;
    default:
        return false;
    }
    // A true-colour or grey image may carry a colour map too; whatever the
    // image type, a map is read only with an entry size that has a colour
    // form (a smaller entry would be read as four bytes).
    if (mapType == 1 && mapEntryBits != 15 && mapEntryBits != 16 && mapEntryBits != 24 && mapEntryBits != 32)
        return false;
    const uint64_t entryBytes = (mapEntryBits + 7u) / 8u;
    const uint64_t mapBytes = mapType == 1 ? static_cast<uint64_t>(mapLength) * entryBytes : 0;
    uint64_t at = kTgaHeader + idLength;
    if (Remaining(size, at) < mapBytes)
        return false;

    // True-colour bytes of one value of `n` bytes.
    auto colour = [](const uint8_t* p, uint32_t n) -> uint32_t {
        switch (n) {
        case 2: {
            const uint32_t v = Le16(p);
            const Channel r(0x7C00u), g(0x03E0u), b(0x001Fu);
            return Argb(255, r.Get(v), g.Get(v), b.Get(v));
        }
        case 3:
            return Argb(255, p[2], p[1], p[0]);
        default:
            return Argb(p[3], p[2], p[1], p[0]);
        }
    };
    std::vector<uint32_t> palette;
    if (base == 1) {
        palette.resize(mapLength);
        for (uint32_t i = 0; i < mapLength; ++i)
            palette[i] = colour(data + at + i * entryBytes, static_cast<uint32_t>(entryBytes));
    }
    at += mapBytes;

    const uint32_t pixelBytes = (bits + 7u) / 8u;
    auto pixel = [&](const uint8_t* p) -> uint32_t {
        if (base == 3)
            return Argb(bits == 16 ? p[1] : 255, p[0], p[0], p[0]);
        if (base == 1) {
            const uint32_t index = bits == 16 ? Le16(p) : p[0];
            return index >= mapFirst && index - mapFirst < palette.size() ? palette[index - mapFirst]
                                                                         : Argb(255, 0, 0, 0);
        }
        return colour(p, pixelBytes);
    };

    const uint64_t pixels = static_cast<uint64_t>(width) * height;
    std::vector<uint32_t> values;
    if (!runLength) {
        if (Remaining(size, at) < pixels * pixelBytes)
            return false;
        if (!SizeAllowed(width, height))
            return false;
        values.resize(pixels);
        for (uint64_t i = 0; i < pixels; ++i)
            values[i] = pixel(data + at + i * pixelBytes);
    } else {
        // Every packet's header and its pixels must be there, up to the
        // last pixel; a packet may run on into the next row.
        if (!SizeAllowed(width, height))
            return false;
        values.resize(pixels);
        uint64_t done = 0;
        while (done < pixels) {
            if (at >= size)
                return false;
            const uint8_t packet = data[at++];
            const uint64_t count = (packet & 0x7Fu) + 1u;
            const bool repeat = (packet & 0x80u) != 0;
            const uint64_t bytes = repeat ? pixelBytes : count * pixelBytes;
            if (Remaining(size, at) < bytes)
                return false;
            for (uint64_t i = 0; i < count && done < pixels; ++i, ++done)
                values[done] = pixel(data + at + (repeat ? 0 : i * pixelBytes));
            at += bytes;
        }
    }
    if (!Init(width, height, hasAlpha ? kFormatARGB32 : kFormatXRGB32))
        return false;
    const bool topDown = (descriptor & 0x20u) != 0;
    const bool rightToLeft = (descriptor & 0x10u) != 0;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            SetPixel(rightToLeft ? width - 1 - x : x, topDown ? y : height - 1 - y,
                     values[static_cast<size_t>(y) * width + x]);
    return true;
}

}  // namespace Nyx
