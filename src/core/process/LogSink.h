// The process log sink: a line writer for standard output or, when the
// process that started the tool listens on it, the console pipe.
//
// The console pipe is a FIFO named "<pid>cout" in the temporary folder
// (TMPDIR, else /tmp), made and read by the parent process. Through it every
// line travels as UTF-16LE code units without a byte-order mark; without it
// lines go to standard output as they are.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Receives a copy of every sink line, line feed included, as wide text.
class LogSinkListener {
public:
    virtual ~LogSinkListener() = default;
    virtual void OnLogLine(const std::u16string& line) = 0;
};

class LogSink {
public:
    // Formatted lines are cut to this many characters, the NUL included.
    static constexpr size_t kFormatBufferSize = 4096;

    // Adds a line feed (no carriage return) and writes the line. A failed or
    // short write is dropped. Safe from any thread; a listener may write.
    static void Write(std::string_view line);
    static void Printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
    static void PrintfW(const wchar_t* fmt, ...);

    // A listener must be removed before it is destroyed.
    static void AddListener(LogSinkListener* listener);
    static void RemoveListener(LogSinkListener* listener);

    // The console pipe's path for a process id.
    static std::string ConsolePipeName(long pid);
    // Opens this process's console pipe for writing, after closing the one
    // held. Done once before main; true when a reader has it open. A FIFO
    // nobody reads, a missing one, or anything that is not a FIFO of this
    // user leaves the sink on standard output, and nothing waits.
    static bool OpenConsolePipe();
    // Goes back to standard output.
    static void CloseConsolePipe();
    static bool PipeConnected();
};

// The sink's character-set conversions (a mapping of the tool's own, not
// the system locale's). Narrow text is Windows-1252: every byte has its code
// point. The way back keeps only printable ASCII, tab, line feed, carriage
// return, U+00AB, U+00B0, U+00BB and the typographic dashes, quotes and
// ellipsis; every other character becomes "?", one byte per character.
std::u16string NarrowToWide(std::string_view text);
std::string WideToNarrow(std::u16string_view text);
// A null pointer gives an empty string.
std::string WideToNarrow(const char16_t* text);
