// Images, compiled-texture reading and a small block decoder for the texture
// conversion tests: compressed output is decoded and measured, never
// compared byte for byte (the compressor's output varies between runs).
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/ResultLines.h"

namespace texturetest {

// A pixel as stored: alpha in the top byte.
using PixelFn = std::function<uint32_t(uint32_t x, uint32_t y)>;

void Put16(std::string& s, uint32_t v);

// A 32-bit TGA, top row first.
std::string Tga32(uint32_t width, uint32_t height, const PixelFn& pixel);

// Smooth colours with full alpha, so that block compression keeps them
// close.
uint32_t Gradient(uint32_t x, uint32_t y);

uint32_t Le32(const std::string& s, size_t at);

struct Level {
    uint32_t image = 0, level = 0, width = 0, height = 0;
    std::string bytes;
};

struct CompiledTexture {
    bool valid = false;
    uint32_t width = 0, height = 0, images = 0, levels = 0, format = 0, alpha = 0, wrapS = 0, wrapT = 0;
    std::vector<Level> mips;
};

// Reads the NIRF frame, TXHD and the TXMP chunks; valid only when every
// size adds up.
CompiledTexture ReadCompiled(const std::string& f);

// Bytes of one level: 8 or 16 a 4 x 4 block, 4 a pixel uncompressed.
uint32_t LevelBytes(uint32_t format, uint32_t width, uint32_t height);

// Decodes DXT1, DXT3 and DXT5 blocks (format codes 10, 11, 12) into
// pixels with alpha in the top byte, top row first.
std::vector<uint32_t> DecodeDxt(uint32_t format, uint32_t width, uint32_t height, const std::string& data);

// Root mean square difference of the four channels.
double Rmse(const std::vector<uint32_t>& a, const PixelFn& source, uint32_t width, uint32_t height);

using resultstest::ResultLines;

}  // namespace texturetest
