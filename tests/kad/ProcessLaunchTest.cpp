#include "kad/discovery/ProcessLaunch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/DaemonTestSupport.h"
#include "support/ProcFiles.h"
#include "support/TempFolder.h"

namespace {

using daemontest::WaitFor;

std::string Link(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::read_symlink(path, ec).string();
}

std::vector<std::string> CommandLine(uint32_t pid)
{
    std::istringstream in(proctest::ReadProcFile("/proc/" + std::to_string(pid) + "/cmdline"));
    std::vector<std::string> words;
    for (std::string word; std::getline(in, word, '\0');)
        words.push_back(word);
    return words;
}

std::vector<std::string> OpenDescriptors(uint32_t pid)
{
    std::vector<std::string> fds;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec))
        fds.push_back(e.path().filename().string());
    std::sort(fds.begin(), fds.end());
    return fds;
}

// The processes whose parent is `pid`.
std::vector<uint32_t> Children(uint32_t pid)
{
    std::vector<uint32_t> children;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::vector<std::string> stat = proctest::StatFields(static_cast<pid_t>(std::stoul(name)));
        if (stat.size() > 1 && stat[1] == std::to_string(pid))
            children.push_back(static_cast<uint32_t>(std::stoul(name)));
    }
    return children;
}

bool Gone(uint32_t pid)
{
    return !std::filesystem::exists("/proc/" + std::to_string(pid));
}

TEST(ProcessLaunch, IsProcessAliveKnowsTheLivingFromTheRest)
{
    const struct {
        uint32_t pid;
        bool alive;
    } cases[] = {
        {0u, false},
        {0xFFFFFFFFu, false},
        {0x80000000u, false},
        {daemontest::DeadProcessId(), false},
        {static_cast<uint32_t>(::getpid()), true},
        {CurrentProcessId(), true},
        {1u, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsProcessAlive(c.pid), c.alive) << c.pid;
}

TEST(ProcessLaunch, GetModulePathNamesThisProgram)
{
    Nyx::File::Path path;
    ASSERT_TRUE(GetModulePath(path));
    EXPECT_TRUE(path.IsAbsolute());
    EXPECT_EQ(path.FileName(), "test_kad");
    EXPECT_EQ(path.Str(), daemontest::RealPath("/proc/self/exe"));
}

TEST(ProcessLaunch, TheLaunchedProcessIsDetachedAndQuiet)
{
    TempFolder temp;
    temp.MakeFolder("bin");
    std::string folder = daemontest::RealPath(temp / "bin");

    // Descriptors of ours must not leak into the child.
    int mine = ::open("/dev/zero", O_RDONLY);
    ASSERT_GE(mine, 3);
    uint32_t pid = LaunchProcess("/bin/sh", "-c \"sleep 30; exit 0\"", folder, kLaunchHidden);
    ::close(mine);
    ASSERT_NE(pid, 0u);
    // Wait until the shell has run (its command line is in place). Until its
    // exec the child still shows this program's command line, which may have
    // three words too.
    const std::vector<std::string> shell = {"/bin/sh", "-c", "sleep 30; exit 0"};
    EXPECT_TRUE(WaitFor([&]() { return CommandLine(pid) == shell; }));
    ASSERT_EQ(CommandLine(pid), shell);
    EXPECT_EQ(Link("/proc/" + std::to_string(pid) + "/cwd"), folder);
    for (int fd = 0; fd < 3; ++fd)
        EXPECT_EQ(Link("/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd)), "/dev/null") << fd;
    // Right after the exec the loader opens its libraries one after
    // another, each for a moment: only a shell that has started its sleep
    // is past it, and a descriptor that leaked from here stays.
    EXPECT_TRUE(WaitFor([&]() { return !Children(pid).empty(); }));
    EXPECT_EQ(OpenDescriptors(pid), (std::vector<std::string>{"0", "1", "2"}));
    std::vector<std::string> stat = proctest::StatFields(static_cast<pid_t>(pid));
    ASSERT_GE(stat.size(), 4u);
    EXPECT_EQ(stat[3], std::to_string(pid)) << "leads a session of its own";

    // Its end is collected without the caller waiting: no zombie stays.
    ::kill(-static_cast<pid_t>(pid), SIGKILL);  // the shell and its sleep
    EXPECT_TRUE(WaitFor([&]() { return Gone(pid); }));
    EXPECT_FALSE(IsProcessAlive(pid));
}

TEST(ProcessLaunch, PathsAreTakenWithEitherSlashAndAnyCase)
{
    const char* forms[] = {"/bin/sleep", "\\bin\\sleep", "/BIN/Sleep"};
    for (const char* form : forms) {
        uint32_t pid = LaunchProcess(form, "30", "", kLaunchHidden | kLaunchMinimised);
        ASSERT_NE(pid, 0u) << form;
        // Before its exec the child shows this program's command line.
        EXPECT_TRUE(WaitFor([&]() {
            std::vector<std::string> words = CommandLine(pid);
            return words.size() == 2 && words[1] == "30";
        })) << form;
        ::kill(static_cast<pid_t>(pid), SIGKILL);
        EXPECT_TRUE(WaitFor([&]() { return Gone(pid); }));
    }
}

TEST(ProcessLaunch, WhatCannotBeStartedGivesZero)
{
    TempFolder temp;
    temp.Write("notes.txt", "not a program");
    ::chmod((temp / "notes.txt").c_str(), 0644);
    EXPECT_EQ(LaunchProcess(temp / "missing", "", "", kLaunchHidden), 0u);
    EXPECT_EQ(LaunchProcess(temp / "notes.txt", "", "", kLaunchHidden), 0u);
    EXPECT_EQ(LaunchProcess("", "", "", kLaunchHidden), 0u);
    EXPECT_EQ(LaunchProcess("/bin/sleep", "30", temp / "no-such-folder", kLaunchHidden), 0u);
}

}  // namespace
