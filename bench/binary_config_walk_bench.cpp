// Cost of walking a loaded binary config: cloning a flat "ACS$" file (one
// container of integer records, 12 bytes each) into a tree and printing it
// as config text, against reading the file in full, the yardstick measured in
// the same run: ReadBinaryConfig and then one pass that takes every record's
// name and its value as the type it holds, which is what any consumer of the
// data does. ReadBinaryConfig alone only loads the bytes and checks their
// structure; its time is printed for information, not as the yardstick. The
// walks list the root's children by index, so they stay linear only when a
// view does not walk its list from the start for every child: the ratios
// must not grow with the file. The goal is each within 3x of the full read
// for the 2 MB and the 10 MB file; the ratios are printed at the end.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "RatioReporter.h"
#include "config/tree/ACSChunk.h"
#include "config/formats/BinaryConfig.h"
#include "config/formats/ConfigText.h"
#include "config/kuid/KUID.h"
#include "core/streams/LittleEndian.h"
#include "core/streams/TStream.h"

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

// Reads what a consumer of a record reads: its name and its value as the
// type it holds. Folded into a sum so that nothing is optimised away.
uint64_t ReadRecord(const Nyx::PString& name, const ChunkRef& chunk)
{
    uint64_t sum = name.Length();
    const uint8_t* data = chunk->GetData();
    uint32_t size = chunk->GetDataSize();
    switch (chunk->GetType()) {
    case ACS_TYPE_INT:
    case ACS_TYPE_FLOAT:
        for (uint32_t at = 0; at + 4 <= size; at += 4)
            sum += LoadLE32(data + at);
        break;
    case ACS_TYPE_STRING:
    case ACS_TYPE_STRING_ALT:
        sum += size ? std::strlen(reinterpret_cast<const char*>(data)) : 0;
        break;
    case ACS_TYPE_KUID:
        if (size == KUID::kPackedSize)
            sum += uint32_t(KUID::FromChunk(data).content);
        break;
    default:
        sum += size;
        break;
    }
    return sum;
}

void BM_FullReadFlatFile(benchmark::State& state)
{
    const FlatFile& flat = g_files[int(state.range(0))];
    for (auto _ : state) {
        ChunkRef root = Load(flat);
        if (!root) {
            state.SkipWithError("the generated file did not load");
            break;
        }
        uint64_t sum = 0;
        uint32_t count = root->GetChildCount();
        for (uint32_t i = 0; i < count; ++i) {
            Nyx::PString name;
            ChunkRef child;
            if (root->GetChildAt(i, name, child))
                sum += ReadRecord(name, child);
        }
        benchmark::DoNotOptimize(sum);
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
BENCHMARK(BM_FullReadFlatFile)->Apply(Sizes);
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
        auto rate = [&](const char* name) {
            const auto it = reporter.bytesPerSecond.find(key(name));
            return it == reporter.bytesPerSecond.end() ? 0.0 : it->second;
        };
        const double fullRead = rate("BM_FullReadFlatFile");
        const double bytesOnly = rate("BM_ReadFlatFile");
        for (const char* walk : {"BM_CloneFlatFile", "BM_PrintFlatFile"}) {
            const double walkRate = rate(walk);
            if (walkRate <= 0)
                continue;
            if (bytesOnly > 0)
                std::printf("%s / BM_ReadFlatFile (bytes only, for information), %d MB: %.2fx time\n", walk,
                            megabytes, bytesOnly / walkRate);
            if (fullRead > 0)
                std::printf("%s / BM_FullReadFlatFile, %d MB (%u bytes): %.2fx time (goal: 3x or less)\n", walk,
                            megabytes, g_files[megabytes].size, fullRead / walkRate);
        }
    }
    return 0;
}
