// Cost of loading a binary config: reading a 10 MB "ACS$" file with
// ReadBinaryConfig (one payload allocation, one read, one validation pass)
// against only reading the same bytes into memory with fread. The goal is a
// load within 3x of the plain read; the ratio, from the two read in turns,
// is printed at the end.
//
// The file is generated first: a wide and moderately deep tree of integers,
// strings, floats and KUIDs, written with WriteBinaryConfig.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "PairedPasses.h"
#include "config/formats/BinaryConfig.h"
#include "config/tree/TDBContainerTag.h"
#include "core/streams/TStream.h"

namespace {

constexpr uint32_t kTargetBytes = 10u << 20;

std::string g_path;
uint32_t g_size = 0;

void AddValues(ChunkRef& container, int seed)
{
    using Tag = TDBContainerTag;
    for (int i = 0; i < 4; ++i) {
        std::string n = std::to_string(i);
        Tag::SetInt(container, Nyx::PString("int-" + n), seed * 31 + i);
        Tag::SetString(container, Nyx::PString("name-" + n), "value text " + std::to_string(seed + i));
        Tag::SetFloat(container, Nyx::PString("float-" + n), float(seed) * 0.25f + float(i));
        Tag::SetKUID(container, Nyx::PString("kuid-" + n), KUID(seed % 100000, i + 1, i % 3));
    }
}

// One top-level entry: values, and below them a chain of containers four
// levels deep, each with values of its own.
ChunkRef MakeEntry(int seed)
{
    ChunkRef entry;
    AddValues(entry, seed);
    ChunkRef at = entry;
    for (int depth = 0; depth < 4; ++depth) {
        ChunkRef sub;
        AddValues(sub, seed + depth);
        TDBContainerTag::SetChildContainer(at, Nyx::PString("level-" + std::to_string(depth)), sub);
        at = sub;
    }
    return entry;
}

bool MakeFile()
{
    ChunkRef root;
    root.EnsureContainer();
    TBuffer stream;
    // Sized on a sample entry so the whole file lands near the target.
    {
        TBuffer sample;
        ChunkRef one;
        ChunkRef entry = MakeEntry(0);
        TDBContainerTag::SetChildContainer(one, "entry-0", entry);
        WriteBinaryConfig(sample, one);
        uint32_t perEntry = sample.GetBuffer()->DataLength() - kACSHeaderSize;
        uint32_t entries = kTargetBytes / perEntry;
        for (uint32_t i = 0; i < entries; ++i) {
            ChunkRef e = MakeEntry(int(i));
            TDBContainerTag::SetChildContainer(root, Nyx::PString("entry-" + std::to_string(i)), e);
        }
    }
    WriteBinaryConfig(stream, root);

    char path[] = "/tmp/binary_config_benchXXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return false;
    g_path = path;
    g_size = stream.GetBuffer()->DataLength();
    ssize_t written = write(fd, stream.GetBuffer()->Data(), g_size);
    close(fd);
    return written == ssize_t(g_size);
}

bool PlainRead()
{
    FILE* f = std::fopen(g_path.c_str(), "rb");
    if (!f)
        return false;
    auto* bytes = static_cast<uint8_t*>(std::malloc(g_size));
    size_t got = std::fread(bytes, 1, g_size, f);
    std::fclose(f);
    benchmark::DoNotOptimize(bytes);
    std::free(bytes);
    return got == g_size;
}

bool BinaryRead()
{
    TFile file;
    file.Open(Nyx::File::Path(g_path), Nyx::File::kModeRead);
    ChunkRef root;
    bool ok = ReadBinaryConfig(file, root);
    benchmark::DoNotOptimize(root.Get());
    return ok;
}

void BM_PlainRead(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(PlainRead());
    state.SetBytesProcessed(int64_t(state.iterations()) * g_size);
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);

void BM_ReadBinaryConfig(benchmark::State& state)
{
    for (auto _ : state) {
        if (!BinaryRead())
            state.SkipWithError("the generated file did not load");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * g_size);
}
BENCHMARK(BM_ReadBinaryConfig)->Unit(benchmark::kMillisecond);

// Both reads in turns, the one first in one pass and the other in the next,
// so that what the machine does meanwhile falls on both alike; the closing
// ratio is the median of the passes' ratios.
constexpr int kPairedPasses = 301;
double g_pairedRatio = 0;

void BM_ReadBinaryConfigPaired(benchmark::State& state)
{
    std::vector<double> ratios;
    bool binaryFirst = true;
    for (auto _ : state) {
        bool plainOk = false;
        bool binaryOk = false;
        const auto [binary, plain] = benchsupport::TimeInTurns(
            binaryFirst, [&] { binaryOk = BinaryRead(); }, [&] { plainOk = PlainRead(); });
        if (!plainOk || !binaryOk) {
            state.SkipWithError("the generated file did not read");
            return;
        }
        state.SetIterationTime(plain + binary);
        ratios.push_back(binary / plain);
    }
    g_pairedRatio = benchsupport::Median(std::move(ratios));
    state.counters["ratio"] = g_pairedRatio;
}
BENCHMARK(BM_ReadBinaryConfigPaired)->Iterations(kPairedPasses)->UseManualTime()->Unit(benchmark::kMillisecond);

// Keeps each benchmark's time per iteration for the closing ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                seconds[run.run_name.function_name] = run.real_accumulated_time / double(run.iterations);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (!MakeFile()) {
        std::fprintf(stderr, "could not write the benchmark file\n");
        return 1;
    }
    std::printf("file: %u bytes\n", g_size);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    unlink(g_path.c_str());

    auto plain = reporter.seconds.find("BM_PlainRead");
    auto load = reporter.seconds.find("BM_ReadBinaryConfig");
    if (plain != reporter.seconds.end() && load != reporter.seconds.end() && plain->second > 0)
        std::printf("ReadBinaryConfig / plain read, run apart: %.2fx\n", load->second / plain->second);
    if (g_pairedRatio > 0)
        std::printf("ReadBinaryConfig / plain read: %.2fx (goal: 3x or less; median of %d passes in turns)\n",
                    g_pairedRatio, kPairedPasses);
    return 0;
}
