// The built program with a copy of the shipped validation data in its
// program folder: every command starts with the data loaded, and shut-down
// keeps the user's personal details there, harmlessly when it cannot.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ToolProcess.h"
#include "config/formats/ConfigFile.h"
#include "config/tree/TDBContainerTag.h"

namespace {

namespace fs = std::filesystem;

const std::string kClean = "OK (0 Errors, 0 Warnings)\n";

class ValidationDataProcessTest : public ToolProcessTest {
protected:
    void SetUp() override
    {
        ToolProcessTest::SetUp();
        const std::string sample = std::string(KESTRO_TEST_DATA_DIR) + "/../../sample";
        fs::copy(sample + "/bin/TETData", root_ / "bin/TETData", fs::copy_options::recursive);
    }

    std::string Details() const { return root_ / "bin/TETData/personalDetails.txt"; }
    std::string Author() const
    {
        ChunkRef tree;
        EXPECT_TRUE(LoadConfigFile(tree, nullptr, Details().c_str()));
        return TDBContainerTag::GetString(tree, Nyx::PString("author")).Str();
    }
};

TEST_F(ValidationDataProcessTest, EveryCommandReadsTheDetailsAtStartAndWritesThemAtTheEnd)
{
    ASSERT_FALSE(fs::exists(Details()));
    ProcessResult first = Run({"echo", "hello"});
    EXPECT_EQ(first.exitCode, 0);
    EXPECT_EQ(first.out, "hello \n" + kClean);
    EXPECT_EQ(first.err, "");
    ASSERT_TRUE(fs::is_regular_file(Details()));
    EXPECT_EQ(Author(), "");

    // What the user put there is read at start-up and written back.
    root_.Write("bin/TETData/personalDetails.txt", "author \"A. Builder\"\nisinputboxon 0\n");
    root_.Write("bin/batch.txt", "version\necho two\n");
    for (const std::vector<std::string>& args : {std::vector<std::string>{"version"}, {"@batch.txt"}, {"frobnicate"}}) {
        SCOPED_TRACE(args[0]);
        Run(args);
        EXPECT_EQ(Author(), "A. Builder");
    }
}

TEST_F(ValidationDataProcessTest, AShutDownThatCannotWriteTheDetailsChangesNeitherOutputNorExitCode)
{
    const std::vector<std::vector<std::string>> commands = {{"version"}, {"echo", "a", "b"}, {"frobnicate"}};
    std::vector<ProcessResult> normal;
    for (const auto& args : commands)
        normal.push_back(Run(args));

    fs::remove(Details());
    fs::create_directory(Details());
    for (size_t i = 0; i < commands.size(); ++i) {
        SCOPED_TRACE(commands[i][0]);
        ProcessResult r = Run(commands[i]);
        EXPECT_EQ(r.exitCode, normal[i].exitCode);
        EXPECT_EQ(r.out, normal[i].out);
        EXPECT_EQ(r.err, normal[i].err);
    }
    EXPECT_TRUE(fs::is_directory(Details()));

    // A data folder the user may not write to, where that holds.
    fs::remove(Details());
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod((root_ / "bin/TETData").c_str(), 0555), 0);
        for (size_t i = 0; i < commands.size(); ++i) {
            SCOPED_TRACE(commands[i][0]);
            ProcessResult r = Run(commands[i]);
            EXPECT_EQ(r.exitCode, normal[i].exitCode);
            EXPECT_EQ(r.out, normal[i].out);
        }
        EXPECT_FALSE(fs::exists(Details()));
        ::chmod((root_ / "bin/TETData").c_str(), 0755);
    }
}

}  // namespace
