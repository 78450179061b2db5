// Costs of the script API's hot paths, each beside its yardstick in the
// same run:
//  - caching an asset's 200 unchanged scripts (every cache file found and
//    its id checked) against compiling all 200 afresh (goal: under 10 %);
//  - SpecRegistry::Find among 100,000 descriptions against std::unordered_map
//    (goal: within 3x), the ratio from passes of both over the same keys;
//  - an idle UpdateTick (no job queued, 10,000 interned strings alive)
//    beside one bare JobQueue::Process call (goal: under 50 us).
// The ratios (ours / yardstick, time per operation) are printed after the
// table.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <map>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "PairedPasses.h"
#include "config/results/ResultsLog.h"
#include "core/files/ContentRoot.h"
#include "core/threads/JobQueue.h"
#include "nyx/base/PString.h"
#include "scriptapi/UpdateTick.h"
#include "scriptapi/cache/KestroBaseSpec.h"
#include "scriptapi/specs/GlimmerkitSpec.h"
#include "scriptapi/specs/SpecRegistry.h"

#include "RatioReporter.h"

namespace {

namespace fs = std::filesystem;

std::string Numbered(const char* prefix, long n)
{
    char text[64];
    std::snprintf(text, sizeof text, "%s%ld", prefix, n);
    return text;
}

constexpr int kScripts = 200;
constexpr int kSpecs = 100000;

// A content root with one asset folder of 200 small scripts.
struct ScriptFolder {
    ScriptFolder()
    {
        root = fs::temp_directory_path() / Numbered("kestro-bench-", ::getpid());
        fs::create_directories(root / "cache/libraries");
        fs::create_directories(root / "asset");
        for (int i = 0; i < kScripts; ++i) {
            std::ofstream(root / "asset" / (Numbered("s", i) + ".gs"))
                << "class S" << i << "\n{\n  public int Value(int x)\n  {\n    int y = x * " << i
                << ";\n    if (y > 10)\n      return y - 10;\n    return y + " << i << ";\n  }\n};\n";
        }
        SetContentRootPath(Nyx::File::Path(root.string()));
    }
    ~ScriptFolder() { fs::remove_all(root); }

    bool Cache() const
    {
        KestroBaseSpec spec(KUID(1, 1, 0), Nyx::PString(), Nyx::String(root.string()), Nyx::String("asset"), ChunkRef());
        ResultsLog log;
        return spec.CacheScripts(Nyx::PString(), Nyx::File::Path((root / "asset").string()), Nyx::File::Path(), log);
    }
    void Forget() const
    {
        for (const fs::directory_entry& e : fs::directory_iterator(root / "cache/libraries"))
            fs::remove(e.path());
    }

    fs::path root;
};

ScriptFolder& Folder()
{
    static ScriptFolder folder;
    return folder;
}

void BM_ScriptCacheHit(benchmark::State& state)
{
    if (!Folder().Cache())
        state.SkipWithError("the scripts do not compile");
    for (auto _ : state)
        benchmark::DoNotOptimize(Folder().Cache());
}
BENCHMARK(BM_ScriptCacheHit)->Unit(benchmark::kMillisecond);

void BM_ScriptFullRecompile(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        Folder().Forget();
        state.ResumeTiming();
        benchmark::DoNotOptimize(Folder().Cache());
    }
}
BENCHMARK(BM_ScriptFullRecompile)->Unit(benchmark::kMillisecond);

std::vector<KUID> SpecKUIDs()
{
    std::vector<KUID> kuids;
    std::mt19937 rng(7);
    for (int i = 0; i < kSpecs; ++i)
        kuids.emplace_back(static_cast<int32_t>(rng() % 500000), static_cast<int32_t>(rng() % 100000), 0);
    return kuids;
}

void BM_SpecRegistryFind(benchmark::State& state)
{
    const std::vector<KUID> kuids = SpecKUIDs();
    SpecRegistry registry;
    for (const KUID& kuid : kuids)
        registry.Add(new GlimmerkitSpec(kuid, Nyx::PString(), Nyx::String(), Nyx::String(), ChunkRef()));
    size_t i = 0;
    for (auto _ : state) {
        GlimmerkitSpec* spec = registry.Find(kuids[i]);
        benchmark::DoNotOptimize(spec);
        if (spec)
            spec->Release();
        i = (i + 7919) % kuids.size();
    }
}
BENCHMARK(BM_SpecRegistryFind);

struct KUIDHash {
    size_t operator()(const KUID& k) const noexcept
    {
        return std::hash<uint64_t>()((uint64_t(uint32_t(k.user)) << 32) ^ (uint64_t(uint32_t(k.content)) << 7) ^
                                     uint32_t(k.version));
    }
};

void BM_UnorderedMapFind(benchmark::State& state)
{
    const std::vector<KUID> kuids = SpecKUIDs();
    std::unordered_map<KUID, std::unique_ptr<GlimmerkitSpec>, KUIDHash> map;
    for (const KUID& kuid : kuids)
        map.try_emplace(kuid, std::make_unique<GlimmerkitSpec>(kuid, Nyx::PString(), Nyx::String(), Nyx::String(),
                                                               ChunkRef()));
    size_t i = 0;
    for (auto _ : state) {
        auto found = map.find(kuids[i]);
        benchmark::DoNotOptimize(found);
        i = (i + 7919) % kuids.size();
    }
}
BENCHMARK(BM_UnorderedMapFind);

// Both lookups over the very same keys in the same order, pass by pass, the
// one first in one pass and the other first in the next, so that what the
// machine does meanwhile falls on both alike; the ratio is the median of the
// passes' ratios.
constexpr int kPairedPasses = 41;
double g_pairedFindRatio = 0;

void BM_SpecFindPaired(benchmark::State& state)
{
    const std::vector<KUID> kuids = SpecKUIDs();
    // Its descriptions go after the registry has gone, which they would
    // otherwise each ask to forget them.
    std::unordered_map<KUID, std::unique_ptr<GlimmerkitSpec>, KUIDHash> map;
    SpecRegistry registry;
    // Each built on its own, as in the benchmarks above.
    for (const KUID& kuid : kuids)
        registry.Add(new GlimmerkitSpec(kuid, Nyx::PString(), Nyx::String(), Nyx::String(), ChunkRef()));
    for (const KUID& kuid : kuids)
        map.try_emplace(kuid, std::make_unique<GlimmerkitSpec>(kuid, Nyx::PString(), Nyx::String(), Nyx::String(),
                                                               ChunkRef()));
    const auto registryPass = [&] {
        size_t found = 0;
        for (size_t n = 0, i = 0; n < kuids.size(); ++n, i = (i + 7919) % kuids.size()) {
            GlimmerkitSpec* spec = registry.Find(kuids[i]);
            benchmark::DoNotOptimize(spec);
            if (spec) {
                spec->Release();
                ++found;
            }
        }
        return found;
    };
    const auto mapPass = [&] {
        size_t found = 0;
        for (size_t n = 0, i = 0; n < kuids.size(); ++n, i = (i + 7919) % kuids.size()) {
            auto it = map.find(kuids[i]);
            benchmark::DoNotOptimize(it);
            found += it != map.end();
        }
        return found;
    };
    std::vector<double> ratios;
    double ours = 0;
    double theirs = 0;
    bool registryFirst = true;
    for (auto _ : state) {
        size_t a = 0;
        size_t b = 0;
        const auto [r, m] = benchsupport::TimeInTurns(
            registryFirst, [&] { a = registryPass(); }, [&] { b = mapPass(); });
        if (a != kuids.size() || b != kuids.size()) {
            state.SkipWithError("a key was not found");
            return;
        }
        state.SetIterationTime(r + m);
        ratios.push_back(r / m);
        ours += r * 1e9;
        theirs += m * 1e9;
    }
    g_pairedFindRatio = benchsupport::Median(std::move(ratios));
    const double lookups = double(state.iterations()) * double(kuids.size());
    state.counters["registry_ns"] = ours / lookups;
    state.counters["map_ns"] = theirs / lookups;
    state.counters["ratio"] = g_pairedFindRatio;
}
BENCHMARK(BM_SpecFindPaired)->Iterations(kPairedPasses)->UseManualTime()->Unit(benchmark::kMillisecond);

std::vector<Nyx::PString>& InternedStrings()
{
    static std::vector<Nyx::PString> strings = [] {
        std::vector<Nyx::PString> s;
        for (int i = 0; i < 10000; ++i)
            s.emplace_back(Numbered("interned-", i));
        return s;
    }();
    return strings;
}

void BM_UpdateTickIdle(benchmark::State& state)
{
    InternedStrings();
    for (auto _ : state)
        UpdateTick();
}
BENCHMARK(BM_UpdateTickIdle)->Unit(benchmark::kMicrosecond);

void BM_JobQueueProcessBare(benchmark::State& state)
{
    InternedStrings();
    for (auto _ : state)
        benchmark::DoNotOptimize(JobQueue::Instance().Process(0));
}
BENCHMARK(BM_JobQueueProcessBare)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    RatioReporter reporter;
    if (!RunBenchmarksWith(reporter, argc, argv))
        return 1;
    std::printf("\nRatios (ours / yardstick, time per operation):\n");
    PrintTimeRatio(reporter, "cache hit of 200 scripts (goal < 0.10)", "BM_ScriptCacheHit", "BM_ScriptFullRecompile", 3);
    if (g_pairedFindRatio > 0)
        std::printf("%-40s %8.3fx  (median of %d paired passes over the same keys)\n",
                    "spec Find among 100k (goal <= 3)", g_pairedFindRatio, kPairedPasses);
    PrintTimeRatio(reporter, "idle UpdateTick / bare Process", "BM_UpdateTickIdle", "BM_JobQueueProcessBare", 3);
    auto tick = reporter.perIteration.find("BM_UpdateTickIdle");
    if (tick != reporter.perIteration.end())
        std::printf("%-40s %8.2f us (goal < 50 us)\n", "idle UpdateTick", tick->second);
    benchmark::Shutdown();
    return 0;
}
