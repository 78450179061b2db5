// The texture-convert job over folders of texture descriptions: what it
// writes, what it reports for every failure, and that each description ends
// under its own name.
#include "resources/textures/TextureConvert.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "core/files/ContentRoot.h"
#include "core/process/ProcessState.h"
#include "nyx/Plugin.h"
#include "nyx/gfx/textures/TextureResource.h"
#include "nyx/resource/ResourceType.h"
#include "resources/archive/ArchiveCache.h"
#include "resources/archive/SubstHandle.h"
#include "resources/registration/KestroPluginRegistration.h"
#include "resources/textures/KADTextureConvertFileRPC.h"
#include "resources/TextureTestSupport.h"
#include "support/TempFolder.h"

namespace {

using Lines = std::vector<std::string>;
using texturetest::ReadCompiled;
using texturetest::ResultLines;
using texturetest::Tga32;

class TextureConvertTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMainThreadId();
        before_ = GetContentRootPath();
        SetContentRootPath(Nyx::File::Path(root_.Path()));
    }
    void TearDown() override
    {
        ArchiveCache::PurgeUnused();
        SetContentRootPath(before_);
    }

    // A description of a square image beside it.
    void Texture(const std::string& folder, const std::string& body, const std::string& keys = "",
                 uint32_t side = 16)
    {
        root_.Write(folder + "/" + body + ".tga", Tga32(side, side, texturetest::Gradient));
        root_.Write(folder + "/" + body + ".texture.txt", "Primary=" + body + ".tga\n" + keys);
    }

    uint32_t Run(const std::string& folder, ResultsLog& log)
    {
        return RunTextureConvertFolder(Nyx::PString(), Nyx::File::Path(root_ / folder), log);
    }

    TempFolder root_;
    Nyx::File::Path before_;
};

TEST_F(TextureConvertTest, ConvertsEveryDescriptionOfTheTreeAndPutsItBack)
{
    Texture("editing/asset", "body", "Hint=3\nTile=s\n", 128);
    Texture("editing/asset/sub", "wheel");
    root_.Write("editing/asset/readme.txt", "not a texture");
    ResultsLog log;
    EXPECT_EQ(Run("editing/asset", log), kTexturesConverted);
    EXPECT_EQ(ResultLines(log), Lines{});

    const auto body = ReadCompiled(root_.ReadAll("editing/asset/body.texture"));
    ASSERT_TRUE(body.valid);
    // The job's own options name no key the resource reads: the
    // description's hint decides (DXT5), and mips stay on.
    EXPECT_EQ(body.format, 12u);
    EXPECT_EQ(body.width, 128u);
    EXPECT_EQ(body.levels, 8u);
    EXPECT_EQ(body.wrapS, Nyx::TextureResource::kWrapRepeat);
    EXPECT_EQ(body.wrapT, Nyx::TextureResource::kWrapClamp);
    EXPECT_EQ(body.mips.size(), 8u);
    EXPECT_TRUE(ReadCompiled(root_.ReadAll("editing/asset/sub/wheel.texture")).valid);
    for (const char* name : {"editing/asset/body.texture.txt", "editing/asset/sub/wheel.texture.txt"})
        EXPECT_TRUE(root_.Has(name)) << name;
    for (const char* name : {"editing/asset/body.convert-tex.txt", "editing/asset/sub/wheel.convert-tex.txt"})
        EXPECT_FALSE(root_.Has(name)) << name;
}

TEST_F(TextureConvertTest, ReportsEveryFailureWithItsMessage)
{
    struct Case {
        const char* name;
        std::function<void(TempFolder&)> setUp;
        const char* folder;  // below the root, or absolute when it starts with "/"
        Lines results;
        uint32_t answer;
    };
    const Case cases[] = {
        {"an empty folder", [](TempFolder& r) { r.MakeFolder("editing/empty"); }, "editing/empty", {},
         kTexturesConverted},
        {"a folder that is not there", [](TempFolder&) {}, "editing/none",
         {"3 Unable to search path: '" + root_ / "editing/none" + "'"}, kTexturesNotConverted},
        {"an image that does not load",
         [](TempFolder& r) { r.Write("editing/a/body.texture.txt", "Primary=missing.tga\n"); }, "editing/a",
         {"3 Unable to load source texture 'a/body.convert-tex' in subst 'editing'"}, kTexturesNotConverted},
        {"a description without an image",
         [](TempFolder& r) { r.Write("editing/a/body.texture.txt", "Hint=1\n"); }, "editing/a",
         {"3 Unable to load source texture 'a/body.convert-tex' in subst 'editing'"}, kTexturesNotConverted},
        {"a hint out of range",
         [](TempFolder& r) {
             r.Write("editing/a/body.tga", Tga32(8, 8, texturetest::Gradient));
             r.Write("editing/a/body.texture.txt", "Primary=body.tga\nHint=9\n");
         },
         "editing/a", {"3 Unable to load source texture 'a/body.convert-tex' in subst 'editing'"},
         kTexturesNotConverted},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder root;
        SetContentRootPath(Nyx::File::Path(root.Path()));
        c.setUp(root);
        ResultsLog log;
        // The messages name the folder under the test's own root.
        Lines expected;
        for (std::string line : c.results) {
            if (size_t at = line.find(root_.Path()); at != std::string::npos)
                line.replace(at, root_.Path().size(), root.Path());
            expected.push_back(line);
        }
        EXPECT_EQ(RunTextureConvertFolder(Nyx::PString(), Nyx::File::Path(root / c.folder), log), c.answer);
        EXPECT_EQ(ResultLines(log), expected);
        if (root.Has("editing/a")) {
            EXPECT_TRUE(root.Has("editing/a/body.texture.txt"));
        }
        ArchiveCache::PurgeUnused();
    }
}

TEST_F(TextureConvertTest, AFailedConversionLeavesNoOldOutputBehind)
{
    root_.Write("editing/a/body.texture", "an old compiled texture");
    root_.Write("editing/a/body.texture.txt", "Primary=missing.tga\n");
    ResultsLog log;
    EXPECT_EQ(Run("editing/a", log), kTexturesNotConverted);
    EXPECT_FALSE(root_.Has("editing/a/body.texture"));
    EXPECT_TRUE(root_.Has("editing/a/body.texture.txt"));
}

TEST_F(TextureConvertTest, AFailingSubfolderFailsTheWalkWhileTheRestConverts)
{
    Texture("editing/a", "good");
    root_.Write("editing/a/sub/bad.texture.txt", "Primary=missing.tga\n");
    ResultsLog log;
    EXPECT_EQ(Run("editing/a", log), kTexturesNotConverted);
    EXPECT_EQ(ResultLines(log), Lines{"3 Unable to load source texture 'a/sub/bad.convert-tex' in subst 'editing'"});
    EXPECT_TRUE(ReadCompiled(root_.ReadAll("editing/a/good.texture")).valid);
}

TEST_F(TextureConvertTest, APathOutsideTheContentRootFailsItsPreparationOnly)
{
    // Outside the root, and beside it under a name it begins with.
    TempFolder elsewhere;
    const std::string sibling = root_.Path() + "-sibling";
    for (const std::string& folder : {elsewhere / "a", sibling + "/a"}) {
        SCOPED_TRACE(folder);
        std::filesystem::create_directories(folder);
        std::ofstream(folder + "/body.texture.txt") << "Primary=body.tga\n";
        ResultsLog log;
        EXPECT_EQ(RunTextureConvertFolder(Nyx::PString(), Nyx::File::Path(folder), log), kTexturesNotConverted);
        // One message: no open step runs after it (which would report an
        // archive of no name).
        EXPECT_EQ(ResultLines(log),
                  Lines{"3 Unable to determine relative path for '" + folder + "/body.texture.txt'"});
        EXPECT_TRUE(std::filesystem::exists(folder + "/body.texture.txt"));
    }
    std::filesystem::remove_all(sibling);
}

// Makes a plain text-described texture: not the compressing kind.
class PlainTexture : public Nyx::AsciiTextureResource {
public:
    using Nyx::AsciiTextureResource::AsciiTextureResource;
};

TEST_F(TextureConvertTest, AnotherResourceTypeIsReportedAndTheDescriptionPutBack)
{
    // Its served ending ".b.convert-tex.txt" is longer than the compressing
    // type's, so it wins for "x.b.texture.txt".
    auto* type = new Nyx::ResourceType<PlainTexture>(Nyx::PString("b.convert-tex.txt"), Nyx::UId(),
                                                      Nyx::UId(Nyx::kResourceTypeFamily));
    type->AddReference();
    Texture("editing/a", "x.b");
    ResultsLog log;
    EXPECT_EQ(Run("editing/a", log), kTexturesNotConverted);
    EXPECT_EQ(ResultLines(log),
              Lines{"3 Incorrect resource type for source texture 'a/x.b.convert-tex' in subst 'editing'"});
    EXPECT_TRUE(root_.Has("editing/a/x.b.texture.txt"));
    EXPECT_FALSE(root_.Has("editing/a/x.b.texture"));
    ArchiveCache::PurgeUnused();
    type->ReleaseReference();
}

TEST_F(TextureConvertTest, InsideAnArchiveTheFolderIsTakenInItsMount)
{
    Texture("local/asset", "body");
    SubstHandle mount = OpenSubst("local");
    ResultsLog log;
    EXPECT_EQ(RunTextureConvertFolder(Nyx::PString("local"), Nyx::File::Path("asset"), log), kTexturesConverted);
    EXPECT_EQ(ResultLines(log), Lines{});
    EXPECT_TRUE(ReadCompiled(root_.ReadAll("local/asset/body.texture")).valid);
    EXPECT_TRUE(root_.Has("local/asset/body.texture.txt"));
    mount.Close();
}

TEST_F(TextureConvertTest, TheWalkEnrolsNoResourceTypeBesidesTheStartUps)
{
    // How often each name is enrolled; other tests of this program enrol
    // the whole set again, so the two names are compared.
    const auto enrolled = [](std::string_view name) {
        uint32_t count = 0;
        for (Nyx::PluginType* type : Nyx::PluginBase::ListPluginTypes(Nyx::UId(Nyx::kResourceTypeFamily))) {
            count += type->GetName().View() == name ? 1 : 0;
            type->ReleaseReference();
        }
        return count;
    };
    KestroPluginRegistration::EnsureRegistered();
    Texture("editing/asset", "body");
    ResultsLog log;
    EXPECT_EQ(Run("editing/asset", log), kTexturesConverted);
    EXPECT_EQ(enrolled("convert-tex.txt"), enrolled("kestro.im"));
}

TEST_F(TextureConvertTest, ALargeTreeHoldsOnlyABoundedNumberOfFilesOpen)
{
    const uint32_t files = TextureConvertOpenLimit() * 2 + 3;
    for (uint32_t i = 0; i < files; ++i) {
        root_.Write("editing/many/t" + std::to_string(i) + ".tga", Tga32(8, 8, texturetest::Gradient));
        root_.Write("editing/many/t" + std::to_string(i) + ".texture.txt",
                    "Primary=t" + std::to_string(i) + ".tga\n");
    }
    KADTextureConvertFileRPC::ResetPeakOpenFiles();
    ResultsLog log;
    EXPECT_EQ(Run("editing/many", log), kTexturesConverted);
    EXPECT_EQ(ResultLines(log), Lines{});
    EXPECT_GE(KADTextureConvertFileRPC::GetPeakOpenFiles(), 1u);
    EXPECT_LE(KADTextureConvertFileRPC::GetPeakOpenFiles(), TextureConvertOpenLimit());
}

}  // namespace
