// Cost of what a package does with the KUIDs an asset names, against
// sorting the same KUIDs and dropping the repeats (std::sort + std::unique
// over a copy), the yardstick measured in the same run:
// - collecting every distinct KUID the entry's tree names;
// - adding the entry to a package ("createcdp", "vrqparse"): its
//   dependencies and the three tables;
// - turning the entry back into a config ("installcdp", "vrqparse"), whose
//   "kuid-table" gains the half of the KUIDs it does not hold yet.
// The entry names n distinct KUIDs, half in its "kuid-table", half as KUID
// values elsewhere, and a quarter of them once more as KUID texts. Each
// step must stay close to linear: its ratio to the yardstick must not grow
// with n (the goal: 100,000 KUIDs in well under a second).
//
// Beside it, the stand-in daemon's start-up scan of a data root holding one
// asset whose config names 80,000 KUIDs, against loading that config alone.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "RatioReporter.h"
#include "config/formats/ConfigFile.h"
#include "config/kuid/KUIDRing.h"
#include "config/tree/TDBContainerTag.h"
#include "config/tree/TagTreeOps.h"
#include "kad/packages/CDP.h"
#include "kaddaemon/AssetStore.h"

namespace {

constexpr int kSizes[] = {25000, 50000, 100000};
constexpr int kDaemonKUIDs = 80000;

// "<prefix><i>", built without the string concatenation that GCC 12
// misreads at -O3 (a false -Wrestrict).
std::string Numbered(const char* prefix, int i)
{
    std::string out(prefix);
    out += std::to_string(i);
    return out;
}

// Distinct for every i below 2^31, in no order that helps a sort.
KUID Named(int i) { return KUID(5, int32_t((uint32_t(i) * 2654435761u) & 0x7FFFFFFFu), 0); }

void SetKUIDValue(const ChunkRef& container, const std::string& name, const KUID& kuid)
{
    uint8_t bytes[KUID::kPackedSize];
    kuid.ToChunk(bytes);
    container->AddChild(Nyx::PString(name), container->CreateChunk(ACS_TYPE_KUID, ACSRawData::Copy(bytes, 8)));
}

// The children are appended directly: building the entry is not measured.
ChunkRef MakeEntry(int n)
{
    ChunkRef entry(new TDBContainerTag);
    SetKUIDValue(entry, "kuid", KUID(1, 1, 0));
    TDBContainerTag::SetString(entry, Nyx::PString("kind"), Nyx::PString("scenery"));
    ChunkRef table(new TDBContainerTag);
    ChunkRef meshes(new TDBContainerTag);
    for (int i = 0; i < n; ++i) {
        if (i < n / 2)
            SetKUIDValue(table, std::to_string(i), Named(i));
        else
            SetKUIDValue(meshes, Numbered("m", i), Named(i));
    }
    for (int i = 0; i < n / 4; ++i) {
        const std::string text = Named(i * 3 % n).ToString().Str();
        meshes->AddChild(Nyx::PString(Numbered("t", i)),
                         meshes->CreateChunk(ACS_TYPE_STRING,
                                             ACSRawData::Copy(text.c_str(), uint32_t(text.size() + 1))));
    }
    TDBContainerTag::SetChildContainer(entry, Nyx::PString("kuid-table"), table);
    TDBContainerTag::SetChildContainer(entry, Nyx::PString("meshes"), meshes);
    ChunkRef files(new TDBContainerTag);
    files->AddChild(Nyx::PString("a.txt"), files->CreateChunk(ACS_TYPE_RAW, ACSRawData::Copy("hello", 5)));
    TDBContainerTag::SetChildContainer(entry, Nyx::PString("files"), files);
    return entry;
}

// Every KUID the entry names, repeats included, as the yardstick gets them.
std::vector<KUID> NamedList(int n)
{
    std::vector<KUID> out;
    for (int i = 0; i < n; ++i)
        out.push_back(Named(i));
    for (int i = 0; i < n / 4; ++i)
        out.push_back(Named(i * 3 % n));
    return out;
}

void BM_SortUniqueKUIDs(benchmark::State& state)
{
    const std::vector<KUID> named = NamedList(int(state.range(0)));
    size_t distinct = 0;
    for (auto _ : state) {
        std::vector<KUID> copy = named;
        std::sort(copy.begin(), copy.end(), [](const KUID& a, const KUID& b) {
            return a.user != b.user ? a.user < b.user : a.content != b.content ? a.content < b.content
                                                                               : a.version < b.version;
        });
        distinct = size_t(std::unique(copy.begin(), copy.end()) - copy.begin());
        benchmark::DoNotOptimize(copy.data());
    }
    state.counters["kuids"] = double(distinct);
}

void BM_CollectReferencedKUIDs(benchmark::State& state)
{
    const ChunkRef entry = MakeEntry(int(state.range(0)));
    uint32_t count = 0;
    for (auto _ : state) {
        KUIDRing ring;
        CollectReferencedKUIDs(entry, ring);
        count = ring.Count();
        benchmark::DoNotOptimize(ring.FirstBlock());
    }
    state.counters["kuids"] = double(count);
}

void BM_AddEntryToPackage(benchmark::State& state)
{
    const ChunkRef entry = MakeEntry(int(state.range(0)));
    for (auto _ : state) {
        ChunkRef package;
        if (!CDP::AddAsset(package, entry).Empty())
            state.SkipWithError("the entry was not added");
        benchmark::DoNotOptimize(package.Get());
        state.PauseTiming();
        package.Release();
        state.ResumeTiming();
    }
}

void BM_ConfigFromEntry(benchmark::State& state)
{
    const ChunkRef entry = MakeEntry(int(state.range(0)));
    uint32_t rows = 0;
    for (auto _ : state) {
        ChunkRef config = CDP::MakeConfigFromEntry(entry);
        rows = TDBContainerTag::GetChildContainer(config, Nyx::PString("kuid-table")).ChildCount();
        state.PauseTiming();
        config.Release();
        state.ResumeTiming();
    }
    state.counters["rows"] = double(rows);
}

void Sizes(benchmark::internal::Benchmark* b)
{
    for (int n : kSizes)
        b->Arg(n);
    b->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_SortUniqueKUIDs)->Apply(Sizes);
BENCHMARK(BM_CollectReferencedKUIDs)->Apply(Sizes);
BENCHMARK(BM_AddEntryToPackage)->Apply(Sizes);
BENCHMARK(BM_ConfigFromEntry)->Apply(Sizes);

// ---- the daemon's start-up scan ----

const std::string& DaemonRoot()
{
    static const std::string root = [] {
        const std::string folder = benchsupport::OwnTempFolder("kuid_collection_bench") + "/root";
        std::filesystem::create_directories(folder + "/local/big");
        std::ofstream out(folder + "/local/big/config.txt", std::ios::binary);
        out << "kuid <kuid:400001:500>\nusername \"Big\"\nkind \"scenery\"\nkuid-table\n{\n";
        for (int i = 0; i < kDaemonKUIDs; ++i)
            out << "  " << i << " " << Named(i).ToString().c_str() << "\n";
        out << "}\n";
        return folder;
    }();
    return root;
}

void BM_LoadBigConfig(benchmark::State& state)
{
    const std::string folder = DaemonRoot() + "/local/big";
    for (auto _ : state) {
        ChunkRef config;
        if (!LoadConfigFile(config, folder.c_str(), "config.txt"))
            state.SkipWithError("the config did not load");
        benchmark::DoNotOptimize(config.Get());
    }
}
BENCHMARK(BM_LoadBigConfig)->Unit(benchmark::kMillisecond);

void BM_DaemonStartUpScan(benchmark::State& state)
{
    for (auto _ : state) {
        kaddaemon::AssetStore store(DaemonRoot());
        if (!store.Open() || store.Dependencies({KUID(400001, 500, 0)}).size() != size_t(kDaemonKUIDs))
            state.SkipWithError("the scan did not index the asset");
    }
}
BENCHMARK(BM_DaemonStartUpScan)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    RatioReporter reporter;
    if (!RunBenchmarksWith(reporter, argc, argv))
        return 1;
    benchmark::Shutdown();
    for (int n : kSizes) {
        const std::string arg = Numbered("/", n);
        for (const char* step : {"BM_CollectReferencedKUIDs", "BM_AddEntryToPackage", "BM_ConfigFromEntry"}) {
            char label[96];
            std::snprintf(label, sizeof label, "%s, %d KUIDs", step + 3, n);
            PrintTimeRatio(reporter, label, std::string(step) += arg, std::string("BM_SortUniqueKUIDs") += arg);
        }
    }
    PrintTimeRatio(reporter, "start-up scan, 80,000 KUIDs", "BM_DaemonStartUpScan", "BM_LoadBigConfig");
    return 0;
}
