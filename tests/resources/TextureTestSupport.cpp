#include "resources/TextureTestSupport.h"

namespace texturetest {

void Put16(std::string& s, uint32_t v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}

std::string Tga32(uint32_t width, uint32_t height, const PixelFn& pixel)
{
    std::string s(2, '\0');
    s += static_cast<char>(2);
    s.append(9, '\0');
    Put16(s, width);
    Put16(s, height);
    s += static_cast<char>(32);
    s += static_cast<char>(0x28);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t p = pixel(x, y);
            for (int i = 0; i < 4; ++i)
                s += static_cast<char>((p >> (8 * i)) & 0xFF);
        }
    }
    return s;
}

uint32_t Gradient(uint32_t x, uint32_t y)
{
    return 0xFF000000u | ((x * 4 & 0xFF) << 16) | ((y * 4 & 0xFF) << 8) | ((x + y) * 2 & 0xFF);
}

uint32_t Le32(const std::string& s, size_t at)
{
    return static_cast<uint8_t>(s[at]) | (static_cast<uint8_t>(s[at + 1]) << 8)
           | (static_cast<uint8_t>(s[at + 2]) << 16) | (static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24);
}

CompiledTexture ReadCompiled(const std::string& f)
{
    CompiledTexture t;
    if (f.size() < 12 || f.compare(0, 4, "NIRF") != 0 || Le32(f, 4) != f.size() - 8 || f.compare(8, 4, "MMTF") != 0)
        return t;
    size_t at = 12;
    auto chunk = [&](const char* tag, size_t& end) {
        if (at + 12 > f.size() || f.compare(at, 4, tag) != 0 || Le32(f, at + 8) != 100)
            return false;
        end = at + 8 + Le32(f, at + 4);
        at += 12;
        return end <= f.size();
    };
    size_t end = 0;
    if (!chunk("TXHD", end) || end != at + 32)
        return t;
    uint32_t* fields[] = {&t.width, &t.height, &t.images, &t.levels, &t.format, &t.alpha, &t.wrapS, &t.wrapT};
    for (uint32_t* field : fields) {
        *field = Le32(f, at);
        at += 4;
    }
    while (at < f.size()) {
        if (!chunk("TXMP", end) || end < at + 20)
            return t;
        Level l{Le32(f, at), Le32(f, at + 4), Le32(f, at + 8), Le32(f, at + 12), {}};
        const uint32_t count = Le32(f, at + 16);
        if (at + 20 + count != end)
            return t;
        l.bytes = f.substr(at + 20, count);
        t.mips.push_back(l);
        at = end;
    }
    t.valid = true;
    return t;
}

uint32_t LevelBytes(uint32_t format, uint32_t width, uint32_t height)
{
    const uint32_t blocks = ((width + 3) / 4) * ((height + 3) / 4);
    switch (format) {
    case 10:
        return blocks * 8;
    case 11:
    case 12:
        return blocks * 16;
    default:
        return width * height * 4;
    }
}

std::vector<uint32_t> DecodeDxt(uint32_t format, uint32_t width, uint32_t height, const std::string& data)
{
    std::vector<uint32_t> out(static_cast<size_t>(width) * height, 0);
    const size_t blockBytes = format == 10 ? 8 : 16;
    const uint32_t bw = (width + 3) / 4;
    const uint32_t bh = (height + 3) / 4;
    if (data.size() < size_t{bw} * bh * blockBytes)
        return out;
    auto expand = [](uint32_t c) {
        const uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
        return std::vector<uint32_t>{(r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2)};
    };
    for (uint32_t by = 0; by < bh; ++by) {
        for (uint32_t bx = 0; bx < bw; ++bx) {
            const size_t at = (size_t{by} * bw + bx) * blockBytes;
            const size_t colourAt = format == 10 ? at : at + 8;
            const uint32_t c0 = static_cast<uint8_t>(data[colourAt]) | (static_cast<uint8_t>(data[colourAt + 1]) << 8);
            const uint32_t c1 =
                static_cast<uint8_t>(data[colourAt + 2]) | (static_cast<uint8_t>(data[colourAt + 3]) << 8);
            const uint32_t bits = Le32(data, colourAt + 4);
            const auto a = expand(c0), b = expand(c1);
            uint32_t palette[4];
            const bool four = format != 10 || c0 > c1;
            palette[0] = 0xFF000000u | (a[0] << 16) | (a[1] << 8) | a[2];
            palette[1] = 0xFF000000u | (b[0] << 16) | (b[1] << 8) | b[2];
            uint32_t mix2 = 0, mix3 = 0;
            for (int ch = 0; ch < 3; ++ch) {
                const uint32_t m2 = four ? (2 * a[ch] + b[ch]) / 3 : (a[ch] + b[ch]) / 2;
                const uint32_t m3 = four ? (a[ch] + 2 * b[ch]) / 3 : 0;
                mix2 |= m2 << (16 - 8 * ch);
                mix3 |= m3 << (16 - 8 * ch);
            }
            palette[2] = 0xFF000000u | mix2;
            palette[3] = four ? 0xFF000000u | mix3 : 0;
            // DXT5 alpha: two ends and 3-bit indexes.
            uint32_t alphas[8] = {};
            uint64_t alphaBits = 0;
            if (format == 12) {
                alphas[0] = static_cast<uint8_t>(data[at]);
                alphas[1] = static_cast<uint8_t>(data[at + 1]);
                for (int i = 0; i < 6; ++i)
                    alphaBits |= uint64_t{static_cast<uint8_t>(data[at + 2 + i])} << (8 * i);
                for (int i = 2; i < 8; ++i)
                    alphas[i] = alphas[0] > alphas[1] ? ((8 - i) * alphas[0] + (i - 1) * alphas[1]) / 7
                                : i < 6           ? ((6 - i) * alphas[0] + (i - 1) * alphas[1]) / 5
                                : i == 6          ? 0
                                                  : 255;
            }
            for (uint32_t p = 0; p < 16; ++p) {
                const uint32_t x = bx * 4 + p % 4, y = by * 4 + p / 4;
                if (x >= width || y >= height)
                    continue;
                uint32_t pixel = palette[(bits >> (2 * p)) & 3];
                if (format == 11) {
                    const uint32_t a4 = (static_cast<uint8_t>(data[at + p / 2]) >> (4 * (p % 2))) & 15;
                    pixel = (pixel & 0x00FFFFFFu) | ((a4 * 17) << 24);
                } else if (format == 12) {
                    pixel = (pixel & 0x00FFFFFFu) | (alphas[(alphaBits >> (3 * p)) & 7] << 24);
                }
                out[size_t{y} * width + x] = pixel;
            }
        }
    }
    return out;
}

double Rmse(const std::vector<uint32_t>& a, const PixelFn& source, uint32_t width, uint32_t height)
{
    double sum = 0;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t p = a[size_t{y} * width + x], q = source(x, y);
            for (int ch = 0; ch < 4; ++ch) {
                const double d = static_cast<double>((p >> (8 * ch)) & 0xFF) - ((q >> (8 * ch)) & 0xFF);
                sum += d * d;
            }
        }
    }
    return std::sqrt(sum / (4.0 * width * height));
}

}  // namespace texturetest
