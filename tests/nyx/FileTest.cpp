#include "nyx/files/File.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/TempFolder.h"

namespace {

using Nyx::File;
using Nyx::PString;

std::string ReadAll(File& f)
{
    std::string out;
    char buf[64];
    uint32_t n;
    while ((n = f.Read(buf, 1, sizeof buf)) > 0)
        out.append(buf, n);
    return out;
}

TEST(FilePathTest, Helpers)
{
    EXPECT_EQ(File::Path("a\\b\\c.txt").Str(), "a/b/c.txt");
    EXPECT_EQ(File::Path(static_cast<const char*>(nullptr)).Str(), "");

    struct Join {
        const char* base;
        const char* more;
        const char* expected;
    } joins[] = {
        {"", "x", "x"},         {"a", "", "a"},        {"a", "b", "a/b"},
        {"a/", "b", "a/b"},     {"a", "/b", "a/b"},    {"a/", "/b", "a/b"},
        {"a", "b\\c", "a/b/c"}, {"/", "etc", "/etc"},
    };
    for (const Join& j : joins) {
        File::Path p(j.base);
        p.AddPath(j.more);
        EXPECT_EQ(p.Str(), j.expected) << j.base << " + " << j.more;
    }

    struct Parts {
        const char* path;
        const char* name;
        const char* folder;
        const char* ext;
    } parts[] = {
        {"dir/sub/file.tar.gz", "file.tar.gz", "dir/sub/", "gz"},
        {"file", "file", "", ""},
        {"dir/", "", "dir/", ""},
        {"/abs/x.txt", "x.txt", "/abs/", "txt"},
        {"dir.d/noext", "noext", "dir.d/", ""},
        {"trail.", "trail.", "", ""},
    };
    for (const Parts& p : parts) {
        File::Path path(p.path);
        EXPECT_EQ(path.FileName(), p.name) << p.path;
        EXPECT_EQ(path.Folder(), p.folder) << p.path;
        EXPECT_EQ(path.Extension(), p.ext) << p.path;
    }

    File::Path t("a/b//");
    t.RemoveTrailingSeparator();
    EXPECT_EQ(t.Str(), "a/b");
    t.EnsureTrailingSeparator();
    t.EnsureTrailingSeparator();
    EXPECT_EQ(t.Str(), "a/b/");
    File::Path root("/");
    root.RemoveTrailingSeparator();
    EXPECT_EQ(root.Str(), "/");
    File::Path empty;
    empty.EnsureTrailingSeparator();
    EXPECT_EQ(empty.Str(), "") << "the working folder must not turn into the root";
    EXPECT_TRUE(File::Path("/x").IsAbsolute());
    EXPECT_FALSE(File::Path("x/").IsAbsolute());
}

TEST(FileTest, OpenModes)
{
    TempFolder dir;
    File f;
    EXPECT_FALSE(f.Open(dir / "missing.bin", File::kModeRead));
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(f.GetHandle(), File::kInvalidHandle);

    // Write-only creation.
    ASSERT_TRUE(f.Open(dir / "a.bin", File::kModeWrite, 7));
    EXPECT_EQ(f.GetMode(), uint32_t(File::kModeWrite));
    EXPECT_EQ(f.GetFlags(), 7u);
    EXPECT_EQ(f.Write("hello world", 1, 11), 11u);
    char buf[16];
    EXPECT_EQ(f.Read(buf, 1, 4), 0u) << "a write-only file gives nothing to read";
    EXPECT_TRUE(f.Flush());
    f.Close();
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(dir.ReadAll("a.bin"), "hello world");

    // Read-only: reads, refuses writes.
    ASSERT_TRUE(f.Open(dir / "a.bin", File::kModeRead));
    EXPECT_EQ(f.Write("X", 1, 1), 0u);
    EXPECT_EQ(ReadAll(f), "hello world");

    // Each creating mode truncates an existing file.
    for (uint32_t mode : {uint32_t(File::kModeWrite), uint32_t(File::kModeWriteShared), uint32_t(File::kModeReadWrite)}) {
        dir.Write("t.bin", "old contents");
        ASSERT_TRUE(f.Open(dir / "t.bin", mode)) << mode;
        EXPECT_EQ(f.Size(), 0) << mode;
        EXPECT_EQ(f.Write("new", 1, 3), 3u);
        f.Close();
        EXPECT_EQ(dir.ReadAll("t.bin"), "new") << mode;
    }

    // Read and write on one handle.
    ASSERT_TRUE(f.Open(dir / "rw.bin", File::kModeReadWrite));
    EXPECT_EQ(f.Write("abcdef", 2, 3), 6u);
    ASSERT_TRUE(f.Seek(0, File::kSeekSet));
    EXPECT_EQ(f.Read(buf, 3, 2), 6u);
    EXPECT_EQ(std::string(buf, 6), "abcdef");

    // Write access without the create bits needs an existing file and keeps it.
    EXPECT_FALSE(f.Open(dir / "none.bin", 0x1F));
    ASSERT_TRUE(f.Open(dir / "rw.bin", 0x1F));
    EXPECT_EQ(f.Write("XY", 1, 2), 2u);
    f.Close();
    EXPECT_EQ(dir.ReadAll("rw.bin"), "XYcdef");

    // No access asked, a folder, an empty path: nothing opens.
    EXPECT_FALSE(f.Open(dir / "rw.bin", 0));
    EXPECT_FALSE(f.Open(File::Path(dir.Path()), File::kModeRead));
    EXPECT_FALSE(f.Open(File::Path(""), File::kModeRead));
    EXPECT_FALSE(f.Open(dir / "nofolder/x.bin", File::kModeWrite)) << "creating does not make folders";

    // Reopening closes the previous file; the handle is not inherited.
    ASSERT_TRUE(f.Open(dir / "a.bin", File::kModeRead));
    EXPECT_NE(::fcntl(static_cast<int>(f.GetHandle()), F_GETFD) & FD_CLOEXEC, 0);
}

// A file opened to be kept is made when missing and left as it is when
// there, until Truncate cuts it: a writer can fail before its new content
// is known and leave the old.
TEST(FileTest, AFileOpenedToBeKeptIsCutOnlyByTruncate)
{
    TempFolder dir;
    File f;
    dir.Write("kept.bin", "old contents");
    ASSERT_TRUE(f.Open(dir / "kept.bin", File::kModeWriteKeep));
    EXPECT_EQ(f.Size(), 12);
    f.Close();
    EXPECT_EQ(dir.ReadAll("kept.bin"), "old contents");

    ASSERT_TRUE(f.Open(dir / "kept.bin", File::kModeWriteKeep));
    EXPECT_TRUE(f.Truncate());
    EXPECT_EQ(f.Size(), 0);
    EXPECT_EQ(f.Write("new", 1, 3), 3u);
    f.Close();
    EXPECT_EQ(dir.ReadAll("kept.bin"), "new");

    ASSERT_TRUE(f.Open(dir / "made.bin", File::kModeWriteKeep));
    f.Close();
    EXPECT_EQ(dir.ReadAll("made.bin"), "");
    EXPECT_FALSE(f.Open(dir / "nofolder/x.bin", File::kModeWriteKeep)) << "creating does not make folders";

    // A device holds nothing to cut; a file open for reading only, or none
    // open, cannot be cut.
    ASSERT_TRUE(f.Open(File::Path("/dev/null"), File::kModeWriteKeep));
    EXPECT_TRUE(f.Truncate());
    ASSERT_TRUE(f.Open(dir / "kept.bin", File::kModeRead));
    EXPECT_FALSE(f.Truncate());
    f.Close();
    EXPECT_FALSE(f.Truncate());
    EXPECT_EQ(dir.ReadAll("kept.bin"), "new");
}

TEST(FileTest, ReadPastEndSeekAndEof)
{
    TempFolder dir;
    dir.Write("ten.bin", "0123456789");
    dir.Write("empty.bin", "");
    File f;
    EXPECT_TRUE(f.Eof()) << "a closed file is at its end";
    EXPECT_EQ(f.Tell(), -1);
    EXPECT_EQ(f.Size(), -1);
    EXPECT_FALSE(f.Seek(0, File::kSeekSet));

    ASSERT_TRUE(f.Open(dir / "empty.bin", File::kModeRead));
    EXPECT_TRUE(f.Eof());

    ASSERT_TRUE(f.Open(dir / "ten.bin", File::kModeRead));
    EXPECT_EQ(f.Size(), 10);
    char buf[32];
    EXPECT_FALSE(f.Eof());
    EXPECT_EQ(f.Read(buf, 1, 4), 4u);
    EXPECT_FALSE(f.Eof());
    EXPECT_EQ(f.Read(buf, 2, 3), 6u);
    EXPECT_TRUE(f.Eof()) << "position at the size";
    EXPECT_EQ(f.Read(buf, 1, 1), 0u);
    EXPECT_TRUE(f.Eof());

    // Seeking clears the end state; a short read sets it again.
    ASSERT_TRUE(f.Seek(5, File::kSeekSet));
    EXPECT_FALSE(f.Eof());
    EXPECT_EQ(f.Read(buf, 1, 20), 5u);
    EXPECT_EQ(std::string(buf, 5), "56789");
    EXPECT_TRUE(f.Eof());

    struct SeekCase {
        int64_t from;
        int64_t offset;
        int origin;
        int64_t expected;  // -1: the seek fails and the position stays
    } seeks[] = {
        {0, 3, File::kSeekSet, 3},  {4, 2, File::kSeekCur, 6},   {4, -4, File::kSeekCur, 0},
        {0, -1, File::kSeekEnd, 9}, {0, 0, File::kSeekEnd, 10},  {0, 15, File::kSeekSet, 15},
        {2, -3, File::kSeekCur, -1}, {0, -11, File::kSeekEnd, -1}, {2, 0, 7, -1},
    };
    for (const SeekCase& s : seeks) {
        ASSERT_TRUE(f.Seek(s.from, File::kSeekSet));
        bool ok = f.Seek(s.offset, s.origin);
        EXPECT_EQ(ok, s.expected >= 0) << s.from << " " << s.offset << " " << s.origin;
        EXPECT_EQ(f.Tell(), s.expected >= 0 ? s.expected : s.from);
    }
    // Past the end: nothing to read, and at the end.
    ASSERT_TRUE(f.Seek(15, File::kSeekSet));
    EXPECT_TRUE(f.Eof());
    EXPECT_EQ(f.Read(buf, 1, 1), 0u);
    ASSERT_TRUE(f.Seek(9, File::kSeekSet));
    EXPECT_EQ(f.Read(buf, 1, 1), 1u);
    EXPECT_EQ(buf[0], '9');
}

TEST(FileTest, ReadLine)
{
    TempFolder dir;
    File f;
    char line[64];

    dir.Write("mixed.txt", "one\r\ntwo\nthree\r\n\nin\rside\ncr\r\r\nlast\r");
    ASSERT_TRUE(f.Open(dir / "mixed.txt", File::kModeRead));
    std::vector<std::string> got;
    while (f.ReadLine(line, sizeof line))
        got.emplace_back(line);
    EXPECT_EQ(got, (std::vector<std::string>{"one", "two", "three", "", "in\rside", "cr\r", "last"}));
    EXPECT_TRUE(f.Eof());
    EXPECT_FALSE(f.ReadLine(line, sizeof line));
    EXPECT_STREQ(line, "");

    // A last line with a break ends the file: no empty line follows it.
    dir.Write("ended.txt", "a\nb\n");
    ASSERT_TRUE(f.Open(dir / "ended.txt", File::kModeRead));
    EXPECT_TRUE(f.ReadLine(line, sizeof line));
    EXPECT_FALSE(f.Eof());
    EXPECT_TRUE(f.ReadLine(line, sizeof line));
    EXPECT_STREQ(line, "b");
    EXPECT_TRUE(f.Eof());
    EXPECT_FALSE(f.ReadLine(line, sizeof line));

    // An over-long line is cut to the buffer and the rest of it skipped.
    dir.Write("long.txt", "abcdefghijklmnop\r\nnext\n");
    ASSERT_TRUE(f.Open(dir / "long.txt", File::kModeRead));
    char small[8];
    ASSERT_TRUE(f.ReadLine(small, sizeof small));
    EXPECT_STREQ(small, "abcdefg");
    ASSERT_TRUE(f.ReadLine(small, sizeof small));
    EXPECT_STREQ(small, "next");
    EXPECT_FALSE(f.ReadLine(small, sizeof small));
    EXPECT_FALSE(f.ReadLine(small, 0)) << "no room even for the NUL";

    // Lines longer than one internal block, and a CR LF split across blocks;
    // reading goes on from right after each line, so Tell lines up.
    std::string first(511, 'x');
    std::string second(1500, 'y');
    dir.Write("blocks.txt", first + "\r\n" + second + "\n" + "tail");
    ASSERT_TRUE(f.Open(dir / "blocks.txt", File::kModeRead));
    std::vector<char> big(4096);
    ASSERT_TRUE(f.ReadLine(big.data(), static_cast<uint32_t>(big.size())));
    EXPECT_EQ(std::string(big.data()), first);
    EXPECT_EQ(f.Tell(), 513);
    ASSERT_TRUE(f.ReadLine(big.data(), static_cast<uint32_t>(big.size())));
    EXPECT_EQ(std::string(big.data()), second);
    EXPECT_EQ(f.Tell(), 513 + 1501);
    ASSERT_TRUE(f.ReadLine(big.data(), static_cast<uint32_t>(big.size())));
    EXPECT_STREQ(big.data(), "tail");
    EXPECT_TRUE(f.Eof());
}

TEST(FileTest, CaseInsensitiveFallback)
{
    TempFolder dir;
    dir.Write("Data/Sub/File.TXT", "content");
    File f;

    ASSERT_TRUE(f.Open(dir / "data/sub/file.txt", File::kModeRead));
    EXPECT_EQ(ReadAll(f), "content");
    EXPECT_EQ(f.GetPath().Str(), dir / "data/sub/file.txt") << "the path is kept as asked";
    ASSERT_TRUE(f.Open(dir / "DATA\\SUB\\FILE.TXT", File::kModeRead));

    EXPECT_EQ(File::Exists(dir / "data/SUB/file.txt"), 0);
    EXPECT_NE(File::Exists(dir / "data/sub/other.txt"), 0);
    EXPECT_NE(File::Exists(File::Path("")), 0);
    EXPECT_EQ(File::Exists(dir / "data/sub"), 0) << "folders exist too";
    EXPECT_TRUE(File::IsFolder(dir / "DATA/sub"));
    EXPECT_FALSE(File::IsFolder(dir / "data/sub/file.txt"));
    EXPECT_EQ(File::FileSize(dir / "data/sub/FILE.txt"), 7);
    EXPECT_EQ(File::FileSize(dir / "data/sub/none"), -1);
    EXPECT_EQ(File::Resolve(PString(), dir / "data/sub/file.txt"), dir / "Data/Sub/File.TXT");

    // A new file goes into the folder found without case, named as given.
    ASSERT_TRUE(f.Open(dir / "DATA/sub/New.Bin", File::kModeWrite));
    EXPECT_EQ(f.Write("n", 1, 1), 1u);
    f.Close();
    EXPECT_EQ(dir.ReadAll("Data/Sub/New.Bin"), "n");
    EXPECT_FALSE(dir.Has("DATA"));

    // Creating over an existing name of another case rewrites that file.
    ASSERT_TRUE(f.Open(dir / "data/sub/FILE.txt", File::kModeWrite));
    EXPECT_EQ(f.Write("re", 1, 2), 2u);
    f.Close();
    EXPECT_EQ(dir.ReadAll("Data/Sub/File.TXT"), "re");
    EXPECT_FALSE(dir.Has("Data/Sub/FILE.txt"));
    int entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir / "Data/Sub"))
        ++entries;
    EXPECT_EQ(entries, 2);
}

TEST(FileTest, FolderOperations)
{
    TempFolder dir;
    dir.Write("Top/a.txt", "a");
    dir.Write("Top/Inner/b.txt", "bb");
    dir.Write("Top/Inner/Deep/c.txt", "ccc");
    dir.Write("Outside/keep.txt", "keep");
    std::filesystem::create_symlink(dir / "Outside", dir / "Top/link");

    // Parents are made; existing ones are reused whatever their case.
    EXPECT_TRUE(File::MakeFolder(dir / "top/inner/New/Deeper"));
    EXPECT_TRUE(dir.Has("Top/Inner/New/Deeper"));
    EXPECT_FALSE(dir.Has("top"));
    EXPECT_TRUE(File::MakeFolder(dir / "Top/Inner/New/Deeper")) << "already there";
    EXPECT_FALSE(File::MakeFolder(dir / "top/a.txt/sub"));
    EXPECT_FALSE(File::MakeFolder(File::Path("")));

    EXPECT_TRUE(File::Rename(dir / "top/A.TXT", dir / "top/renamed.txt"));
    EXPECT_EQ(dir.ReadAll("Top/renamed.txt"), "a");
    EXPECT_FALSE(File::Rename(dir / "top/a.txt", dir / "top/x.txt"));

    EXPECT_TRUE(File::Unlink(dir / "TOP/renamed.txt"));
    EXPECT_FALSE(dir.Has("Top/renamed.txt"));
    EXPECT_FALSE(File::Unlink(dir / "Top/renamed.txt"));
    EXPECT_FALSE(File::Unlink(dir / "Top/Inner")) << "folders are pruned, not unlinked";

    // Pruning removes the tree but never follows a link out of it.
    EXPECT_TRUE(File::Prune(dir / "top"));
    EXPECT_FALSE(dir.Has("Top"));
    EXPECT_EQ(dir.ReadAll("Outside/keep.txt"), "keep");
    EXPECT_FALSE(File::Prune(dir / "top"));
    EXPECT_FALSE(File::Prune(File::Path("")));
    EXPECT_FALSE(File::Prune(File::Path("/")));
}

TEST(FileTest, FindPatterns)
{
    TempFolder dir;
    for (const char* name : {"a.txt", "B.TXT", "ab.txt", "c.bin", ".hidden", "abc"})
        dir.Write(std::string("Root/") + name, "12345");
    dir.MakeFolder("Root/sub.txt");

    auto collect = [&](const std::string& pattern) {
        std::vector<std::string> names;
        File::Find find{File::Path(pattern)};
        while (find.Next())
            names.push_back(find.Name());
        return names;
    };
    using V = std::vector<std::string>;
    struct Case {
        const char* pattern;
        V expected;
    } cases[] = {
        {"*", {".hidden", "B.TXT", "a.txt", "ab.txt", "abc", "c.bin", "sub.txt"}},
        {"*.txt", {"B.TXT", "a.txt", "ab.txt", "sub.txt"}},
        {"?.TxT", {"B.TXT", "a.txt"}},
        {"A*", {"a.txt", "ab.txt", "abc"}},
        {"a?c", {"abc"}},
        {"*b*", {"B.TXT", "ab.txt", "abc", "c.bin", "sub.txt"}},
        {"*.*.*", {}},
        {"c.bin", {"c.bin"}},
        {"**t", {"B.TXT", "a.txt", "ab.txt", "sub.txt"}},
        {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(collect(dir / (std::string("Root/") + c.pattern)), c.expected) << c.pattern;

    // Attributes, and the folder found without case.
    File::Find find(dir / "root/S*");
    ASSERT_TRUE(find.Valid());
    EXPECT_EQ(find.Folder(), dir / "root/");
    ASSERT_TRUE(find.Next());
    EXPECT_EQ(find.Name(), "sub.txt");
    EXPECT_TRUE(find.IsFolder());
    EXPECT_FALSE(find.Next());
    File::Find files(dir / "Root/c.*");
    ASSERT_TRUE(files.Next());
    EXPECT_FALSE(files.IsFolder());
    EXPECT_EQ(files.Size(), 5u);

    File::Find none(dir / "Nowhere/*");
    EXPECT_FALSE(none.Valid());
    EXPECT_FALSE(none.Next());
}

TEST(FileTest, SubstMounts)
{
    TempFolder dir;
    dir.Write("Pack/Meshes/Body.im", "mesh");
    dir.Write("Plain/x.txt", "plain");
    File::Subst::Add(PString("Assets"), File::Path(dir / "Pack"));

    EXPECT_EQ(File::Subst::Lookup(PString("ASSETS")).Str(), dir / "Pack");
    EXPECT_TRUE(File::Subst::Lookup(PString("other")).Empty());
    EXPECT_TRUE(File::Subst::Lookup(PString()).Empty());

    File f;
    ASSERT_TRUE(f.Open(PString("assets"), File::Path("meshes\\body.IM"), File::kModeRead));
    EXPECT_EQ(ReadAll(f), "mesh");
    EXPECT_EQ(f.GetBase(), PString("assets"));
    EXPECT_EQ(File::Exists(PString("Assets"), File::Path("Meshes/Body.im")), 0);
    EXPECT_NE(File::Exists(PString("Assets"), File::Path("Meshes/none")), 0);
    // A leading "/" still stays inside the mount.
    EXPECT_EQ(File::Exists(PString("Assets"), File::Path("/Meshes/Body.im")), 0);

    // Creating inside a mount.
    ASSERT_TRUE(f.Open(PString("ASSETS"), File::Path("meshes/new.bin"), File::kModeWrite));
    f.Close();
    EXPECT_TRUE(dir.Has("Pack/Meshes/new.bin"));

    // A base that is no mount names a folder; an empty one is no base at all.
    EXPECT_TRUE(f.Open(PString(dir / "plain"), File::Path("X.TXT"), File::kModeRead));
    EXPECT_TRUE(f.Open(PString(), File::Path(dir / "Plain/x.txt"), File::kModeRead));

    // Re-adding replaces the folder; removal is by name without case.
    File::Subst::Add(PString("ASSETS"), File::Path(dir / "Plain"));
    EXPECT_EQ(File::Exists(PString("assets"), File::Path("x.txt")), 0);
    EXPECT_TRUE(File::Subst::Remove(PString("aSSets")));
    EXPECT_FALSE(File::Subst::Remove(PString("Assets")));
    EXPECT_FALSE(f.Open(PString("Assets"), File::Path("x.txt"), File::kModeRead));

    File::Subst::Add(PString("one"), File::Path(dir / "Plain"));
    File::Subst::Add(PString("two"), File::Path(dir / "Plain"));
    File::Subst::RemoveAll();
    EXPECT_TRUE(File::Subst::Lookup(PString("one")).Empty());
    EXPECT_TRUE(File::Subst::Lookup(PString("two")).Empty());
}

// A file taken inside a mount is named by content data: it stays inside the
// folder of its first component (an asset's folder in a data folder), links
// are followed only within it, and only regular files open.
TEST(FileTest, FilesInsideAMountStayInTheirAssetFolder)
{
    TempFolder dir;
    dir.Write("root/local/asset/tex/body.bmp", "body");
    dir.Write("root/local/asset/top.bmp", "top");
    dir.Write("root/local/other/x.bmp", "other");
    dir.Write("root/local/loose.bmp", "loose");
    dir.Write("outside/secret.bmp", "secret");
    std::filesystem::create_symlink(dir / "outside", dir / "root/local/asset/ext");
    std::filesystem::create_symlink(dir / "outside", dir / "root/local/linked");
    std::filesystem::create_symlink("tex/body.bmp", dir / "root/local/asset/near.bmp");
    std::filesystem::create_symlink(dir / "outside/secret.bmp", dir / "root/local/asset/away.bmp");
    std::filesystem::create_symlink(dir / "outside/secret.bmp", dir / "root/local/away.bmp");
    ASSERT_EQ(::mkfifo((dir / "root/local/asset/pipe.bmp").c_str(), 0600), 0);
    // Held open at both ends, so that a reader that opens it anyway fails
    // the test rather than waiting for a writer.
    const int pipeEnds = ::open((dir / "root/local/asset/pipe.bmp").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(pipeEnds, 0);
    File::Subst::Add(PString("kestrotestlocal"), File::Path(dir / "root/local"));

    struct Case {
        const char* base;  // a mount, or a folder below the temporary folder
        const char* path;
        const char* text;  // nullptr: refused
    } cases[] = {
        {"kestrotestlocal", "asset/tex/body.bmp", "body"},
        {"kestrotestlocal", "asset/tex/../top.bmp", "top"},
        {"kestrotestlocal", "ASSET/Near.bmp", "body"},
        {"kestrotestlocal", "loose.bmp", "loose"},
        {"kestrotestlocal", "asset/tex/../../other/x.bmp", nullptr},
        {"kestrotestlocal", "asset/../../../outside/secret.bmp", nullptr},
        {"kestrotestlocal", "../../outside/secret.bmp", nullptr},
        {"kestrotestlocal", "asset/ext/secret.bmp", nullptr},
        {"kestrotestlocal", "linked/secret.bmp", nullptr},
        {"kestrotestlocal", "asset/pipe.bmp", nullptr},
        {"kestrotestlocal", "asset/tex", nullptr},
        {"root/local/asset", "tex/body.bmp", "body"},
        {"root/local/asset", "ext/secret.bmp", nullptr},
        {"root/local/asset", "../other/x.bmp", nullptr},
        // Plain names in the folder given, spelt as they lie or not.
        {"kestrotestlocal", "away.bmp", nullptr},
        {"root/local/asset", "top.bmp", "top"},
        {"root/local/asset/", "top.bmp", "top"},
        {"root/local/asset", "TOP.BMP", "top"},
        {"root/local/ASSET/", "top.bmp", "top"},
        {"root/local/asset", "near.bmp", "body"},
        {"root/local/asset", "away.bmp", nullptr},
        {"root/local/asset", "pipe.bmp", nullptr},
        {"root/local/asset", "tex", nullptr},
        {"root/local/asset", "ext", nullptr},
        {"root/local/asset", "missing.bmp", nullptr},
    };
    for (const Case& c : cases) {
        const std::string base = std::string(c.base).find('/') == std::string::npos ? c.base : dir / c.base;
        File f;
        const bool opened = f.Open(PString(base), File::Path(c.path), File::kModeRead);
        EXPECT_EQ(opened, c.text != nullptr) << c.base << " " << c.path;
        if (opened && c.text) {
            EXPECT_EQ(ReadAll(f), c.text) << c.path;
        }
    }

    // Nothing is written out of the folder either.
    File f;
    EXPECT_FALSE(f.Open(PString("kestrotestlocal"), File::Path("asset/ext/new.texture"), File::kModeWrite));
    EXPECT_FALSE(f.Open(PString("kestrotestlocal"), File::Path("asset/../../new.texture"), File::kModeWrite));
    EXPECT_TRUE(f.Open(PString("kestrotestlocal"), File::Path("asset/tex/new.texture"), File::kModeWrite));
    f.Close();
    EXPECT_TRUE(dir.Has("root/local/asset/tex/new.texture"));
    EXPECT_FALSE(dir.Has("outside/new.texture"));
    EXPECT_FALSE(dir.Has("root/new.texture"));
    File::Subst::Remove(PString("kestrotestlocal"));
    ::close(pipeEnds);
}

}  // namespace
