// The results form of a log holding given results: what a daemon's reply
// or a command-host job's answer carries ahead of its own words.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "config/results/ResultsLog.h"
#include "core/streams/TStream.h"

namespace resultstest {

// Severity and text of each result, in order.
inline std::string Results(const std::vector<std::pair<int32_t, std::string>>& results)
{
    ResultsLog log;
    for (const auto& [severity, text] : results)
        ResultsLog::AddResult(log, severity, Nyx::String(text));
    TBuffer out;
    log.WriteResults(out, 0);
    const Nyx::DynamicBuffer* bytes = out.GetBuffer();
    return std::string(reinterpret_cast<const char*>(bytes->Data()), bytes->DataLength());
}

}  // namespace resultstest
