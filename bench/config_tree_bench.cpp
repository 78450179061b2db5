// Lookup cost of a config container: 1M FindChild calls on a container of
// 200 children, one lookup per iteration so that the Time column is the time
// of one lookup. Names are asked in a fixed pseudo-random order so that hits
// spread over the whole child ring.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "config/tree/TDBContainerTag.h"

namespace {

constexpr int kChildren = 200;
constexpr int kLookups = 1000000;

void BM_FindChild200(benchmark::State& state)
{
    ChunkRef root;
    std::vector<Nyx::PString> names;
    for (int i = 0; i < kChildren; ++i) {
        names.emplace_back("tag-" + std::to_string(i));
        TDBContainerTag::SetInt(root, names.back(), i);
    }
    std::vector<Nyx::PString> order;
    uint32_t x = 1;
    for (int i = 0; i < 4096; ++i) {
        x = x * 1664525u + 1013904223u;
        order.push_back(names[(x >> 8) % kChildren]);
    }

    size_t i = 0;
    for (auto _ : state) {
        ChunkRef child = root->FindChild(order[i++ & 4095]);
        benchmark::DoNotOptimize(child.Get());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FindChild200)->Iterations(kLookups)->Unit(benchmark::kNanosecond);

}  // namespace

BENCHMARK_MAIN();
