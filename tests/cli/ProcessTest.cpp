// The built program run as a process from a data root laid out under a
// temporary folder: root/bin/KestroUtil and root/bin/kaddaemon are copies of
// the programs built beside this test. The first command launches the
// daemon; the later ones find it serving.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "ToolProcess.h"
#include "support/DaemonTestSupport.h"
#include "support/StandInDaemon.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

class ProcessTest : public ToolProcessTest {
protected:
    static std::string Help() { return Slurp(std::string(KESTRO_TEST_DATA_DIR) + "/cli/help.txt") + "\n"; }
};

const std::string kClean = "OK (0 Errors, 0 Warnings)\n";
const std::string kInvalid =
    "- <NULL> : Invalid argument, please check the help for the list of valid argument\n\nOK (1 Errors, 0 Warnings)\n";

// With "-nyxlog" the engine log goes to standard output: start-up logs each
// dummy material that no material type serves. The start-up enrols the
// product's plug-ins first, so only the types without one are missing.
std::string MaterialLog()
{
    std::string log;
    for (const char* type : {"tbumpcoltex", "tbumpglosscol", "tgroundonetex", "tgroundonetexvs"})
        log += std::string("DataManager::RegisterKestroBumpVertexType> Unable to load 'm.") + type + "'\n";
    return log;
}

TEST_F(ProcessTest, HelpWithoutStartingAnything)
{
    ProcessResult none = Run({});
    EXPECT_EQ(none.exitCode, 255);
    EXPECT_EQ(none.out, Help());
    EXPECT_EQ(none.err, "");

    for (const char* word : {"help", "HELP", "hElP"}) {
        SCOPED_TRACE(word);
        ProcessResult help = Run({word, "version"});
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_EQ(help.out, Help());
    }
    // No start-up ran: the data folders were never made.
    EXPECT_FALSE(root_.Has("cache"));
    EXPECT_FALSE(root_.Has("settings"));
}

TEST_F(ProcessTest, CommandWordsPrintTheirResultsAndEndWithTheirCode)
{
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string out;
    };
    const Case cases[] = {
        {{"VERSION"}, 0, "Build 41615\n" + kClean},
        {{"installedversionlo"}, 64, kClean},
        {{"installedversionhi"}, 1, kClean},
        {{"installedbuildnumberlo"}, 143, kClean},
        {{"installedbuildnumberhi"}, 162, kClean},
        {{"installedversion"}, 320 & 0xFF, kClean},
        {{"installedbuildnumber"}, 41615 & 0xFF, kClean},
        {{"echo", "-nokadclient", "Hello", "norender", "-nyxlog"}, 0,
         MaterialLog() + "-nokadclient Hello norender -nyxlog \n" + kClean},
        {{"frobnicate"}, 255, kInvalid},
        {{"norender", "-nyxlog", "status", "<kuid:1:2>"}, 255, MaterialLog() + kInvalid},
        {{"edit"}, 255, "- <NULL> : Missing AssetID parameter.\nOK (1 Errors, 0 Warnings)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        ProcessResult r = Run(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
    }
    // Start-up made the data folders under the root above "bin".
    for (const char* folder : {"cache/bookmarks", "cache/water", "trash", "local", "original", "editing", "settings"})
        EXPECT_TRUE(fs::is_directory(root_ / folder)) << folder;
}

TEST_F(ProcessTest, BatchRunsEveryLineAndFailsWhenOneDid)
{
    root_.Write("bin/batch.txt", "version\r\n\"frobnicate\"\n\necho \"a  b\" c\n");
    ProcessResult r = Run({"@batch.txt"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, "Build 41615\n" + kClean + "\n" + kInvalid + "\n" + "a  b c \n" + kClean + "\n");
    EXPECT_EQ(r.err, "");

    root_.Write("lines.txt", "version\necho ok\n");
    ProcessResult good = Run({"@" + (root_ / "lines.txt")});
    EXPECT_EQ(good.exitCode, 0);
    EXPECT_EQ(good.out, "Build 41615\n" + kClean + "\n" + "ok \n" + kClean + "\n");

    // Lines ended by a CR alone are lines too.
    root_.Write("cr.txt", "version\r\"frobnicate\"\r\recho ok\r");
    ProcessResult cr = Run({"@" + (root_ / "cr.txt")});
    EXPECT_EQ(cr.exitCode, 255);
    EXPECT_EQ(cr.out, "Build 41615\n" + kClean + "\n" + kInvalid + "\n" + "ok \n" + kClean + "\n");
}

TEST_F(ProcessTest, BatchLinesThatCannotRunAreReportedAndCounted)
{
    root_.Write("bin/bad.txt", "echo \"open\n" + std::string(600, 'x') + " echo tail\necho after\n");
    ProcessResult r = Run({"@bad.txt"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out,
              "- <NULL> : The batch line has a double quote that is not closed; it was not run.\n"
              "OK (1 Errors, 0 Warnings)\n\n"
              "- <NULL> : The batch line is longer than 511 characters; it was not run.\n"
              "OK (1 Errors, 0 Warnings)\n\n"
              "after \n" + kClean + "\n");
}

TEST_F(ProcessTest, MissingBatchFileIsReportedOnStandardError)
{
    ProcessResult r = Run({"@NoSuchFile.txt"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "-The file \"NoSuchFile.txt\" does not exist, please specify a valid filename\n");
}

TEST_F(ProcessTest, StartUpWithoutTheDaemonProgramFailsAfterItsAttempts)
{
    fs::remove(root_ / "bin/kaddaemon");
    auto start = std::chrono::steady_clock::now();
    ProcessResult r = Run({"version"});
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "- Init failed\n");
    // Eleven attempts, ten pauses of a second between them.
    EXPECT_GE(ms, 10000);
    EXPECT_LT(ms, 20000);
}

TEST_F(ProcessTest, CloseKADDaemonEndsTheDaemonTheFirstCommandLaunched)
{
    ProcessResult first = Run({"version"});
    EXPECT_EQ(first.exitCode, 0);
    const uint32_t daemon = standin::Serving(Root());
    ASSERT_NE(daemon, 0u);

    ProcessResult close = Run({"CloseKADDaemon"});
    EXPECT_EQ(close.exitCode, 0);
    EXPECT_EQ(close.out, kClean);
    EXPECT_EQ(close.err, "");
    // It has withdrawn from the block and ended by the time the command is
    // done, and no discovery object of the root is left.
    EXPECT_EQ(standin::Serving(Root()), 0u);
    EXPECT_TRUE(daemontest::WaitFor([&]() { return standin::Ended(daemon); }));
    EXPECT_EQ(daemontest::DiscoveryFiles(Root()), std::vector<std::string>());
}

}  // namespace
