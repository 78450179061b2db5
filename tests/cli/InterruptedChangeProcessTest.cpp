// Changes of the stand-in cut short through the tool's commands: its daemon
// killed at each rename it makes during a reinstall or a delete of an asset
// open for edit, or one of its folder syncs failing during a reinstall. The
// daemon runs under strace, which kills it (or fails the call) at the
// chosen system call; the next daemon then finds the asset as it was, open
// for edit with its edits, or as the finished change leaves it, and a
// delete that said OK stays done.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>

#include "ToolProcess.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using daemontest::WaitFor;

const char* const kAsset = "<kuid:77:901>";

std::string YardConfig(const char* name)
{
    return std::string("kuid ") + kAsset + "\nusername \"" + name + "\"\nkind \"scenery\"\nkestro-build 3.5\n";
}

class InterruptedChangeProcessTest : public ToolProcessTest {
protected:
    void SetUp() override
    {
        ToolProcessTest::SetUp();
        if (!CanTrace())
            GTEST_SKIP() << "strace cannot trace a child here";
        // The package holds the new version of the asset.
        root_.Write("local/yard/config.txt", YardConfig("New yard"));
        root_.Write("local/yard/gravel.txt", "new gravel");
        package_ = Root() + "/elsewhere/yard.cdp";
        ASSERT_EQ(Run({"createcdp", package_, kAsset}).exitCode, 0);
        Stop();
    }

    static bool CanTrace()
    {
        childprocess::CommandLine command("strace", {"-qq", "-o", "/dev/null", "true"});
        pid_t pid = 0;
        int status = 0;
        return ::posix_spawnp(&pid, "strace", nullptr, nullptr, command.Argv(), environ) == 0 &&
               ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    // Ends the root's daemon, as the tool ends it, and collects the one
    // the test started.
    void Stop()
    {
        if (standin::Serving(Root()) != 0)
            Run({"closekaddaemon"});
        standin::EndAll(Root());
        if (started_ > 0) {
            int status = 0;
            ::waitpid(started_, &status, 0);
            started_ = 0;
        }
    }

    // The old version installed, and open for edit with an edit not yet
    // committed; the trash empty and the daemon's state as new.
    void LayOutOpenForEdit()
    {
        Stop();
        for (const char* folder : {"local", "editing", "trash"})
            fs::remove_all(Root() + "/" + folder);
        fs::remove(Root() + "/kaddaemon-state.txt");
        root_.Write("local/yard/config.txt", YardConfig("Old yard"));
        root_.Write("local/yard/gravel.txt", "old gravel");
        // A working copy as "edit" makes it, with an edit in its config.
        root_.Write("editing/yard/config.txt", YardConfig("Edited yard"));
        root_.Write("editing/yard/gravel.txt", "old gravel");
    }

    // Starts a program that serves the root and waits until it does; 0
    // when it does not.
    pid_t Spawn(const std::string& program, const std::vector<std::string>& args)
    {
        childprocess::CommandLine command(program, args);
        if (::posix_spawnp(&started_, program.c_str(), nullptr, nullptr, command.Argv(), environ) != 0) {
            started_ = 0;
            return 0;
        }
        if (!WaitFor([&]() { return standin::Serving(Root()) != 0; }, std::chrono::seconds(60)))
            return 0;
        return started_;
    }

    // Starts the root's daemon under strace with the options, and waits
    // until it serves. Killed by strace, it leaks nothing worth a report.
    pid_t StartTraced(const std::vector<std::string>& options)
    {
        std::vector<std::string> args = {"-f", "-qq", "-o", "/dev/null"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(Root() + "/bin/kaddaemon");
        childprocess::CommandLine command("strace", args);
        const char* asan = std::getenv("ASAN_OPTIONS");
        const std::string old = asan ? asan : "";
        ::setenv("ASAN_OPTIONS", (old + ":detect_leaks=0").c_str(), 1);
        const pid_t pid = Spawn("strace", args);
        if (asan)
            ::setenv("ASAN_OPTIONS", old.c_str(), 1);
        else
            ::unsetenv("ASAN_OPTIONS");
        return pid;
    }

    // The asset open for edit, and its daemon killed before its rename
    // number `rename`.
    pid_t OpenForEditKillingAtRename(int rename)
    {
        LayOutOpenForEdit();
        return StartTraced({"-e", "trace=rename", "-e", "inject=rename:signal=KILL:when=" + std::to_string(rename)});
    }

    // The next start of the daemon, which finds what the last one left.
    void Restart()
    {
        Stop();
        ASSERT_NE(Spawn(Root() + "/bin/kaddaemon", {}), 0);
    }

    void TearDown() override
    {
        Stop();
        ToolProcessTest::TearDown();
    }

    bool InTrash(const char* name, const char* username)
    {
        return Slurp(Root() + "/trash/" + name + "/config.txt") == YardConfig(username);
    }

    // The asset as the next daemon finds it: "old" when it is installed as
    // it was and still open for edit with its edit, "new" when the new
    // version is installed and the working copy, edit and all, is in the
    // trash; anything else as it is.
    std::string OldOrNew()
    {
        Restart();
        const ProcessResult status = Run({"status", kAsset});
        const std::string gravel = Slurp(Root() + "/local/yard/gravel.txt");
        if (status.out.find(" : EIadlmf : ") != std::string::npos && status.out.find(": Edited yard\n") != std::string::npos &&
            gravel == "old gravel" && Slurp(Root() + "/local/yard/config.txt") == YardConfig("Old yard") &&
            Slurp(Root() + "/editing/yard/config.txt") == YardConfig("Edited yard") && fs::is_empty(Root() + "/trash"))
            return "old";
        // The package's config comes in its binary form.
        if (status.out.find(" : eIadLmf : ") != std::string::npos && status.out.find(": New yard\n") != std::string::npos &&
            gravel == "new gravel" && fs::is_empty(Root() + "/editing") && InTrash("yard-working-copy", "Edited yard"))
            return "new";
        std::string seen = status.out;
        for (const char* folder : {"local", "editing", "trash"})
            for (const auto& entry : fs::recursive_directory_iterator(Root() + "/" + folder))
                seen += "\n" + entry.path().string().substr(Root().size());
        return seen;
    }

    std::string package_;
    pid_t started_ = 0;
};

}  // namespace

// Killed before each rename a reinstall makes, the daemon leaves the asset
// as it was: installed, open for edit, its edit where the user left it.
TEST_F(InterruptedChangeProcessTest, AReinstallKilledAtAnyRenameLeavesTheOldStateWholeOrTheNew)
{
    bool finished = false;
    for (int rename = 1; !finished && rename <= 20; ++rename) {
        SCOPED_TRACE("killed at rename " + std::to_string(rename));
        ASSERT_NE(OpenForEditKillingAtRename(rename), 0);
        const ProcessResult install = Run({"installcdp", package_});
        finished = install.exitCode == 0;
        EXPECT_EQ(OldOrNew(), finished ? "new" : "old") << install.out;
    }
    EXPECT_TRUE(finished);
}

// Killed before each rename of a delete of an asset open for edit: the
// asset is there as it was, working copy and all, or it is deleted whole.
TEST_F(InterruptedChangeProcessTest, ADeleteKilledAtAnyRenameLeavesTheAssetWholeOrDeleted)
{
    bool finished = false;
    for (int rename = 1; !finished && rename <= 20; ++rename) {
        SCOPED_TRACE("killed at rename " + std::to_string(rename));
        ASSERT_NE(OpenForEditKillingAtRename(rename), 0);
        const ProcessResult removed = Run({"delete", kAsset});
        finished = removed.exitCode == 0;
        Restart();
        const ProcessResult status = Run({"status", kAsset});
        if (status.exitCode == 255) {
            EXPECT_EQ(status.out, std::string("- ") + kAsset + " : Unknown AssetID.\nOK (1 Errors, 0 Warnings)\n");
            EXPECT_TRUE(fs::is_empty(Root() + "/editing"));
            EXPECT_FALSE(fs::exists(Root() + "/local/yard"));
            EXPECT_TRUE(InTrash("yard", "Old yard"));
            EXPECT_TRUE(InTrash("yard-working-copy", "Edited yard"));
        } else {
            EXPECT_FALSE(finished);
            EXPECT_EQ(OldOrNew(), "old");
        }
    }
    EXPECT_TRUE(finished);
}

// A reinstall one of whose folder syncs fails says so; whatever a delete
// after it says, a delete that ends 0 stays done at the next start: the
// old version never comes back from the trash.
TEST_F(InterruptedChangeProcessTest, ADeleteAfterAReinstallWhoseSyncFailedStaysDone)
{
    for (int sync = 1; sync <= 3; ++sync) {
        SCOPED_TRACE("the folder sync " + std::to_string(sync) + " of local fails");
        LayOutOpenForEdit();
        ASSERT_NE(StartTraced({"-P", Root() + "/local", "-e", "trace=fsync", "-e",
                               "inject=fsync:error=EIO:when=" + std::to_string(sync)}),
                  0);
        const ProcessResult install = Run({"installcdp", package_});
        const ProcessResult removed = Run({"delete", kAsset});
        Restart();
        const ProcessResult status = Run({"status", kAsset});
        if (removed.exitCode == 0) {
            EXPECT_EQ(status.exitCode, 255) << install.out << status.out;
            EXPECT_FALSE(fs::exists(Root() + "/local/yard"));
        }
        for (const auto& entry : fs::directory_iterator(Root() + "/trash"))
            EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
    }
}

// Killed at the rename that puts a new state file in place, the daemon
// leaves the save's temporary beside it: the next daemon to hold the root
// clears it, and the state file is the one before the change.
TEST_F(InterruptedChangeProcessTest, AStateSaveCutShortLeavesNoTemporaryAfterTheNextStart)
{
    LayOutOpenForEdit();
    root_.Write("KeywordsDump.dat", std::string(kAsset) + " \"gravel\"\n");
    ASSERT_NE(StartTraced({"-e", "trace=rename", "-e", "inject=rename:signal=KILL:when=1"}), 0);
    EXPECT_EQ(Run({"importkeywords"}).exitCode, 255);
    auto temporaries = [&]() {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(Root()))
            if (entry.path().filename().string().rfind("kaddaemon-state.txt.", 0) == 0)
                found.push_back(entry.path().filename().string());
        return found;
    };
    ASSERT_EQ(temporaries().size(), 1u);
    Restart();
    EXPECT_EQ(temporaries(), std::vector<std::string>{});
    ASSERT_EQ(Run({"backupkeywords", "after.dat"}).exitCode, 0);
    EXPECT_EQ(Slurp(Root() + "/bin/after.dat").find("gravel"), std::string::npos);
}
