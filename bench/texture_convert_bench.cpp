// The texture-convert job against the texture compression library called
// directly: 32 textures of 512 x 512 (DXT1 with mips), converted
//  - by the job one file at a time (one write step in flight: one worker),
//  - by the job over the whole tree (as many workers as the queue starts,
//    at most min(cores, 8)),
//  - by 32 direct single-thread library calls with the same options on the
//    decoded images (the yardstick; no files, no queue).
// Printed after the table: job at one worker / direct (the wrapper's cost:
// goal at least 0.9) and job at all workers / job at one worker (the
// speed-up, bounded by the library's one lock).
#include <benchmark/benchmark.h>
#include <nvtt/nvtt.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "RatioReporter.h"
#include "config/results/ResultsLog.h"
#include "core/files/ContentRoot.h"
#include "core/process/ProcessState.h"
#include "nyx/gfx/bitmap/Bitmap.h"
#include "resources/archive/ArchiveCache.h"
#include "resources/textures/TextureConvert.h"

namespace {

using benchsupport::OwnTempFolder;
using benchsupport::WriteFile;

constexpr int kTextures = 32;
constexpr uint32_t kSide = 512;
constexpr int64_t kBytesPerRun = int64_t{kTextures} * kSide * kSide * 4;

std::string Tga(uint32_t seed)
{
    std::string s(2, '\0');
    s += static_cast<char>(2);
    s.append(9, '\0');
    for (uint32_t v : {kSide, kSide}) {
        s += static_cast<char>(v & 0xFF);
        s += static_cast<char>(v >> 8);
    }
    s += static_cast<char>(32);
    s += static_cast<char>(0x28);
    for (uint32_t y = 0; y < kSide; ++y)
        for (uint32_t x = 0; x < kSide; ++x)
            s += std::string{static_cast<char>(x + seed), static_cast<char>(y * 2), static_cast<char>((x ^ y) + seed),
                             static_cast<char>(255)};
    return s;
}

// The content root with "editing/tex/<i>/t<i>.texture.txt" and its image.
const std::string& Root()
{
    static const std::string root = [] {
        const std::string folder = OwnTempFolder("texture_convert_bench");
        for (int i = 0; i < kTextures; ++i) {
            const std::string dir = folder + "/editing/tex/" + std::to_string(i) + "/";
            WriteFile(dir + "t.tga", Tga(static_cast<uint32_t>(i)));
            WriteFile(dir + "t.texture.txt", "Primary=t.tga\nHint=1\nAlphaHint=0\n");
        }
        SetContentRootPath(Nyx::File::Path(folder));
        return folder;
    }();
    return root;
}

void Convert(benchmark::State& state, const std::string& folder)
{
    ResultsLog log;
    if (RunTextureConvertFolder(Nyx::PString(), Nyx::File::Path(folder), log) != kTexturesConverted)
        state.SkipWithError("the conversion failed");
}

void BM_JobOneWorker(benchmark::State& state)
{
    SetMainThreadId();
    const std::string& root = Root();
    for (auto _ : state)
        for (int i = 0; i < kTextures; ++i)
            Convert(state, root + "/editing/tex/" + std::to_string(i));
    state.SetBytesProcessed(state.iterations() * kBytesPerRun);
}
BENCHMARK(BM_JobOneWorker)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_JobAllWorkers(benchmark::State& state)
{
    SetMainThreadId();
    const std::string& root = Root();
    for (auto _ : state)
        Convert(state, root + "/editing/tex");
    state.SetBytesProcessed(state.iterations() * kBytesPerRun);
}
BENCHMARK(BM_JobAllWorkers)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

class Discard : public nvtt::OutputHandler {
public:
    void beginImage(int, int, int, int, int, int) override {}
    bool writeData(const void*, int) override { return true; }
};

void BM_DirectLibrary(benchmark::State& state)
{
    std::vector<Nyx::Bitmap> images(kTextures);
    for (int i = 0; i < kTextures; ++i) {
        const std::string bytes = Tga(static_cast<uint32_t>(i));
        images[i].Decode("t.tga", reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    for (auto _ : state) {
        for (Nyx::Bitmap& image : images) {
            nvtt::Compressor compressor;
            nvtt::InputOptions input;
            nvtt::OutputOptions output;
            nvtt::CompressionOptions compression;
            Discard handler;
            input.setMipmapGeneration(true, -1);
            input.setWrapMode(nvtt::WrapMode_Repeat);
            compressor.enableCudaAcceleration(false);
            compression.setFormat(nvtt::Format_DXT1);
            compression.setQuality(nvtt::Quality_Production);
            input.setTextureLayout(nvtt::TextureType_2D, kSide, kSide, 1);
            input.setMipmapData(image.GetData(), kSide, kSide, 1, 0, 0);
            input.setMipmapFilter(nvtt::MipmapFilter_Kaiser);
            output.setOutputHandler(&handler);
            output.setOutputHeader(false);
            if (!compressor.process(input, compression, output))
                state.SkipWithError("the library failed");
        }
    }
    state.SetBytesProcessed(state.iterations() * kBytesPerRun);
}
BENCHMARK(BM_DirectLibrary)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

int main(int argc, char** argv)
{
    RatioReporter reporter;
    if (!RunBenchmarksWith(reporter, argc, argv))
        return 1;
    const double one = reporter.BytesPerSecondOf("BM_JobOneWorker");
    const double all = reporter.BytesPerSecondOf("BM_JobAllWorkers");
    const double direct = reporter.BytesPerSecondOf("BM_DirectLibrary");
    const unsigned workers = std::min(8u, std::max(1u, std::thread::hardware_concurrency()));
    std::printf("\nJob at one worker / direct library calls: %.2f (goal at least 0.90)\n",
                direct > 0 ? one / direct : 0.0);
    std::printf("Job at all workers (up to %u) / job at one worker: %.2fx speed-up\n", workers,
                one > 0 ? all / one : 0.0);
    ArchiveCache::PurgeUnused();
    benchmark::Shutdown();
    return 0;
}
