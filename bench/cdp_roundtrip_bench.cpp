// One asset of 100 MB in 2,000 files packed into a ".cdp" ("createcdp")
// and installed from it on a second data root ("installcdp"), by the built
// program against the stand-in daemon, beside the same tree through
// "tar -c | gzip -5" and back ("gzip -d | tar -x") in the same run.
// Throughput counts the tree's bytes once per round trip.
//
// The install makes every file durable before the daemon replies; the
// yardstick's extraction is synced file by file too, so both end with the
// tree on disk.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "RatioReporter.h"

namespace {

namespace fs = std::filesystem;
using namespace benchsupport;

constexpr int kFolders = 20;
constexpr int kFilesPerFolder = 100;
constexpr size_t kFileSize = 50000;
constexpr int64_t kTreeBytes = int64_t(kFolders) * kFilesPerFolder * kFileSize;
const char* const kAsset = "<kuid:77:900>";

// Config-like text, mesh-like floats and texture-like noise, a third each,
// every file drawn from its own seed.
std::string FileBytes(int index)
{
    std::mt19937 rng(uint32_t(index) * 7919u + 1);
    std::string out;
    out.reserve(kFileSize + 64);
    switch (index % 3) {
    case 0: {
        static const char* const kWords[] = {"mesh", "station", "freight", "bogey", "lamp", "signal", "track",
                                             "passenger", "diesel", "steam", "yard", "platform", "red", "attachment"};
        char line[64];
        while (out.size() < kFileSize) {
            const char* word = kWords[rng() % std::size(kWords)];
            const uint32_t a = rng(), b = rng();
            if (rng() % 4 == 0)
                std::snprintf(line, sizeof line, "%s <kuid:%u:%u>\n", word, a % 700000, b % 1000);
            else
                std::snprintf(line, sizeof line, "%s %u.%02u\n", word, a % 10000, b % 100);
            out += line;
        }
        break;
    }
    case 1: {
        std::uniform_real_distribution<float> jitter(-0.01f, 0.01f);
        float x = 0;
        for (int v = 0; out.size() < kFileSize; ++v) {
            x += 0.05f + jitter(rng);
            const float record[8] = {x, std::sin(x) + jitter(rng), jitter(rng), 0.0f, 1.0f, 0.0f,
                                     float(v % 16) / 16.0f, float(v / 16 % 64) / 64.0f};
            out.append(reinterpret_cast<const char*>(record), sizeof record);
        }
        break;
    }
    default:
        for (size_t i = 0; out.size() < kFileSize; ++i)
            out += static_cast<char>((i % 256) / 4 + (rng() & 0x1F));
        break;
    }
    out.resize(kFileSize);
    return out;
}

const char* Extension(int index)
{
    static const char* const kExtensions[] = {".txt", ".im", ".tga"};
    return kExtensions[index % 3];
}

// A data root with both programs in "bin", and the asset under "local"
// when `withAsset` is set.
struct DataRoot {
    std::string root;
    std::string program;
    std::string work;
    bool ok = false;

    explicit DataRoot(bool withAsset)
    {
        root = MakeTempFolder("/tmp/cdp-roundtrip-XXXXXX");
        if (root.empty())
            return;
        program = root + "/bin/KestroUtil";
        work = root + "/work";
        std::error_code ec;
        fs::create_directories(root + "/bin", ec);
        fs::create_directories(work, ec);
        CopyPrograms(fs::path(root) / "bin", ec);
        if (ec) {
            std::fprintf(stderr, "cannot lay out %s: %s\n", root.c_str(), ec.message().c_str());
            return;
        }
        const fs::path asset = fs::path(root) / "local/big";
        ok = true;
        for (int f = 0; f < kFolders && ok && withAsset; ++f) {
            const fs::path folder = asset / ("part-" + std::to_string(f));
            fs::create_directories(folder, ec);
            for (int i = 0; i < kFilesPerFolder && ok; ++i) {
                const int index = f * kFilesPerFolder + i;
                ok = WriteFile(folder / ("file-" + std::to_string(index) + Extension(index)), FileBytes(index));
            }
        }
        ok = ok && (!withAsset || WriteFile(asset / "config.txt",
                                            std::string("kuid ") + kAsset +
                                                "\nusername \"big\"\nkind \"scenery\"\nkestro-build 3.5\n"));
        // The first command starts the daemon, outside any measurement.
        ok = ok && RunQuietly({program, "status", kAsset}, root) == (withAsset ? 0 : 255);
    }
    ~DataRoot()
    {
        if (root.empty())
            return;
        RunQuietly({program, "closekaddaemon"}, root);
        RemoveDaemonObjects(root);
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

// Where the asset is packed.
DataRoot& Root()
{
    static DataRoot root(true);
    return root;
}

// Where the package is installed: another machine's data root, so that
// the install goes into an empty "local" as the yardstick's extraction
// goes into an empty folder, and both remove what they made only after
// the round trip.
DataRoot& Target()
{
    static DataRoot root(false);
    return root;
}

void EmptyFolder(const fs::path& folder)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        fs::remove_all(entry.path(), ec);
}

void BM_CdpRoundTrip(benchmark::State& state)
{
    DataRoot& root = Root();
    DataRoot& target = Target();
    if (!root.ok || !target.ok) {
        state.SkipWithError("no data root");
        return;
    }
    const std::string package = root.work + "/big.cdp";
    for (auto _ : state) {
        if (RunQuietly({root.program, "createcdp", package, kAsset}, root.root) != 0) {
            state.SkipWithError("createcdp failed");
            break;
        }
        if (RunQuietly({target.program, "installcdp", package}, target.root) != 0) {
            state.SkipWithError("installcdp failed");
            break;
        }
        state.PauseTiming();
        state.counters["package_bytes"] = double(fs::file_size(package));
        fs::remove(package);
        bool installed = RunQuietly({target.program, "delete", kAsset}, target.root) == 0;
        EmptyFolder(target.root + "/trash");
        state.ResumeTiming();
        if (!installed) {
            state.SkipWithError("the asset was not installed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * kTreeBytes);
}

void BM_TarGzipRoundTrip(benchmark::State& state)
{
    DataRoot& root = Root();
    if (!root.ok) {
        state.SkipWithError("no data root");
        return;
    }
    const std::string archive = root.work + "/big.tar.gz";
    const std::string target = root.work + "/extracted";
    ShellRoundTrip trip;
    trip.pack = "tar -c -C local big | gzip -5 > '" + archive + "'";
    trip.packName = "tar -c | gzip";
    trip.unpack = "gzip -dc '" + archive + "' | tar -x -C '" + target + "'";
    trip.unpackName = "gzip -d | tar -x";
    trip.cwd = root.root;
    trip.archive = archive;
    trip.target = target;
    trip.sizeCounter = "package_bytes";
    TimeShellRoundTrip(state, trip, kTreeBytes);
}

BENCHMARK(BM_CdpRoundTrip)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_TarGzipRoundTrip)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (!Root().ok || !Target().ok) {
        std::fprintf(stderr, "the data root could not be laid out\n");
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const double ours = reporter.bytesPerSecond["BM_CdpRoundTrip"];
    const double tar = reporter.bytesPerSecond["BM_TarGzipRoundTrip"];
    std::printf("\ncreatecdp + installcdp / tar|gzip -5 + gzip -d|tar -x: %.3f (goal >= 1)\n",
                tar > 0 ? ours / tar : 0.0);
    return 0;
}
