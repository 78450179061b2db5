// One root, one writer: a stand-in daemon paused part-way through a command
// keeps its root. The daemon a second command starts meanwhile cannot take
// the root's lock, serves nothing and ends; the command fails naming the
// process that holds the root, and once the paused daemon goes on, nothing
// either of them was told is lost.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>

#include <sys/wait.h>

#include "ToolProcess.h"

namespace {

namespace fs = std::filesystem;
using daemontest::WaitFor;

// Enough assets that the import is still sending when the daemon stops.
constexpr int kAssets = 400;

std::string Kuid(int content) { return "<kuid:77:" + std::to_string(content) + ">"; }

class PausedDaemonProcessTest : public ToolProcessTest {
protected:
    void SetUp() override
    {
        ToolProcessTest::SetUp();
        for (int i = 0; i < kAssets + 2; ++i)
            root_.Write("local/a" + std::to_string(i) + "/config.txt",
                        "kuid " + Kuid(1000 + i) + "\nusername \"Asset " + std::to_string(i) +
                            "\"\nkind \"scenery\"\n");
    }

    void TearDown() override
    {
        if (paused_ > 0)
            ::kill(paused_, SIGCONT);
        ToolProcessTest::TearDown();
    }

    // The asset's keywords as a fresh backup has them ("" for none).
    static std::string KeywordsIn(const std::string& backup, int content)
    {
        const std::string tag = "<kuid:77:" + std::to_string(content) + ">";
        const size_t at = backup.find(tag);
        if (at == std::string::npos)
            return "missing";
        const size_t open = backup.find('"', at);
        const size_t line = backup.find('\n', at);
        if (open == std::string::npos || open > line)
            return "";
        return backup.substr(open + 1, backup.find('"', open + 1) - open - 1);
    }

    pid_t paused_ = 0;
};

}  // namespace

TEST_F(PausedDaemonProcessTest, ADaemonThatCannotTakeTheRootServesNothingAndTheCommandSaysWhy)
{
    std::string dump;
    for (int i = 0; i < kAssets; ++i)
        dump += Kuid(1000 + i) + " \"first " + std::to_string(i) + "\"\n";
    root_.Write("KeywordsDump.dat", dump);
    ASSERT_EQ(Run({"status", Kuid(1000)}).exitCode, 0);
    const pid_t first = static_cast<pid_t>(standin::Serving(Root()));
    ASSERT_NE(first, 0);

    const std::string state = Root() + "/kaddaemon-state.txt";
    const pid_t importing = StartToolProcess(Root(), output_.Path(), {"importkeywords"});
    ASSERT_GT(importing, 0);
    ASSERT_TRUE(WaitFor([&]() { return Slurp(state).find("first 20\"") != std::string::npos; }));
    ASSERT_EQ(::kill(first, SIGSTOP), 0);
    paused_ = first;
    // What the paused daemon has said it keeps, as far as the disk shows.
    const std::string kept = Slurp(state);

    // The second command reads its own dump: the first one read its dump
    // whole before it began.
    TempFolder second;
    root_.Write("KeywordsDump.dat", Kuid(1000 + kAssets) + " \"second a\"\n" + Kuid(1001 + kAssets) + " \"second b\"\n");
    const ProcessResult refused = RunToolWithin(root_.Path(), second.Path(), {"importkeywords"});
    const std::string holder = "is held by process " + std::to_string(first) + " (kaddaemon)";
    EXPECT_EQ(refused.exitCode, 255) << refused.out;
    EXPECT_NE(refused.out.find(" : The connection to the asset database daemon was lost.\n"), std::string::npos)
        << refused.out;
    EXPECT_EQ(refused.out.find("OK (0 Errors"), std::string::npos) << refused.out;
    // The import's request reached the daemon that could not serve, which
    // says why.
    EXPECT_NE(refused.out.find(" : The asset database daemon cannot serve its data root: the data root " + Root() + " " +
                               holder + ", which serves it; this daemon does not.\n"),
              std::string::npos)
        << refused.out;
    EXPECT_NE(Slurp(Root() + "/kaddaemon.log").find(holder), std::string::npos) << Slurp(Root() + "/kaddaemon.log");

    ASSERT_EQ(::kill(first, SIGCONT), 0);
    paused_ = 0;
    FinishToolProcess(importing, output_.Path(), "importkeywords", std::chrono::seconds(120));
    ASSERT_TRUE(WaitFor([&]() { return standin::Ended(uint32_t(first)); }));

    // A fresh daemon finds every keyword the paused one kept, and nothing
    // of the import that was refused.
    ASSERT_EQ(Run({"backupkeywords", "after.dat"}).exitCode, 0);
    const std::string backup = Slurp(Root() + "/bin/after.dat");
    int set = 0;
    for (int i = 0; i < kAssets; ++i) {
        const std::string words = KeywordsIn(backup, 1000 + i);
        if (!words.empty()) {
            EXPECT_EQ(words, "first " + std::to_string(i));
            ++set;
        }
        if (kept.find("\"first " + std::to_string(i) + "\"") != std::string::npos) {
            EXPECT_EQ(words, "first " + std::to_string(i)) << "kept before the pause, lost after it";
        }
    }
    EXPECT_GE(set, 21);
    EXPECT_EQ(KeywordsIn(backup, 1000 + kAssets), "");
    EXPECT_EQ(KeywordsIn(backup, 1001 + kAssets), "");
}
