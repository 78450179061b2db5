#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/files/AssetFolderFiles.h"
#include "core/files/ContentRoot.h"
#include "core/text/FileNameText.h"
#include "support/TempFolder.h"

using Nyx::File;
using Nyx::PString;

namespace {

class AssetFolderFilesTest : public ::testing::Test {
protected:
    void SetUp() override { SetContentRootPath(root_.Path()); }
    void TearDown() override
    {
        SetContentRootPath(File::Path());
        File::Subst::Remove("kestrotestmount");
    }

    TempFolder root_;
    TempFolder outside_;
};

// ---------------------------------------------------------------- content root

TEST(ContentRootTest, StoredWithoutTrailingSeparator)
{
    struct Case {
        const char* given;
        const char* stored;
    } cases[] = {
        {"/data/kestro/", "/data/kestro"},
        {"/data/kestro//", "/data/kestro"},
        {"\\data\\kestro\\", "/data/kestro"},
        {"/", "/"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SetContentRootPath(c.given);
        EXPECT_EQ(GetContentRootPath().Str(), c.stored) << c.given;
    }
}

TEST(ContentRootTest, ReadersSeeWholeValuesWhileItChanges)
{
    const std::string a = "/content/root-a";
    const std::string b = "/content/a-much-longer-second-content-root-path-b";
    SetContentRootPath(a);
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 4; ++i) {
        readers.emplace_back([&] {
            while (!stop.load()) {
                std::string seen = GetContentRootPath().Str();
                if (seen != a && seen != b)
                    ++torn;
            }
        });
    }
    for (int i = 0; i < 2000; ++i)
        SetContentRootPath(i % 2 ? a : b);
    stop = true;
    for (std::thread& t : readers)
        t.join();
    EXPECT_EQ(torn.load(), 0);
    SetContentRootPath(File::Path());
}

// ---------------------------------------------------------------- folders, renames, existence

TEST_F(AssetFolderFilesTest, MakeContentFolder)
{
    EXPECT_TRUE(MakeContentFolder("assets", "a/b/c"));
    EXPECT_TRUE(root_.Has("assets/a/b/c"));
    EXPECT_TRUE(MakeContentFolder("assets", "x\\y"));
    EXPECT_TRUE(root_.Has("assets/x/y"));
    // Existing components are reused whatever their case.
    EXPECT_TRUE(MakeContentFolder("ASSETS", "A/new"));
    EXPECT_TRUE(root_.Has("assets/a/new"));

    EXPECT_FALSE(MakeContentFolder(PString(), "relative/folder"));
    EXPECT_TRUE(MakeContentFolder(PString(), File::Path(outside_ / "abs/made")));
    EXPECT_TRUE(outside_.Has("abs/made"));
}

TEST_F(AssetFolderFilesTest, RenameContentFile)
{
    root_.Write("assets/k1/Config.TXT", "x");
    EXPECT_TRUE(RenameContentFile("assets", "k1/config.txt", "k1/config.bak"));
    EXPECT_TRUE(root_.Has("assets/k1/config.bak"));
    EXPECT_FALSE(root_.Has("assets/k1/Config.TXT"));
    EXPECT_FALSE(RenameContentFile("assets", "k1/missing", "k1/other"));

    outside_.Write("from", "y");
    EXPECT_FALSE(RenameContentFile(PString(), File::Path(outside_ / "from"), "to"));
    EXPECT_FALSE(RenameContentFile(PString(), "from", File::Path(outside_ / "to")));
    EXPECT_TRUE(outside_.Has("from"));
    EXPECT_TRUE(RenameContentFile(PString(), File::Path(outside_ / "from"), File::Path(outside_ / "to")));
    EXPECT_EQ(outside_.ReadAll("to"), "y");
}

TEST_F(AssetFolderFilesTest, FileExistsIn)
{
    root_.Write("assets/k1/mesh.im", "m");
    File::Subst::Add("kestrotestmount", File::Path(root_ / "assets"));
    EXPECT_TRUE(FileExistsIn("kestrotestmount", "k1/mesh.im"));
    EXPECT_TRUE(FileExistsIn("KestroTestMount", "K1\\MESH.IM"));
    EXPECT_FALSE(FileExistsIn("kestrotestmount", "k1/other.im"));

    EXPECT_TRUE(FileExistsIn(PString(), "not/looked/at"));
    EXPECT_TRUE(FileExistsIn(PString(), File::Path(root_ / "ASSETS/k1/mesh.im")));
    EXPECT_FALSE(FileExistsIn(PString(), File::Path(root_ / "assets/k1/other.im")));
}

// ---------------------------------------------------------------- deletion

TEST_F(AssetFolderFilesTest, DeleteContentPathRemovesTreesAndFiles)
{
    root_.Write("assets/k1/config.txt", "c");
    root_.Write("assets/k1/sub/deeper/mesh.im", "m");
    root_.MakeFolder("assets/k1/empty");
    root_.Write("assets/k2/config.txt", "c");
    root_.Write("assets/loose.txt", "l");

    EXPECT_TRUE(DeleteContentPath("assets", "K1"));
    EXPECT_FALSE(root_.Has("assets/k1"));
    EXPECT_TRUE(root_.Has("assets/k2/config.txt"));
    EXPECT_TRUE(DeleteContentPath("assets", "Loose.TXT"));
    EXPECT_FALSE(root_.Has("assets/loose.txt"));
    EXPECT_TRUE(DeleteContentPath(PString(), File::Path(root_ / "assets/k2")));
    EXPECT_FALSE(root_.Has("assets/k2"));
    EXPECT_TRUE(root_.Has("assets"));
    EXPECT_FALSE(DeleteContentPath("assets", "gone"));
}

TEST_F(AssetFolderFilesTest, DeleteContentPathRefusesAnythingNotStrictlyInsideTheRoot)
{
    root_.Write("assets/k1/config.txt", "c");
    outside_.Write("victim/keep.txt", "v");
    // A sibling whose name begins with the root's name.
    std::string sibling = root_.Path() + "-sibling";
    ASSERT_EQ(::mkdir(sibling.c_str(), 0777), 0);
    std::ofstream(sibling + "/keep.txt") << "s";

    const std::string& r = root_.Path();
    const std::string out(File::Path(outside_.Path()).FileName());  // a sibling of the root
    struct Case {
        const char* folder;
        std::string path;
    } cases[] = {
        {"", r},
        {"", r + "/"},
        {"", r + "/./"},
        {"", r + "/assets/.."},
        {"", r + "/../" + out + "/victim"},
        {"", r + "/assets/../../" + out + "/victim"},
        {"", sibling},
        {"", sibling + "/keep.txt"},
        {"", outside_ / "victim"},
        {"", "assets/k1"},
        {"", ""},
        {"assets", ""},
        {"assets", "k1/../.."},
        {"assets", "../../" + out + "/victim"},
        {"..", out + "/victim"},
        {".", "."},
        {".", "/"},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(DeleteContentPath(c.folder, File::Path(c.path))) << "folder '" << c.folder << "' path " << c.path;
    EXPECT_TRUE(root_.Has("assets/k1/config.txt"));
    EXPECT_TRUE(outside_.Has("victim/keep.txt"));
    EXPECT_TRUE(std::filesystem::exists(sibling + "/keep.txt"));
    std::filesystem::remove_all(sibling);

    // With no content root nothing lies inside it.
    SetContentRootPath(File::Path());
    EXPECT_FALSE(DeleteContentPath(PString(), File::Path(root_ / "assets/k1")));
    EXPECT_FALSE(DeleteContentPath(File::Path(root_.Path()).Str(), "assets/k1"));
    EXPECT_TRUE(root_.Has("assets/k1/config.txt"));
}

// ---------------------------------------------------------------- copies

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string all;
    char block[65536];
    while (in.read(block, sizeof block) || in.gcount() > 0)
        all.append(block, static_cast<size_t>(in.gcount()));
    return all;
}

// A file whose reported size is larger than what it yields, when the system
// offers one (attribute files report a whole page).
std::string ShortReadSource()
{
    for (const char* p : {"/sys/kernel/uevent_seqnum", "/sys/kernel/profiling", "/sys/power/state"}) {
        struct stat st;
        if (::stat(p, &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        std::string all = ReadFile(p);
        if (!all.empty() && all.size() < static_cast<size_t>(st.st_size))
            return p;
    }
    return std::string();
}

TEST_F(AssetFolderFilesTest, CopyFileByStreamCopiesWholeFiles)
{
    File::Subst::Add("kestrotestmount", File::Path(root_ / "assets"));
    // Larger than one 16 MiB chunk, and not a multiple of the read-ahead.
    std::string big(0x1000000 + 4097, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>((i * 131) >> 7);
    root_.Write("assets/k1/Big.bin", big);
    root_.Write("assets/k1/empty.bin", "");
    outside_.Write("dst/old.bin", std::string(100, 'o'));

    EXPECT_TRUE(CopyFileByStream("kestrotestmount", "K1\\big.BIN", PString(), File::Path(outside_ / "dst/copy.bin")));
    EXPECT_TRUE(ReadFile(outside_ / "dst/copy.bin") == big);

    EXPECT_TRUE(CopyFileByStream("kestrotestmount", "k1/empty.bin", PString(), File::Path(outside_ / "dst/old.bin")));
    EXPECT_TRUE(outside_.Has("dst/old.bin"));
    EXPECT_EQ(outside_.ReadAll("dst/old.bin"), "");

    EXPECT_FALSE(CopyFileByStream("kestrotestmount", "k1/missing.bin", PString(), File::Path(outside_ / "dst/m.bin")));
    EXPECT_FALSE(outside_.Has("dst/m.bin"));
    EXPECT_FALSE(CopyFileByStream("kestrotestmount", "k1/empty.bin", PString(), File::Path(outside_ / "no/such/x")));
}

TEST_F(AssetFolderFilesTest, CopyFileByStreamReportsFailures)
{
    root_.Write("assets/k1/data.bin", std::string(10000, 'd'));

    // Writes that fail must not pass for a copy.
    EXPECT_FALSE(CopyFileByStream(PString(), File::Path(root_ / "assets/k1/data.bin"), PString(), "/dev/full"));

    // Copying a file onto itself would empty it.
    File::Path self(root_ / "assets/k1/data.bin");
    EXPECT_FALSE(CopyFileByStream(PString(), self, PString(), File::Path(root_ / "ASSETS/K1/DATA.BIN")));
    EXPECT_EQ(root_.ReadAll("assets/k1/data.bin"), std::string(10000, 'd'));

    std::string shortSource = ShortReadSource();
    if (shortSource.empty())
        GTEST_SKIP() << "no file here reports more bytes than it yields";
    struct stat st;
    ASSERT_EQ(::stat(shortSource.c_str(), &st), 0);
    EXPECT_FALSE(CopyFileByStream(PString(), File::Path(shortSource), PString(), File::Path(outside_ / "short.bin")));
    // What was read is written; nothing is padded out to the claimed size.
    std::string copied = outside_.ReadAll("short.bin");
    EXPECT_GT(copied.size(), 0u);
    EXPECT_LT(copied.size(), static_cast<size_t>(st.st_size));
}

// ---------------------------------------------------------------- name and text tests

TEST(FileNameTextTest, IsTextureTxtFile)
{
    struct Case {
        const char* path;
        bool expected;
    } cases[] = {
        {"a.texture.txt", true},
        {"/assets/k1/Wall.Texture.TXT", true},
        {".texture.txt", true},
        {"atexture.txt", false},
        {"texture.txt", false},
        {"a.texture.txt.bak", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsTextureTxtFile(c.path), c.expected) << c.path;
}

TEST(FileNameTextTest, GetExtension)
{
    struct Case {
        const char* given;  // the extension already chosen, or null
        const char* path;
        bool ok;
        const char* ext;
    } cases[] = {
        {nullptr, "file.tar.gz", true, "gz"},
        {nullptr, "/assets/k1/trailing.", true, ""},
        {nullptr, "noextension", false, ""},
        {nullptr, "/assets/k1.v2/config", false, ""},
        {nullptr, "assets\\k1.v2\\config", false, ""},
        {nullptr, nullptr, false, ""},
        {"", "a.chump", true, "chump"},
        {".chump", "a.txt", true, "chump"},
        {"txt", nullptr, true, "txt"},
    };
    for (const Case& c : cases) {
        const char* ext = c.given;
        EXPECT_EQ(GetExtension(ext, c.path), c.ok) << (c.path ? c.path : "(null)");
        ASSERT_NE(ext, nullptr);
        EXPECT_STREQ(ext, c.ext) << (c.path ? c.path : "(null)");
    }
}

TEST(FileNameTextTest, WildcardPrefixMatch)
{
    struct Case {
        const char* pattern;
        const char* text;
        bool expected;
    } cases[] = {
        {"k?id", "KUID:12", true},
        {"kuid:", "kuid", false},
        {"", "anything", true},
        {"?", "", false},
        {"KUID2", "kuid2:1:2:3", true},
        {"kuid2", "kuid:1:2", false},
        {"\xC4", "\xE4", false},  // only A-Z fold
    };
    for (const Case& c : cases)
        EXPECT_EQ(WildcardPrefixMatch(c.pattern, c.text), c.expected) << c.pattern << " / " << c.text;
    EXPECT_FALSE(WildcardPrefixMatch(nullptr, "x"));
    EXPECT_FALSE(WildcardPrefixMatch("x", nullptr));
}

TEST(FileNameTextTest, LowerCaseBuffer)
{
    char fits[16] = "MiXeD \xC4Z@[";
    EXPECT_TRUE(LowerCaseBuffer(fits, sizeof fits));
    EXPECT_STREQ(fits, "mixed \xC4z@[");

    char exact[4] = {'A', 'B', 'C', 0};
    EXPECT_TRUE(LowerCaseBuffer(exact, 4));
    EXPECT_STREQ(exact, "abc");

    // No terminator within the capacity: cut at the last byte.
    char unterminated[5] = {'A', 'B', 'C', 'D', 'E'};
    EXPECT_FALSE(LowerCaseBuffer(unterminated, 5));
    EXPECT_STREQ(unterminated, "abcd");

    char untouched[2] = {'Q', 0};
    EXPECT_FALSE(LowerCaseBuffer(untouched, 0));
    EXPECT_EQ(untouched[0], 'Q');
    EXPECT_FALSE(LowerCaseBuffer(nullptr, 8));
}

}  // namespace
