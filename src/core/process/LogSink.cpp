#include "core/process/LogSink.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "core/text/TextEncoding.h"

namespace {

struct SinkState {
    // Re-entrant: a listener that writes a line comes back through Write.
    std::recursive_mutex lock;
    int pipeFd = -1;  // the console pipe, -1 when not connected
    std::atomic<bool> pipeConnected{false};
    std::vector<LogSinkListener*> listeners;
    std::atomic<bool> notifying{false};
};

// Made on first use and never destroyed: the pipe is opened by a static
// initialiser and lines may be written from static destructors. The kernel
// closes the descriptor at exit; the pipe keeps what was written for its
// reader, so there is nothing to flush.
SinkState& State()
{
    static SinkState* state = new SinkState;
    return *state;
}

// Writes everything it can. A reader that has gone away must not kill the
// process with SIGPIPE, so the signal is held back for this thread during the
// write and a SIGPIPE the write itself raised is taken off again.
void WriteAll(int fd, const char* data, size_t size)
{
    sigset_t pipeOnly;
    sigset_t saved;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeOnly, &saved);
    sigset_t pendingBefore;
    sigpending(&pendingBefore);
    bool hadPending = sigismember(&pendingBefore, SIGPIPE) == 1;

    bool brokePipe = false;
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            brokePipe = errno == EPIPE;
            break;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }

    if (brokePipe && !hadPending) {
        const timespec noWait{0, 0};
        while (sigtimedwait(&pipeOnly, nullptr, &noWait) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
}

void ClosePipeLocked(SinkState& state)
{
    if (state.pipeFd >= 0)
        ::close(state.pipeFd);
    state.pipeFd = -1;
    state.pipeConnected.store(false);
}

char NarrowOf(uint32_t c)
{
    if ((c >= 0x20 && c <= 0x7F) || c == 0x09 || c == 0x0A || c == 0x0D || c == 0xAB || c == 0xB0 || c == 0xBB)
        return static_cast<char>(c);
    switch (c) {
    case 0x2013: return '\x96';
    case 0x2018: return '\x91';
    case 0x2019: return '\x92';
    case 0x201C: return '\x93';
    case 0x201D: return '\x94';
    case 0x2026: return '\x85';
    default: return '?';
    }
}

[[maybe_unused]] const bool gConsolePipeOpened = (LogSink::OpenConsolePipe(), true);

}  // namespace

std::u16string NarrowToWide(std::string_view text)
{
    std::u16string wide;
    wide.reserve(text.size());
    for (char c : text)
        wide.push_back(static_cast<char16_t>(Cp1252ToCodePoint(static_cast<uint8_t>(c))));
    return wide;
}

std::string WideToNarrow(std::u16string_view text)
{
    std::string narrow;
    narrow.reserve(text.size());
    for (char16_t c : text)
        narrow.push_back(NarrowOf(c));
    return narrow;
}

std::string WideToNarrow(const char16_t* text)
{
    return text ? WideToNarrow(std::u16string_view(text)) : std::string();
}

void LogSink::Write(std::string_view line)
{
    std::string text(line);
    text += '\n';
    std::u16string wide = NarrowToWide(text);

    SinkState& state = State();
    std::lock_guard<std::recursive_mutex> hold(state.lock);
    if (state.pipeConnected.load()) {
        std::string bytes;
        bytes.reserve(wide.size() * 2);
        for (char16_t c : wide) {
            bytes.push_back(static_cast<char>(c & 0xFF));
            bytes.push_back(static_cast<char>(c >> 8));
        }
        WriteAll(state.pipeFd, bytes.data(), bytes.size());
    } else {
        WriteAll(STDOUT_FILENO, text.data(), text.size());
    }

    if (!state.listeners.empty() && !state.notifying.exchange(true)) {
        // A copy, so that a listener may remove itself while it is called.
        std::vector<LogSinkListener*> listeners = state.listeners;
        for (LogSinkListener* listener : listeners)
            listener->OnLogLine(wide);
        state.notifying.store(false);
    }
}

void LogSink::Printf(const char* fmt, ...)
{
    char buffer[kFormatBufferSize];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    Write(buffer);
}

void LogSink::PrintfW(const wchar_t* fmt, ...)
{
    // The C library leaves a cut wide text unterminated and gives up part way
    // on a conversion error, so the buffer starts out all NULs and its last
    // slot is forced back to NUL.
    wchar_t buffer[kFormatBufferSize] = {};
    va_list args;
    va_start(args, fmt);
    std::vswprintf(buffer, kFormatBufferSize, fmt, args);
    va_end(args);
    buffer[kFormatBufferSize - 1] = L'\0';

    std::string narrow;
    for (const wchar_t* p = buffer; *p; ++p)
        narrow.push_back(NarrowOf(static_cast<uint32_t>(*p)));
    Write(narrow);
}

void LogSink::AddListener(LogSinkListener* listener)
{
    SinkState& state = State();
    std::lock_guard<std::recursive_mutex> hold(state.lock);
    if (listener && std::find(state.listeners.begin(), state.listeners.end(), listener) == state.listeners.end())
        state.listeners.push_back(listener);
}

void LogSink::RemoveListener(LogSinkListener* listener)
{
    SinkState& state = State();
    std::lock_guard<std::recursive_mutex> hold(state.lock);
    state.listeners.erase(std::remove(state.listeners.begin(), state.listeners.end(), listener), state.listeners.end());
}

std::string LogSink::ConsolePipeName(long pid)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string name = (tmp && *tmp) ? tmp : "/tmp";
    while (name.size() > 1 && name.back() == '/')
        name.pop_back();
    if (name.back() != '/')
        name += '/';
    name += std::to_string(pid);
    name += "cout";
    return name;
}

bool LogSink::OpenConsolePipe()
{
    SinkState& state = State();
    std::lock_guard<std::recursive_mutex> hold(state.lock);
    ClosePipeLocked(state);

    std::string name = ConsolePipeName(static_cast<long>(::getpid()));
    // Without a reader this fails at once with ENXIO instead of waiting for
    // one. The descriptor is not handed on to the processes the tool starts.
    int fd = ::open(name.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    // The temporary folder is shared: a file, or another user's FIFO, that
    // happens to bear the name must neither be written over nor be told our
    // lines.
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISFIFO(info.st_mode) || info.st_uid != ::geteuid()) {
        ::close(fd);
        return false;
    }
    // A slow reader makes writers wait rather than lose lines.
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    state.pipeFd = fd;
    state.pipeConnected.store(true);
    return true;
}

void LogSink::CloseConsolePipe()
{
    SinkState& state = State();
    std::lock_guard<std::recursive_mutex> hold(state.lock);
    ClosePipeLocked(state);
}

bool LogSink::PipeConnected()
{
    return State().pipeConnected.load();
}
