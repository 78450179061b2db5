// Small image files made in memory for the tests: 32-bit BMP, 32-bit TGA,
// PNG with alpha and JPEG, each from pixels 0xAARRGGBB in rows from the top.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "support/LittleEndianBytes.h"

namespace imagefiles {

using littleendian::Put16;
using littleendian::Put32;

// Top-down 32-bit BMP with an alpha mask.
inline std::string Bmp(uint32_t w, uint32_t h, const std::vector<uint32_t>& px)
{
    std::string s = "BM";
    const uint32_t offset = 14 + 56;
    Put32(s, offset + w * h * 4);
    Put32(s, 0);
    Put32(s, offset);
    Put32(s, 56);
    Put32(s, w);
    Put32(s, static_cast<uint32_t>(-static_cast<int32_t>(h)));
    Put16(s, 1);
    Put16(s, 32);
    Put32(s, 3);  // bit fields
    Put32(s, w * h * 4);
    Put32(s, 0);
    Put32(s, 0);
    Put32(s, 0);
    Put32(s, 0);
    Put32(s, 0x00FF0000u);
    Put32(s, 0x0000FF00u);
    Put32(s, 0x000000FFu);
    Put32(s, 0xFF000000u);
    for (uint32_t p : px)
        Put32(s, p);
    return s;
}

// Top-down 32-bit true-colour TGA.
inline std::string Tga(uint16_t w, uint16_t h, const std::vector<uint32_t>& px)
{
    std::string s;
    s += '\0';
    s += '\0';
    s += '\2';
    s.append(9, '\0');
    Put16(s, w);
    Put16(s, h);
    s += static_cast<char>(32);
    s += static_cast<char>(0x28);
    for (uint32_t p : px)
        Put32(s, p);
    return s;
}

inline std::string Png(uint32_t w, uint32_t h, const std::vector<uint32_t>& px)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = w;
    image.height = h;
    image.format = PNG_FORMAT_BGRA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, px.data(), 0, nullptr))
        return {};
    std::string out(size, '\0');
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, px.data(), 0, nullptr))
        return {};
    out.resize(size);
    return out;
}

// Opaque; the alpha bytes are not stored.
inline std::string Jpeg(uint32_t w, uint32_t h, const std::vector<uint32_t>& px, int quality = 95)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = w;
    info.image_height = h;
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRA;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < h) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(const_cast<uint32_t*>(px.data() + size_t{info.next_scanline} * w));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

}  // namespace imagefiles
