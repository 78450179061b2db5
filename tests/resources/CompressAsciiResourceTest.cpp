// The compressing texture resource as the resource database makes it: the
// option overlay, the format choice, the stored size, and compressing while
// images are held; and the database's lookup that finds it.
#include "resources/textures/CompressAsciiResource.h"

#include <gtest/gtest.h>

#include "nyx/resource/ResourceDatabase.h"
#include "resources/TextureTestSupport.h"
#include "resources/registration/KestroPluginRegistration.h"
#include "support/TempFolder.h"

namespace {

using texturetest::Tga32;

class CompressAsciiResourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        KestroPluginRegistration::EnsureRegistered();
        Nyx::File::Subst::Add(kMount, Nyx::File::Path(folder_.Path() + "/"));
        database_ = std::make_unique<Nyx::ResourceDatabase>(kMount);
    }
    void TearDown() override
    {
        if (texture_) {
            while (texture_->GetLockCount() > 0)
                texture_->Unlock();
            texture_->ReleaseReference();
            texture_ = nullptr;
        }
        database_.reset();
        Nyx::File::Subst::Remove(kMount);
    }

    // Loads "a/body.convert-tex.txt" over a width x height image whose alpha
    // is `alpha`, with the given description keys and options.
    CompressAsciiResource* Load(uint32_t width, uint32_t height, const std::string& keys, const std::string& options,
                                uint32_t alpha = 255)
    {
        folder_.Write("a/body.tga", Tga32(width, height, [alpha](uint32_t x, uint32_t y) {
                          return (texturetest::Gradient(x, y) & 0x00FFFFFFu) | (alpha << 24);
                      }));
        folder_.Write("a/body.convert-tex.txt", "Primary=body.tga\n" + keys);
        Nyx::Resource* resource = database_->Get(Nyx::PString("a/body.convert-tex"), Nyx::ResourceDatabase::kGetCreate);
        texture_ = dynamic_cast<CompressAsciiResource*>(resource);
        EXPECT_NE(texture_, nullptr);
        if (!texture_)
            return nullptr;
        options_ = Nyx::Options();
        options_.ProcessRaw(options);
        texture_->SetOptions(&options_);
        EXPECT_TRUE(texture_->Lock());
        return texture_;
    }

    static inline const Nyx::PString kMount{"compress-test"};
    TempFolder folder_;
    std::unique_ptr<Nyx::ResourceDatabase> database_;
    CompressAsciiResource* texture_ = nullptr;
    Nyx::Options options_;
};

TEST_F(CompressAsciiResourceTest, ChoosesTheFormatByHintAlphaSizeAndForcedOptions)
{
    struct Case {
        const char* name;
        uint32_t width, height;
        std::string keys, options;
        uint32_t format;
        bool alpha;
    };
    const Case cases[] = {
        {"hint 3", 128, 128, "Hint=3\nAlphaHint=0\n", "", 12, true},
        {"hint 3, 64 x 64 is small", 64, 64, "Hint=3\nAlphaHint=0\n", "", 3, false},
        {"hint 3, small with alpha", 64, 64, "Hint=3\nAlphaHint=1\n", "", 1, true},
        {"hint 3, 128 x 64", 128, 64, "Hint=3\n", "", 12, true},
        {"hint 1 opaque", 128, 128, "Hint=1\nAlphaHint=0\n", "", 10, false},
        {"hint 1 one-bit alpha", 128, 128, "Hint=1\nAlphaHint=2\n", "", 10, true},
        {"hint 2", 128, 128, "Hint=2\nAlphaHint=0\n", "", 11, true},
        {"hint 0", 128, 128, "Hint=0\nAlphaHint=0\n", "", 3, false},
        {"not whole blocks, alpha", 130, 128, "Hint=3\n", "", 1, true},
        {"not whole blocks, opaque", 130, 128, "Hint=1\nAlphaHint=0\n", "", 3, false},
        {"not whole blocks, forced", 130, 128, "AlphaHint=0\n", "-forceOptions -Compression=auto", 3, false},
        {"auto forced, opaque", 128, 128, "Hint=2\nAlphaHint=0\n", "-forceOptions -Compression=auto", 10, false},
        {"auto forced, hint 2", 128, 128, "Hint=2\nAlphaHint=2\n", "-forceOptions -Compression=auto", 10, true},
        {"auto forced, hint 1", 128, 128, "Hint=2\nAlphaHint=1\n", "-forceOptions -Compression=auto", 12, true},
        {"auto not forced", 128, 128, "Hint=2\nAlphaHint=0\n", "-Compression=auto", 11, true},
        {"the job's options", 128, 128, "Hint=3\n", "-Automip=none -Compression=auto", 12, true},
        {"dxt5,none slot 0", 128, 128, "AlphaHint=0\n", "-forceOptions -Compression=dxt5,none", 12, true},
        {"dxt5,none slot 1", 128, 128, "AlphaHint=2\n", "-forceOptions -Compression=dxt5,none", 1, true},
        {"dxt5,none slot 2 initial", 128, 128, "AlphaHint=1\n", "-forceOptions -Compression=dxt5,none", 1, true},
        {"auto later is no value", 128, 128, "AlphaHint=2\n", "-forceOptions -Compression=dxt1,auto", 1, true},
        {"upper case values", 128, 128, "AlphaHint=2\n", "-forceOptions -Compression=DXT1,DXT1A", 10, true},
        {"forced without Compression", 128, 128, "Hint=3\nAlphaHint=0\n", "-forceOptions", 1, false},
        {"forced option hint wins", 128, 128, "Hint=1\nAlphaHint=0\n", "-forceOptions -Hint=3", 1, false},
        {"description hint wins", 128, 128, "Hint=1\nAlphaHint=0\n", "-Hint=3", 10, false},
        {"option fills a missing key", 128, 128, "AlphaHint=0\n", "-Hint=2", 11, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CompressAsciiResource* texture = Load(c.width, c.height, c.keys, c.options);
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(texture->GetFormat(), c.format);
        EXPECT_EQ(texture->GetAlphaFlag(), c.alpha);
        TearDown();
        SetUp();
    }
}

TEST_F(CompressAsciiResourceTest, WorksTheAlphaHintOutFromThePixelsWhenNoKeyGivesIt)
{
    struct Case {
        uint32_t alpha;
        std::string keys;
        uint8_t hint;
    };
    for (const Case& c : {Case{255, "", 0}, Case{0, "", 2}, Case{128, "", 1}, Case{128, "AlphaHint=0\n", 0}}) {
        SCOPED_TRACE(c.alpha);
        ASSERT_NE(Load(16, 16, c.keys, "", c.alpha), nullptr);
        EXPECT_EQ(texture_->GetAlphaHint(), c.hint);
        TearDown();
        SetUp();
    }
    // A normal map with one-bit alpha reports alpha hint 1 once a choice
    // with "Compression" was made.
    ASSERT_NE(Load(128, 128, "AlphaHint=2\nNormalMap=1\n", "-forceOptions -Compression=auto"), nullptr);
    EXPECT_EQ(texture_->GetFormat(), 12u);
    EXPECT_EQ(texture_->GetAlphaHint(), 1u);
}

TEST_F(CompressAsciiResourceTest, BringsTheStoredSizeWithinMaxTextureSize)
{
    struct Case {
        uint32_t width, height;
        std::string options;
        uint32_t storedWidth, storedHeight, levels;
    };
    const Case cases[] = {
        {1024, 512, "-MaxTextureSize=256,256", 256, 128, 9},
        {512, 1024, "-MaxTextureSize=256,256", 128, 256, 9},
        {1024, 256, "-MaxTextureSize=256", 256, 64, 9},
        {128, 128, "-MaxTextureSize=256,256", 128, 128, 8},
        {300, 100, "-MaxTextureSize=0,64", 192, 64, 8},
        {128, 128, "-AutoMip=none", 128, 128, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options + " " + std::to_string(c.width));
        ASSERT_NE(Load(c.width, c.height, "", c.options), nullptr);
        uint32_t width = 0, height = 0;
        texture_->GetSize(width, height);
        EXPECT_EQ(width, c.storedWidth);
        EXPECT_EQ(height, c.storedHeight);
        EXPECT_EQ(texture_->GetNumMipLevels(), c.levels);
        TearDown();
        SetUp();
    }
}

TEST_F(CompressAsciiResourceTest, CompressesEveryLevelAndFreesTheImagesOnUnlock)
{
    ASSERT_NE(Load(1024, 512, "Hint=1\nAlphaHint=0\n", "-MaxTextureSize=256,256"), nullptr);
    ASSERT_TRUE(texture_->GetMipLock());
    EXPECT_EQ(texture_->GetImageCount(), 1u);
    std::unique_ptr<Nyx::Bitmap> top(texture_->GetMip(0, 0));
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->GetWidth(), 256u);
    EXPECT_EQ(top->GetDataSize(), texturetest::LevelBytes(10, 256, 128));
    EXPECT_FALSE(top->OwnsData());
    EXPECT_EQ(texture_->GetMip(9, 0), nullptr);
    EXPECT_EQ(texture_->GetMip(0, 1), nullptr);
    // Compressing again while the images are held replaces them.
    ASSERT_TRUE(texture_->SaveCompressed(Nyx::PString(), Nyx::File::Path(folder_ / "out.texture"), false));
    EXPECT_EQ(texture_->GetImageCount(), 1u);
    const auto compiled = texturetest::ReadCompiled(folder_.ReadAll("out.texture"));
    ASSERT_TRUE(compiled.valid);
    EXPECT_EQ(compiled.levels, 9u);
    EXPECT_EQ(compiled.mips.size(), 9u);
    EXPECT_EQ(compiled.mips.back().bytes.size(), 8u);
    EXPECT_TRUE(texture_->GetMipUnlock());
    EXPECT_EQ(texture_->GetImageCount(), 0u);
    EXPECT_FALSE(texture_->GetMipUnlock());
}

TEST_F(CompressAsciiResourceTest, WithoutAnOptionStoreNothingLoads)
{
    folder_.Write("a/body.tga", Tga32(8, 8, texturetest::Gradient));
    folder_.Write("a/body.convert-tex.txt", "Primary=body.tga\n");
    texture_ = dynamic_cast<CompressAsciiResource*>(
        database_->Get(Nyx::PString("a/body.convert-tex"), Nyx::ResourceDatabase::kGetCreate));
    ASSERT_NE(texture_, nullptr);
    EXPECT_FALSE(texture_->Lock());
    EXPECT_EQ(texture_->GetFormat(), 1u);
}

TEST_F(CompressAsciiResourceTest, TheDatabaseFindsCachesAndPurgesByName)
{
    folder_.Write("a/body.convert-tex.txt", "Primary=body.tga\n");
    EXPECT_EQ(database_->Get(Nyx::PString("a/none.convert-tex"), Nyx::ResourceDatabase::kGetCreate), nullptr);
    EXPECT_EQ(database_->Get(Nyx::PString("a/body.convert-tex"), Nyx::ResourceDatabase::kGetCached), nullptr);
    EXPECT_EQ(database_->GetFileName(Nyx::PString("a/body.convert-tex")).Str(), "a/body.convert-tex.txt");
    EXPECT_EQ(database_->GetFileName(Nyx::PString("a/body.convert-tex.txt")).Str(), "a/body.convert-tex.txt");
    EXPECT_TRUE(database_->GetFileName(Nyx::PString("a")).Empty());  // a folder is no resource
    Nyx::Resource* first = database_->Get(Nyx::PString("a/body.convert-tex"), Nyx::ResourceDatabase::kGetCreate);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(database_->Get(Nyx::PString("A/Body.convert-tex"), Nyx::ResourceDatabase::kGetCached), first);
    first->ReleaseReference();
    EXPECT_EQ(database_->PurgeUnused(), 0u);  // still held once by the test
    first->ReleaseReference();
    EXPECT_EQ(database_->PurgeUnused(), 1u);
    EXPECT_EQ(database_->GetCachedCount(), 0u);
    // No type serves a plain text file.
    folder_.Write("a/notes.txt", "x");
    EXPECT_EQ(database_->Get(Nyx::PString("a/notes.txt"), Nyx::ResourceDatabase::kGetCreate), nullptr);
}

TEST(TexturePathTest, MakeRelativeToAcceptsOnlyPathsStrictlyBelowTheRoot)
{
    struct Case {
        const char* root;
        const char* path;
        const char* relative;  // null: refused
    };
    const Case cases[] = {
        {"/data", "/data/editing/a.txt", "editing/a.txt"},
        {"/data/", "/data/editing/a.txt", "editing/a.txt"},
        {"/data", "/data", nullptr},
        {"/data", "/data-other/a.txt", nullptr},
        {"/data", "/elsewhere/a.txt", nullptr},
        {"/data", "/data/editing/../../x/a.txt", nullptr},
        {"", "/data/a.txt", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        Nyx::File::Path path(c.path);
        EXPECT_EQ(path.MakeRelativeTo(Nyx::File::Path(c.root)), c.relative != nullptr);
        EXPECT_EQ(path.Str(), c.relative ? c.relative : c.path);
    }
    Nyx::File::Path path("editing/a/b.texture.txt");
    EXPECT_EQ(path.ExtractFirstPath(), "editing");
    EXPECT_EQ(path.SetExt("").SetExt("convert-tex.txt").Str(), "a/b.convert-tex.txt");
}

}  // namespace
