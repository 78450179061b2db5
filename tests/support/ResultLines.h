// A results log as lines the tests can compare.
#pragma once

#include <string>
#include <vector>

#include "config/results/ResultsLog.h"

namespace resultstest {

// The log's results, one "<severity> <text>" a result.
inline std::vector<std::string> ResultLines(const ResultsLog& log)
{
    std::vector<std::string> out;
    log.Lock();
    for (const ResultsLog::Result* r : log.Results())
        out.push_back(std::to_string(r->severity) + " " + r->text.Str());
    log.Unlock();
    return out;
}

}  // namespace resultstest
