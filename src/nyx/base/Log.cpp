#include "nyx/base/Log.h"

#include <cstdarg>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <strings.h>

#include "nyx/base/String.h"

namespace Nyx {

namespace {

enum class Destination { kNowhere, kStdOut, kFile };

struct LogState {
    std::mutex lock;  // guards everything below; one line is written at a time
    Destination destination = Destination::kNowhere;
    std::FILE* file = nullptr;
    std::map<std::string, std::unique_ptr<LogClient>> clients;
};

// Made on first use and never destroyed: channels are taken by static
// initialisers of other files and used by static destructors, in whatever
// order the program's files come.
LogState& State()
{
    static LogState* state = new LogState;
    return *state;
}

bool StartsWithNoCase(std::string_view word, std::string_view prefix)
{
    return word.size() >= prefix.size() && ::strncasecmp(word.data(), prefix.data(), prefix.size()) == 0;
}

}  // namespace

void LogClient::OutputString(const char* fmt, ...)
{
    String text;
    va_list args;
    va_start(args, fmt);
    text.FormatV(fmt, args);
    va_end(args);
    if (text.Empty() || text.Str().back() != '\n')
        text += '\n';
    Log::Write(text.View());
}

LogClient* Log::GetClient(const char* name)
{
    LogState& state = State();
    std::lock_guard<std::mutex> hold(state.lock);
    std::string key = name ? name : "";
    auto& slot = state.clients[key];
    if (!slot)
        slot = std::make_unique<LogClient>(key);
    return slot.get();
}

bool Log::Init(std::string_view options)
{
    Destination destination = Destination::kNowhere;
    std::string path;
    size_t pos = 0;
    while (pos < options.size()) {
        size_t end = options.find(' ', pos);
        if (end == std::string_view::npos)
            end = options.size();
        std::string_view word = options.substr(pos, end - pos);
        pos = end + 1;
        if (word.size() == 10 && StartsWithNoCase(word, "-LogStdOut")) {
            destination = Destination::kStdOut;
        } else if (StartsWithNoCase(word, "-LogFile=")) {
            destination = Destination::kFile;
            path = std::string(word.substr(9));
        }
    }

    LogState& state = State();
    std::lock_guard<std::mutex> hold(state.lock);
    if (state.file) {
        std::fclose(state.file);
        state.file = nullptr;
    }
    state.destination = destination;
    if (destination != Destination::kFile)
        return true;
    state.file = path.empty() ? nullptr : std::fopen(path.c_str(), "we");
    if (!state.file) {
        state.destination = Destination::kNowhere;
        return false;
    }
    return true;
}

void Log::Write(std::string_view text)
{
    LogState& state = State();
    std::lock_guard<std::mutex> hold(state.lock);
    std::FILE* out = nullptr;
    if (state.destination == Destination::kStdOut)
        out = stdout;
    else if (state.destination == Destination::kFile)
        out = state.file;
    if (!out)
        return;
    // Flushed line by line so that a process ended abruptly (a fatal error,
    // a crash) keeps every line written before.
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
}

}  // namespace Nyx
