#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "config/tree/TDBContainerTag.h"
#include "kad/packages/CDP.h"
#include "kad/packages/PackageTestSupport.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"

namespace {

using namespace packagetest;

const std::string kWriteError = "Unable to write content files to disk";
const std::string kDecompressError = "Failed to decompress data. Content package may be damaged";
const std::string kUnknownCompression = "Unknown compression type encountered. Content package may be damaged";
const std::string kUnknownType = "Unknown data type encountered. Content package may be damaged";

const Nyx::PString kNone;
const Nyx::PString kLZSS("LZSS");

std::string Random(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng() % 7 == 0 ? rng() : 'a' + rng() % 3);
    return s;
}

// The flag-word form has no end marker: a stream cut between two tokens
// decodes as a shorter file. The first cut from `at` on that leaves a token
// unfinished.
std::string CutMidToken(const std::string& chunk, size_t at)
{
    for (; at < chunk.size(); ++at) {
        Nyx::LZSSCompress codec;
        std::vector<uint8_t> out(1 << 20);
        if (codec.DecompressBlock(out.data(), uint32_t(out.size()), chunk.data() + 4, uint32_t(at - 4)) < 0)
            return chunk.substr(0, at);
    }
    ADD_FAILURE() << "no cut fails";
    return chunk;
}

ACSRawData Raw(const std::string& bytes)
{
    return ACSRawData::Copy(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// A target folder inside a fresh temporary folder, beside a folder whose
// contents must never change.
class Extraction : public ::testing::Test {
protected:
    Extraction()
    {
        temp_.Write("outside/victim.txt", "untouched");
        target_ = temp_ / "target";
    }
    std::set<std::string> Outside() const
    {
        std::set<std::string> all = TreeOf(temp_.Path());
        std::set<std::string> out;
        for (const std::string& p : all)
            if (p.rfind("target/", 0) != 0)
                out.insert(p);
        return out;
    }
    // No temporary sibling is left anywhere below the target.
    bool NoLeftovers() const
    {
        for (const std::string& p : TreeOf(target_))
            if (p.find(".extracting-") != std::string::npos)
                return false;
        return true;
    }

    TempFolder temp_;
    std::string target_;
};

TEST_F(Extraction, WritesTheTreeAndSkipsWhatAPackageMayNotCarry)
{
    const std::string big = Random(300000, 1);
    ChunkRef files = NewContainer();
    AddFile(files, "config.txt", "kuid <kuid:1:2>\n");
    AddFile(files, "empty.txt", "");
    ChunkRef mesh = NewContainer();
    AddFile(mesh, "Body Mesh.pm", big);
    ChunkRef deeper = NewContainer();
    AddFile(deeper, "t.texture", "tex");
    AddFolder(mesh, "lod (2)", deeper);
    AddFolder(files, "mesh", mesh);
    AddFile(files, "letter.doc", "skipped: not a package file type");
    AddFile(files, ".hidden.txt", "skipped: unsafe name");
    AddFolder(files, "~tmp", NewContainer());

    struct Case {
        const char* name;
        std::function<ChunkRef()> files;
        Nyx::PString compression;
    };
    auto compress = [&](const ChunkRef& tree) {
        std::function<ChunkRef(const ChunkRef&)> walk = [&](const ChunkRef& from) {
            ChunkRef to = NewContainer();
            for (uint32_t i = 0; i < from->GetChildCount(); ++i) {
                Nyx::PString name;
                ChunkRef child;
                from->GetChildAt(i, name, child);
                if (child->GetType() == ACS_TYPE_CONTAINER)
                    AddFolder(to, name.View(), walk(child));
                else
                    AddFile(to, name.View(),
                            Compressed(std::string_view(reinterpret_cast<const char*>(child->GetData()),
                                                        child->GetDataSize()),
                                       i % 2 ? 9 : 3));
            }
            return to;
        };
        return walk(tree);
    };
    const Case cases[] = {
        {"plain", [&] { return files; }, kNone},
        {"LZSS", [&] { return compress(files); }, kLZSS},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(target_);
        EXPECT_TRUE(CDP::ExtractFolder(c.files(), Nyx::File::Path(target_), c.compression).Empty()) << c.name;
        EXPECT_EQ(TreeOf(target_), (std::set<std::string>{"config.txt", "empty.txt", "mesh/", "mesh/Body Mesh.pm",
                                                          "mesh/lod (2)/", "mesh/lod (2)/t.texture"}))
            << c.name;
        EXPECT_EQ(temp_.ReadAll("target/mesh/Body Mesh.pm"), big) << c.name;
        EXPECT_EQ(temp_.ReadAll("target/config.txt"), "kuid <kuid:1:2>\n") << c.name;
        EXPECT_EQ(temp_.ReadAll("target/mesh/lod (2)/t.texture"), "tex") << c.name;
    }
}

// The count is of files on disk, each with its folder: the install checks
// the asset's folder against it, so a file lost from any folder is caught.
TEST_F(Extraction, EachFileWrittenIsCountedOnceWithItsFolder)
{
    struct Case {
        const char* name;
        std::function<ChunkRef()> files;
        uint32_t count;
    };
    auto folderWith = [](const char* file) {
        ChunkRef folder = NewContainer();
        AddFile(folder, file, "x");
        return folder;
    };
    const Case cases[] = {
        {"one name in two folders",
         [&] {
             ChunkRef files = NewContainer();
             AddFolder(files, "a", folderWith("x.txt"));
             AddFolder(files, "b", folderWith("x.txt"));
             return files;
         },
         2},
        {"one name at the top and in a folder",
         [&] {
             ChunkRef files = NewContainer();
             AddFile(files, "x.txt", "x");
             AddFolder(files, "a", folderWith("x.txt"));
             return files;
         },
         2},
        {"one name nested twice",
         [&] {
             ChunkRef inner = folderWith("x.txt");
             ChunkRef outer = folderWith("x.txt");
             AddFolder(outer, "a", inner);
             ChunkRef files = NewContainer();
             AddFolder(files, "a", outer);
             return files;
         },
         2},
        {"one name twice in one folder",
         [&] {
             ChunkRef files = NewContainer();
             AddFile(files, "x.txt", "first");
             AddFile(files, "x.txt", "second");
             return files;
         },
         1},
        {"names passed over",
         [&] {
             ChunkRef files = NewContainer();
             AddFile(files, "x.txt", "x");
             AddFile(files, "../x.txt", "x");
             AddFile(files, "x.exe", "x");
             return files;
         },
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(target_);
        uint32_t written = 99;
        EXPECT_TRUE(CDP::ExtractFolder(c.files(), Nyx::File::Path(target_), kNone, &written).Empty());
        EXPECT_EQ(written, c.count);
        uint32_t onDisk = 0;
        for (const std::string& path : TreeOf(target_))
            onDisk += path.back() != '/';
        EXPECT_EQ(onDisk, c.count);
    }
}

TEST_F(Extraction, AnUnknownChildTypeIsReportedAndTheRestStillWritten)
{
    ChunkRef files = NewContainer();
    AddFile(files, "a.txt", "a");
    TDBContainerTag::SetInt(files, "number.txt", 5);
    AddFile(files, "b.txt", "b");
    EXPECT_EQ(CDP::ExtractFolder(files, Nyx::File::Path(target_), kNone).Str(), kUnknownType);
    EXPECT_EQ(TreeOf(target_), (std::set<std::string>{"a.txt", "b.txt"}));
}

TEST_F(Extraction, FoldersNestAtMost64DeepAndTheRestIsWrittenAllTheSame)
{
    // A chain of `depth` folders with a file at its end, and a file beside it.
    auto chain = [](int depth) {
        ChunkRef files = NewContainer();
        AddFile(files, "top.txt", "top");
        ChunkRef folder = files;
        for (int i = 0; i < depth; ++i) {
            ChunkRef sub = NewContainer();
            AddFolder(folder, "d", sub);
            folder = sub;
        }
        AddFile(folder, "leaf.txt", "leaf");
        return files;
    };
    std::string deepest;
    for (int i = 0; i < 64; ++i)
        deepest += "d/";
    EXPECT_EQ(CDP::ExtractFolder(chain(64), Nyx::File::Path(target_), kNone).Str(), "");
    EXPECT_EQ(temp_.ReadAll("target/" + deepest + "leaf.txt"), "leaf");

    std::filesystem::remove_all(target_);
    EXPECT_EQ(CDP::ExtractFolder(chain(65), Nyx::File::Path(target_), kNone).Str(),
              "Folders nested deeper than 64 levels cannot be installed. Content package may be damaged");
    EXPECT_EQ(temp_.ReadAll("target/top.txt"), "top");
    EXPECT_FALSE(temp_.Has("target/" + deepest + "d"));
}

TEST_F(Extraction, HostileNamesNeverReachOutsideTheTarget)
{
    const std::set<std::string> outsideBefore = Outside();
    const char* names[] = {
        "..", ".", "/abs.txt", "/tmp", "a/../../b.txt", "../outside/victim.txt", "..\\outside\\victim.txt",
        "\x80.txt", "caf\xc3\xa9.txt", "sub/x.txt", "~x.txt", " x.txt", "x.txt ", "..txt",
    };
    ChunkRef files = NewContainer();
    for (const char* name : names) {
        AddFile(files, name, "overwritten");
        ChunkRef folder = NewContainer();
        AddFile(folder, "victim.txt", "overwritten");
        AddFolder(files, name, folder);
    }
    AddFile(files, "kept.txt", "kept");
    EXPECT_TRUE(CDP::ExtractFolder(files, Nyx::File::Path(target_), kNone).Empty());
    EXPECT_EQ(TreeOf(target_), std::set<std::string>{"kept.txt"});
    EXPECT_EQ(Outside(), outsideBefore);
    EXPECT_EQ(temp_.ReadAll("outside/victim.txt"), "untouched");
}

TEST_F(Extraction, LinksAlreadyInTheTargetAreNeverWrittenThrough)
{
    std::filesystem::create_directories(target_);
    std::filesystem::create_symlink(temp_ / "outside/victim.txt", target_ + "/victim.txt");
    std::filesystem::create_symlink(temp_ / "outside", target_ + "/mesh");
    std::filesystem::create_symlink(temp_ / "outside/new.txt", target_ + "/dangling.txt");
    const std::set<std::string> outsideBefore = Outside();

    ChunkRef files = NewContainer();
    AddFile(files, "victim.txt", "overwritten");
    AddFile(files, "dangling.txt", "created");
    ChunkRef mesh = NewContainer();
    AddFile(mesh, "victim.txt", "overwritten");
    AddFile(mesh, "new.txt", "created");
    AddFolder(files, "mesh", mesh);
    AddFile(files, "ok.txt", "fine");

    EXPECT_EQ(CDP::ExtractFolder(files, Nyx::File::Path(target_), kNone).Str(), kWriteError);
    EXPECT_EQ(Outside(), outsideBefore);
    EXPECT_EQ(temp_.ReadAll("outside/victim.txt"), "untouched");
    EXPECT_TRUE(IsLink(target_ + "/victim.txt"));
    EXPECT_TRUE(IsLink(target_ + "/mesh"));
    EXPECT_TRUE(IsLink(target_ + "/dangling.txt"));
    EXPECT_EQ(temp_.ReadAll("target/ok.txt"), "fine") << "the walk goes on after an error";
    EXPECT_TRUE(NoLeftovers());
}

// Each case extracts one file over an existing one: a failure must leave the
// old file as it was and nothing else behind.
TEST_F(Extraction, AFailedFileLeavesTheOldFileAndNoPartialOne)
{
    const std::string data = Random(200000, 2);
    const std::string good = Compressed(data, 9);
    struct Case {
        const char* name;
        std::string chunk;
        Nyx::PString compression;
        std::string expected;  // empty: success
    };
    const Case cases[] = {
        {"prefix equal to the size", good, kLZSS, ""},
        {"prefix claiming 4 GiB (an upper bound, never an allocation)", Compressed(data, 9, 0xFFFFFFFFu), kLZSS, ""},
        {"output longer than the prefix", Compressed(data, 9, int64_t(data.size()) - 1), kLZSS, kDecompressError},
        {"prefix of 0 with output", Compressed(data, 5, 0), kLZSS, kDecompressError},
        {"truncated Huffman stream", good.substr(0, good.size() / 2), kLZSS, kDecompressError},
        {"truncated flag-word stream", CutMidToken(Compressed(data, 5), 9000), kLZSS, kDecompressError},
        {"prefix only", good.substr(0, 4), kLZSS, kDecompressError},
        {"shorter than the prefix", good.substr(0, 3), kLZSS, kDecompressError},
        {"no data", "", kLZSS, kDecompressError},
        {"another compression", good, Nyx::PString("ZIP"), kUnknownCompression},
        {"the name in another case", good, Nyx::PString("lzss"), kUnknownCompression},
        {"the name with a blank", good, Nyx::PString("LZSS "), kUnknownCompression},
        {"a bad header byte", std::string("\x10\0\0\0\xff\x01\x02", 7), kLZSS, kDecompressError},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(target_);
        temp_.Write("target/file.txt", "old contents");
        const std::string path = target_ + "/file.txt";
        EXPECT_EQ(CDP::ExtractFile(Raw(c.chunk), Nyx::File::Path(path), c.compression).Str(), c.expected) << c.name;
        EXPECT_TRUE(temp_.ReadAll("target/file.txt") == (c.expected.empty() ? data : "old contents")) << c.name;
        EXPECT_EQ(TreeOf(target_), std::set<std::string>{"file.txt"}) << c.name;
    }
}

TEST_F(Extraction, AnUnwritableTargetIsAWriteError)
{
    ChunkRef files = NewContainer();
    AddFile(files, "a.txt", "a");
    AddFolder(files, "sub", NewContainer());
    ChunkRef skippedOnly = NewContainer();
    AddFile(skippedOnly, "a.doc", "a");
    struct Case {
        const char* name;
        std::string target;  // extracted into; the file case writes "b.txt" in it
        bool needsPermissions;
    };
    const Case cases[] = {
        {"a folder below a file", temp_ / "outside/victim.txt/below", false},
        {"a read-only folder", target_, true},
    };
    for (const Case& c : cases) {
        if (c.needsPermissions && ::geteuid() == 0)
            continue;  // permissions do not bind the superuser
        if (c.needsPermissions) {
            std::filesystem::create_directories(c.target);
            ::chmod(c.target.c_str(), 0555);
        }
        EXPECT_EQ(CDP::ExtractFolder(files, Nyx::File::Path(c.target), kNone).Str(), kWriteError) << c.name;
        EXPECT_EQ(CDP::ExtractFile(Raw("x"), Nyx::File::Path(c.target + "/b.txt"), kNone).Str(), kWriteError)
            << c.name;
        EXPECT_TRUE(CDP::ExtractFolder(skippedOnly, Nyx::File::Path(c.target), kNone).Empty())
            << c.name << ": nothing to write, nothing failed";
        ::chmod(c.target.c_str(), 0755);
    }
    EXPECT_TRUE(TreeOf(target_).empty());
    EXPECT_EQ(temp_.ReadAll("outside/victim.txt"), "untouched");
}

// A full disk, as a file-size limit in a child process: every write past
// the limit fails (SIGXFSZ ignored), which must never pass for success.
TEST_F(Extraction, AFullDiskIsAWriteErrorNotSuccess)
{
    const std::string data = Random(1 << 20, 3);
    struct Case {
        const char* name;
        std::string chunk;
        Nyx::PString compression;
    };
    const Case cases[] = {
        {"plain", data, kNone},
        {"LZSS", Compressed(data, 9), kLZSS},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(target_);
        std::filesystem::create_directories(target_);
        const std::string result = temp_ / "result.txt";
        int status = childprocess::RunInChild(temp_.Path(), [&]() {
            ::signal(SIGXFSZ, SIG_IGN);
            ChunkRef files = NewContainer();
            AddFile(files, "big.txt", c.chunk);
            rlimit limit{64 * 1024, 64 * 1024};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            Nyx::String text = CDP::ExtractFolder(files, Nyx::File::Path(target_), c.compression);
            std::ofstream(result) << text.Str();
        });
        ASSERT_TRUE(WIFEXITED(status)) << c.name;
        std::ifstream in(result);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text, kWriteError) << c.name;
        EXPECT_TRUE(TreeOf(target_).empty()) << c.name << ": no partial file";
    }
}

}  // namespace
