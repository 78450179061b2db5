#include "cli/CommandGuard.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <stdexcept>
#include <sys/mman.h>
#include <unistd.h>

#include "core/process/CrashReporter.h"
#include "core/process/ProcessState.h"
#include "nyx/base/Log.h"
#include "support/TempFolder.h"

namespace {

// Linux passes the low 8 bits of -100 to the parent.
constexpr int kSeenCrashCode = 156;

// A real access fault: a write to a page that allows no access.
int Fault()
{
    void* page = ::mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED)
        return 0;
    *static_cast<volatile int*>(page) = 1;
    return 0;
}

TEST(CommandGuardTest, ReturnsTheWorksCodeAndSetsTheGuard)
{
    EXPECT_EQ(RunGuarded([] { return 42; }), 42);
    EXPECT_TRUE(IsCommandGuardSet());
}

TEST(CommandGuardDeathTest, CrashesEndTheProcessWithMinus100)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunGuarded([] { return std::raise(SIGSEGV); }), testing::ExitedWithCode(kSeenCrashCode), "");
    EXPECT_EXIT(RunGuarded([] { return std::raise(SIGBUS); }), testing::ExitedWithCode(kSeenCrashCode), "");
    EXPECT_EXIT(RunGuarded([] { return std::raise(SIGILL); }), testing::ExitedWithCode(kSeenCrashCode), "");
    EXPECT_EXIT(RunGuarded([] { return std::raise(SIGFPE); }), testing::ExitedWithCode(kSeenCrashCode), "");
    EXPECT_EXIT(RunGuarded(Fault), testing::ExitedWithCode(kSeenCrashCode), "");
    EXPECT_EXIT(RunGuarded([]() -> int { throw std::runtime_error("escaped"); }),
                testing::ExitedWithCode(kSeenCrashCode), "");
    // Between commands a fault is not the guard's.
    EXPECT_EXIT(
        {
            RunGuarded([] { return 0; });
            Fault();
        },
        testing::KilledBySignal(SIGSEGV), "");
}

TEST(CommandGuardDeathTest, CommandHostCrashesWriteTheReportFirst)
{
    // The child must write into this test's folder, so it is forked, not
    // started afresh (which would make a folder of its own).
    GTEST_FLAG_SET(death_test_style, "fast");
    TempFolder dir;
    auto crashInHost = [&](bool throwIt) {
        if (::chdir(dir.Path().c_str()) != 0)
            ::_exit(3);
        RunGuarded([throwIt]() -> int {
            CrashReporter::Install(true);
            if (throwIt)
                throw std::logic_error("escaped");
            return Fault();
        });
        ::_exit(4);
    };
    EXPECT_EXIT(crashInHost(false), testing::ExitedWithCode(kSeenCrashCode), "");
    EXPECT_TRUE(dir.Has("Kestro-41615.dmp"));
    EXPECT_EXIT(crashInHost(true), testing::ExitedWithCode(kSeenCrashCode), "");
    EXPECT_TRUE(dir.Has("Kestro-41615_1.dmp"));
}

TEST(CommandGuardTest, ScriptLogSinkLogsTheFormattedTextCutToItsBuffer)
{
    Nyx::Log::Init("-LogStdOut");
    testing::internal::CaptureStdout();
    ScriptLogSink("Could not resolve native link %s", "Str.Find");
    ScriptLogSink("%s", std::string(20000, 'z').c_str());
    std::string out = testing::internal::GetCapturedStdout();
    Nyx::Log::Init("");
    EXPECT_EQ(out, "ScriptLog> Could not resolve native link Str.Find\n"
                   "ScriptLog> " + std::string(16383, 'z') + "\n");
}

}  // namespace
