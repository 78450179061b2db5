// Console reporter that also remembers each benchmark's throughput, so a
// bench can print its ratio to the yardstick measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Bytes per second by "function" or "function/args": the median when run
    // with repetitions, else the single run.
    std::map<std::string, double> bytesPerSecond;

    // The throughput kept under the key; 0 when there is none.
    double BytesPerSecondOf(const std::string& key) const
    {
        const auto it = bytesPerSecond.find(key);
        return it == bytesPerSecond.end() ? 0.0 : it->second;
    }

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            const auto it = r.counters.find("bytes_per_second");
            if (it == r.counters.end())
                continue;
            if (r.run_type == Run::RT_Iteration || r.aggregate_name == "median") {
                std::string key = r.run_name.function_name;
                if (!r.run_name.args.empty())
                    key += "/" + r.run_name.args;
                bytesPerSecond[key] = it->second.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
};
