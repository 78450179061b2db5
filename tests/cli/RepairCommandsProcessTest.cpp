// "repairdatabase" of the built program against the stand-in daemon, as
// separate processes on a data root of their own.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "ToolProcess.h"
#include "kad/discovery/ProcessLaunch.h"
#include "kaddaemon/RawDaemonClient.h"

namespace {

namespace fs = std::filesystem;

const std::string kRepairing = "Repairing asset database (this may take some time)\n";
const std::string kClean = "OK (0 Errors, 0 Warnings)\n";
const char* const kBlue = "kuid <kuid:77:500>\nusername \"Blue\"\nkind \"track\"\n";
const char* const kRed = "kuid <kuid:77:501>\nusername \"Red\"\nkind \"track\"\n";

// Test-only numbers of the stand-in (see tools/kaddaemon/RepairRequests.h).
constexpr uint32_t kRepairHoldRunning = 60030;
constexpr uint32_t kRepairDropAfterPoll = 60031;

std::string U32(uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

// The stand-in started by the test, with its trace and its test-only
// requests, before the tool finds it.
class RepairProcessTest : public ToolProcessTest {
protected:
    void LaunchStandIn()
    {
        const std::string bin = Root() + "/bin";
        uint32_t pid = LaunchProcess(bin + "/kaddaemon", "--test-requests --trace \"" + TracePath() + "\"", bin,
                                     kLaunchHidden);
        ASSERT_NE(pid, 0u);
        ASSERT_TRUE(daemontest::WaitFor([&]() { return standin::Serving(Root()) == pid; }));
    }

    std::string TracePath() const { return output_ / "trace.txt"; }

    // The trace lines that begin with the prefix.
    std::vector<std::string> Traced(const std::string& prefix) const
    {
        std::vector<std::string> found;
        std::istringstream lines(Slurp(TracePath()));
        for (std::string line; std::getline(lines, line);)
            if (line.rfind(prefix, 0) == 0)
                found.push_back(line);
        return found;
    }
    size_t TraceCount(const std::string& prefix) const { return Traced(prefix).size(); }

    // A test-only request on a connection of its own.
    void Ask(uint32_t number, const std::string& payload)
    {
        DaemonSharedBlock block{};
        ASSERT_TRUE(daemontest::ReadBlock(Root(), block));
        RawDaemonClient client;
        ASSERT_TRUE(client.Connect(static_cast<uint16_t>(block.daemonPort)));
        ASSERT_TRUE(client.Handshake(Root()));
        ASSERT_TRUE(client.SendRequest(number, 1, payload));
        uint32_t tag = 0, id = 0;
        std::string reply;
        ASSERT_TRUE(client.ReadFrame(tag, id, reply));
        EXPECT_EQ(id, 1u);
    }

    // The tool started without waiting for it, as RunTool runs it.
    pid_t StartTool(const std::vector<std::string>& args)
    {
        return StartToolProcess(Root(), output_.Path(), args);
    }

    // Waits (a long while at most) for the tool started by StartTool.
    ProcessResult FinishTool(pid_t pid)
    {
        int status = 0;
        bool ended = daemontest::WaitFor([&]() { return ::waitpid(pid, &status, WNOHANG) == pid; },
                                         std::chrono::milliseconds(60000));
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        EXPECT_TRUE(ended) << "the tool did not end";
        return ToolProcessResult(output_.Path(), status);
    }
};

TEST_F(RepairProcessTest, TheModeFollowsTheParameter)
{
    LaunchStandIn();
    struct Case {
        std::vector<std::string> args;
        long mode;
    };
    const Case cases[] = {
        {{"repairdatabase"}, 100},
        {{"repairdatabase", "extended"}, 150},
        {{"RepairDatabase", "PATCHER"}, 50},
        {{"repairdatabase", "quick"}, 100},
    };
    size_t repairs = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        ProcessResult r = Run(c.args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, kRepairing + kClean);
        // "do repair <mode> <transaction id> 0"
        std::vector<std::string> started = Traced("do repair ");
        ASSERT_EQ(started.size(), ++repairs);
        EXPECT_EQ(std::stol(started.back().substr(10)), c.mode);
    }
}

TEST_F(RepairProcessTest, ADamagedConfigIsOneErrorAndANewFolderIsFound)
{
    root_.Write("local/blue/config.txt", kBlue);
    root_.Write("local/broken/config.chump", "not a binary config");
    LaunchStandIn();
    // An asset put in place behind the daemon's back is found by the repair.
    root_.Write("local/red/config.txt", kRed);

    ProcessResult r = Run({"repairdatabase"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, kRepairing + "- <NULL> : The config of local/broken does not load.\nOK (1 Errors, 0 Warnings)\n");
    EXPECT_EQ(TraceCount("in request 3 "), 1u);
    EXPECT_GE(TraceCount("in request 4 "), 1u);

    ProcessResult status = Run({"status", "<kuid:77:501>"});
    EXPECT_EQ(status.exitCode, 0);
    EXPECT_EQ(status.out.rfind("+ <kuid:77:501> : eI", 0), 0u) << status.out;
}

TEST_F(RepairProcessTest, AConsoleEventDuringALongRepairEndsTheCommandCleanly)
{
    LaunchStandIn();
    // The daemon never says done.
    Ask(kRepairHoldRunning, U32(0xFFFFFFFFu));
    struct Case {
        int signal;
        int eventType;  // as the log line names it
    };
    for (const Case c : {Case{SIGINT, 0}, Case{SIGHUP, 2}, Case{SIGTERM, 6}}) {
        SCOPED_TRACE(strsignal(c.signal));
        const size_t polls = TraceCount("in request 4 ");
        pid_t pid = StartTool({"repairdatabase"});
        ASSERT_GT(pid, 0);
        // Polled twice: the repair is under way.
        ASSERT_TRUE(daemontest::WaitFor([&]() { return TraceCount("in request 4 ") >= polls + 2; },
                                        std::chrono::milliseconds(30000)));
        ASSERT_EQ(::kill(pid, c.signal), 0);
        ProcessResult r = FinishTool(pid);
        EXPECT_EQ(r.exitCode, 0);
        // The log line of the event, and then the command's own end.
        const std::string logged =
            "Console Window event handler called for CtrlType=" + std::to_string(c.eventType) + "\n";
        size_t at = r.out.find(logged);
        ASSERT_NE(at, std::string::npos) << r.out;
        EXPECT_EQ(r.out.erase(at, logged.size()), kRepairing + kClean);
        EXPECT_EQ(r.err, "");
    }
    // An orderly end leaves no crash report.
    for (const auto& entry : fs::directory_iterator(Root() + "/bin"))
        EXPECT_EQ(entry.path().filename().string().rfind("Kestro-", 0), std::string::npos) << entry.path();
    Ask(kRepairHoldRunning, U32(0));
}

// A repair whose daemon goes away before it has said "done" has not been
// done: an error, and -1 (seen as 255).
TEST_F(RepairProcessTest, ALostDaemonIsAnErrorAndNotAFinishedRepair)
{
    const std::string lost = "- <NULL> : The connection to the asset database daemon was lost.\n";
    struct Case {
        const char* name;
        bool killed;  // else the daemon drops the link after its second poll
    };
    for (const Case c : {Case{"the link dropped", false}, Case{"the daemon killed", true}}) {
        SCOPED_TRACE(c.name);
        LaunchStandIn();
        Ask(kRepairHoldRunning, U32(0xFFFFFFFFu));
        const size_t polls = TraceCount("in request 4 ");
        if (!c.killed)
            Ask(kRepairDropAfterPoll, "");
        pid_t pid = StartTool({"repairdatabase"});
        ASSERT_GT(pid, 0);
        if (c.killed) {
            ASSERT_TRUE(daemontest::WaitFor([&]() { return TraceCount("in request 4 ") >= polls + 2; },
                                            std::chrono::milliseconds(30000)));
            standin::Kill(Root());
        }
        ProcessResult r = FinishTool(pid);
        EXPECT_EQ(r.exitCode, 255);
        EXPECT_EQ(r.out, kRepairing + lost + "OK (1 Errors, 0 Warnings)\n");
        standin::Kill(Root());
        ASSERT_TRUE(daemontest::WaitFor([&]() { return standin::Serving(Root()) == 0; }));
    }
}

}  // namespace
