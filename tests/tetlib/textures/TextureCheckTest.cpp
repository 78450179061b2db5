// The texture check over small asset folders, and the engine's image
// decoder as the check meets it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "nyx/gfx/bitmap/Bitmap.h"
#include "support/ImageFiles.h"
#include "tetlib/TETLibTestSupport.h"
#include "tetlib/textures/TextureCheck.h"
#include "tetlib/textures/TextureImages.h"

namespace {

using Lines = std::vector<std::string>;
using textureimages::Bmp;
using textureimages::Tga;

// The 18-byte header of a 1 x 1 TGA of the image type and pixel depth that
// carries a colour map of one entry of `entryBits`.
std::string TgaWithColourMap(uint8_t type, uint8_t bits, uint8_t entryBits)
{
    const uint8_t header[18] = {0, 1, type, 0, 0, 1, 0, entryBits, 0, 0, 0, 0, 1, 0, 1, 0, bits, 0};
    return std::string(reinterpret_cast<const char*>(header), sizeof header);
}

TEST(TextureImageTest, TheReaderChecksWhatItCan)
{
    struct Case {
        const char* name;
        const char* file;
        std::string bytes;
        bool loads;
        uint32_t width;
        uint32_t height;
    };
    std::string bottomUp = Bmp(2, 2);
    bottomUp[22] = '\xfe';  // height -2: stored top row first
    bottomUp[23] = bottomUp[24] = bottomUp[25] = '\xff';
    std::string badPlanes = Bmp(4, 4);
    badPlanes[26] = 2;
    std::string hugeWidth = Bmp(4, 4);
    hugeWidth[21] = '\x7f';
    const Case cases[] = {
        {"bmp", "a.bmp", Bmp(4, 2), true, 4, 2},
        {"bmp named otherwise", "a.jpg", Bmp(3, 5), true, 3, 5},
        {"bmp cut by one byte", "a.bmp", Bmp(4, 4, 1), false, 0, 0},
        {"bmp header alone", "a.bmp", Bmp(4, 4).substr(0, 54), false, 0, 0},
        {"bmp top row first", "a.bmp", bottomUp, true, 2, 2},
        {"bmp with two planes", "a.bmp", badPlanes, false, 0, 0},
        {"bmp wider than its data", "a.bmp", hugeWidth, false, 0, 0},
        {"not a bmp", "a.bmp", "GIF89a", false, 0, 0},
        {"tga", "a.TGA", Tga(8, 4), true, 8, 4},
        {"tga cut short", "a.tga", Tga(8, 4, false, 1), false, 0, 0},
        {"run-length tga", "a.tga", Tga(200, 3, true), true, 200, 3},
        {"run-length tga cut short", "a.tga", Tga(200, 3, true, 2), false, 0, 0},
        {"tga of no width", "a.tga", Tga(0, 4), false, 0, 0},
        // A map that is not the image's colours is still read past.
        {"true-colour tga, colour map of 0-bit entries", "a.tga", TgaWithColourMap(2, 24, 0), false, 0, 0},
        {"grey tga, colour map of 8-bit entries", "a.tga", TgaWithColourMap(3, 8, 8) + "\x10\x20", false, 0, 0},
        {"true-colour tga, colour map of 24-bit entries", "a.tga", TgaWithColourMap(2, 24, 24) + "abcxyz", true,
         1, 1},
        {"png", "a.png", imagefiles::Png(6, 8, std::vector<uint32_t>(48)), true, 6, 8},
        {"jpeg", "a.jpg", imagefiles::Jpeg(300, 2, std::vector<uint32_t>(600)), true, 300, 2},
        {"a png mark alone", "a.png", "\x89PNG\r\n\x1a\n", false, 0, 0},
        {"junk named png", "a.png", "junk", false, 0, 0},
        {"an empty file", "a.png", "", false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Nyx::Bitmap image;
        // Exactly as large as the file, so that a read past it shows.
        const std::vector<uint8_t> data(c.bytes.begin(), c.bytes.end());
        EXPECT_EQ(image.Decode(c.file, data.data(), data.size()), c.loads);
        EXPECT_EQ(image.GetWidth(), c.width);
        EXPECT_EQ(image.GetHeight(), c.height);
    }
    for (uint32_t side : {1u, 2u, 256u, 1u << 31})
        EXPECT_TRUE(TETLib::IsPowerOfTwo(side)) << side;
    for (uint32_t side : {0u, 3u, 300u, 0xFFFFFFFFu})
        EXPECT_FALSE(TETLib::IsPowerOfTwo(side)) << side;
}

class TextureCheckTest : public tetlibtest::ValidationDataFixture {
protected:
    void SetUp() override
    {
        ValidationDataFixture::SetUp();
        Manager();
    }
    struct Outcome {
        bool ok;
        Lines findings;
        bool operator==(const Outcome&) const = default;
    };
    // The check of a fresh asset folder holding the files, with paths shown
    // below `base` (the folder itself when empty).
    Outcome Check(const std::vector<std::pair<std::string, std::string>>& files, std::string base = "")
    {
        std::filesystem::remove_all(folder_ / "asset");
        folder_.MakeFolder("asset");
        for (const auto& [name, bytes] : files)
            folder_.Write("asset/" + name, bytes);
        TETLib::ErrorHandler::Instance()->Clear();
        const std::string folder = folder_ / "asset/";
        Outcome out;
        out.ok = TETLib::CheckTextures(Nyx::File::Path(base.empty() ? folder : base), Nyx::File::Path(folder));
        for (const auto& m : TETLib::ErrorHandler::Instance()->GetMessages())
            out.findings.push_back(std::to_string(m->severity) + " " + m->key.Str());
        return out;
    }
};

TEST_F(TextureCheckTest, EdgeCasesOfTheCheck)
{
    TETLib::DataManager& manager = TETLib::DataManager::Instance();
    const std::pair<std::string, std::string> compiled{"a.texture", "compiled"};
    const auto description = [](const std::string& text) { return std::make_pair(std::string("a.texture.txt"), text); };
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> files;
        Lines findings;
        float build = 3.0f;
        bool outsideEditing = true;
    };
    const Case cases[] = {
        {"a compiled texture with its description", {compiled, description("")}, {}},
        {"no description, an old asset", {compiled}, {"2 The compiled texture 'a.texture' has no texture description beside it."}, 2.801f},
        {"no description", {compiled}, {"3 The compiled texture 'a.texture' has no texture description beside it."}, 2.901f},
        {"images of one size", {compiled, description("Primary=p.bmp\r\nAlpha=q.tga\r\n"), {"p.bmp", Bmp(4, 2)}, {"q.tga", Tga(4, 2)}}, {}},
        {"images of two sizes",
         {compiled, description("Primary=p.bmp\nAlpha=q.tga\n"), {"p.bmp", Bmp(4, 2)}, {"q.tga", Tga(4, 4)}},
         {"3 The images of 'a.texture.txt' differ in size."}},
        {"a side not a power of two", {compiled, description("Primary=p.bmp\n"), {"p.bmp", Bmp(3, 4)}},
         {"3 The image 'p.bmp' has a side that is not a power of two."}},
        {"no primary line", {compiled, description("Alpha=q.tga\n"), {"q.tga", Tga(2, 2)}}, {}},
        {"not compiled, in editing", {description("")}, {}, 3.0f, false},
        {"not compiled elsewhere", {description("")}, {"3 The texture description 'a.texture.txt' has not been compiled."}},
        {"a marker in a sub-folder", {{"sub/x.convert-tex.txt", ""}},
         {"3 The texture 'sub/x.convert-tex.txt' cannot be loaded."}},
        {"a truncated image", {compiled, description("Primary=p.bmp\nAlpha=q.tga\n"), {"p.bmp", Bmp(4, 4, 3)}, {"q.tga", Tga(4, 4, true, 1)}},
         {"3 The texture 'p.bmp' cannot be loaded.", "3 The texture 'q.tga' cannot be loaded."}},
        {"missing images",
         {compiled, description("Primary=p.bmp\nAlpha=sub/../../outside.tga\n"), {"sub/keep", ""}},
         {"3 The image 'p.bmp' named by 'a.texture.txt' does not exist.",
          "3 The alpha image 'sub/../../outside.tga' named by 'a.texture.txt' does not exist."}},
        {"an absolute name", {compiled, description("Primary=/etc/hostname\n")},
         {"3 The image 'etc/hostname' named by 'a.texture.txt' does not exist."}},
        {"a name outside plain text", {compiled, description("; \xc3\xa9t\xc3\xa9\nPrimary=p.bmp\n"), {"p.bmp", Bmp(2, 2)}},
         {"3 The texture description 'a.texture.txt' names a file with characters outside the ANSI range."}},
        // Only the lines before the first image line are scanned.
        {"plain text ends at the primary line",
         {compiled, description("Primary=p.bmp\n; \xc3\xa9t\xc3\xa9\n"), {"p.bmp", Bmp(2, 2)}}, {}},
        {"plain text ends at the alpha line",
         {compiled, description("Alpha=q.tga\n; \xc3\xa9t\xc3\xa9\nPrimary=p.bmp\n"), {"p.bmp", Bmp(2, 2)},
          {"q.tga", Tga(2, 2)}},
         {}},
        {"descriptions in sub-folders read their own folder",
         {{"sub/b.texture.txt", "Primary=p.tga\n"}, {"sub/b.texture", ""}, {"sub/p.tga", Tga(2, 2)}}, {}},
        {"other files are not looked at", {{"notes.txt", "Primary=none.bmp\n"}, {"p.bmp", "junk"}}, {}},
    };
    folder_.Write("outside.tga", Tga(2, 2));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        manager.assetBuild = c.build;
        manager.outsideEditing = c.outsideEditing;
        const Outcome out = Check(c.files);
        EXPECT_EQ(out.findings, c.findings);
        EXPECT_EQ(out.ok, c.findings.empty());
    }

    // Old assets leave compiled textures alone when the flag says so.
    manager.skipOldAssets = true;
    EXPECT_EQ(Check({compiled}), (Outcome{true, {}}));
    manager.skipOldAssets = false;
}

TEST_F(TextureCheckTest, PathsAreShortenedOnlyByABaseTheyStartWith)
{
    TETLib::DataManager::Instance().outsideEditing = false;
    const std::string full = folder_ / "asset/a.texture";
    EXPECT_EQ(Check({{"a.texture", ""}}, folder_.Path() + "/").findings,
              Lines{"3 The compiled texture 'asset/a.texture' has no texture description beside it."});
    // A base longer than the path, or not before it, leaves the path whole.
    for (const std::string& base : {std::string("/elsewhere/entirely/and/much/longer/than/the/path/itself/x/y/z/"),
                                    std::string("/x")}) {
        SCOPED_TRACE(base);
        EXPECT_EQ(Check({{"a.texture", ""}}, base).findings,
                  Lines{"3 The compiled texture '" + full + "' has no texture description beside it."});
    }
}

// The walk reads what lies in the asset's folder only, each real folder
// once, whether the folder is named as it lies or through a link or dots;
// markers (which are reported wherever they are found) show what it read.
TEST_F(TextureCheckTest, TheWalkKeepsToTheFolderAndToFilesAndFolders)
{
    namespace fs = std::filesystem;
    TETLib::DataManager::Instance().outsideEditing = false;
    folder_.Write("asset/sub/m.convert-tex.txt", "");
    folder_.Write("elsewhere/o.convert-tex.txt", "");
    folder_.Write("elsewhere/p.convert-tex.txt", "");
    fs::create_symlink(folder_ / "asset/sub", folder_ / "asset/inner");
    fs::create_symlink(folder_ / "elsewhere", folder_ / "asset/out");
    fs::create_symlink(folder_ / "elsewhere/p.convert-tex.txt", folder_ / "asset/m2.convert-tex.txt");
    fs::create_symlink("sub/m.convert-tex.txt", folder_ / "asset/m3.convert-tex.txt");
    fs::create_symlink("missing.convert-tex.txt", folder_ / "asset/d.convert-tex.txt");
    fs::create_symlink(".", folder_ / "asset/self");
    ASSERT_EQ(::mkfifo((folder_ / "asset/f.convert-tex.txt").c_str(), 0600), 0);
    fs::create_symlink(folder_ / "asset", folder_ / "alias");
    folder_.MakeFolder("dots");

    // The link to the sub-folder comes first and is the one walked.
    const Lines found{"3 The texture 'inner/m.convert-tex.txt' cannot be loaded.",
                      "3 The texture 'm3.convert-tex.txt' cannot be loaded."};
    for (const std::string& named : {folder_ / "asset/", folder_ / "asset", folder_ / "alias/",
                                     folder_ / "dots/../asset/", folder_ / "asset/self/"}) {
        SCOPED_TRACE(named);
        TETLib::ErrorHandler::Instance()->Clear();
        const std::string base = named.back() == '/' ? named : named + "/";
        EXPECT_FALSE(TETLib::CheckTextures(Nyx::File::Path(base), Nyx::File::Path(named)));
        Lines findings;
        for (const auto& m : TETLib::ErrorHandler::Instance()->GetMessages())
            findings.push_back(std::to_string(m->severity) + " " + m->key.Str());
        EXPECT_EQ(findings, found);
    }
}

// Every format the engine's bitmap loads is measured: PNG and JPEG as BMP
// and TGA are.
TEST_F(TextureCheckTest, PngAndJpegImagesAreLoadedAndMeasured)
{
    TETLib::DataManager::Instance().outsideEditing = false;
    const auto png = [](uint32_t w, uint32_t h) { return imagefiles::Png(w, h, std::vector<uint32_t>(size_t{w} * h)); };
    const auto jpeg = [](uint32_t w, uint32_t h) { return imagefiles::Jpeg(w, h, std::vector<uint32_t>(size_t{w} * h)); };
    struct Case {
        const char* name;
        std::string primary;  // "p.png"
        std::string alpha;    // "q.jpg"
        Lines findings;
    };
    const Case cases[] = {
        {"one size", png(8, 4), jpeg(8, 4), {}},
        {"a side not a power of two", png(300, 256), jpeg(300, 256),
         {"3 The image 'p.png' has a side that is not a power of two.",
          "3 The image 'q.jpg' has a side that is not a power of two."}},
        {"two sizes", png(256, 128), jpeg(256, 256), {"3 The images of 'a.texture.txt' differ in size."}},
        {"no images", "junk", "junk",
         {"3 The texture 'p.png' cannot be loaded.", "3 The texture 'q.jpg' cannot be loaded."}},
        {"a jpeg named png", jpeg(6, 8), png(6, 8),
         {"3 The image 'p.png' has a side that is not a power of two.",
          "3 The image 'q.jpg' has a side that is not a power of two."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Check({{"a.texture.txt", "Primary=p.png\nAlpha=q.jpg\n"}, {"p.png", c.primary}, {"q.jpg", c.alpha}})
                      .findings,
                  c.findings);
    }
}

}  // namespace
