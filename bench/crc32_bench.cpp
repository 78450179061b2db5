// Crc32 against zlib's crc32 over the same 16 MiB buffer.
#include "core/compress/Crc32.h"

#include <benchmark/benchmark.h>

#include "RatioReporter.h"
#include <zlib.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kSize = 16u << 20;

const std::vector<unsigned char>& Data()
{
    static const std::vector<unsigned char> data = [] {
        std::vector<unsigned char> d(kSize);
        std::mt19937 rng(1);
        for (auto& b : d)
            b = static_cast<unsigned char>(rng());
        return d;
    }();
    return data;
}

void BM_Crc32(benchmark::State& state)
{
    const auto& d = Data();
    for (auto _ : state)
        benchmark::DoNotOptimize(Crc32(d.data(), kSize));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize);
}
BENCHMARK(BM_Crc32);

void BM_ZlibCrc32(benchmark::State& state)
{
    const auto& d = Data();
    for (auto _ : state)
        benchmark::DoNotOptimize(crc32(0, d.data(), kSize));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize);
}
BENCHMARK(BM_ZlibCrc32);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    const auto& d = Data();
    if (Crc32(d.data(), kSize) != crc32(0, d.data(), kSize)) {
        std::fprintf(stderr, "Crc32 and zlib disagree\n");
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto ours = reporter.bytesPerSecond.find("BM_Crc32");
    const auto zlib = reporter.bytesPerSecond.find("BM_ZlibCrc32");
    if (ours != reporter.bytesPerSecond.end() && zlib != reporter.bytesPerSecond.end() && zlib->second > 0)
        std::printf("Crc32 / zlib crc32 throughput: %.3f\n", ours->second / zlib->second);
    return 0;
}
