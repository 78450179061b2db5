// The engine log: named channels whose lines all go to one process-wide
// destination, chosen by the log options of the engine's start-up line.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

namespace Nyx {

class LogClient {
public:
    explicit LogClient(std::string name) : name_(std::move(name)) {}
    LogClient(const LogClient&) = delete;
    LogClient& operator=(const LogClient&) = delete;

    const std::string& GetName() const noexcept { return name_; }

    // Importance of the lines that follow. Every line is written whatever
    // its level; callers set it so the destination could sort them.
    void SetOutputLevel(int level) noexcept { outputLevel_.store(level, std::memory_order_relaxed); }
    int GetOutputLevel() const noexcept { return outputLevel_.load(std::memory_order_relaxed); }

    // Formats one line and writes it, adding a line feed when the text does
    // not end with one. Lines of all channels are written whole, one at a
    // time.
    void OutputString(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

private:
    std::string name_;
    std::atomic<int> outputLevel_{0};
};

class Log {
public:
    // The channel of that name, made on first use and kept for the life of
    // the process (the pointer stays valid).
    static LogClient* GetClient(const char* name);

    // Reads the log options among the blank-separated words of a start-up
    // line (names compared without regard to case): "-LogStdOut" sends lines
    // to standard output, "-LogFile=<path>" to that file, created or
    // truncated. The last of them wins. With neither, and before the first
    // call, lines go nowhere. False when the log file cannot be created; the
    // lines then go nowhere.
    static bool Init(std::string_view options);

    // Writes a finished text as it is.
    static void Write(std::string_view text);
};

}  // namespace Nyx
