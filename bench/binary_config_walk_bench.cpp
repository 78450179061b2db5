// Cost of walking a loaded binary config: cloning a flat "ACS$" file (one
// container of integer records, 12 bytes each) into a tree and printing it
// as config text, against reading the file with ReadBinaryConfig, the
// yardstick measured in the same run. Both walks list the root's children by
// index, so they stay linear only when a view does not walk its list from the
// start for every child: the ratios must not grow with the file. The goal is
// each within 3x of the read for the 10 MB file; the ratios are printed at
// the end, for a 2 MB file as well.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "RatioReporter.h"
#include "config/ACSChunk.h"
#include "config/BinaryConfig.h"
#include "config/ConfigText.h"
#include "core/TStream.h"

namespace {

constexpr int kSizesMB[] = {2, 10};

struct FlatFile {
    std::string path;
    uint32_t size = 0;
};
std::map<int, FlatFile> g_files;

void PutLE32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(uint8_t(v >> shift));
}

// The records are laid down directly: writing a built tree this wide would
// time the tree's own child lookups, not what is measured here.
bool MakeFile(int megabytes)
{
    // Each record: size, name length, "v" and its NUL, type, 4 bytes.
    constexpr uint32_t kRecordBytes = 4 + 1 + 2 + 1 + 4;
    const uint32_t records = (uint32_t(megabytes) << 20) / kRecordBytes;
    std::vector<uint8_t> bytes;
    bytes.reserve(kACSHeaderSize + records * kRecordBytes);
    PutLE32(bytes, kACSMagic);
    PutLE32(bytes, uint32_t(kACSWriteVersion));
    PutLE32(bytes, 0);
    PutLE32(bytes, records * kRecordBytes);
    for (uint32_t i = 0; i < records; ++i) {
        PutLE32(bytes, kRecordBytes - 4);
        bytes.insert(bytes.end(), {2, 'v', 0, ACS_CHUNK_INT});
        PutLE32(bytes, i * 2654435761u);
    }

    char path[] = "/tmp/binary_config_walk_benchXXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return false;
    FlatFile& file = g_files[megabytes];
    file.path = path;
    file.size = uint32_t(bytes.size());
    ssize_t written = write(fd, bytes.data(), bytes.size());
    close(fd);
    return written == ssize_t(file.size);
}

ChunkRef Load(const FlatFile& flat)
{
    TFile file;
    file.Open(Nyx::File::Path(flat.path), Nyx::File::kModeRead);
    ChunkRef root;
    if (!ReadBinaryConfig(file, root))
        root.Release();
    return root;
}

void BM_ReadFlatFile(benchmark::State& state)
{
    const FlatFile& flat = g_files[int(state.range(0))];
    for (auto _ : state) {
        ChunkRef root = Load(flat);
        if (!root)
            state.SkipWithError("the generated file did not load");
        benchmark::DoNotOptimize(root.Get());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * flat.size);
}

void BM_CloneFlatFile(benchmark::State& state)
{
    const FlatFile& flat = g_files[int(state.range(0))];
    ChunkRef root = Load(flat);
    for (auto _ : state) {
        ChunkRef copy;
        if (!copy.CloneContainer(root))
            state.SkipWithError("the clone failed");
        benchmark::DoNotOptimize(copy.Get());
        // Taking the copy down is not the clone's work.
        state.PauseTiming();
        copy.Release();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * flat.size);
}

void BM_PrintFlatFile(benchmark::State& state)
{
    const FlatFile& flat = g_files[int(state.range(0))];
    ChunkRef root = Load(flat);
    for (auto _ : state) {
        TBuffer text;
        WriteConfigText(text, root);
        benchmark::DoNotOptimize(text.GetBuffer()->Data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * flat.size);
}

void Sizes(benchmark::internal::Benchmark* b)
{
    for (int megabytes : kSizesMB)
        b->Arg(megabytes);
    b->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_ReadFlatFile)->Apply(Sizes);
BENCHMARK(BM_CloneFlatFile)->Apply(Sizes);
BENCHMARK(BM_PrintFlatFile)->Apply(Sizes);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    for (int megabytes : kSizesMB) {
        if (!MakeFile(megabytes)) {
            std::fprintf(stderr, "could not write the benchmark file\n");
            return 1;
        }
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (const auto& [megabytes, file] : g_files)
        unlink(file.path.c_str());

    // Equal bytes per iteration, so the throughput ratio is the time ratio.
    for (int megabytes : kSizesMB) {
        auto key = [megabytes](std::string name) { return name.append("/").append(std::to_string(megabytes)); };
        const auto read = reporter.bytesPerSecond.find(key("BM_ReadFlatFile"));
        if (read == reporter.bytesPerSecond.end() || read->second <= 0)
            continue;
        for (const char* walk : {"BM_CloneFlatFile", "BM_PrintFlatFile"}) {
            const auto it = reporter.bytesPerSecond.find(key(walk));
            if (it != reporter.bytesPerSecond.end() && it->second > 0)
                std::printf("%s / BM_ReadFlatFile, %d MB (%u bytes): %.2fx time%s\n", walk, megabytes,
                            g_files[megabytes].size, read->second / it->second,
                            megabytes == 10 ? " (goal: 3x or less)" : "");
        }
    }
    return 0;
}
