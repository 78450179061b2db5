// Installs of a package cut short by a kill: of the tool part-way through
// "vrqparse" or "installcdp", or of the stand-in daemon part-way through
// "installcdp". Nothing of the asset that was being installed stays.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "ToolProcess.h"

namespace {

namespace fs = std::filesystem;
using daemontest::WaitFor;

const char* const kAsset = "<kuid:77:900>";
// Enough files that an install takes a while, and a kill lands inside it.
constexpr int kFiles = 1500;

class InterruptedInstallProcessTest : public ToolProcessTest {
protected:
    void SetUp() override
    {
        ToolProcessTest::SetUp();
        root_.Write("local/big/config.txt",
                    std::string("kuid ") + kAsset + "\nusername \"Big yard\"\nkind \"scenery\"\nkestro-build 3.5\n");
        std::string bytes(4096, '\0');
        for (int i = 0; i < kFiles; ++i) {
            for (size_t b = 0; b < bytes.size(); ++b)
                bytes[b] = static_cast<char>((b * 7 + i * 13 + (b >> 5)) & 0xFF);
            root_.Write("local/big/part" + std::to_string(i) + ".tga", bytes);
        }
        package_ = Root() + "/elsewhere/big.cdp";
        ASSERT_EQ(Run({"createcdp", package_, kAsset}).exitCode, 0);
        ASSERT_EQ(Run({"delete", kAsset}).exitCode, 0);
    }

    // An entry of "editing" that is being filled (it holds some files), or
    // empty when there is none.
    std::string FolderBeingFilled() const
    {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(Root() + "/editing", ec)) {
            size_t files = 0;
            for (auto it = fs::directory_iterator(entry.path(), ec); !ec && it != fs::directory_iterator();
                 it.increment(ec))
                ++files;
            if (files >= 20)
                return entry.path().string();
        }
        return {};
    }

    std::vector<std::string> Editing() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Root() + "/editing"))
            names.push_back(entry.path().filename().string());
        return names;
    }

    // Starts the command, and kills `victim` (the command itself when 0)
    // once the install is part-way.
    void KillPartWay(const std::vector<std::string>& args, pid_t victim = 0)
    {
        const pid_t tool = StartToolProcess(Root(), output_.Path(), args);
        ASSERT_GT(tool, 0);
        const bool partWay = WaitFor([&]() { return !FolderBeingFilled().empty(); }, std::chrono::seconds(60));
        ::kill(victim ? victim : tool, SIGKILL);
        childprocess::WaitChild(tool, std::chrono::seconds(120));
        ASSERT_TRUE(partWay);
    }

    bool Unknown() { return Run({"status", kAsset}).exitCode == 255; }

    std::string package_;
};

}  // namespace

TEST_F(InterruptedInstallProcessTest, AToolKilledPartWayLeavesNothingOfTheAsset)
{
    for (const char* command : {"vrqparse", "installcdp"}) {
        SCOPED_TRACE(command);
        KillPartWay({command, package_});
        // The daemon lets go of what the tool's connection held.
        EXPECT_TRUE(WaitFor([&]() { return Editing().empty(); }, std::chrono::seconds(60))) << Editing().size();
        EXPECT_TRUE(Unknown());
    }
    // And the package still installs whole.
    EXPECT_EQ(Run({"installcdp", package_}).exitCode, 0);
    EXPECT_EQ(Run({"status", kAsset}).out, "+ <kuid:77:900> : eIadlmf : SY;SCEN : Big yard\nOK (0 Errors, 0 Warnings)\n");
}

TEST_F(InterruptedInstallProcessTest, AnInstallTheDaemonsKillCutShortIsRolledBackAtItsNextStart)
{
    ASSERT_TRUE(Unknown());
    const pid_t daemon = static_cast<pid_t>(standin::Serving(Root()));
    ASSERT_NE(daemon, 0);
    KillPartWay({"installcdp", package_}, daemon);
    // The next command starts the daemon again.
    EXPECT_TRUE(Unknown());
    EXPECT_EQ(Editing(), std::vector<std::string>{});
}
