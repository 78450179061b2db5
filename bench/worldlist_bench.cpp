// The world list's stream form, beside its yardstick in the same run:
//  - SaveItems of 100,000 items (8-byte payloads) into a memory stream
//    against fwrite of the same bytes into a temporary file (goal: within
//    3x);
//  - LoadItems of those bytes into an empty list, every item made again by
//    its factory, against fread of them (goal: within 3x).
// The ratios (ours / yardstick, time per byte) are printed after the table,
// with two floors beside them that no list can go below, as they are work
// the items themselves cost: asking every item for what its record holds
// (a call for its KUID and type code and a look at its payload, each item
// an object of its own on the heap), and making every item as the factory
// does.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "RatioReporter.h"
#include "core/streams/TStream.h"
#include "scriptapi-harness/TestWorldItem.h"
#include "scriptapi/world/WorldList.h"

namespace {

constexpr int kItems = 100000;

TestWorldItemFactory factory;

WorldList& FullList()
{
    static WorldList* list = [] {
        auto* made = new WorldList;
        for (int i = 0; i < kItems; ++i)
            made->AddItem(*new TestWorldItem(KUID(1, i, 0), std::string(8, char('a' + i % 26))));
        return made;
    }();
    return *list;
}

const std::string& SavedBytes()
{
    static const std::string bytes = [] {
        TBuffer out;
        FullList().SaveItems(out, 0);
        Nyx::DynamicBuffer* b = out.GetBuffer();
        return std::string(reinterpret_cast<const char*>(b->Data()), b->DataLength());
    }();
    return bytes;
}

// The rows that make items free them between runs, untimed. The allocator
// files small freed blocks away and sorts them out at its next large
// request, which one row makes (the list's pages) and the other does not:
// that upkeep is done here for both, so neither pays for the last run's
// frees. The memory stays with the process (see main), as the yardsticks'
// memory does: no row's time is the system handing out fresh pages.
void ReturnFreedMemory()
{
    void* large = std::malloc(64 * 1024 - 64);
    benchmark::DoNotOptimize(large);
    std::free(large);
}

void BM_SaveItems(benchmark::State& state)
{
    WorldList& list = FullList();
    TBuffer out;
    for (auto _ : state) {
        out.Reset();
        list.SaveItems(out, 0);
        benchmark::DoNotOptimize(out.Tell());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(SavedBytes().size()));
}
BENCHMARK(BM_SaveItems)->Unit(benchmark::kMillisecond);

void BM_VisitItems(benchmark::State& state)
{
    WorldList& list = FullList();
    for (auto _ : state) {
        uint64_t sum = 0;
        for (uint32_t id = 0; id < list.Count(); ++id) {
            WorldListItem* item = list.ItemAt(id);
            if (!item)
                continue;
            const KUID kuid = item->GetKUID();
            sum += uint32_t(kuid.content) + item->GetTypeCode();
            sum += uint8_t(static_cast<TestWorldItem*>(item)->Payload().back());
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(SavedBytes().size()));
}
BENCHMARK(BM_VisitItems)->Unit(benchmark::kMillisecond);

void BM_FwriteBytes(benchmark::State& state)
{
    const std::string& bytes = SavedBytes();
    std::FILE* file = std::tmpfile();
    for (auto _ : state) {
        std::rewind(file);
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fflush(file);
    }
    std::fclose(file);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}
BENCHMARK(BM_FwriteBytes)->Unit(benchmark::kMillisecond);

void BM_LoadItems(benchmark::State& state)
{
    const std::string& bytes = SavedBytes();
    TBuffer in;
    in.WriteBytes(bytes.data(), uint32_t(bytes.size()));
    std::optional<WorldList> list;
    for (auto _ : state) {
        list.emplace();
        in.Rewind();
        list->LoadItems(in, true, 0xFFFFFFFFu);
        benchmark::DoNotOptimize(list->Count());
        state.PauseTiming();
        list.reset();
        ReturnFreedMemory();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}
BENCHMARK(BM_LoadItems)->Unit(benchmark::kMillisecond);

void BM_MakeItems(benchmark::State& state)
{
    std::vector<TestWorldItem*> items(kItems);
    for (auto _ : state) {
        for (int i = 0; i < kItems; ++i)
            items[i] = new TestWorldItem(KUID(1, i, 0), std::string(8, char('a' + i % 26)));
        benchmark::DoNotOptimize(items.data());
        state.PauseTiming();
        for (TestWorldItem* item : items)
            delete item;
        ReturnFreedMemory();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(SavedBytes().size()));
}
BENCHMARK(BM_MakeItems)->Unit(benchmark::kMillisecond);

void BM_FreadBytes(benchmark::State& state)
{
    const std::string& bytes = SavedBytes();
    std::FILE* file = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fflush(file);
    std::vector<char> back(bytes.size());
    for (auto _ : state) {
        std::rewind(file);
        benchmark::DoNotOptimize(std::fread(back.data(), 1, back.size(), file));
    }
    std::fclose(file);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}
BENCHMARK(BM_FreadBytes)->Unit(benchmark::kMillisecond);

void PrintRatio(const RatioReporter& r, const char* label, const char* ours, const char* reference)
{
    const double a = r.BytesPerSecondOf(ours);
    const double b = r.BytesPerSecondOf(reference);
    if (a > 0 && b > 0)
        std::printf("  %-40s %.2f\n", label, b / a);
}

}  // namespace

int main(int argc, char** argv)
{
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nRatios (ours / yardstick, time per byte):\n");
    PrintRatio(reporter, "SaveItems / fwrite (goal <= 3)", "BM_SaveItems", "BM_FwriteBytes");
    PrintRatio(reporter, "LoadItems / fread (goal <= 3)", "BM_LoadItems", "BM_FreadBytes");
    PrintRatio(reporter, "floor: visiting the items / fwrite", "BM_VisitItems", "BM_FwriteBytes");
    PrintRatio(reporter, "floor: making the items / fread", "BM_MakeItems", "BM_FreadBytes");
    benchmark::Shutdown();
    return 0;
}
