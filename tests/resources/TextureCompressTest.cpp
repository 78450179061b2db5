// The texture compressor: level sizes by format, the decoded quality of the
// block formats, the opaque fix-up, refusals, the output handler and the
// per-thread last error.
#include "resources/textures/TextureCompress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "resources/TextureTestSupport.h"
#include "resources/textures/TextureCompressHandlers.h"

namespace {

using texturetest::DecodeDxt;
using texturetest::Gradient;
using texturetest::LevelBytes;

std::unique_ptr<Nyx::Bitmap> Image(uint32_t width, uint32_t height, uint32_t format,
                                   const texturetest::PixelFn& pixel)
{
    auto bitmap = std::make_unique<Nyx::Bitmap>(width, height, format);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            bitmap->SetPixel(x, y, pixel(x, y));
    return bitmap;
}

std::string Bytes(const Nyx::Bitmap& level)
{
    return std::string(reinterpret_cast<const char*>(level.GetData()), level.GetDataSize());
}

TEST(TextureCompressTest, EveryLevelHasTheSizeOfItsFormat)
{
    struct Case {
        uint32_t format;
        bool dxt1a;
    };
    for (const Case c : {Case{1, false}, Case{3, false}, Case{10, false}, Case{10, true}, Case{11, false},
                         Case{12, false}}) {
        for (bool mips : {true, false}) {
            SCOPED_TRACE(testing::Message() << "format " << c.format << (c.dxt1a ? "a" : "") << " mips " << mips);
            auto source = Image(64, 32, Nyx::Bitmap::kFormatARGB32, Gradient);
            TextureCompress out;
            ASSERT_TRUE(TextureCompress::Compress(*source, out, c.format, c.dxt1a, true, false, mips, false));
            ASSERT_EQ(out.GetCount(), mips ? 7u : 1u);
            for (uint32_t level = 0; level < out.GetCount(); ++level) {
                const Nyx::Bitmap& bitmap = *out.GetLevel(level);
                const uint32_t width = std::max(1u, 64u >> level), height = std::max(1u, 32u >> level);
                EXPECT_EQ(bitmap.GetWidth(), width);
                EXPECT_EQ(bitmap.GetHeight(), height);
                EXPECT_EQ(bitmap.GetFormat(), Nyx::Bitmap::kFormatRaw);
                EXPECT_EQ(bitmap.GetDataSize(), LevelBytes(c.format, width, height)) << "level " << level;
            }
        }
    }
}

TEST(TextureCompressTest, BlockFormatsDecodeCloseToTheSource)
{
    const texturetest::PixelFn withAlpha = [](uint32_t x, uint32_t y) {
        return (Gradient(x, y) & 0x00FFFFFFu) | (((x * 8) & 0xFF) << 24);
    };
    struct Case {
        uint32_t format;
        texturetest::PixelFn source;
    };
    for (const Case& c : {Case{10, Gradient}, Case{11, withAlpha}, Case{12, withAlpha}}) {
        SCOPED_TRACE(c.format);
        auto source = Image(32, 32, Nyx::Bitmap::kFormatARGB32, c.source);
        TextureCompress out;
        ASSERT_TRUE(TextureCompress::Compress(*source, out, c.format, false, false, false, false, false));
        const auto decoded = DecodeDxt(c.format, 32, 32, Bytes(*out.GetLevel(0)));
        EXPECT_LT(texturetest::Rmse(decoded, c.source, 32, 32), 10.0);
    }
}

// Sharp colour steps inside blocks, where three-colour blocks tempt an
// encoder.
uint32_t Steps(uint32_t x, uint32_t y) { return 0xFF000000u | ((x * 7) & 0xFF) << 16 | ((y * 3) & 0xFF) << 8 | ((x ^ y) & 0xFF); }

TEST(TextureCompressTest, DxtOneOfAnOpaqueSourceDecodesOpaqueAtEveryLevel)
{
    struct Case {
        const char* name;
        texturetest::PixelFn source;
        bool dxt1a;
    };
    const Case cases[] = {
        {"a gradient, DXT1", Gradient, false},
        {"a gradient, DXT1a", Gradient, true},
        {"steps, DXT1", Steps, false},
        {"steps, DXT1a", Steps, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto source = Image(128, 128, Nyx::Bitmap::kFormatARGB32, c.source);
        TextureCompress out;
        ASSERT_TRUE(TextureCompress::Compress(*source, out, 10, c.dxt1a, true, false, true, false));
        ASSERT_EQ(out.GetCount(), 8u);
        for (uint32_t level = 0; level < out.GetCount(); ++level) {
            const Nyx::Bitmap& bitmap = *out.GetLevel(level);
            const auto decoded = DecodeDxt(10, bitmap.GetWidth(), bitmap.GetHeight(), Bytes(bitmap));
            const auto seeThrough =
                std::count_if(decoded.begin(), decoded.end(), [](uint32_t p) { return (p >> 24) != 0xFF; });
            EXPECT_EQ(seeThrough, 0) << "level " << level;
        }
        const auto top = DecodeDxt(10, 128, 128, Bytes(*out.GetLevel(0)));
        EXPECT_LT(texturetest::Rmse(top, c.source, 128, 128), 10.0);
    }
}

TEST(TextureCompressTest, DxtOneAWithAlphaKeepsTheSourcesTransparencyAtTheTopLevel)
{
    // Transparent squares of 8 x 8 in a gradient.
    const texturetest::PixelFn pixels = [](uint32_t x, uint32_t y) {
        return (x / 8 + y / 8) % 3 == 0 ? Gradient(x, y) & 0x00FFFFFFu : Gradient(x, y);
    };
    auto source = Image(128, 128, Nyx::Bitmap::kFormatARGB32, pixels);
    TextureCompress out;
    ASSERT_TRUE(TextureCompress::Compress(*source, out, 10, true, false, false, true, false));
    const auto decoded = DecodeDxt(10, 128, 128, Bytes(*out.GetLevel(0)));
    uint32_t wrong = 0;
    for (uint32_t y = 0; y < 128; ++y)
        for (uint32_t x = 0; x < 128; ++x)
            wrong += (decoded[size_t{y} * 128 + x] >> 24) != (pixels(x, y) >> 24) ? 1 : 0;
    EXPECT_EQ(wrong, 0u);
}

TEST(TextureCompressTest, OpaqueStorageKeepsOnlyTheZeroPixelTransparent)
{
    const texturetest::PixelFn pixels = [](uint32_t x, uint32_t) { return x == 0 ? 0u : 0x00102030u; };
    for (uint32_t sourceFormat : {Nyx::Bitmap::kFormatXRGB32, Nyx::Bitmap::kFormatARGB32}) {
        SCOPED_TRACE(sourceFormat);
        auto source = Image(4, 4, sourceFormat, pixels);
        TextureCompress out;
        ASSERT_TRUE(TextureCompress::Compress(*source, out, 3, false, false, false, false, false));
        const std::string bytes = Bytes(*out.GetLevel(0));
        EXPECT_EQ(texturetest::Le32(bytes, 0), 0u);
        EXPECT_EQ(texturetest::Le32(bytes, 4), 0xFF102030u);
    }
    // Format 1 from an alpha source keeps the alpha as it is.
    auto source = Image(4, 4, Nyx::Bitmap::kFormatARGB32, pixels);
    TextureCompress out;
    ASSERT_TRUE(TextureCompress::Compress(*source, out, 1, false, false, false, false, false));
    EXPECT_EQ(texturetest::Le32(Bytes(*out.GetLevel(0)), 4), 0x00102030u);
}

TEST(TextureCompressTest, RefusesFormatsItDoesNotStoreAndTouchesNothing)
{
    struct Case {
        const char* name;
        uint32_t sourceFormat;
        uint32_t format;
    };
    for (const Case& c : {Case{"format code 2", 2, 2}, Case{"format code 5", 2, 5},
                          Case{"an 8-bit source", Nyx::Bitmap::kFormatLuminance8, 12}}) {
        SCOPED_TRACE(c.name);
        TextureCompress::SetLastError(Nyx::PString("earlier"));
        Nyx::Bitmap source(8, 8, c.sourceFormat);
        TextureCompress out;
        EXPECT_FALSE(TextureCompress::Compress(source, out, c.format, false, false, false, true, false));
        EXPECT_EQ(out.GetCount(), 0u);
        EXPECT_EQ(TextureCompress::GetLastError(), Nyx::PString("earlier"));
    }
    TextureCompress::SetLastError(Nyx::PString());
}

TEST(TextureCompressTest, TheOutputHandlerKeepsOneBitmapPerImageWithinItsSize)
{
    TextureCompress out;
    {
        OurOutputHandler handler(out);
        EXPECT_FALSE(handler.writeData("x", 1));  // nothing begun
        handler.beginImage(16, 4, 4, 1, 0, 0);
        EXPECT_TRUE(handler.writeData("0123456789", 10));
        EXPECT_FALSE(handler.writeData("0123456", 7));
        EXPECT_TRUE(handler.writeData("012345", 6));
        EXPECT_FALSE(handler.writeData("x", 1));
        handler.beginImage(8, 2, 2, 1, 0, 1);
        EXPECT_EQ(out.GetCount(), 1u);
        EXPECT_EQ(Bytes(*out.GetLevel(0)), "0123456789012345");
        handler.beginImage(-1, 1, 1, 1, 0, 2);
        EXPECT_FALSE(handler.writeData("x", 1));
    }
    // The second image was handed over by the third's beginning; the third
    // never started.
    EXPECT_EQ(out.GetCount(), 2u);
    EXPECT_EQ(out.GetLevel(1)->GetDataSize(), 8u);
}

TEST(TextureCompressTest, TheLastErrorBelongsToTheThreadThatRanTheCompression)
{
    TextureCompress::SetLastError(Nyx::PString());
    std::thread other([] {
        OurErrorHandler().error(nvtt::Error_InvalidInput);
        EXPECT_EQ(TextureCompress::GetLastError(), Nyx::PString(nvtt::errorString(nvtt::Error_InvalidInput)));
    });
    other.join();
    EXPECT_TRUE(TextureCompress::GetLastError().Empty());
}

}  // namespace
