// The compressed image files of Nyx::Bitmap, decoded through the PNG and
// JPEG libraries straight into the bitmap's 32-bit pixels.
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <png.h>

#include "nyx/gfx/bitmap/Bitmap.h"

namespace Nyx {

namespace {

bool SideAllowed(uint64_t width, uint64_t height)
{
    return width > 0 && height > 0 && width <= Bitmap::kMaxSide && height <= Bitmap::kMaxSide &&
           width * height <= Bitmap::kMaxPixels;
}

// The JPEG library reports errors by calling out; it jumps back here
// instead of ending the process. Warnings (a file cut short among them,
// which the library would fill with grey) are counted and refuse the file.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf back;
};

[[noreturn]] void JpegFail(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->back, 1);
}

void JpegMessage(j_common_ptr info, int level)
{
    if (level < 0)
        ++info->err->num_warnings;
}

void JpegQuiet(j_common_ptr) {}

}  // namespace

bool Bitmap::DecodePng(const uint8_t* data, size_t size)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size))
        return false;
    const bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    if (!SideAllowed(image.width, image.height) || !Init(image.width, image.height, alpha ? kFormatARGB32 : kFormatXRGB32)) {
        png_image_free(&image);
        return false;
    }
    // BGRA is this bitmap's byte order; an opaque image reads with alpha 255.
    image.format = PNG_FORMAT_BGRA;
    if (!png_image_finish_read(&image, nullptr, data_, static_cast<png_int_32>(pitch_), nullptr)) {
        png_image_free(&image);
        return false;
    }
    return true;
}

bool Bitmap::DecodeJpeg(const uint8_t* data, size_t size)
{
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = &JpegFail;
    errors.manager.emit_message = &JpegMessage;
    errors.manager.output_message = &JpegQuiet;
    // Nothing with a destructor lives between here and the library's jumps:
    // the pixels belong to the bitmap, which the caller clears on failure.
    if (setjmp(errors.back)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&info);
    if (!SideAllowed(info.output_width, info.output_height) || info.output_components != 4 ||
        !Init(info.output_width, info.output_height, kFormatXRGB32)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = data_ + static_cast<size_t>(info.output_scanline) * pitch_;
        if (jpeg_read_scanlines(&info, &row, 1) != 1)
            break;
    }
    const bool whole = info.output_scanline == info.output_height && errors.manager.num_warnings == 0;
    if (whole)
        jpeg_finish_decompress(&info);
    const bool ok = whole && errors.manager.num_warnings == 0;
    jpeg_destroy_decompress(&info);
    return ok;
}

}  // namespace Nyx
