// A progressive mesh of about 100,000 faces (7 chunks of 7,168 quads) swept
// from full detail to its base and back by the progressive instance, beside
// a plain loop that applies the same records of the same tables to plain
// count and index arrays. Goal: the instance within 1.5× of the loop.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "RatioReporter.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "resources/mesh/instance/InstanceTestSupport.h"
#include "resources/mesh/progressive/KestroProgressiveMeshInstance.h"
#include "resources/mesh/progressive/ProgressiveTestSupport.h"

namespace {

constexpr uint32_t kChunks = 7;
constexpr uint32_t kQuadsPerChunk = 7168;

// One quad of every chunk is the base; each further set adds one quad to
// every chunk.
TestMesh BenchMesh()
{
    TestMesh mesh;
    TestProgressive pm;
    for (uint32_t c = 0; c < kChunks; ++c)
        mesh.chunks.push_back(QuadStripChunk(kQuadsPerChunk));
    pm.sets.push_back(kChunks);
    for (uint32_t c = 0; c < kChunks; ++c) {
        pm.groups.push_back({c, 1});
        pm.records.push_back({0, 0, 0, 0});
    }
    for (uint32_t q = 1; q < kQuadsPerChunk; ++q) {
        pm.sets.push_back(kChunks);
        for (uint32_t c = 0; c < kChunks; ++c) {
            pm.groups.push_back({c, 1});
            pm.records.push_back({4, 2, 1, 1});
            pm.values.push_back(6 * q);
        }
    }
    mesh.progressive = pm;
    return mesh;
}

struct Fixture {
    ProgressiveLoadHarness load;
    Nyx::Display display;
    CountingResource resource;
    std::unique_ptr<KestroProgressiveMeshInstance> instance;
    uint64_t records = 0;

    bool Prepare()
    {
        load.kernel.GetMaterialManager().SetRenderContext(&display);
        if (load.Load(BenchMesh()) != RES_OK)
            return false;
        instance = std::make_unique<KestroProgressiveMeshInstance>(&load.kernel.GetMaterialManager());
        instance->Bind(&resource, *load.definition);
        records = load.definition->GetRecordCount() - kChunks;
        return true;
    }
};

Fixture* g_fixture = nullptr;

void BM_Instance(benchmark::State& state)
{
    KestroProgressiveMeshInstance& instance = *g_fixture->instance;
    for (auto _ : state) {
        instance.LowerDetail(0);
        instance.RaiseDetail(0xFFFFFFFFu);
        benchmark::DoNotOptimize(instance.GetCurrentFaceCount());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 2 * g_fixture->records * 16));
}

// The same walk over plain arrays: no chunks, no instance, no checks.
void BM_PlainLoop(benchmark::State& state)
{
    const KestroProgressiveMeshDefinition& d = *g_fixture->load.definition;
    struct Plain {
        uint32_t vertices, indices, primitives;
        std::vector<uint16_t> index;
    };
    std::vector<Plain> chunks;
    for (uint32_t c = 0; c < d.GetChunkCount(); ++c) {
        const Nyx::GeometryChunk* chunk = d.GetChunk(c);
        chunks.push_back({chunk->GetVertexCount(), chunk->GetIndexCount(), chunk->GetPrimitiveCount(),
                          {chunk->GetIndexArray(), chunk->GetIndexArray() + chunk->GetIndexCount()}});
    }
    uint32_t faces = d.GetFullFaceCount();
    const auto apply = [&](const ProgressiveSet& set, int sign) {
        for (uint32_t g = set.firstGroup; g < set.firstGroup + set.groupsUsed; ++g) {
            const ProgressiveGroup& group = d.GetGroups()[g];
            Plain& chunk = chunks[group.chunkIndex];
            for (uint32_t r = group.firstRecord; r < group.firstRecord + group.recordsUsed; ++r) {
                const ProgressiveRecord& record = d.GetRecords()[r];
                chunk.vertices += sign * record.vertexDelta;
                chunk.indices += sign * 3 * record.faceDelta;
                chunk.primitives += sign * record.faceDelta;
                for (uint32_t v = record.firstValue; v < record.firstValue + record.valuesUsed; ++v)
                    chunk.index[d.GetValues()[v]] += static_cast<uint16_t>(sign * record.indexDelta);
                faces += sign * record.faceDelta;
            }
        }
    };
    const uint32_t last = d.GetSetCount() - 1;
    for (auto _ : state) {
        for (uint32_t s = last; s > 0; --s)
            apply(d.GetSets()[s], -1);
        for (uint32_t s = 1; s <= last; ++s)
            apply(d.GetSets()[s], 1);
        benchmark::DoNotOptimize(faces);
        benchmark::DoNotOptimize(chunks.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 2 * g_fixture->records * 16));
}

BENCHMARK(BM_Instance)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainLoop)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Fixture fixture;
    if (!fixture.Prepare()) {
        std::fprintf(stderr, "the bench mesh did not load\n");
        return 1;
    }
    g_fixture = &fixture;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const double instance = reporter.BytesPerSecondOf("BM_Instance");
    const double plain = reporter.BytesPerSecondOf("BM_PlainLoop");
    std::printf("%u faces: plain loop / instance time %.2f (goal: at most 1.5)\n",
                fixture.load.definition->GetFullFaceCount(), instance > 0 ? plain / instance : 0.0);
    return 0;
}
