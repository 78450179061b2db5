#include "tetlib/textures/TextureImageLoader.h"

#include <vector>

#include "tetlib/writers/FileExtensions.h"

namespace TETLib {

namespace {

TextureImageLoader g_loader = nullptr;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16)
           | (static_cast<uint32_t>(p[3]) << 24);
}

// Bytes beyond `offset` that the data holds; 0 when the offset lies past it.
uint64_t Remaining(size_t size, uint64_t offset) { return offset < size ? size - offset : 0; }

constexpr size_t kBmpFileHeader = 14;
constexpr uint32_t kBmpCoreHeader = 12;
constexpr uint32_t kBmpRgb = 0;
constexpr uint32_t kBmpRle8 = 1;
constexpr uint32_t kBmpRle4 = 2;
constexpr uint32_t kBmpBitFields = 3;
constexpr uint32_t kBmpAlphaBitFields = 6;

bool DecodeBmp(const uint8_t* data, size_t size, TextureImage& image)
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
    if (height < 0)
        height = -height;  // stored top row first
    if (planes != 1 || width <= 0 || height <= 0)
        return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return false;

    // The colour table of an indexed image lies between the headers and
    // the pixels.
    if (bits <= 8) {
        const uint64_t colours = coloursUsed != 0 ? coloursUsed : (uint64_t{1} << bits);
        if (colours > (uint64_t{1} << bits))
            return false;
        const uint64_t entry = headerSize == kBmpCoreHeader ? 3 : 4;
        if (kBmpFileHeader + headerSize + colours * entry > pixelOffset)
            return false;
    } else if (pixelOffset < kBmpFileHeader + headerSize) {
        return false;
    }

    uint64_t needed;
    if (compression == kBmpRgb || compression == kBmpBitFields || compression == kBmpAlphaBitFields) {
        if ((compression != kBmpRgb) && bits != 16 && bits != 32)
            return false;
        const uint64_t stride = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
        // stride * height, without overflowing: compared by division.
        const uint64_t have = Remaining(size, pixelOffset);
        if (stride != 0 && static_cast<uint64_t>(height) > have / stride)
            return false;
        needed = stride * static_cast<uint64_t>(height);
    } else if ((compression == kBmpRle8 && bits == 8) || (compression == kBmpRle4 && bits == 4)) {
        // Run-length data states its own length.
        if (imageBytes == 0)
            return false;
        needed = imageBytes;
    } else {
        return false;
    }
    if (Remaining(size, pixelOffset) < needed)
        return false;
    image.width = static_cast<uint32_t>(width);
    image.height = static_cast<uint32_t>(height);
    image.sized = true;
    return true;
}

constexpr size_t kTgaHeader = 18;

bool DecodeTga(const uint8_t* data, size_t size, TextureImage& image)
{
    if (size < kTgaHeader)
        return false;
    const uint8_t idLength = data[0];
    const uint8_t mapType = data[1];
    const uint8_t type = data[2];
    const uint16_t mapLength = Le16(data + 5);
    const uint8_t mapEntryBits = data[7];
    const uint16_t width = Le16(data + 12);
    const uint16_t height = Le16(data + 14);
    const uint8_t bits = data[16];
    if (width == 0 || height == 0 || mapType > 1)
        return false;
    const bool runLength = type >= 9;
    const uint8_t base = runLength ? static_cast<uint8_t>(type - 8) : type;
    switch (base) {
    case 1:  // indexed
        if (mapType != 1 || mapLength == 0 || (bits != 8 && bits != 16))
            return false;
        break;
    case 2:  // true colour
        if (bits != 15 && bits != 16 && bits != 24 && bits != 32)
            return false;
        break;
    case 3:  // grey
        if (bits != 8 && bits != 16)
            return false;
        break;
    default:
        return false;
    }
    const uint64_t mapBytes = mapType == 1 ? static_cast<uint64_t>(mapLength) * ((mapEntryBits + 7u) / 8u) : 0;
    uint64_t at = kTgaHeader + idLength + mapBytes;
    const uint64_t pixelBytes = (bits + 7u) / 8u;
    const uint64_t pixels = static_cast<uint64_t>(width) * height;
    if (!runLength) {
        if (Remaining(size, at) < pixels * pixelBytes)
            return false;
    } else {
        // Every packet's header and its pixels must be there, up to the
        // last pixel.
        uint64_t done = 0;
        while (done < pixels) {
            if (at >= size)
                return false;
            const uint8_t packet = data[at++];
            const uint64_t count = (packet & 0x7Fu) + 1u;
            const uint64_t bytes = (packet & 0x80u) ? pixelBytes : count * pixelBytes;
            if (Remaining(size, at) < bytes)
                return false;
            at += bytes;
            done += count;
        }
    }
    image.width = width;
    image.height = height;
    image.sized = true;
    return true;
}

}  // namespace

void SetTextureImageLoader(TextureImageLoader loader) { g_loader = loader; }

bool LoadTextureImage(const Nyx::File::Path& path, TextureImage& image)
{
    image = TextureImage();
    return g_loader ? g_loader(path, image) : ReadTextureImage(path, image);
}

bool DecodeTextureImage(std::string_view fileName, const uint8_t* data, size_t size, TextureImage& image)
{
    image = TextureImage();
    if (size == 0 || !data)
        return false;
    if (size >= 2 && data[0] == 'B' && data[1] == 'M')
        return DecodeBmp(data, size, image);
    if (HasExtension(fileName, "bmp"))
        return false;
    if (HasExtension(fileName, "tga"))
        return DecodeTga(data, size, image);
    return true;
}

bool ReadTextureImage(const Nyx::File::Path& path, TextureImage& image)
{
    image = TextureImage();
    Nyx::File file;
    if (!file.Open(path, Nyx::File::kModeRead))
        return false;
    const int64_t size = file.Size();
    if (size <= 0 || size > kMaxImageFileBytes)
        return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (file.Read(bytes.data(), 1, static_cast<uint32_t>(size)) != static_cast<uint32_t>(size))
        return false;
    return DecodeTextureImage(path.FileName(), bytes.data(), bytes.size(), image);
}

}  // namespace TETLib
