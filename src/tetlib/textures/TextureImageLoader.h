// How the texture check loads an image: through a loader handed in by the
// engine side once it has one; until then through a reader of its own.
//
// The reader of its own decodes BMP and TGA images whole with the engine
// bitmap's loader (every BMP depth and run-length form, TGA true-colour,
// grey and colour-mapped, plain or run-length); an image cut short or with
// a header that makes no sense does not load. Any other file loads when it
// can be read and is not empty, without known sides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "nyx/files/File.h"

namespace TETLib {

struct TextureImage {
    uint32_t width = 0;
    uint32_t height = 0;
    // The sides are known; when not, the size tests pass the image over.
    bool sized = false;
};

// True when the whole image loaded, with what is known of it.
using TextureImageLoader = bool (*)(const Nyx::File::Path& path, TextureImage& image);

// Null goes back to the reader of its own. Set before validation runs.
void SetTextureImageLoader(TextureImageLoader loader);
bool LoadTextureImage(const Nyx::File::Path& path, TextureImage& image);

// The reader of its own, over the file's bytes: BMP by its "BM" mark, TGA
// by the name's extension (the format has no mark), anything else loads
// when not empty.
bool DecodeTextureImage(std::string_view fileName, const uint8_t* data, size_t size, TextureImage& image);
// The same, reading the whole file first; files above kMaxImageFileBytes
// do not load.
bool ReadTextureImage(const Nyx::File::Path& path, TextureImage& image);
inline constexpr int64_t kMaxImageFileBytes = int64_t{1} << 30;

}  // namespace TETLib
