#include <cstdio>
#include <vector>

#include "cli/RunCommand.h"
#include "config/results/InterfaceTextDB.h"
#include "config/kuid/KUID.h"
#include "config/results/ResultsLog.h"

namespace {

const char* SeverityPrefix(int32_t severity)
{
    switch (severity) {
    case ResultsLog::kInformation:
        return "; ";
    case ResultsLog::kWarning:
        return "! ";
    case ResultsLog::kError:
        return "- ";
    case ResultsLog::kOutput:
        return "+ ";
    default:
        return "";
    }
}

// A text stored as an interface-text key prints as the key's text; texts
// stored finished print as they are.
Nyx::String DisplayText(const Nyx::String& text)
{
    if (!text.Empty() && text.c_str()[0] == '$')
        return GetInterfaceText(text);
    return text;
}

}  // namespace

void PrintResults(ResultsLog& log)
{
    struct Line {
        int32_t severity;
        Nyx::PString kuidText;
        Nyx::String text;
    };
    // Interface texts are looked up under the application lock; taking that
    // while holding the log's lock could wait on a thread that holds it and
    // is adding to this log. So the lines are taken first and printed after.
    std::vector<Line> lines;
    log.Lock();
    log.SetReported(true);
    for (const ResultsLog::Result* result : log.Results())
        lines.push_back({result->severity, KUID::Parse(result->asset.ToString().c_str(), false).ToString(),
                         result->text});
    log.Unlock();

    uint32_t errors = 0;
    uint32_t warnings = 0;
    for (const Line& line : lines) {
        if (line.severity == ResultsLog::kWarning)
            ++warnings;
        else if (line.severity == ResultsLog::kError)
            ++errors;
        std::printf("%s%s : %s\n", SeverityPrefix(line.severity), line.kuidText.c_str(),
                    DisplayText(line.text).c_str());
    }
    std::printf("OK (%u Errors, %u Warnings)\n", errors, warnings);
}
