// Loading a 50-level ".lm" of 200,000 triangles from its file into a LOD
// mesh definition with the headless material manager, beside reading the
// same file's bytes into memory. Goal: the load at most 3× the read's time.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "RatioReporter.h"
#include "nyx/files/File.h"
#include "nyx/files/MemoryFile.h"
#include "nyx/RenderKernel.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "resources/lod/KestroIndexedMeshLODDefinition.h"
#include "resources/lod/LodFileWriter.h"
#include "resources/mesh/MeshOwner.h"

namespace {

constexpr int kLevels = 50;
constexpr uint32_t kQuads = 100000;  // two triangles each

// Levels that shrink step by step, one piece each, 100,000 squares in all.
std::vector<uint8_t> MakeFile()
{
    TestLod lod;
    lod.materials.push_back(TestMaterial{});
    uint32_t left = kQuads;
    for (int k = 0; k < kLevels; ++k) {
        const uint32_t quads = k + 1 == kLevels ? left : kQuads * (kLevels - k) / (kLevels * (kLevels + 1) / 2);
        left -= quads;
        TestLodMesh mesh;
        mesh.cutOff = 10.0f * static_cast<float>(k + 1);
        mesh.pieces.push_back(QuadPiece(quads));
        lod.meshes.push_back(std::move(mesh));
    }
    return WriteLodFile(lod);
}

// The file on disk for the run, removed at exit.
class BenchFile {
public:
    BenchFile()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/lod_load_bench.XXXXXX";
        if (::mkdtemp(templ.data()))
            folder_ = templ;
        path_ = folder_ + "/levels.lm";
        bytes_ = MakeFile();
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
    }
    ~BenchFile()
    {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    const std::string& Path() const { return path_; }
    size_t Size() const { return bytes_.size(); }

private:
    std::string folder_;
    std::string path_;
    std::vector<uint8_t> bytes_;
};

const BenchFile& File()
{
    static const BenchFile file;
    return file;
}

void BM_LodLoad(benchmark::State& state)
{
    const BenchFile& file = File();
    Nyx::RenderKernel kernel(nullptr, 1.0f);
    MeshOwner owner(Nyx::PString("bench"), Nyx::PString(file.Path()));
    for (auto _ : state) {
        state.PauseTiming();
        auto definition = std::make_unique<KestroIndexedMeshLODDefinition>();
        state.ResumeTiming();
        MeshLoadResult result = RES_UNKNOWN;
        definition->LoadFile(result, &kernel, &kernel.GetMaterialManager(), owner, Nyx::String(file.Path()));
        if (result != RES_OK || definition->GetLevelCount() != kLevels)
            state.SkipWithError("the LOD mesh did not load");
        state.PauseTiming();
        definition.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.Size()));
}
BENCHMARK(BM_LodLoad)->Unit(benchmark::kMillisecond)->Repetitions(3);

// The yardstick: the same file opened and read whole into memory.
void BM_ReadFile(benchmark::State& state)
{
    const BenchFile& file = File();
    for (auto _ : state) {
        Nyx::File opened;
        Nyx::MemoryFile memory;
        if (!opened.Open(Nyx::File::Path(file.Path()), Nyx::File::kModeRead) || !memory.Open(opened))
            state.SkipWithError("the file could not be read");
        benchmark::DoNotOptimize(memory.GetData());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.Size()));
}
BENCHMARK(BM_ReadFile)->Unit(benchmark::kMillisecond)->Repetitions(3);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    std::printf("LOD file: %d levels, %u triangles, %.1f MB\n", kLevels, 2 * kQuads, File().Size() / 1e6);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const double load = reporter.BytesPerSecondOf("BM_LodLoad");
    const double read = reporter.BytesPerSecondOf("BM_ReadFile");
    if (load > 0.0 && read > 0.0)
        std::printf("load / read time: %.2fx (goal: at most 3x)\n", read / load);
    return 0;
}
