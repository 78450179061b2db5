#include "config/formats/ConfigFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "config/formats/BinaryConfig.h"
#include "config/formats/ConfigText.h"
#include "config/tree/TDBContainerTag.h"
#include "config/tree/TagTreeOps.h"
#include "core/files/ContentRoot.h"
#include "core/streams/TStream.h"
#include "nyx/files/File.h"
#include "support/TempFolder.h"

namespace {

using Tag = TDBContainerTag;

ChunkRef Sample()
{
    ChunkRef root, inner;
    Tag::SetInt(root, "a", 1);
    Tag::SetString(root, "b", "x y");
    Tag::SetFloat(inner, "d", 2.5f);
    Tag::SetChildContainer(root, "c", inner);
    return root;
}

ChunkRef Marker()
{
    ChunkRef root;
    Tag::SetInt(root, "marker", 99);
    return root;
}

ChunkRef Deep(int levels)
{
    ChunkRef root;
    for (int i = 0; i < levels; ++i) {
        ChunkRef outer;
        Tag::SetChildContainer(outer, "c", root);
        root = outer;
    }
    return root;
}

template <typename Writer>
std::string Bytes(Writer write, const ChunkRef& root)
{
    TBuffer out;
    write(out, root);
    return std::string(reinterpret_cast<const char*>(out.GetBuffer()->Data()), out.GetBuffer()->DataLength());
}

std::string TextOf(const ChunkRef& root) { return Bytes(WriteConfigText, root); }
std::string BinaryOf(const ChunkRef& root) { return Bytes(WriteBinaryConfig, root); }

TEST(ConfigFile, ExtensionOf)
{
    EXPECT_EQ(ExtensionOf(nullptr, "config.TXT"), "TXT");
    EXPECT_EQ(ExtensionOf("", "archive.tar.gz"), "gz");
    EXPECT_EQ(ExtensionOf(".chump", "config.txt"), "chump");
    EXPECT_EQ(ExtensionOf(nullptr, "dir.d/file"), "d/file");
    EXPECT_EQ(ExtensionOf(nullptr, "noext"), "");
    EXPECT_TRUE(EqualsNoCase("cdp2", "CDP2"));
    EXPECT_TRUE(EqualsNoCase("a\x01", "a\x1F"));
    EXPECT_FALSE(EqualsNoCase("[", "{"));
}

TEST(ConfigFile, LoadByExtension)
{
    TempFolder dir;
    dir.Write("upper.TXT", "a 1\r\n");
    dir.Write("disguised.txt", BinaryOf(Sample()));
    dir.Write("data.bin", "a 1\r\n");
    dir.Write("empty.txt", "");
    dir.Write("broken.chump", "not a binary config");
    std::string deep;
    for (int i = 0; i <= kMaxTreeDepth; ++i)
        deep += "c {\n";
    dir.Write("deep.txt", deep);

    ChunkRef out;
    ASSERT_TRUE(LoadConfigFile(out, nullptr, (dir / "upper.TXT").c_str()));
    EXPECT_EQ(Tag::GetInt(out, "a", 0), 1);
    ASSERT_TRUE(LoadConfigFile(out, nullptr, (dir / "disguised.txt").c_str(), ".chump"));
    EXPECT_EQ(TextOf(out), TextOf(Sample()));
    // A folder is the base the name is opened in.
    ASSERT_TRUE(LoadConfigFile(out, dir.Path().c_str(), "upper.TXT"));

    // Failures leave the reference alone.
    out = Marker();
    EXPECT_FALSE(LoadConfigFile(out, nullptr, (dir / "data.bin").c_str()));
    EXPECT_FALSE(LoadConfigFile(out, nullptr, (dir / "missing.txt").c_str()));
    EXPECT_FALSE(LoadConfigFile(out, nullptr, (dir / "deep.txt").c_str()));
    EXPECT_EQ(Tag::GetInt(out, "marker", 0), 99);

    // What was read is not told: callers test the reference.
    EXPECT_TRUE(LoadConfigFile(out, nullptr, (dir / "empty.txt").c_str()));
    EXPECT_FALSE(out);
    out = Marker();
    EXPECT_TRUE(LoadConfigFile(out, nullptr, (dir / "broken.chump").c_str()));
    EXPECT_FALSE(out);
}

TEST(ConfigFile, SaveByExtension)
{
    TempFolder dir;
    ChunkRef root = Sample();
    EXPECT_FALSE(SaveConfigFile(root, dir.Path().c_str(), "x.xyz"));
    ASSERT_TRUE(SaveConfigFile(root, nullptr, (dir / "config.txt").c_str()));
    ASSERT_TRUE(SaveConfigFile(root, dir.Path().c_str(), "pack.CDP2"));
    ASSERT_TRUE(SaveConfigFile(root, dir.Path().c_str(), "keywords.dat", "txt"));
    ASSERT_TRUE(SaveConfigFile(ChunkRef(), dir.Path().c_str(), "null.txt"));
    EXPECT_EQ(dir.ReadAll("config.txt"), TextOf(root));
    EXPECT_EQ(dir.ReadAll("pack.CDP2"), BinaryOf(root));
    EXPECT_EQ(dir.ReadAll("keywords.dat"), TextOf(root));
    EXPECT_EQ(dir.ReadAll("null.txt"), "");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 4);

    // An existing file of the name in another case is the one replaced.
    dir.Write("Old.TXT", "old 1\r\n");
    ASSERT_TRUE(SaveConfigFile(root, dir.Path().c_str(), "old.txt"));
    EXPECT_EQ(dir.ReadAll("Old.TXT"), TextOf(root));
    EXPECT_FALSE(dir.Has("old.txt"));
}

// Leaving the sync to the caller changes when the bytes reach the disk,
// never which bytes replace the file or what is left beside it.
TEST(ConfigFile, EitherSyncChoiceReplacesTheFileWholeAndLeavesNothingBeside)
{
    const ChunkRef root = Sample();
    for (ConfigSync sync : {ConfigSync::kBeforeReplace, ConfigSync::kByCaller}) {
        SCOPED_TRACE(static_cast<int>(sync));
        TempFolder dir;
        dir.Write("config.txt", "old 1\r\n");
        dir.Write("config.chump", "old");
        ASSERT_TRUE(SaveConfigFile(root, dir.Path().c_str(), "config.txt", nullptr, sync));
        ASSERT_TRUE(SaveConfigFile(root, dir.Path().c_str(), "config.chump", nullptr, sync));
        EXPECT_EQ(dir.ReadAll("config.txt"), TextOf(root));
        EXPECT_EQ(dir.ReadAll("config.chump"), BinaryOf(root));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
        EXPECT_FALSE(SaveConfigFile(root, (dir / "nowhere").c_str(), "config.txt", nullptr, sync));
    }
}

TEST(ConfigFile, FailedSaveLeavesTheOldFile)
{
    TempFolder dir;
    dir.Write("config.txt", "old 1\r\n");
    dir.MakeFolder("taken.txt");
    ChunkRef big;
    for (int i = 0; i < 200; ++i)
        Tag::SetString(big, "tag-" + std::to_string(i), std::string(100, 'v'));

    EXPECT_FALSE(SaveConfigFile(Sample(), (dir / "nowhere").c_str(), "config.txt"));
    EXPECT_FALSE(SaveConfigFile(Sample(), dir.Path().c_str(), "taken.txt"));
    EXPECT_FALSE(SaveConfigFile(Deep(kMaxTreeDepth + 1), dir.Path().c_str(), "config.txt"));
    EXPECT_FALSE(SaveConfigFile(Deep(kMaxTreeDepth + 1), dir.Path().c_str(), "config.chump"));

    // A file-size limit makes writes fail as a full disk does.
    struct rlimit saved, small;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    small = saved;
    small.rlim_cur = 4096;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool savedText = SaveConfigFile(big, dir.Path().c_str(), "config.txt");
    bool savedBinary = SaveConfigFile(big, dir.Path().c_str(), "config.chump");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(savedText);
    EXPECT_FALSE(savedBinary);

    EXPECT_EQ(dir.ReadAll("config.txt"), "old 1\r\n");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "taken.txt"));
    // Nothing half-written is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
}

// The recovery loader with its folder as a mount below the content root, as
// the stored message boxes use it.
class ConfigFileRecovery : public ::testing::Test {
protected:
    void SetUp() override
    {
        oldRoot_ = GetContentRootPath();
        SetContentRootPath(Nyx::File::Path(dir_.Path()));
        dir_.MakeFolder("boxes");
        Nyx::File::Subst::Add("boxes", Nyx::File::Path(dir_ / "boxes"));
    }
    void TearDown() override
    {
        Nyx::File::Subst::Remove("boxes");
        SetContentRootPath(oldRoot_);
    }

    TempFolder dir_;
    Nyx::File::Path oldRoot_;
};

TEST_F(ConfigFileRecovery, FileFirstThenSibling)
{
    dir_.Write("boxes/m.tbox", "which main");
    dir_.Write("boxes/m.tmp", "which sibling");
    ChunkRef out;
    ASSERT_TRUE(LoadConfigFileWithRecovery(out, "boxes", "m.tbox"));
    EXPECT_EQ(Tag::GetString(out, "which").View(), "main");
    EXPECT_FALSE(dir_.Has("boxes/m.tmp"));

    std::filesystem::remove(dir_ / "boxes/m.tbox");
    dir_.Write("boxes/m.tmp", "which sibling");
    ASSERT_TRUE(LoadConfigFileSafely(out, "boxes", "m.tbox"));
    EXPECT_EQ(Tag::GetString(out, "which").View(), "sibling");
    EXPECT_EQ(dir_.ReadAll("boxes/m.tbox"), "which sibling");
    EXPECT_FALSE(dir_.Has("boxes/m.tmp"));

    // With no folder the names are absolute paths.
    std::filesystem::rename(dir_ / "boxes/m.tbox", dir_ / "boxes/n.tmp");
    ASSERT_TRUE(LoadConfigFileWithRecovery(out, nullptr, (dir_ / "boxes/n.cfg").c_str()));
    EXPECT_EQ(dir_.ReadAll("boxes/n.cfg"), "which sibling");

    std::filesystem::remove(dir_ / "boxes/n.cfg");
    out = Marker();
    EXPECT_FALSE(LoadConfigFileWithRecovery(out, "boxes", "n.cfg"));
    EXPECT_EQ(Tag::GetInt(out, "marker", 0), 99);
}

TEST_F(ConfigFileRecovery, FilesThatDoNotOpenAreKept)
{
    // A folder in a file's place exists but does not open, as a locked file.
    dir_.Write("boxes/m.tbox/keep", "precious");
    dir_.Write("boxes/m.tmp", "which sibling");
    ChunkRef out;
    ASSERT_TRUE(LoadConfigFileWithRecovery(out, "boxes", "m.tbox"));
    EXPECT_EQ(Tag::GetString(out, "which").View(), "sibling");
    EXPECT_EQ(dir_.ReadAll("boxes/m.tbox/keep"), "precious");
    EXPECT_TRUE(dir_.Has("boxes/m.tmp"));

    std::filesystem::remove(dir_ / "boxes/m.tmp");
    dir_.Write("boxes/m.tmp/keep", "precious too");
    out = Marker();
    EXPECT_FALSE(LoadConfigFileWithRecovery(out, "boxes", "m.tbox"));
    EXPECT_EQ(Tag::GetInt(out, "marker", 0), 99);
    EXPECT_EQ(dir_.ReadAll("boxes/m.tbox/keep"), "precious");
    EXPECT_EQ(dir_.ReadAll("boxes/m.tmp/keep"), "precious too");
}

TEST(ConfigFilePrint, PrintsTheTextAndALineEnd)
{
    ChunkRef root;
    Tag::SetInt(root, "a", 1);
    std::string text = "\xEF\xBB\xBF\r\na" + std::string(39, ' ') + "1\r\n";
    testing::internal::CaptureStdout();
    PrintConfig(root);
    PrintConfig(ChunkRef());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), text + "\n\n");
    EXPECT_EQ(ConfigToTextBuffer(root)->GetBuffer()->DataLength(), text.size());
}

}  // namespace
