// One frame of the sorted alpha-blend cache: 1,000 chunks, 200 of them near
// the viewer with 1,000 triangles each, cleared, added and drawn into a
// recording display that keeps nothing; beside std::sort of the same
// {index, distance²} records (the near chunks' primitives) and insertion of
// the chunks' distances into a std::multimap. Goal: the frame within 2× of
// the std::sort time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "RatioReporter.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/scene/ViewPoint.h"
#include "resources/AlphaBlendCaches.h"
#include "resources/mesh/GeometryChunkTemplate.h"

namespace {

constexpr int kChunks = 1000;
constexpr int kNear = 200;
constexpr int kTriangles = 1000;

struct Frame {
    std::vector<std::unique_ptr<Nyx::GeometryChunk>> chunks;
    std::vector<Nyx::Matrix4> worlds;
    // The near chunks' primitives as the cache sorts them.
    std::vector<std::vector<Nyx::KestroAlphaBlendCache::PrimitiveRecord>> records;
    std::vector<float> distances;
};

Nyx::GeometryChunk* NearChunk(uint32_t seed)
{
    auto* chunk = new Nyx::GeometryChunkPNT(3 * kTriangles, kTriangles, 3 * kTriangles, 0, 0);
    chunk->SetPrimitiveFlags(4);
    const auto positions = chunk->GetVector3Array(Nyx::kItemPosition);
    uint32_t state = seed * 2654435761u + 1;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) / 16777216.0f * 20.0f - 10.0f;
    };
    for (uint32_t v = 0; v < 3 * kTriangles; ++v)
        positions[v] = {next(), next(), next()};
    uint16_t* indices = chunk->GetIndexArray();
    for (uint32_t i = 0; i < 3 * kTriangles; ++i)
        indices[i] = static_cast<uint16_t>(i);
    return chunk;
}

const Frame& TheFrame()
{
    static const Frame frame = [] {
        Frame f;
        for (int i = 0; i < kChunks; ++i) {
            const bool near = i % (kChunks / kNear) == 0;
            Nyx::GeometryChunk* chunk =
                near ? NearChunk(static_cast<uint32_t>(i)) : new Nyx::GeometryChunkPNT(3, 1, 3, 0, 0);
            if (!near) {
                chunk->SetPrimitiveFlags(4);
                std::fill(chunk->GetIndexArray(), chunk->GetIndexArray() + 3, uint16_t{0});
            }
            f.chunks.emplace_back(chunk);
            Nyx::Matrix4 world;
            world.m[3][2] = near ? -(20.0f + static_cast<float>(i % 300)) : -(400.0f + static_cast<float>(i));
            f.worlds.push_back(world);
            f.distances.push_back(-world.m[3][2]);
            if (near) {
                std::vector<Nyx::KestroAlphaBlendCache::PrimitiveRecord> r;
                const auto positions = chunk->GetVector3Array(Nyx::kItemPosition);
                for (int32_t t = 0; t < kTriangles; ++t) {
                    const auto& p = positions[static_cast<uint32_t>(3 * t)];
                    const float dz = p.z - world.m[3][2];
                    r.push_back({t, p.x * p.x + p.y * p.y + dz * dz});
                }
                f.records.push_back(std::move(r));
            }
        }
        return f;
    }();
    return frame;
}

int64_t RecordBytes()
{
    return int64_t{kNear} * kTriangles * static_cast<int64_t>(sizeof(Nyx::KestroAlphaBlendCache::PrimitiveRecord));
}

void BM_AlphaCacheFrame(benchmark::State& state)
{
    const Frame& frame = TheFrame();
    Nyx::Display display;
    display.SetKeepRecording(false);
    Nyx::ViewPoint viewport;
    auto* material = new Nyx::OneTextureMaterial(Nyx::PString("glass.m.onetex"), Nyx::PString("onetex"));
    material->AddRef();
    Nyx::KestroAlphaBlendCache cache;
    for (auto _ : state) {
        cache.Clear();
        for (int i = 0; i < kChunks; ++i)
            cache.AddChunk(*material, *frame.chunks[i], nullptr, frame.worlds[i]);
        cache.RenderChunks(display, &viewport);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * RecordBytes());
    material->Release();
}
BENCHMARK(BM_AlphaCacheFrame)->Unit(benchmark::kMillisecond)->Repetitions(3);

void BM_StdSortRecords(benchmark::State& state)
{
    const Frame& frame = TheFrame();
    std::vector<Nyx::KestroAlphaBlendCache::PrimitiveRecord> work;
    for (auto _ : state) {
        for (const auto& records : frame.records) {
            work.assign(records.begin(), records.end());
            std::sort(work.begin(), work.end(),
                      [](const auto& a, const auto& b) { return a.distance2 > b.distance2; });
            benchmark::DoNotOptimize(work.data());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * RecordBytes());
}
BENCHMARK(BM_StdSortRecords)->Unit(benchmark::kMillisecond)->Repetitions(3);

void BM_MultimapChunks(benchmark::State& state)
{
    const Frame& frame = TheFrame();
    for (auto _ : state) {
        std::multimap<float, const Nyx::GeometryChunk*, std::greater<float>> order;
        for (int i = 0; i < kChunks; ++i)
            order.emplace(frame.distances[i], frame.chunks[i].get());
        benchmark::DoNotOptimize(order.size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * RecordBytes());
}
BENCHMARK(BM_MultimapChunks)->Unit(benchmark::kMillisecond)->Repetitions(3);

}  // namespace

int main(int argc, char** argv)
{
    RatioReporter reporter;
    if (!RunBenchmarksWith(reporter, argc, argv))
        return 1;
    benchmark::Shutdown();
    const double frame = reporter.BytesPerSecondOf("BM_AlphaCacheFrame");
    const double sort = reporter.BytesPerSecondOf("BM_StdSortRecords");
    if (frame > 0 && sort > 0)
        std::printf("cache frame time / std::sort time: %.2f (goal: at most 2)\n", sort / frame);
    return 0;
}
