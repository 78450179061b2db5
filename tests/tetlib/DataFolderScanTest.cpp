// The data-folder scan: how lines split into key and text, which entries of
// the folder are read, and the choice lists the files give.
#include "tetlib/data/DataFolderScan.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "TETLibTestSupport.h"

namespace {

using TETLib::DataLines;

std::vector<std::string> Flatten(const DataLines& lines)
{
    std::vector<std::string> out;
    for (const TETLib::DataLine& line : lines)
        out.push_back(line.key.Str() + "|" + line.text.Str());
    return out;
}

TEST(DataFolderScanTest, LinesSplitAtTheirFirstBlank)
{
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"three words", "alpha beta gamma\n", {"alpha|beta gamma"}},
        {"no blank", "alpha\n", {"alpha|"}},
        {"line ends stripped", "a b\r\nc\r\r\n", {"a|b", "c|"}},
        {"empty lines kept", "a\n\n\nb", {"a|", "|", "|", "b|"}},
        {"leading blank", " lead\n", {"|lead"}},
        {"trailing blank", "tail \n", {"tail|"}},
        {"two blanks", "a  b\n", {"a| b"}},
        {"tab is no blank", "a\tb\n", {"a\tb|"}},
        {"last line without line feed", "a\nb c", {"a|", "b|c"}},
        {"empty file", "", {}},
        {"one line feed", "\n", {"|"}},
        {"long line kept whole", std::string(300, 'k') + " " + std::string(300, 't'),
         {std::string(300, 'k') + "|" + std::string(300, 't')}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Flatten(TETLib::SplitDataLines(c.bytes)), c.lines);
    }
}

class DataFolderTest : public ::testing::Test {
protected:
    TempFolder folder_;
};

TEST_F(DataFolderTest, EveryRegularFileIsReadInNameOrderAndSubFoldersArePassedOver)
{
    folder_.Write("b.txt", "b1\n");
    folder_.Write("a.txt", "a1 x\n");
    folder_.MakeFolder("a-folder");  // before every file in name order
    folder_.Write("sub/inner.txt", "inner\n");
    ASSERT_EQ(::mkfifo((folder_ / "pipe").c_str(), 0600), 0);
    folder_.Write("z", "last\n");

    TETLib::DataFolderFiles files;
    ASSERT_TRUE(TETLib::ScanDataFolder(Nyx::File::Path(folder_.Path()), files));
    std::vector<std::string> names;
    for (const auto& [name, lines] : files)
        names.push_back(name.Str());
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt", "z"}));
    EXPECT_EQ(Flatten(files[Nyx::PString("z")]), std::vector<std::string>{"last|"});

    // A second scan replaces the lists it reads again.
    folder_.Write("a.txt", "changed\n");
    ASSERT_TRUE(TETLib::ScanDataFolder(Nyx::File::Path(folder_.Path()), files));
    EXPECT_EQ(Flatten(files[Nyx::PString("a.txt")]), std::vector<std::string>{"changed|"});
}

TEST_F(DataFolderTest, AFolderThatCannotBeSearchedFailsTheScan)
{
    TETLib::DataFolderFiles files;
    EXPECT_FALSE(TETLib::ScanDataFolder(Nyx::File::Path(folder_ / "missing"), files));
    EXPECT_TRUE(files.empty());
}

}  // namespace
