// Console reporter that also remembers each benchmark's throughput, so a
// bench can print its ratio to the yardstick measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Bytes per second by "function" or "function/args": the median when run
    // with repetitions, else the single run.
    std::map<std::string, double> bytesPerSecond;
    // Real time per iteration by full benchmark name, every iteration run.
    std::map<std::string, double> perIteration;

    // The throughput kept under the key; 0 when there is none.
    double BytesPerSecondOf(const std::string& key) const
    {
        const auto it = bytesPerSecond.find(key);
        return it == bytesPerSecond.end() ? 0.0 : it->second;
    }

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                perIteration[r.benchmark_name()] = r.GetAdjustedRealTime();
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

// Prints "label  ours/reference x" from the times per iteration, with
// `digits` decimals; nothing when either is missing.
inline void PrintTimeRatio(const RatioReporter& r, const char* label, const std::string& ours,
                           const std::string& reference, int digits = 2)
{
    auto a = r.perIteration.find(ours);
    auto b = r.perIteration.find(reference);
    if (a == r.perIteration.end() || b == r.perIteration.end() || b->second <= 0)
        return;
    std::printf("%-40s %8.*fx  (%s / %s)\n", label, digits, a->second / b->second, ours.c_str(), reference.c_str());
}

// Reads the command line and runs what it names through the reporter; false
// when the line holds words the library does not know.
inline bool RunBenchmarksWith(RatioReporter& reporter, int& argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return false;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    return true;
}
