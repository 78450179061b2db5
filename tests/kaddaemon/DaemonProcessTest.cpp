// The built stand-in as a process: launched the way the tool launches it,
// found through discovery, and ended by request 270 or by force.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "kad/discovery/DaemonLink.h"
#include "kad/discovery/ProcessLaunch.h"
#include "kaddaemon/RawDaemonClient.h"
#include "kaddaemon/SocketIO.h"
#include "kaddaemon/StandInRequests.h"
#include "support/ChildProcess.h"
#include "support/DaemonTestSupport.h"
#include "support/ProcFiles.h"
#include "support/StandInDaemon.h"
#include "support/TempFolder.h"

extern char** environ;

namespace {

using daemontest::WaitFor;

// A data root whose "bin" holds a copy of the built daemon (a copy, not a
// link: the daemon finds its root from its own resolved path).
class DataRoot {
public:
    DataRoot() : root_(daemontest::RealPath(temp_.Path())), cleanup_(root_)
    {
        temp_.MakeFolder("bin");
        std::filesystem::copy_file(daemontest::ProgramFolder() + "/kaddaemon", Daemon());
    }

    const std::string& Root() const { return root_; }
    std::string Daemon() const { return root_ + "/bin/kaddaemon"; }
    std::string Bin() const { return root_ + "/bin"; }
    std::string Path(const char* rel) const { return temp_ / rel; }

    // The daemon that the block names and that answers there, or 0.
    uint32_t Serving() const
    {
        DaemonSharedBlock block{};
        if (!daemontest::ReadBlock(root_, block) || block.daemonPort == 0 || !IsProcessAlive(block.holderProcessId))
            return 0;
        RawDaemonClient client;
        DaemonWire::DaemonHello hello;
        if (!client.Connect(static_cast<uint16_t>(block.daemonPort)) || !client.Handshake(root_, &hello))
            return 0;
        return hello.first == block.holderProcessId ? hello.first : 0;
    }

    uint32_t WaitServing() const
    {
        uint32_t pid = 0;
        WaitFor([&]() { return (pid = Serving()) != 0; });
        return pid;
    }

    uint16_t Port() const
    {
        DaemonSharedBlock block{};
        daemontest::ReadBlock(root_, block);
        return static_cast<uint16_t>(block.daemonPort);
    }

private:
    TempFolder temp_;
    std::string root_;
    daemontest::DiscoveryCleanup cleanup_;
};

// Daemons the test started itself, so that it can collect their exit
// codes; any still running when the test ends (it failed half-way) are
// killed rather than left behind.
class Children {
public:
    ~Children()
    {
        for (pid_t pid : running_) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    pid_t Spawn(const std::string& program, const std::vector<std::string>& args = {})
    {
        childprocess::CommandLine command(program, args);
        pid_t pid = 0;
        if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, command.Argv(), environ) != 0)
            return 0;
        running_.push_back(pid);
        return pid;
    }

    // As Spawn, with the standard error going into the file `log`.
    pid_t SpawnLogged(const std::string& program, const std::string& log)
    {
        childprocess::CommandLine command(program, {});
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = 0;
        const int failed = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, command.Argv(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (failed != 0)
            return 0;
        running_.push_back(pid);
        return pid;
    }

    // The exit code, or -1 when it did not end in time (it is killed then).
    int WaitExit(pid_t pid, int seconds = 60)
    {
        int status = 0;
        bool ended = WaitFor([&]() { return ::waitpid(pid, &status, WNOHANG) == pid; },
                             std::chrono::milliseconds(seconds * 1000));
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        std::erase(running_, pid);
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void Kill(pid_t pid)
    {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        std::erase(running_, pid);
    }

private:
    std::vector<pid_t> running_;
};

bool CloseDaemon(uint16_t port)
{
    RawDaemonClient client;
    if (!client.Connect(port) || !client.Handshake() || !client.SendRequest(DaemonWire::kRequestCloseDaemon, 1, ""))
        return false;
    uint32_t tag = 0;
    uint32_t id = 0;
    std::string payload;
    return client.ReadFrame(tag, id, payload) && tag == DaemonWire::kTagReply && id == 1 && client.WaitClosed();
}

// The daemon answers a request (the keep-alive): it has opened its root.
bool AnswersRequests(uint16_t port)
{
    RawDaemonClient client;
    if (!client.Connect(port) || !client.Handshake() || !client.SendRequest(0, 1, ""))
        return false;
    uint32_t tag = 0;
    uint32_t id = 0;
    std::string payload;
    return client.ReadFrame(tag, id, payload) && tag == DaemonWire::kTagReply && id == 1;
}

TEST(DaemonProcess, LaunchedLikeTheToolDoesItServesItsRootUntilRequest270)
{
    DataRoot data;
    uint32_t launched = LaunchProcess(data.Daemon(), "--trace \"" + data.Path("trace.txt") + "\"", data.Bin(),
                                      kLaunchHidden);
    ASSERT_NE(launched, 0u);
    // Should the test fail half-way, the daemon does not outlive it.
    std::unique_ptr<void, std::function<void(void*)>> killer(&launched, [&](void*) {
        if (IsProcessAlive(launched))
            ::kill(static_cast<pid_t>(launched), SIGKILL);
    });
    ASSERT_EQ(data.WaitServing(), launched);

    // What a client finds through discovery.
    DaemonLink link;
    ASSERT_TRUE(link.Attach(data.Root() + "/assets.tdx"));
    uint16_t port = static_cast<uint16_t>(link.GetPort());
    link.Detach();
    ASSERT_EQ(port, data.Port());

    RawDaemonClient client;
    ASSERT_TRUE(client.Connect(port));
    ASSERT_TRUE(client.Handshake(data.Root()));
    ASSERT_TRUE(client.SendRequest(77, 5, "payload"));
    uint32_t tag = 0;
    uint32_t id = 0;
    std::string payload = "x";
    ASSERT_TRUE(client.ReadFrame(tag, id, payload));
    EXPECT_EQ(tag, DaemonWire::kTagReply);
    EXPECT_EQ(id, 5u);
    EXPECT_TRUE(payload.empty());

    ASSERT_TRUE(client.SendRequest(DaemonWire::kRequestCloseDaemon, 6, ""));
    ASSERT_TRUE(client.ReadFrame(tag, id, payload));
    EXPECT_EQ(id, 6u);
    EXPECT_TRUE(client.WaitClosed());
    // Ended and collected (the launcher leaves no zombie behind).
    EXPECT_TRUE(WaitFor([&]() { return !std::filesystem::exists("/proc/" + std::to_string(launched)); }));
    // It removed its discovery objects, and nothing is left beside them.
    EXPECT_EQ(daemontest::DiscoveryFiles(data.Root()), std::vector<std::string>());
    EXPECT_TRUE(std::filesystem::file_size(data.Path("trace.txt")) > 0);
}

TEST(DaemonProcess, TwoStartedOnOneRootLeaveExactlyOneServing)
{
    DataRoot data;
    Children children;
    pid_t a = children.Spawn(data.Daemon());
    pid_t b = children.Spawn(data.Daemon());
    ASSERT_NE(a, 0);
    ASSERT_NE(b, 0);
    uint32_t serving = data.WaitServing();
    ASSERT_TRUE(serving == uint32_t(a) || serving == uint32_t(b));
    pid_t loser = serving == uint32_t(a) ? b : a;
    pid_t winner = serving == uint32_t(a) ? a : b;
    EXPECT_EQ(children.WaitExit(loser), 0);
    EXPECT_EQ(data.Serving(), uint32_t(winner));

    ASSERT_TRUE(CloseDaemon(data.Port()));
    EXPECT_EQ(children.WaitExit(winner), 0);
}

TEST(DaemonProcess, AKilledDaemonIsReplacedByTheNextLaunch)
{
    DataRoot data;
    Children children;
    const DaemonObjectNames names = daemontest::NamesOfRoot(data.Root());
    const std::string blockPath = "/dev/shm" + names.sharedMemoryPath;
    pid_t first = children.Spawn(data.Daemon());
    ASSERT_EQ(data.WaitServing(), uint32_t(first));
    const uint64_t lockInode = daemontest::ShmInode(names.lockFilePath);
    const uint64_t blockInode = daemontest::ShmInode(blockPath);
    ASSERT_NE(lockInode, 0u);
    ASSERT_NE(blockInode, 0u);
    children.Kill(first);

    // The set the killed one left is taken over, not made a second time.
    pid_t second = children.Spawn(data.Daemon());
    ASSERT_EQ(data.WaitServing(), uint32_t(second));
    EXPECT_EQ(daemontest::ShmInode(names.lockFilePath), lockInode);
    EXPECT_EQ(daemontest::ShmInode(blockPath), blockInode);
    EXPECT_EQ(daemontest::DiscoveryFiles(data.Root()).size(), 2u);
    ASSERT_TRUE(CloseDaemon(data.Port()));
    EXPECT_EQ(children.WaitExit(second), 0);
    EXPECT_EQ(daemontest::DiscoveryFiles(data.Root()), std::vector<std::string>());
}

TEST(DaemonProcess, ARequestStuckForGoodKeepsAClosedDaemonNeitherRunningNorItsRootTaken)
{
    DataRoot data;
    Children children;
    pid_t daemon = children.Spawn(data.Daemon(), {"--test-requests"});
    ASSERT_EQ(data.WaitServing(), uint32_t(daemon));
    RawDaemonClient stuck;
    ASSERT_TRUE(stuck.Connect(data.Port()) && stuck.Handshake(data.Root()));
    ASSERT_TRUE(stuck.SendRequest(kaddaemon::testrequest::kStuck, 1, ""));

    RawDaemonClient closer;
    ASSERT_TRUE(closer.Connect(data.Port()) && closer.Handshake(data.Root()));
    ASSERT_TRUE(closer.SendRequest(DaemonWire::kRequestCloseDaemon, 2, ""));
    uint32_t tag = 0;
    uint32_t id = 0;
    std::string payload;
    ASSERT_TRUE(closer.ReadFrame(tag, id, payload));
    EXPECT_EQ(id, 2u);
    // While it is still there, the root is still its own, so that no second
    // daemon is started on the root beside it.
    DaemonSharedBlock block{};
    ASSERT_TRUE(daemontest::ReadBlock(data.Root(), block));
    EXPECT_EQ(block.holderProcessId, uint32_t(daemon));
    // The closing client sees the connection end only once the root is free.
    EXPECT_TRUE(WaitFor([&]() {
        char c;
        const ssize_t got = ::recv(closer.Fd(), &c, 1, 0);
        return got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
    }));
    EXPECT_EQ(children.WaitExit(daemon), 0);
    EXPECT_EQ(data.Serving(), 0u);
    EXPECT_EQ(daemontest::DiscoveryFiles(data.Root()), std::vector<std::string>());
}

// A process stopped by a signal: the state letter of /proc/<pid>/stat.
bool Stopped(pid_t pid)
{
    const std::vector<std::string> fields = proctest::StatFields(pid);
    return !fields.empty() && fields[0] == "T";
}

// A process reaped before its /proc files are read, or between the open of
// one and its read, has ended: no read of them throws.
TEST(DaemonProcess, AProcessReapedAroundAReadOfItsProcFilesHasEnded)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::pause();
        ::_exit(0);
    }
    EXPECT_FALSE(standin::Ended(uint32_t(child)));
    const int opened = ::open(("/proc/" + std::to_string(child) + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(opened, 0);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    // The file opened before opens again through its descriptor, and only
    // its read fails.
    std::string text = "not read";
    EXPECT_NO_THROW(text = proctest::ReadProcFile("/proc/self/fd/" + std::to_string(opened)));
    EXPECT_EQ(text, "");
    EXPECT_TRUE(standin::Ended(uint32_t(child)));
    EXPECT_FALSE(Stopped(child));
    ::close(opened);
}

TEST(DaemonProcess, APausedDaemonThatWasReplacedEndsWhenItGoesOnAndLeavesTheNewOneServing)
{
    DataRoot data;
    Children children;
    pid_t first = children.Spawn(data.Daemon());
    ASSERT_EQ(data.WaitServing(), uint32_t(first));
    ASSERT_EQ(::kill(first, SIGSTOP), 0);
    ASSERT_TRUE(WaitFor([&]() { return Stopped(first); }));

    // The paused one does not answer the newcomer's probe, so the
    // newcomer takes the block over.
    pid_t second = children.Spawn(data.Daemon());
    ASSERT_TRUE(WaitFor([&]() {
        DaemonSharedBlock block{};
        return daemontest::ReadBlock(data.Root(), block) && block.holderProcessId == uint32_t(second)
               && block.daemonPort != 0;
    }));
    ASSERT_EQ(::kill(first, SIGCONT), 0);
    EXPECT_EQ(children.WaitExit(first), 0);

    // The one that left took nothing of the new one's with it.
    EXPECT_EQ(data.Serving(), uint32_t(second));
    ASSERT_TRUE(CloseDaemon(data.Port()));
    EXPECT_EQ(children.WaitExit(second), 0);
    EXPECT_EQ(daemontest::DiscoveryFiles(data.Root()), std::vector<std::string>());
}

TEST(DaemonProcess, AStaleOrFalseEntryInTheBlockIsTakenOver)
{
    // An entry of a process that is gone; one of a live process that is no
    // daemon, at a port where nobody listens; and one of a live process at
    // the port of a daemon of another root, which answers as itself.
    DataRoot other;
    Children children;
    pid_t otherDaemon = children.Spawn(other.Daemon());
    ASSERT_EQ(other.WaitServing(), uint32_t(otherDaemon));

    uint16_t unusedPort = 0;
    int probe = kaddaemon::ListenLoopback(unusedPort);
    kaddaemon::CloseSocket(probe);

    const struct {
        const char* what;
        uint32_t holder;
        uint32_t port;
    } cases[] = {
        {"dead holder", daemontest::DeadProcessId(), other.Port()},
        {"live holder, nobody listening", static_cast<uint32_t>(::getpid()), unusedPort},
        {"live holder, another daemon answering", static_cast<uint32_t>(::getppid()), other.Port()},
    };
    for (const auto& c : cases) {
        DataRoot data;
        {
            // Not any of the holders above, so leaving clears nothing.
            DaemonLink setter(daemontest::DeadProcessId() + 1);
            ASSERT_TRUE(setter.Attach(data.Root() + "/assets.tdx"));
            setter.Lock();
            DaemonSharedBlock::Store(setter.Block()->holderProcessId, c.holder);
            DaemonSharedBlock::Store(setter.Block()->daemonPort, c.port);
            setter.Unlock();
        }
        pid_t daemon = children.Spawn(data.Daemon());
        EXPECT_EQ(data.WaitServing(), uint32_t(daemon)) << c.what;
        ASSERT_TRUE(CloseDaemon(data.Port())) << c.what;
        EXPECT_EQ(children.WaitExit(daemon), 0) << c.what;
    }

    ASSERT_TRUE(CloseDaemon(other.Port()));
    EXPECT_EQ(children.WaitExit(otherDaemon), 0);
}

TEST(DaemonProcess, CommandLineAndRootProblemsEndItWithAnError)
{
    DataRoot data;
    Children children;
    EXPECT_EQ(children.WaitExit(children.Spawn(data.Daemon(), {"--bogus"})), 2);
    EXPECT_EQ(children.WaitExit(children.Spawn(data.Daemon(), {"--root"})), 2);
    EXPECT_EQ(children.WaitExit(children.Spawn(data.Daemon(), {"--test-requests=yes"})), 2);
    // Only a test may lower the state file's limit, and only to a number.
    EXPECT_EQ(children.WaitExit(children.Spawn(data.Daemon(), {"--test-state-limit", "100"})), 2);
    for (const char* limit : {"0", "1k", "", "12345678901234567890"})
        EXPECT_EQ(children.WaitExit(children.Spawn(data.Daemon(), {"--test-requests", "--test-state-limit", limit})), 2)
            << limit;
    EXPECT_EQ(children.WaitExit(children.Spawn(data.Daemon(), {"--root", data.Root() + "/missing"})), 1);
    EXPECT_EQ(children.WaitExit(children.Spawn(data.Daemon(), {"--trace", data.Root() + "/missing/trace.txt"})), 1);
}

// What looks like a crash's leftovers under a served root may be the
// serving daemon's work under way: a daemon that finds the root served
// leaves before it touches anything there.
TEST(DaemonProcess, OneThatFindsTheRootServedLeavesEverythingThereAsItWas)
{
    DataRoot data;
    Children children;
    pid_t first = children.Spawn(data.Daemon());
    ASSERT_EQ(data.WaitServing(), uint32_t(first));
    // It answers the handshake before it has opened its root, and clears
    // what a crash left as it opens it.
    ASSERT_TRUE(AnswersRequests(data.Port()));
    const char* const work[] = {"editing/.installing-1-big/config.txt", "editing/.installing-1-big/part-7.txt",
                                "editing/.created-shed/config.txt", "editing/.copying-engine/config.txt",
                                "trash/.replacing-engine/config.txt"};
    for (const char* rel : work) {
        std::filesystem::create_directories(std::filesystem::path(data.Root() + "/" + rel).parent_path());
        std::ofstream(data.Root() + "/" + rel) << "under way";
    }
    EXPECT_EQ(children.WaitExit(children.Spawn(data.Daemon())), 0);
    for (const char* rel : work)
        EXPECT_TRUE(std::filesystem::exists(data.Root() + "/" + rel)) << rel;
    EXPECT_EQ(data.Serving(), uint32_t(first));
    ASSERT_TRUE(CloseDaemon(data.Port()));
    EXPECT_EQ(children.WaitExit(first), 0);
}

// A FIFO where the state file belongs would hold the daemon in its open for
// ever, and anything else cannot be read or saved: the daemon says which
// file it refuses, on its standard error and in the root's log, and ends.
TEST(DaemonProcess, AStateFileThatIsNoRegularFileIsRefusedAndTheDaemonEnds)
{
    const struct {
        const char* what;
        std::function<int(const std::string&)> make;
    } cases[] = {
        {"fifo", [](const std::string& path) { return ::mkfifo(path.c_str(), 0600); }},
        {"folder", [](const std::string& path) { return ::mkdir(path.c_str(), 0700); }},
        {"link to a fifo", [](const std::string& path) {
             return ::mkfifo((path + ".fifo").c_str(), 0600) | ::symlink((path + ".fifo").c_str(), path.c_str());
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DataRoot data;
        Children children;
        const std::string state = data.Root() + "/kaddaemon-state.txt";
        ASSERT_EQ(c.make(state), 0);
        const std::string log = data.Path("stderr.txt");
        pid_t daemon = children.SpawnLogged(data.Daemon(), log);
        EXPECT_EQ(children.WaitExit(daemon, 20), 1);
        std::ifstream in(log);
        const std::string said((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_NE(said.find("the state file " + state + " is not a regular file"), std::string::npos) << said;
        // Launched by the tool, its standard error goes nowhere: the reason
        // is in the root's log as well.
        std::ifstream kept(data.Root() + "/kaddaemon.log");
        const std::string logged((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
        EXPECT_NE(logged.find(" kaddaemon[" + std::to_string(daemon) + "]: the state file " + state +
                              " is not a regular file\n"),
                  std::string::npos)
            << logged;
        EXPECT_EQ(data.Serving(), 0u);
        EXPECT_EQ(daemontest::DiscoveryFiles(data.Root()), std::vector<std::string>());
    }
}

// A state file read only up to its damage would be written back short of
// the rest at the first change: the daemon refuses it as it is, says which
// file and where the reading stops, and ends.
TEST(DaemonProcess, AStateFileThatDoesNotReadWholeIsRefusedAndKeptAsItWas)
{
    const std::string good = "assets\r\n{\r\n  0\r\n  {\r\n    kuid <kuid:1:2>\r\n  }\r\n  1\r\n  {\r\n"
                             "    kuid <kuid:1:3>\r\n    favourite 1\r\n  }\r\n}\r\n";
    std::u16string wide(good.begin(), good.end());
    const size_t second = good.find("  1\r\n");
    const struct {
        const char* what;
        std::string text;
        const char* where;
    } cases[] = {
        {"junk before", "\x01\x02" + good, "line 1: text that is no tag"},
        {"a NUL line", good.substr(0, second) + std::string(2, '\0') + "\r\n" + good.substr(second), "line 7: a NUL byte"},
        {"a stray brace", good.substr(0, second) + "}\r\n" + good.substr(second), "line 8: \"1\" is no tag of the state file"},
        {"UTF-16", std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2), "line 1: a NUL byte"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DataRoot data;
        Children children;
        const std::string state = data.Root() + "/kaddaemon-state.txt";
        std::ofstream(state, std::ios::binary) << c.text;
        const std::string log = data.Path("stderr.txt");
        pid_t daemon = children.SpawnLogged(data.Daemon(), log);
        EXPECT_EQ(children.WaitExit(daemon, 20), 1);
        const std::string reason = "the state file " + state + " does not read whole: " + c.where + "\n";
        std::ifstream in(log);
        const std::string said((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_NE(said.find(reason), std::string::npos) << said;
        std::ifstream kept(data.Root() + "/kaddaemon.log");
        const std::string logged((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
        EXPECT_NE(logged.find(" kaddaemon[" + std::to_string(daemon) + "]: " + reason), std::string::npos) << logged;
        std::ifstream after(state, std::ios::binary);
        EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), std::istreambuf_iterator<char>()), c.text);
        EXPECT_EQ(data.Serving(), 0u);
    }
}

TEST(DaemonProcess, RootCanBeGivenOnTheCommandLine)
{
    DataRoot data;
    DataRoot elsewhere;
    Children children;
    pid_t daemon = children.Spawn(elsewhere.Daemon(), {"--root=" + data.Root()});
    ASSERT_EQ(data.WaitServing(), uint32_t(daemon));
    EXPECT_EQ(elsewhere.Serving(), 0u);
    ASSERT_TRUE(CloseDaemon(data.Port()));
    EXPECT_EQ(children.WaitExit(daemon), 0);
}

}  // namespace
