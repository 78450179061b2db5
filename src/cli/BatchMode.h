// Batch mode: the lines of a text file run as separate commands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/process/EngineContext.h"
#include "nyx/files/File.h"

// A line holds at most this many characters before its line break.
inline constexpr size_t kBatchLineCapacity = 512;
inline constexpr size_t kMaxBatchLineLength = kBatchLineCapacity - 1;
// Argument slots of one line, the program path included.
inline constexpr size_t kMaxBatchArguments = 512;

struct BatchLineArguments {
    // The arguments after the program path.
    std::vector<std::string> arguments;
    // The line ended inside a double-quoted text.
    bool unterminatedQuote = false;
    // The line's last argument begins with a blank, CR or LF (an empty
    // line is one): nothing runs for it.
    bool skip = false;
};

// Splits one line as read (at most kMaxBatchLineLength characters, with or
// without its line break). Blanks separate arguments, double quotes enclose
// one that keeps its blanks; two blanks in a row make an empty argument.
BatchLineArguments SplitBatchLine(const char* line);

// Reads a file line by line into a buffer of kBatchLineCapacity bytes: the
// line's characters, its line end (LF, CR LF or a CR alone) as far as it
// fits, and a NUL.
class BatchLineReader {
public:
    enum class Status { kLine, kTooLong, kEnd };

    explicit BatchLineReader(Nyx::File& file) : file_(file) {}

    // kTooLong: the line held more than kMaxBatchLineLength characters
    // before its line break; all of it, up to and including that line
    // break, has been read past and the buffer holds nothing.
    Status Next(char (&line)[kBatchLineCapacity]);

private:
    // The next byte, or -1 at the end of the file.
    int Get();
    int Peek();

    Nyx::File& file_;
    char chunk_[4096];
    uint32_t used_ = 0;
    uint32_t size_ = 0;
};

// Runs every line of the file named (relative to the working folder) and
// prints each line's results, the summary and an empty line. Returns 0 when
// every line that ran returned 0, else -1. A file that is not there is
// reported on standard error, sets fileMissing and runs nothing.
int RunBatch(EngineContext& context, char* argv0, const char* fileName, bool& fileMissing);
