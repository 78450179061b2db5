#include "cli/CommandGuard.h"

#include <atomic>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unistd.h>

#include "cli/RunCommand.h"
#include "core/process/CrashReporter.h"
#include "core/process/Log.h"
#include "core/process/ProcessState.h"

namespace {

constexpr int kGuardedSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};

// A fault may arrive while the faulting thread holds a stream's lock; a
// flush that would wait for it is skipped rather than hanging the end.
void FlushIfFree(std::FILE* stream) noexcept
{
    if (::ftrylockfile(stream) == 0) {
        ::fflush_unlocked(stream);
        ::funlockfile(stream);
    }
}

// Commands running under the guard. The handlers stay installed between
// commands (the crash reporter chains to them), so outside a command a fault
// takes its default course.
std::atomic<int> g_guardedCommands{0};

void OnGuardedSignal(int sig) noexcept
{
    if (g_guardedCommands.load(std::memory_order_relaxed) == 0) {
        ::signal(sig, SIG_DFL);
        ::raise(sig);
        return;
    }
    FlushIfFree(stdout);
    FlushIfFree(stderr);
    ::_exit(kCrashExitCode);
}

// The main thread's own stack for the handler, so that a stack overflow
// still ends with the guard's code.
constexpr size_t kAltStackSize = 64 * 1024;
alignas(16) char g_altStack[kAltStackSize];

// Installed once, before anything (the command host's crash reporter) can
// install handlers of its own on top: the reporter writes its report and
// then passes the signal on to these.
void InstallGuardHandlers()
{
    stack_t current;
    if (::sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) != 0) {
        stack_t ours{};
        ours.ss_sp = g_altStack;
        ours.ss_size = kAltStackSize;
        ::sigaltstack(&ours, nullptr);
    }
    for (int sig : kGuardedSignals) {
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = OnGuardedSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_ONSTACK;
        ::sigaction(sig, &action, nullptr);
    }
}

}  // namespace

int RunGuarded(const std::function<int()>& work)
{
    static std::once_flag installed;
    std::call_once(installed, InstallGuardHandlers);
    SetCommandGuard();
    struct Inside {
        Inside() { g_guardedCommands.fetch_add(1); }
        ~Inside() { g_guardedCommands.fetch_sub(1); }
    } inside;
    try {
        return work();
    } catch (...) {
        CrashReporter::ReportAndEnd(kCrashExitCode);
    }
}

int RunCommandGuarded(ResultsLog& log, EngineContext& context, int argc, char** argv)
{
    return RunGuarded([&] { return RunCommand(log, context, argc, argv); });
}

void ScriptLogSink(const char* fmt, ...)
{
    char text[16384];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    text[sizeof text - 1] = '\0';
    LogMessage("ScriptLog> %s", text);
}
