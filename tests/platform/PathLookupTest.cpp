#include "platform/PathLookup.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/TempFolder.h"

namespace {

using Platform::FindExisting;
using Platform::PathForCreate;
using Platform::ToForwardSlashes;

TEST(PathLookupTest, ForwardSlashes)
{
    EXPECT_EQ(ToForwardSlashes("a\\b\\c.txt"), "a/b/c.txt");
    EXPECT_EQ(ToForwardSlashes("\\\\x/y\\"), "//x/y/");
    EXPECT_EQ(ToForwardSlashes(""), "");
    EXPECT_EQ(ToForwardSlashes("plain"), "plain");
}

class PathLookupTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        root.Write("Data/Sub/File.TXT", "x");
        // Three spellings of one name: byte order puts the upper-case one first.
        root.Write("Multi/file.txt", "lower");
        root.Write("Multi/File.txt", "mixed");
        root.Write("Multi/FILE.txt", "upper");
        // A file that matches a folder's name without case must not hide the
        // folder when more components follow.
        root.Write("Clash/ITEM", "file");
        root.Write("Clash/item/inner.bin", "in");
        root.MakeFolder("Empty");
    }
    TempFolder root;
};

TEST_F(PathLookupTree, FindExistingResolvesEachMissingComponent)
{
    struct Case {
        const char* query;
        const char* expected;  // relative to the root; nullptr: not found
    } cases[] = {
        {"Data/Sub/File.TXT", "Data/Sub/File.TXT"},
        {"data/sub/file.txt", "Data/Sub/File.TXT"},
        {"DATA/SUB/FILE.TXT", "Data/Sub/File.TXT"},
        {"Data/sub/File.TXT", "Data/Sub/File.TXT"},
        {"data\\sub\\file.txt", "Data/Sub/File.TXT"},
        {"data/sub/", "Data/Sub/"},
        {"data/./sub/file.txt", "Data/./Sub/File.TXT"},
        {"data/sub/../sub/FILE.txt", "Data/Sub/../Sub/File.TXT"},
        {"multi/fIlE.TXT", "Multi/FILE.txt"},
        {"Multi/file.txt", "Multi/file.txt"},
        {"clash/item/INNER.bin", "Clash/item/inner.bin"},
        {"clash/Item", "Clash/ITEM"},
        {"data/sub/file.txt/more", nullptr},
        {"data/missing/file.txt", nullptr},
        {"data/sub/file.tx", nullptr},
        {"nothing", nullptr},
        {"empty/x", nullptr},
    };
    for (const Case& c : cases) {
        std::string got = FindExisting(root / c.query);
        if (c.expected)
            EXPECT_EQ(got, root / c.expected) << c.query;
        else
            EXPECT_EQ(got, "") << c.query;
    }
    EXPECT_EQ(FindExisting(""), "");
    EXPECT_EQ(FindExisting("/"), "/");
}

TEST_F(PathLookupTree, PathForCreateReusesMatchesAndKeepsTheRest)
{
    struct Case {
        const char* query;
        const char* expected;
    } cases[] = {
        // An existing match is reused whatever its case.
        {"data/sub/FILE.txt", "Data/Sub/File.TXT"},
        // A new name lands in the folder found without case, spelt as given.
        {"data/SUB/New.Bin", "Data/Sub/New.Bin"},
        {"DATA\\sub\\New.Bin", "Data/Sub/New.Bin"},
        // Folders that do not exist are kept as given from there on.
        {"data/Fresh/Deeper/x.txt", "Data/Fresh/Deeper/x.txt"},
        {"New/sub/file.txt", "New/sub/file.txt"},
        {"empty/A.txt", "Empty/A.txt"},
        {"clash/item/new", "Clash/item/new"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PathForCreate(root / c.query), root / c.expected) << c.query;
    EXPECT_EQ(PathForCreate(""), "");
}

TEST(PathLookupTest, RelativePathsStartAtTheWorkingFolder)
{
    TempFolder root;
    root.Write("Rel/Name.txt", "r");
    auto old = std::filesystem::current_path();
    std::filesystem::current_path(root.Path());
    std::string found = FindExisting("rel/name.TXT");
    std::string create = PathForCreate("REL/other.txt");
    std::string missing = FindExisting("gone.txt");
    std::filesystem::current_path(old);
    EXPECT_EQ(found, "Rel/Name.txt");
    EXPECT_EQ(create, "Rel/other.txt");
    EXPECT_EQ(missing, "");
}

}  // namespace
