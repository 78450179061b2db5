#include "cli/BatchMode.h"

#include <cstdio>
#include <cstring>

#include "cli/CommandGuard.h"
#include "cli/RunCommand.h"
#include "config/results/ResultsLog.h"

BatchLineArguments SplitBatchLine(const char* line)
{
    char buffer[kBatchLineCapacity];
    const size_t length = ::strnlen(line, kMaxBatchLineLength);
    std::memcpy(buffer, line, length);
    buffer[length] = '\0';

    // The line ends at its first CR or LF after the first character; one
    // standing first is kept, so that an empty line is recognised below.
    for (size_t i = length; i-- > 1;) {
        if (buffer[i] == '\r' || buffer[i] == '\n')
            buffer[i] = '\0';
    }

    std::string text;
    if (buffer[0] != ' ')
        text += ' ';
    text += buffer;
    text += ' ';

    BatchLineArguments result;
    constexpr size_t kNone = static_cast<size_t>(-1);
    size_t start = kNone;
    bool inQuote = false;
    auto emit = [&](size_t end) {
        if (result.arguments.size() + 1 < kMaxBatchArguments)
            result.arguments.emplace_back(text, start, end - start);
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            if (!inQuote) {
                start = i + 1;
                inQuote = true;
            } else {
                emit(i);
                start = kNone;
                inQuote = false;
            }
        } else if (c == ' ' && !inQuote) {
            if (start != kNone)
                emit(i);
            start = i + 1;
        }
    }
    result.unterminatedQuote = inQuote;

    if (!result.arguments.empty()) {
        const char first = result.arguments.back().empty() ? '\0' : result.arguments.back()[0];
        result.skip = first == '\r' || first == '\n' || first == ' ';
    }
    return result;
}

int BatchLineReader::Get()
{
    if (used_ == size_) {
        size_ = file_.Read(chunk_, 1, sizeof chunk_);
        used_ = 0;
        if (size_ == 0)
            return -1;
    }
    return static_cast<unsigned char>(chunk_[used_++]);
}

int BatchLineReader::Peek()
{
    int c = Get();
    if (c >= 0)
        --used_;
    return c;
}

BatchLineReader::Status BatchLineReader::Next(char (&line)[kBatchLineCapacity])
{
    size_t n = 0;
    line[0] = '\0';
    int c = Get();
    if (c < 0)
        return Status::kEnd;
    // A line ends at LF, at CR LF, or at a CR alone. Peek reads on into the
    // next block, so a CR LF pair split across two blocks is one line end.
    auto lineFeedFollows = [this]() {
        if (Peek() != '\n')
            return false;
        Get();
        return true;
    };
    for (; c >= 0; c = Get()) {
        if (n == kMaxBatchLineLength) {
            // Full: the line may still end right here.
            const bool ends = c == '\n' || c == '\r';
            while (c >= 0 && c != '\n' && c != '\r')
                c = Get();
            if (c == '\r')
                lineFeedFollows();
            if (ends)
                break;
            line[0] = '\0';
            return Status::kTooLong;
        }
        line[n++] = static_cast<char>(c);
        if (c == '\n')
            break;
        if (c == '\r') {
            if (lineFeedFollows() && n < kMaxBatchLineLength)
                line[n++] = '\n';
            break;
        }
    }
    line[n] = '\0';
    return Status::kLine;
}

namespace {

// A line that cannot run still counts as a failed line, with its reason.
void ReportBadLine(const char* reason)
{
    ResultsLog log;
    ResultsLog::AddResult(log, ResultsLog::kError, Nyx::String(reason));
    PrintResults(log);
    std::fputc('\n', stdout);
}

}  // namespace

int RunBatch(EngineContext& context, char* argv0, const char* fileName, bool& fileMissing)
{
    fileMissing = false;
    const Nyx::File::Path path(fileName);
    Nyx::File file;
    if (Nyx::File::Exists(path) != 0 || Nyx::File::IsFolder(path) || !file.Open(path, Nyx::File::kModeRead)) {
        std::fprintf(stderr, "-The file \"%s\" does not exist, please specify a valid filename\n", fileName);
        fileMissing = true;
        return -1;
    }

    int code = 0;
    BatchLineReader reader(file);
    char line[kBatchLineCapacity];
    for (;;) {
        const BatchLineReader::Status status = reader.Next(line);
        if (status == BatchLineReader::Status::kEnd)
            break;
        if (status == BatchLineReader::Status::kTooLong) {
            ReportBadLine("The batch line is longer than 511 characters; it was not run.");
            code = -1;
            continue;
        }
        BatchLineArguments split = SplitBatchLine(line);
        if (split.unterminatedQuote) {
            ReportBadLine("The batch line has a double quote that is not closed; it was not run.");
            code = -1;
            continue;
        }
        if (split.skip)
            continue;

        std::vector<char*> argv(kMaxBatchArguments, nullptr);
        argv[0] = argv0;
        for (size_t i = 0; i < split.arguments.size(); ++i)
            argv[i + 1] = split.arguments[i].data();
        const int argc = static_cast<int>(split.arguments.size() + 1);

        ResultsLog log;
        if (RunCommandGuarded(log, context, argc, argv.data()) != 0)
            code = -1;
        PrintResults(log);
        std::fputc('\n', stdout);
    }
    file.Close();
    return code;
}
