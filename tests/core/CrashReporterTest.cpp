// Every case runs the reporter in a child process of its own: it installs
// process-wide signal handlers and its faults end the process.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/process/CrashReporter.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"

namespace {

// A page nobody may touch: writing to it is a genuine SIGSEGV whose address
// is known, and the sanitizers do not step in first.
char* ForbiddenPage()
{
    static char* page = static_cast<char*>(::mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    return page;
}

void Fault()
{
    *reinterpret_cast<volatile char*>(ForbiddenPage() + 8) = 1;
}

// The faulting page is mapped before the fork, so the child's fault lands
// where the tests expect it.
int RunChild(const TempFolder& folder, const std::function<void()>& body,
             std::chrono::seconds limit = std::chrono::seconds(30))
{
    ForbiddenPage();
    return childprocess::RunInChild(folder.Path(), body, limit);
}

std::vector<std::string> DumpFiles(const TempFolder& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        std::string name = entry.path().filename().string();
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dmp") == 0)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool EndedAbnormally(int status)
{
    return status != -1 && (WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) != 0));
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

constexpr const char* kDump = "Kestro-41615.dmp";

}  // namespace

TEST(CrashReporterTest, AFaultLeavesOneDumpUnderTheFirstFreeName)
{
    struct Case {
        std::vector<std::string> existing;
        std::string created;
    } cases[] = {
        {{}, "Kestro-41615.dmp"},
        {{"Kestro-41615.dmp"}, "Kestro-41615_1.dmp"},
        {{"Kestro-41615.dmp", "Kestro-41615_1.dmp"}, "Kestro-41615_2.dmp"},
        {{"Kestro-41615_1.dmp"}, "Kestro-41615.dmp"},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        for (const std::string& name : c.existing)
            folder.Write(name, "");
        int status = RunChild(folder, [] {
            CrashReporter::Install(false);
            Fault();
        });
        EXPECT_TRUE(EndedAbnormally(status)) << c.created;

        std::vector<std::string> expected = c.existing;
        expected.push_back(c.created);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(DumpFiles(folder), expected);
        EXPECT_EQ(folder.ReadAll(c.created).rfind("Kestro crash report\n", 0), 0u) << c.created;
        for (const std::string& name : c.existing)
            EXPECT_EQ(folder.ReadAll(name), "") << name;
    }
}

TEST(CrashReporterTest, TheReportNamesSignalAddressRegistersMappingsAndFrames)
{
    TempFolder folder;
    int status = RunChild(folder, [] {
        CrashReporter::Install(false);
        Fault();
    });
    EXPECT_TRUE(EndedAbnormally(status));
    std::string report = folder.ReadAll(kDump);

    char address[32];
    std::snprintf(address, sizeof address, "0x%016llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(ForbiddenPage() + 8)));
    EXPECT_NE(report.find("build: 41615\n"), std::string::npos);
    EXPECT_NE(report.find("signal: 11 SIGSEGV\n"), std::string::npos);
    EXPECT_NE(report.find(std::string("fault address: ") + address + "\n"), std::string::npos) << report.substr(0, 400);
    EXPECT_NE(report.find("registers:\n"), std::string::npos);
#if defined(__x86_64__)
    EXPECT_NE(report.find(" rip 0x"), std::string::npos);
#endif
    EXPECT_NE(report.find("[stack]"), std::string::npos);
    size_t stack = report.find("stack:\n");
    ASSERT_NE(stack, std::string::npos);
    EXPECT_GT(std::count(report.begin() + static_cast<long>(stack), report.end(), '\n'), 3);
}

TEST(CrashReporterTest, EachFatalSignalIsReported)
{
    struct Case {
        int sig;
        const char* line;
    } cases[] = {
        {SIGSEGV, "signal: 11 SIGSEGV\n"}, {SIGBUS, "signal: 7 SIGBUS\n"}, {SIGILL, "signal: 4 SIGILL\n"},
        {SIGFPE, "signal: 8 SIGFPE\n"},    {SIGABRT, "signal: 6 SIGABRT\n"},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        int sig = c.sig;
        int status = RunChild(folder, [sig] {
            CrashReporter::Install(false);
            ::raise(sig);
        });
        EXPECT_TRUE(EndedAbnormally(status)) << c.line;
        EXPECT_EQ(DumpFiles(folder), std::vector<std::string>{kDump}) << c.line;
        std::string report = folder.ReadAll(kDump);
        EXPECT_NE(report.find(c.line), std::string::npos) << report.substr(0, 300);
        EXPECT_NE(report.find("sent by process: "), std::string::npos);
    }
}

TEST(CrashReporterTest, AStackOverflowIsReported)
{
    TempFolder folder;
    int status = RunChild(folder, [] {
        CrashReporter::Install(false);
        struct Recurse {
            static int Down(int depth)
            {
                volatile char pad[512];
                pad[0] = static_cast<char>(depth);
                if (depth < 0)  // never: only the stack's end stops it
                    return 0;
                return Down(depth + 1) + pad[0];
            }
        };
        Recurse::Down(0);
    });
    EXPECT_TRUE(EndedAbnormally(status));
    EXPECT_EQ(DumpFiles(folder), std::vector<std::string>{kDump});
    EXPECT_NE(folder.ReadAll(kDump).find("SIGSEGV"), std::string::npos);
}

// The command guard of the entry point ends the process with -100; the
// reporter, installed after it, writes its report first and then hands the
// fault on.
TEST(CrashReporterTest, TheEarlierHandlerStillEndsTheProcessAfterTheDump)
{
    TempFolder folder;
    int status = RunChild(folder, [] {
        struct sigaction guard;
        std::memset(&guard, 0, sizeof guard);
        guard.sa_handler = [](int) { ::_exit(-100 & 0xFF); };
        sigemptyset(&guard.sa_mask);
        ::sigaction(SIGSEGV, &guard, nullptr);
        CrashReporter::Install(false);
        Fault();
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 156);
    EXPECT_EQ(DumpFiles(folder), std::vector<std::string>{kDump});
}

namespace {
sigjmp_buf gRecover;
}

TEST(CrashReporterTest, OnlyTheFirstFaultWritesADump)
{
    TempFolder folder;
    int status = RunChild(folder, [] {
        struct sigaction guard;
        std::memset(&guard, 0, sizeof guard);
        guard.sa_handler = [](int) { ::siglongjmp(gRecover, 1); };
        sigemptyset(&guard.sa_mask);
        ::sigaction(SIGSEGV, &guard, nullptr);
        CrashReporter::Install(false);
        for (int i = 0; i < 2; ++i) {
            if (sigsetjmp(gRecover, 1) == 0)
                Fault();
        }
        CrashReporter::DumpNow();
        CrashReporter::AllowExit();
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(DumpFiles(folder), std::vector<std::string>{kDump});
    EXPECT_NE(folder.ReadAll(kDump).find("signal: 11 SIGSEGV\n"), std::string::npos);
}

TEST(CrashReporterTest, LeavingWhileArmedWritesADumpAndAfterAllowExitNone)
{
    struct Case {
        bool allowExit;
        std::vector<std::string> dumps;
    } cases[] = {
        {false, {kDump}},
        {true, {}},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        bool allow = c.allowExit;
        int status = RunChild(folder, [allow] {
            CrashReporter::Install(false);
            if (allow)
                CrashReporter::AllowExit();
            std::exit(0);
        });
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_EQ(DumpFiles(folder), c.dumps) << "allowExit " << allow;
        if (!allow) {
            EXPECT_NE(folder.ReadAll(kDump).find("signal: none (dump requested)\n"), std::string::npos);
        }
    }
}

TEST(CrashReporterTest, InterruptBecomesAQuitRequestWhileExitIsNotAllowed)
{
    TempFolder folder;
    int status = RunChild(folder, [] {
        CrashReporter::Install(false);
        CrashReporter::DisableConsoleClose();
        ::kill(::getpid(), SIGINT);
        ::kill(::getpid(), SIGQUIT);
        auto bothLogged = [] {
            std::ifstream in("child-stdout.txt");
            std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            return std::count(text.begin(), text.end(), '\n') >= 2;
        };
        if (!WaitFor(bothLogged, std::chrono::seconds(30)) || !CrashReporter::QuitRequested())
            ::_exit(3);
        CrashReporter::AllowExit();
    });
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(folder.ReadAll("child-stdout.txt"),
              "Console Window event handler called for CtrlType=0\n"
              "Console Window event handler called for CtrlType=1\n");
    EXPECT_TRUE(DumpFiles(folder).empty());
}

TEST(CrashReporterTest, HangUpAndTerminateWaitForAllowExitThenEndTheProcess)
{
    struct Case {
        int sig;
        const char* line;
    } cases[] = {
        {SIGHUP, "Console Window event handler called for CtrlType=2\n"},
        {SIGTERM, "Console Window event handler called for CtrlType=6\n"},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        int sig = c.sig;
        int status = RunChild(folder, [sig] {
            CrashReporter::Install(false);
            ::kill(::getpid(), sig);
            if (!WaitFor(CrashReporter::QuitRequested, std::chrono::seconds(30)))
                ::_exit(3);
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            std::FILE* marker = std::fopen("still-running", "w");
            std::fclose(marker);
            CrashReporter::AllowExit();
            std::this_thread::sleep_for(std::chrono::seconds(10));
            ::_exit(4);
        });
        ASSERT_TRUE(WIFSIGNALED(status)) << c.line << " status " << status;
        EXPECT_EQ(WTERMSIG(status), sig);
        EXPECT_TRUE(folder.Has("still-running"));
        EXPECT_EQ(folder.ReadAll("child-stdout.txt"), c.line);
        EXPECT_TRUE(DumpFiles(folder).empty());
    }
}

TEST(CrashReporterTest, AfterHangUpOrTerminateAProcessThatWindsDownInTimeKeepsItsExitCode)
{
    for (int sig : {SIGHUP, SIGTERM}) {
        TempFolder folder;
        int status = RunChild(folder, [sig] {
            CrashReporter::Install(false);
            ::kill(::getpid(), sig);
            if (!WaitFor(CrashReporter::QuitRequested, std::chrono::seconds(30)))
                ::_exit(3);
            CrashReporter::AllowExit();
            // The jobs still queued, and the shut-down.
            std::this_thread::sleep_for(std::chrono::milliseconds(2000));
            ::_exit(7);
        });
        ASSERT_TRUE(WIFEXITED(status)) << sig << " status " << status;
        EXPECT_EQ(WEXITSTATUS(status), 7);
        EXPECT_TRUE(DumpFiles(folder).empty());
    }
}

TEST(CrashReporterTest, WhenExitIsAllowedAConsoleEventEndsTheProcess)
{
    TempFolder folder;
    int status = RunChild(folder, [] {
        CrashReporter::Install(true);
        ::kill(::getpid(), SIGINT);
        std::this_thread::sleep_for(std::chrono::seconds(10));
        ::_exit(4);
    });
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGINT);
    EXPECT_EQ(folder.ReadAll("child-stdout.txt"), "Console Window event handler called for CtrlType=0\n");
    EXPECT_TRUE(DumpFiles(folder).empty());
}

TEST(CrashReporterTest, ASignalIgnoredBeforeInstallStaysIgnored)
{
    TempFolder folder;
    int status = RunChild(folder, [] {
        ::signal(SIGHUP, SIG_IGN);
        CrashReporter::Install(false);
        ::kill(::getpid(), SIGHUP);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        CrashReporter::AllowExit();
        ::_exit(CrashReporter::QuitRequested() ? 5 : 0);
    });
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
