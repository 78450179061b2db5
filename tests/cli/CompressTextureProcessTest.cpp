// "compresstexture <folder>" as the built program runs it: every
// description below the folder becomes a compiled texture, each failure is
// reported with its message, and every description ends under its own name.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "cli/ToolProcess.h"
#include "resources/TextureTestSupport.h"
#include "support/ImageFiles.h"

namespace {

TEST_F(ToolProcessTest, CompressTextureConvertsAFolderAndReportsEachFailure)
{
    root_.Write("editing/asset/body.tga", texturetest::Tga32(128, 64, texturetest::Gradient));
    root_.Write("editing/asset/body.texture.txt", "Primary=body.tga\nHint=1\n");
    root_.Write("editing/asset/parts/wheel.tga", texturetest::Tga32(32, 32, texturetest::Gradient));
    root_.Write("editing/asset/parts/wheel.texture.txt", "Primary=wheel.tga\n");
    ProcessResult ok = Run({"compresstexture", Root() + "/editing/asset"});
    EXPECT_EQ(ok.exitCode, 0);
    EXPECT_EQ(ok.out, "OK (0 Errors, 0 Warnings)\n");
    const auto body = texturetest::ReadCompiled(root_.ReadAll("editing/asset/body.texture"));
    ASSERT_TRUE(body.valid);
    EXPECT_EQ(body.format, 10u);
    EXPECT_EQ(body.levels, 8u);
    EXPECT_TRUE(texturetest::ReadCompiled(root_.ReadAll("editing/asset/parts/wheel.texture")).valid);

    root_.Write("editing/asset/parts/broken.texture.txt", "Primary=missing.tga\n");
    ProcessResult failed = Run({"compresstexture", Root() + "/editing/asset"});
    EXPECT_EQ(failed.exitCode, 255);
    EXPECT_EQ(failed.out,
              "- <NULL> : Unable to load source texture 'asset/parts/broken.convert-tex' in subst 'editing'\n"
              "OK (1 Errors, 0 Warnings)\n");
    for (const char* name : {"editing/asset/body.texture.txt", "editing/asset/parts/wheel.texture.txt",
                             "editing/asset/parts/broken.texture.txt"})
        EXPECT_TRUE(root_.Has(name)) << name;
    EXPECT_FALSE(root_.Has("editing/asset/parts/broken.texture"));
}

// Block-compressed storage of an opaque image, with or without an alpha
// hint, decodes opaque at every level: no texel turns transparent or black.
TEST_F(ToolProcessTest, CompressTextureKeepsAnOpaqueImageOpaqueInDxtOne)
{
    const char* keys[] = {"Hint=1\nAlphaHint=0\n", "Hint=1\nAlphaHint=2\n"};
    for (int k = 0; k < 2; ++k) {
        const std::string body = "editing/asset/t" + std::to_string(k);
        root_.Write(body + ".tga", texturetest::Tga32(128, 128, texturetest::Gradient));
        root_.Write(body + ".texture.txt", "Primary=t" + std::to_string(k) + ".tga\n" + keys[k]);
    }
    ProcessResult result = Run({"compresstexture", Root() + "/editing/asset"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "OK (0 Errors, 0 Warnings)\n");
    for (int k = 0; k < 2; ++k) {
        SCOPED_TRACE(keys[k]);
        const auto texture = texturetest::ReadCompiled(root_.ReadAll("editing/asset/t" + std::to_string(k) + ".texture"));
        ASSERT_TRUE(texture.valid);
        EXPECT_EQ(texture.format, 10u);
        ASSERT_EQ(texture.mips.size(), 8u);
        for (const texturetest::Level& level : texture.mips) {
            const auto decoded = texturetest::DecodeDxt(10, level.width, level.height, level.bytes);
            uint32_t seeThrough = 0;
            for (uint32_t pixel : decoded)
                seeThrough += (pixel >> 24) != 0xFF ? 1 : 0;
            EXPECT_EQ(seeThrough, 0u) << "level " << level.level;
        }
    }
}

TEST_F(ToolProcessTest, CompressTextureRefusesAColourMapWithoutColours)
{
    // 18 bytes: a 1 x 1 true-colour or grey image whose colour map holds
    // one entry of 0 or 8 bits, and nothing after the header.
    const struct {
        const char* name;
        uint8_t type, bits, entryBits;
    } cases[] = {{"truecolour", 2, 24, 0}, {"grey", 3, 8, 8}};
    for (const auto& c : cases) {
        const uint8_t header[18] = {0, 1, c.type, 0, 0, 1, 0, c.entryBits, 0, 0, 0, 0, 1, 0, 1, 0, c.bits, 0};
        root_.Write(std::string("editing/asset/") + c.name + ".tga",
                    std::string(reinterpret_cast<const char*>(header), sizeof header));
        root_.Write(std::string("editing/asset/") + c.name + ".texture.txt",
                    std::string("Primary=") + c.name + ".tga\n");
    }
    ProcessResult result = Run({"compresstexture", Root() + "/editing/asset"});
    EXPECT_EQ(result.exitCode, 255);
    EXPECT_EQ(result.out,
              "- <NULL> : Unable to load source texture 'asset/grey.convert-tex' in subst 'editing'\n"
              "- <NULL> : Unable to load source texture 'asset/truecolour.convert-tex' in subst 'editing'\n"
              "OK (2 Errors, 0 Warnings)\n");
    EXPECT_TRUE(root_.Has("editing/asset/grey.texture.txt"));
    EXPECT_FALSE(root_.Has("editing/asset/grey.texture"));
}

// PNG and JPEG images compress as the other formats do; files of their
// names that are no such image, and primary and alpha images of different
// sizes, are refused.
TEST_F(ToolProcessTest, CompressTextureTakesPngAndJpegImages)
{
    const auto pixels = [](uint32_t w, uint32_t h) { return std::vector<uint32_t>(size_t{w} * h, 0xFF808080u); };
    const std::pair<std::string, std::string> files[] = {
        {"good.png", imagefiles::Png(8, 4, pixels(8, 4))},     {"photo.jpg", imagefiles::Jpeg(16, 16, pixels(16, 16))},
        {"mask.png", imagefiles::Png(16, 16, pixels(16, 16))}, {"junk.png", "not an image"},
        {"junk.jpg", "not an image"},                          {"wide.png", imagefiles::Png(300, 256, pixels(300, 256))},
        {"p.png", imagefiles::Png(256, 128, pixels(256, 128))}, {"a.png", imagefiles::Png(256, 256, pixels(256, 256))},
    };
    for (const auto& [name, bytes] : files)
        root_.Write("editing/asset/" + name, bytes);
    for (const char* description : {"good:Primary=good.png", "photo:Primary=photo.jpg\nAlpha=mask.png",
                                    "junkpng:Primary=junk.png", "junkjpg:Primary=junk.jpg", "wide:Primary=wide.png",
                                    "pair:Primary=p.png\nAlpha=a.png"}) {
        const std::string text(description);
        root_.Write("editing/asset/" + text.substr(0, text.find(':')) + ".texture.txt",
                    text.substr(text.find(':') + 1) + "\n");
    }
    ProcessResult r = Run({"compresstexture", Root() + "/editing/asset"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out,
              "- <NULL> : Unable to load source texture 'asset/junkjpg.convert-tex' in subst 'editing'\n"
              "- <NULL> : Unable to load source texture 'asset/junkpng.convert-tex' in subst 'editing'\n"
              "- <NULL> : Unable to load source texture 'asset/pair.convert-tex' in subst 'editing'\n"
              "OK (3 Errors, 0 Warnings)\n");
    for (const char* body : {"good", "photo", "wide"})
        EXPECT_TRUE(texturetest::ReadCompiled(root_.ReadAll(std::string("editing/asset/") + body + ".texture")).valid)
            << body;
}

// What a description names is read only inside its asset's folder: an image
// named past the folder or through a link out of it does not load, a link
// to a folder outside is not walked, and a FIFO is neither read nor waited
// for.
TEST_F(ToolProcessTest, CompressTextureReadsOnlyWhatLiesInTheAssetFolder)
{
    namespace fs = std::filesystem;
    const std::string image = texturetest::Tga32(32, 32, texturetest::Gradient);
    root_.Write("outside/secret.tga", image);
    root_.Write("outside/away.texture.txt", "Primary=secret.tga\n");
    root_.Write("editing/asset/body.tga", image);
    root_.Write("editing/asset/body.texture.txt", "Primary=body.tga\n");
    root_.Write("editing/asset/sub/climb.texture.txt", "Primary=../../../outside/secret.tga\n");
    root_.Write("editing/asset/linked.texture.txt", "Primary=ext/secret.tga\n");
    fs::create_directory_symlink(root_ / "outside", root_ / "editing/asset/ext");
    ASSERT_EQ(::mkfifo((root_ / "editing/asset/p.texture.txt").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((root_ / "editing/asset/pipe.tga").c_str(), 0600), 0);
    root_.Write("editing/asset/piped.texture.txt", "Primary=pipe.tga\n");

    ProcessResult r = RunWithin({"compresstexture", Root() + "/editing/asset"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out,
              "- <NULL> : Unable to load source texture 'asset/linked.convert-tex' in subst 'editing'\n"
              "- <NULL> : Unable to load source texture 'asset/piped.convert-tex' in subst 'editing'\n"
              "- <NULL> : Unable to load source texture 'asset/sub/climb.convert-tex' in subst 'editing'\n"
              "OK (3 Errors, 0 Warnings)\n");
    EXPECT_TRUE(texturetest::ReadCompiled(root_.ReadAll("editing/asset/body.texture")).valid);
    for (const char* none : {"editing/asset/sub/climb.texture", "editing/asset/linked.texture",
                             "editing/asset/piped.texture", "editing/asset/p.texture", "outside/away.texture"})
        EXPECT_FALSE(root_.Has(none)) << none;
    for (const char* kept : {"editing/asset/sub/climb.texture.txt", "editing/asset/linked.texture.txt",
                             "editing/asset/piped.texture.txt", "editing/asset/p.texture.txt"})
        EXPECT_TRUE(root_.Has(kept)) << kept;
}

}  // namespace
