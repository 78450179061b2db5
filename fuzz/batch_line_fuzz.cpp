// A batch file of arbitrary bytes, read line by line and every line split
// into arguments as batch mode does before it runs a command. The reader
// must hand out the file's lines exactly (each with its line break, LF,
// CR LF or a CR alone, as far as it fits, a line longer than the buffer
// skipped whole), however the lines and their CR LF pairs fall across its
// reads, and the splitter must stay inside its line and within the argument
// slots.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "FuzzTempFolder.h"
#include "cli/BatchMode.h"
#include "nyx/files/File.h"

namespace {

struct Expected {
    BatchLineReader::Status status;
    std::string line;
};

// The next line of `rest` as the reader should give it, and `rest` moved
// past it. A line ends at LF, CR LF or a CR alone.
Expected NextLine(std::string_view& rest)
{
    using S = BatchLineReader::Status;
    if (rest.empty())
        return {S::kEnd, {}};
    const size_t end = std::min(rest.find_first_of("\r\n"), rest.size());
    size_t breakLength = 0;
    if (end < rest.size())
        breakLength = rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n' ? 2 : 1;
    const std::string body(rest.substr(0, end));
    const std::string lineBreak(rest.substr(end, breakLength));
    rest.remove_prefix(body.size() + lineBreak.size());
    if (body.size() > kMaxBatchLineLength)
        return {S::kTooLong, {}};
    // A full buffer still takes the line; its break is kept as far as it fits.
    return {S::kLine, body + lineBreak.substr(0, kMaxBatchLineLength - body.size())};
}

void CheckSplit(const char* line)
{
    BatchLineArguments split = SplitBatchLine(line);
    if (split.arguments.size() + 1 > kMaxBatchArguments)
        std::abort();
    size_t breaks = 0;
    size_t total = 0;
    for (const std::string& argument : split.arguments) {
        // Quotes only enclose; a NUL would end the argument for the command.
        if (argument.find('"') != std::string::npos || argument.find('\0') != std::string::npos)
            std::abort();
        for (char c : argument)
            breaks += c == '\r' || c == '\n';
        total += argument.size();
    }
    // Only a line break standing first survives the split.
    if (breaks > 1 || total > std::strlen(line))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzTempFolder folder("batch_line_fuzz");
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    folder.Write("batch.txt", bytes);

    Nyx::File file;
    if (!file.Open(Nyx::File::Path(folder / "batch.txt"), Nyx::File::kModeRead))
        std::abort();
    BatchLineReader reader(file);
    std::string_view rest = bytes;
    char line[kBatchLineCapacity];
    for (;;) {
        std::memset(line, 0x5A, sizeof line);
        const BatchLineReader::Status status = reader.Next(line);
        const Expected expected = NextLine(rest);
        if (status != expected.status)
            std::abort();
        if (status == BatchLineReader::Status::kEnd)
            break;
        const std::string& want = expected.line;
        if (std::memcmp(line, want.data(), want.size()) != 0 || line[want.size()] != '\0')
            std::abort();
        if (status == BatchLineReader::Status::kLine)
            CheckSplit(line);
    }
    file.Close();
    return 0;
}
