// Loading a 64 MB synthetic ".im" from memory into an indexed mesh
// definition with the headless material manager, beside a memcpy of the
// same bytes. Goal: the load at most 5× the copy's time.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "RatioReporter.h"
#include "nyx/RenderKernel.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "resources/mesh/indexed/KestroIndexedMeshDefinition.h"
#include "resources/mesh/MeshFileWriter.h"
#include "resources/mesh/MeshOwner.h"

namespace {

// 25 chunks of 16,000 squares: 64,000 vertices and 96,000 indices each.
const std::vector<uint8_t>& File()
{
    static const std::vector<uint8_t> bytes = [] {
        TestMesh mesh;
        const TestChunk chunk = QuadStripChunk(16000);
        for (int k = 0; k < 25; ++k) {
            mesh.chunks.push_back(chunk);
            mesh.chunks.back().material.name = "part" + std::to_string(k % 4) + ".m.onetex";
        }
        return WriteMeshFile(mesh);
    }();
    return bytes;
}

void BM_MeshLoad(benchmark::State& state)
{
    const std::vector<uint8_t>& bytes = File();
    Nyx::RenderKernel kernel(nullptr, 1.0f);
    MeshOwner owner(Nyx::PString("bench"), Nyx::PString("assets/mesh.im"));
    for (auto _ : state) {
        state.PauseTiming();
        auto definition = std::make_unique<KestroIndexedMeshDefinition>();
        definition->SetFileData(bytes.data(), static_cast<uint32_t>(bytes.size()));
        state.ResumeTiming();
        MeshLoadResult result = RES_UNKNOWN;
        definition->Load(result, &kernel, &kernel.GetMaterialManager(), owner, 0);
        if (result != RES_OK)
            state.SkipWithError("the mesh did not load");
        state.PauseTiming();
        definition.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_MeshLoad)->Unit(benchmark::kMillisecond)->Repetitions(3);

void BM_Memcpy(benchmark::State& state)
{
    const std::vector<uint8_t>& bytes = File();
    std::vector<uint8_t> copy(bytes.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), bytes.data(), bytes.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond)->Repetitions(3);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    std::printf("mesh file: %.1f MB\n", File().size() / 1e6);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const double load = reporter.BytesPerSecondOf("BM_MeshLoad");
    const double copy = reporter.BytesPerSecondOf("BM_Memcpy");
    if (load > 0 && copy > 0)
        std::printf("mesh load time / memcpy time: %.2f (goal: at most 5)\n", copy / load);
    return 0;
}
