// The daemon client with the built stand-in as a separate process, launched
// by the client itself from the data root's "bin" folder.
#include "kad/client/KADClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "kad/discovery/ProcessLaunch.h"
#include "kaddaemon/ClientTestSupport.h"

namespace {

using namespace clienttest;
using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A data root whose "bin" holds a copy of the built stand-in (a copy: the
// stand-in finds its root from its own resolved path).
class KADClientProcessTest : public ::testing::Test {
protected:
    KADClientProcessTest() : root_(daemontest::RealPath(temp_.Path())), cleanup_(root_)
    {
        NetStartup();
        temp_.MakeFolder("bin");
        std::filesystem::copy_file(daemontest::ProgramFolder() + "/kaddaemon", root_ + "/bin/kaddaemon");
    }
    ~KADClientProcessTest() override
    {
        KADClient::Stop();
        // A daemon the test left running does not outlive it.
        uint32_t pid = Daemon();
        if (pid != 0)
            ::kill(static_cast<pid_t>(pid), SIGKILL);
    }

    bool StartClient()
    {
        KADClientSettings settings;
        settings.path = root_;
        settings.flags[2] = 0;
        settings.flags[KADClientSettings::kFlagMayLaunchDaemon] = 0;
        return KADClient::Start(settings);
    }

    // Starts the stand-in the way the tool does, but with its test-only
    // requests; the client then finds it serving. Its process id, or 0.
    uint32_t LaunchWithTestRequests()
    {
        uint32_t pid = LaunchProcess(root_ + "/bin/kaddaemon", "--test-requests --trace \"" + TracePath() + "\"",
                                     root_ + "/bin", kLaunchHidden);
        if (pid == 0 || !WaitFor([&]() { return Daemon() == pid; }))
            return 0;
        return pid;
    }

    std::string TracePath() const { return root_ + "/trace.txt"; }

    // True once the stand-in's trace holds a line that begins so.
    bool Traced(const std::string& prefix) const
    {
        std::ifstream trace(TracePath());
        for (std::string line; std::getline(trace, line);) {
            if (line.rfind(prefix, 0) == 0)
                return true;
        }
        return false;
    }

    // The live process the discovery block names, or 0.
    uint32_t Daemon() const
    {
        DaemonSharedBlock block{};
        if (!daemontest::ReadBlock(root_, block) || block.holderProcessId == DaemonSharedBlock::kNoProcess
            || block.holderProcessId == CurrentProcessId() || !IsProcessAlive(block.holderProcessId))
            return 0;
        return block.holderProcessId;
    }
    // Gone, and collected by the launcher's reaping thread.
    static bool Gone(uint32_t pid)
    {
        return WaitFor([&]() { return !std::filesystem::exists("/proc/" + std::to_string(pid)); });
    }

    TempFolder temp_;
    std::string root_;
    daemontest::DiscoveryCleanup cleanup_;
};

TEST_F(KADClientProcessTest, StartLaunchesTheStandInBeforeItsSecondAttemptAndCloseDaemonEndsIt)
{
    Clock::time_point start = Clock::now();
    ASSERT_TRUE(StartClient());
    EXPECT_GE(MsSince(start), static_cast<long long>(KADClient::kAttemptPauseMs));
    const uint32_t pid = Daemon();
    ASSERT_NE(pid, 0u);
    // Started as the tool starts it, the stand-in answers its test-only
    // requests as it answers any number it does not know: with an empty
    // reply. Request 150 is a real request and stays.
    const uint32_t testOnly[] = {testrequest::kEcho, testrequest::kResults, testrequest::kStrayReply,
                                 testrequest::kLastAnswer, 12345};
    for (uint32_t number : testOnly) {
        std::string reply = "unchanged";
        EXPECT_TRUE(Call(number, U32(2), &reply)) << number;
        EXPECT_EQ(reply, "") << number;
    }
    std::string reply;
    EXPECT_TRUE(Call(KADClient::kRequestAnswerQuestion, U32(7) + U32(1), &reply));
    EXPECT_TRUE(KADClient::IsConnected());

    // A second client start finds it serving: no launch, no pause.
    KADClient::Stop();
    start = Clock::now();
    ASSERT_TRUE(StartClient());
    EXPECT_LT(MsSince(start), static_cast<long long>(KADClient::kAttemptPauseMs));
    EXPECT_EQ(Daemon(), pid);

    KADClient::CloseDaemon();
    EXPECT_FALSE(KADClient::IsConnected());
    EXPECT_TRUE(Gone(pid));
}

TEST_F(KADClientProcessTest, ADaemonKilledMidRequestFailsItWithoutHanging)
{
    const uint32_t pid = LaunchWithTestRequests();
    ASSERT_NE(pid, 0u);
    ASSERT_TRUE(StartClient());
    ASSERT_EQ(Daemon(), pid);
    std::atomic<bool> done{false};
    bool ok = true;
    std::thread requester([&]() {
        ok = Call(testrequest::kHold, "never answered");
        done = true;
    });
    // The request is out, and held, before the daemon dies.
    ASSERT_TRUE(WaitFor([&]() { return Traced("in request " + std::to_string(testrequest::kHold) + " "); },
                        std::chrono::milliseconds(60000)));
    ::kill(static_cast<pid_t>(pid), SIGKILL);
    bool returned = WaitFor([&]() { return done.load(); });
    EXPECT_TRUE(returned) << "the request hangs";
    if (!returned)
        KADClient::Disconnect(true);
    requester.join();
    EXPECT_FALSE(ok);
    EXPECT_TRUE(WaitFor([]() { return !KADClient::IsConnected(); }));
    // With no daemon and flag 3 clear, the next request fails at once.
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(Call(testrequest::kEcho, "x"));
    EXPECT_LT(MsSince(start), 900);
    EXPECT_TRUE(Gone(pid));
}

}  // namespace
