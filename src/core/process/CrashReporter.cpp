#include "core/process/CrashReporter.h"

#include <atomic>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <thread>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include "core/process/LogSink.h"
#include "platform/ProcessExit.h"

// Everything that runs in a fatal-signal handler below is async-signal-safe:
// no allocation, no stdio, no locks; text is assembled in static buffers and
// leaves through write(2). The one exception is the stack walk, see
// WriteStack.

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr int kConsoleSignals[] = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};

enum DumpState : int { kNoDump = 0, kWriting = 1, kDumpDone = 2 };

std::atomic<bool> gExitAllowed{true};
std::atomic<bool> gArmed{false};
std::atomic<bool> gQuitRequested{false};
std::atomic<int> gDumpState{kNoDump};
std::atomic<long> gDumpThread{0};
std::atomic<bool> gInstalled{false};

// Dispositions found by Install; a fatal signal is passed on to them.
struct sigaction gPrevious[NSIG];
// Console signals are turned into bytes on this pipe and handled by a thread
// of their own, where waiting and logging are allowed.
int gConsolePipe[2] = {-1, -1};

constexpr size_t kAltStackSize = 256 * 1024;

// How long a process that has allowed its exit after a hang-up or terminate
// has to end by itself.
constexpr int kOrderlyEndMs = 5000;
alignas(16) char gAltStack[kAltStackSize];

long CurrentThreadId()
{
    return static_cast<long>(::syscall(SYS_gettid));
}

// --- Report text, built without the C library's formatting ----------------

class ReportWriter {
public:
    explicit ReportWriter(int fd) : fd_(fd) {}
    ~ReportWriter() { Flush(); }

    ReportWriter& Text(const char* s)
    {
        while (*s)
            Char(*s++);
        return *this;
    }
    ReportWriter& Char(char c)
    {
        if (used_ == sizeof buffer_)
            Flush();
        buffer_[used_++] = c;
        return *this;
    }
    ReportWriter& Dec(long long value)
    {
        char digits[24];
        int n = 0;
        unsigned long long v = value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
        do {
            digits[n++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0);
        if (value < 0)
            Char('-');
        while (n > 0)
            Char(digits[--n]);
        return *this;
    }
    ReportWriter& Hex(uint64_t value)
    {
        Text("0x");
        for (int shift = 60; shift >= 0; shift -= 4)
            Char("0123456789abcdef"[(value >> shift) & 0xF]);
        return *this;
    }
    void Flush()
    {
        WriteRaw(fd_, buffer_, used_);
        used_ = 0;
    }
    int Fd() const { return fd_; }

    static void WriteRaw(int fd, const char* data, size_t size)
    {
        while (size > 0) {
            ssize_t n = ::write(fd, data, size);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            data += n;
            size -= static_cast<size_t>(n);
        }
    }

private:
    // Static: a handler may run on a small alternate stack. Only the one
    // thread that claims the dump uses it.
    static char buffer_[4096];
    int fd_;
    size_t used_ = 0;
};

char ReportWriter::buffer_[4096];

// Appends text to a fixed buffer, always leaving it NUL-terminated.
class NameBuilder {
public:
    NameBuilder(char* out, size_t size) : out_(out), size_(size) { out_[0] = '\0'; }
    NameBuilder& Text(const char* s, size_t n)
    {
        for (size_t i = 0; i < n && used_ + 1 < size_; ++i)
            out_[used_++] = s[i];
        out_[used_] = '\0';
        return *this;
    }
    NameBuilder& Text(const char* s) { return Text(s, ::strlen(s)); }
    NameBuilder& Dec(unsigned value)
    {
        char digits[12];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (n > 0) {
            char c = digits[--n];
            Text(&c, 1);
        }
        return *this;
    }

private:
    char* out_;
    size_t size_;
    size_t used_ = 0;
};

// Makes the dump file under the first free name: the name itself, else the
// stem, "_<n>." and the extension for n = 1, 2, ... The stem ends at the last
// "." of the last path component. The name is claimed by creating the file,
// so two processes never share one. -1 when no file can be made.
int CreateDumpFile(const char* name, char* chosen, size_t chosenSize)
{
    constexpr unsigned kMaxSuffix = 100000;
    const char* lastSeparator = nullptr;
    const char* lastDot = nullptr;
    for (const char* p = name; *p; ++p) {
        if (*p == '/' || *p == '\\')
            lastSeparator = p;
        else if (*p == '.')
            lastDot = p;
    }
    if (lastDot && lastSeparator && lastDot < lastSeparator)
        lastDot = nullptr;
    size_t stemLength = lastDot ? static_cast<size_t>(lastDot - name) : ::strlen(name);

    for (unsigned n = 0; n < kMaxSuffix; ++n) {
        NameBuilder builder(chosen, chosenSize);
        if (n == 0) {
            builder.Text(name);
        } else {
            builder.Text(name, stemLength).Text("_").Dec(n);
            if (lastDot)
                builder.Text(lastDot);
        }
        int fd;
        do {
            fd = ::open(chosen, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0644);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST)
            return -1;
    }
    return -1;
}

const char* SignalName(int sig)
{
    switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGILL: return "SIGILL";
    case SIGFPE: return "SIGFPE";
    case SIGABRT: return "SIGABRT";
    default: return "signal";
    }
}

void WriteRegisters(ReportWriter& out, const ucontext_t* context)
{
    out.Text("registers:\n");
    if (!context) {
        out.Text("  unavailable\n");
        return;
    }
#if defined(__x86_64__)
    static const struct {
        const char* name;
        int index;
    } kRegisters[] = {
        {"rax", REG_RAX}, {"rbx", REG_RBX}, {"rcx", REG_RCX}, {"rdx", REG_RDX},
        {"rsi", REG_RSI}, {"rdi", REG_RDI}, {"rbp", REG_RBP}, {"rsp", REG_RSP},
        {"r8", REG_R8},   {"r9", REG_R9},   {"r10", REG_R10}, {"r11", REG_R11},
        {"r12", REG_R12}, {"r13", REG_R13}, {"r14", REG_R14}, {"r15", REG_R15},
        {"rip", REG_RIP}, {"eflags", REG_EFL},
    };
    int column = 0;
    for (const auto& reg : kRegisters) {
        out.Text("  ").Text(reg.name).Text(" ").Hex(static_cast<uint64_t>(context->uc_mcontext.gregs[reg.index]));
        if (++column % 4 == 0)
            out.Char('\n');
    }
    if (column % 4 != 0)
        out.Char('\n');
#elif defined(__aarch64__)
    for (int i = 0; i < 31; ++i) {
        out.Text("  x").Dec(i).Text(" ").Hex(context->uc_mcontext.regs[i]);
        if ((i + 1) % 4 == 0)
            out.Char('\n');
    }
    out.Text("  sp ").Hex(context->uc_mcontext.sp).Text("  pc ").Hex(context->uc_mcontext.pc);
    out.Text("  pstate ").Hex(context->uc_mcontext.pstate).Char('\n');
#else
    out.Text("  not recorded on this architecture\n");
#endif
}

void WriteMappings(ReportWriter& out)
{
    out.Text("mappings:\n");
    out.Flush();
    int maps = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (maps < 0) {
        out.Text("  unavailable\n");
        return;
    }
    static char chunk[4096];
    for (;;) {
        ssize_t n = ::read(maps, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        ReportWriter::WriteRaw(out.Fd(), chunk, static_cast<size_t>(n));
    }
    ::close(maps);
}

// The stack walk uses the C library's unwinder, which is not on the list of
// async-signal-safe calls: Install runs it once so that nothing is loaded or
// allocated here. It comes last, so that a walk over a wrecked stack can cost
// no more than this section.
void WriteStack(ReportWriter& out)
{
    out.Text("stack:\n");
    out.Flush();
    void* frames[64];
    int count = ::backtrace(frames, 64);
    ::backtrace_symbols_fd(frames, count, out.Fd());
}

void WriteReport(int fd, int sig, const siginfo_t* info, const ucontext_t* context)
{
    ReportWriter out(fd);
    out.Text("Kestro crash report\n");
    out.Text("build: ").Dec(CrashReporter::kBuildNumber).Char('\n');
    out.Text("process: ").Dec(::getpid()).Char('\n');
    out.Text("thread: ").Dec(CurrentThreadId()).Char('\n');
    if (sig == 0) {
        out.Text("signal: none (dump requested)\n");
    } else {
        out.Text("signal: ").Dec(sig).Char(' ').Text(SignalName(sig)).Char('\n');
        if (info) {
            out.Text("code: ").Dec(info->si_code).Char('\n');
            if (info->si_code <= 0)
                out.Text("sent by process: ").Dec(info->si_pid).Char('\n');
            else if (sig != SIGABRT)
                out.Text("fault address: ").Hex(reinterpret_cast<uintptr_t>(info->si_addr)).Char('\n');
        }
    }
    WriteRegisters(out, context);
    WriteMappings(out);
    WriteStack(out);
}

// One report per process. A fault on a second thread while the first is still
// writing waits for it (a while) so its end does not cut the report short;
// a fault inside the writer itself does not wait for itself.
void WriteDumpOnce(int sig, const siginfo_t* info, const ucontext_t* context)
{
    long self = CurrentThreadId();
    int expected = kNoDump;
    if (!gDumpState.compare_exchange_strong(expected, kWriting)) {
        if (expected == kWriting && gDumpThread.load() != self) {
            const timespec step{0, 100 * 1000 * 1000};
            for (int i = 0; i < 100 && gDumpState.load() == kWriting; ++i)
                ::nanosleep(&step, nullptr);
        }
        return;
    }
    gDumpThread.store(self);

    char baseName[64];
    NameBuilder(baseName, sizeof baseName).Text("Kestro-").Dec(CrashReporter::kBuildNumber).Text(".dmp");
    char chosen[96];
    int fd = CreateDumpFile(baseName, chosen, sizeof chosen);
    if (fd >= 0) {
        WriteReport(fd, sig, info, context);
        ::close(fd);
    }
    gDumpState.store(kDumpDone);
}

void RestoreDefault(int sig)
{
    struct sigaction dfl;
    ::memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    ::sigaction(sig, &dfl, nullptr);
}

void PassOn(int sig, siginfo_t* info, void* context)
{
    const struct sigaction& previous = gPrevious[sig];
    if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction) {
        previous.sa_sigaction(sig, info, context);
        return;
    }
    if ((previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(sig);
        return;
    }
    // Ignoring a fault would only repeat it: the default action ends the
    // process once this handler returns (the signal is held until then).
    RestoreDefault(sig);
    ::raise(sig);
}

void OnFatalSignal(int sig, siginfo_t* info, void* context)
{
    int savedErrno = errno;
    WriteDumpOnce(sig, info, static_cast<const ucontext_t*>(context));
    PassOn(sig, info, context);
    errno = savedErrno;
}

void OnConsoleSignal(int sig)
{
    int savedErrno = errno;
    unsigned char byte = static_cast<unsigned char>(sig);
    // Non-blocking: a flood of signals drops events rather than stalling.
    [[maybe_unused]] ssize_t n = ::write(gConsolePipe[1], &byte, 1);
    errno = savedErrno;
}

// The console event numbers the log line has always shown: Ctrl+C 0,
// Ctrl+Break 1, close 2, shut-down 6.
int ConsoleEventType(int sig)
{
    switch (sig) {
    case SIGINT: return 0;
    case SIGQUIT: return 1;
    case SIGHUP: return 2;
    default: return 6;
    }
}

[[noreturn]] void EndBySignal(int sig)
{
    RestoreDefault(sig);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(sig);
    ::_exit(128 + sig);  // not reached: the default action of these signals ends the process
}

void HandleConsoleEvent(int sig)
{
    int type = ConsoleEventType(sig);
    LogSink::Printf("Console Window event handler called for CtrlType=%d", type);
    if (gExitAllowed.load()) {
        gArmed.store(false);
        EndBySignal(sig);
    }
    gQuitRequested.store(true);
    if (type <= 1)
        return;
    // Hang-up and terminate: the process ends, but not in the middle of a
    // job; the command host allows the exit once its loop is over.
    while (!gExitAllowed.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    // From there it runs the jobs still queued, shuts down and leaves with
    // its own exit code; the signal only ends a process that does not get
    // there in time.
    std::this_thread::sleep_for(std::chrono::milliseconds(kOrderlyEndMs));
    EndBySignal(sig);
}

void ConsoleEventLoop()
{
    for (;;) {
        unsigned char byte = 0;
        ssize_t n = ::read(gConsolePipe[0], &byte, 1);
        if (n == 1)
            HandleConsoleEvent(byte);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return;
    }
}

void AtExitCheck()
{
    if (gArmed.load())
        CrashReporter::DumpNow();
}

void InstallAltStack()
{
    stack_t current;
    if (::sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0)
        return;  // the thread has one already (the sanitizers set their own)
    stack_t ours;
    ours.ss_sp = gAltStack;
    ours.ss_size = kAltStackSize;
    ours.ss_flags = 0;
    ::sigaltstack(&ours, nullptr);
}

void InstallHandlers()
{
    // Loads the unwinder now, outside any signal handler.
    void* warmUp[4];
    ::backtrace(warmUp, 4);

    InstallAltStack();

    if (::pipe2(gConsolePipe, O_CLOEXEC) == 0) {
        ::fcntl(gConsolePipe[1], F_SETFL, ::fcntl(gConsolePipe[1], F_GETFL) | O_NONBLOCK);
        std::thread([] {
            sigset_t console;
            sigemptyset(&console);
            for (int sig : kConsoleSignals)
                sigaddset(&console, sig);
            pthread_sigmask(SIG_UNBLOCK, &console, nullptr);
            ConsoleEventLoop();
        }).detach();

        for (int sig : kConsoleSignals) {
            struct sigaction previous;
            if (::sigaction(sig, nullptr, &previous) == 0 && (previous.sa_flags & SA_SIGINFO) == 0 &&
                previous.sa_handler == SIG_IGN)
                continue;
            struct sigaction action;
            ::memset(&action, 0, sizeof action);
            action.sa_handler = OnConsoleSignal;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESTART;
            ::sigaction(sig, &action, nullptr);
        }
    }

    for (int sig : kFatalSignals) {
        // Read before replacing, so a fault in between finds it filled in.
        ::sigaction(sig, nullptr, &gPrevious[sig]);
        struct sigaction action;
        ::memset(&action, 0, sizeof action);
        action.sa_sigaction = OnFatalSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        ::sigaction(sig, &action, nullptr);
    }

    std::atexit(AtExitCheck);
}

}  // namespace

void CrashReporter::Install(bool exitAllowed)
{
    gExitAllowed.store(exitAllowed);
    gArmed.store(true);
    if (!gInstalled.exchange(true))
        InstallHandlers();
}

void CrashReporter::DisableConsoleClose()
{
}

bool CrashReporter::QuitRequested()
{
    return gQuitRequested.load();
}

void CrashReporter::AllowExit()
{
    gArmed.store(false);
    gExitAllowed.store(true);
}

void CrashReporter::DumpNow()
{
    ucontext_t context;
    bool haveContext = ::getcontext(&context) == 0;
    WriteDumpOnce(0, nullptr, haveContext ? &context : nullptr);
}

void CrashReporter::ReportAndEnd(int exitCode) noexcept
{
    if (gInstalled.load())
        DumpNow();
    Platform::TerminateProcess(exitCode);
}
