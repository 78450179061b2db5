#include "tetlib/textures/TextureImageLoader.h"

#include <vector>

#include "nyx/gfx/bitmap/Bitmap.h"
#include "tetlib/writers/FileExtensions.h"

namespace TETLib {

namespace {

TextureImageLoader g_loader = nullptr;

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
    const bool bmp = (size >= 2 && data[0] == 'B' && data[1] == 'M') || HasExtension(fileName, "bmp");
    if (bmp || HasExtension(fileName, "tga")) {
        Nyx::Bitmap bitmap;
        if (!bitmap.Decode(fileName, data, size))
            return false;
        image.width = bitmap.GetWidth();
        image.height = bitmap.GetHeight();
        image.sized = true;
        return true;
    }
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
