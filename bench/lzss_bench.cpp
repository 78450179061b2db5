// LZSS levels 1, 5 and 9 against zlib levels 6 and 9 on the same buffers: 4 MiB
// of generated config text and 4 MiB of mesh-like binary data. Throughput is
// counted in uncompressed bytes both ways.
#include "core/compress/LZSSCompress.h"

#include <benchmark/benchmark.h>

#include "RatioReporter.h"
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kSize = 4u << 20;

const Bytes& ConfigText()
{
    static const Bytes data = [] {
        static const char* const kTags[] = {"kuid", "username", "kind", "category-class", "category-region",
                                            "mesh-table", "effects", "attachment", "texture", "kestro-build",
                                            "description", "light", "name", "frame-rate", "auto-create"};
        static const char* const kWords[] = {"default", "mesh", "station", "freight", "bogey", "lamp", "signal",
                                             "track", "passenger", "diesel", "steam", "yard", "platform", "red"};
        std::mt19937 rng(1);
        std::string s;
        int depth = 0;
        while (s.size() < kSize) {
            s.append(2 * depth, ' ');
            const char* tag = kTags[rng() % std::size(kTags)];
            switch (rng() % 6) {
            case 0:
                s += std::string(tag) + " <kuid:" + std::to_string(rng() % 700000) + ":" +
                     std::to_string(rng() % 100000) + ">\n";
                break;
            case 1:
            case 2:
                s += std::string(tag) + " \"" + kWords[rng() % std::size(kWords)] + "_" +
                     kWords[rng() % std::size(kWords)] + "\"\n";
                break;
            case 3:
                s += std::string(tag) + " " + std::to_string(rng() % 1000) + "." + std::to_string(rng() % 100) + "\n";
                break;
            case 4:
                if (depth < 4) {
                    s += std::string(tag) + "\n" + std::string(2 * depth, ' ') + "{\n";
                    ++depth;
                    break;
                }
                [[fallthrough]];
            default:
                if (depth > 0) {
                    --depth;
                    s += "}\n";
                }
            }
        }
        return Bytes(s.begin(), s.begin() + kSize);
    }();
    return data;
}

// Vertex records (position, normal, uv as floats), index lists and a
// sprinkling of texture noise, as a mesh file holds them.
const Bytes& MeshBinary()
{
    static const Bytes data = [] {
        std::mt19937 rng(2);
        std::uniform_real_distribution<float> jitter(-0.01f, 0.01f);
        Bytes out;
        out.reserve(kSize + 4096);
        const auto put = [&out](const void* p, size_t n) {
            const auto* b = static_cast<const uint8_t*>(p);
            out.insert(out.end(), b, b + n);
        };
        while (out.size() < kSize) {
            const int vertices = 200 + rng() % 800;
            float x = 0, y = 0, z = 0;
            for (int v = 0; v < vertices; ++v) {
                x += 0.05f + jitter(rng);
                y = std::sin(x) + jitter(rng);
                z += jitter(rng);
                const float record[8] = {x, y, z, 0.0f, 1.0f, 0.0f, float(v % 16) / 16.0f, float(v / 16) / 64.0f};
                put(record, sizeof record);
            }
            for (int i = 0; i + 2 < vertices; ++i) {
                const uint16_t tri[3] = {uint16_t(i), uint16_t(i + 1), uint16_t(i + 2)};
                put(tri, sizeof tri);
            }
            for (int i = 0; i < 512; ++i)
                out.push_back(static_cast<uint8_t>(rng() & 0x3F));
        }
        out.resize(kSize);
        return out;
    }();
    return data;
}

const Bytes& Source(int which) { return which == 0 ? ConfigText() : MeshBinary(); }
const char* SourceName(int which) { return which == 0 ? "text" : "binary"; }

Bytes LZSSPack(const Bytes& in, uint32_t level)
{
    Nyx::LZSSCompress codec;
    Bytes out(in.size() + 1);
    const int64_t n = codec.CompressBlock(out.data(), static_cast<uint32_t>(out.size()), in.data(),
                                          static_cast<uint32_t>(in.size()), level);
    out.resize(n > 0 ? size_t(n) : 0);
    return out;
}

Bytes ZlibPack(const Bytes& in, int level)
{
    uLongf n = compressBound(in.size());
    Bytes out(n);
    compress2(out.data(), &n, in.data(), in.size(), level);
    out.resize(n);
    return out;
}

// The packed forms, made once per source and level.
const Bytes& Packed(bool zlib, int which, int level)
{
    static std::map<std::tuple<bool, int, int>, Bytes> cache;
    auto& slot = cache[{zlib, which, level}];
    if (slot.empty())
        slot = zlib ? ZlibPack(Source(which), level) : LZSSPack(Source(which), uint32_t(level));
    return slot;
}

void BM_LZSSCompress(benchmark::State& state)
{
    const int which = int(state.range(0));
    const uint32_t level = uint32_t(state.range(1));
    const Bytes& in = Source(which);
    Bytes out(in.size() + 1);
    Nyx::LZSSCompress codec;
    for (auto _ : state) {
        benchmark::DoNotOptimize(codec.CompressBlock(out.data(), uint32_t(out.size()), in.data(),
                                                     uint32_t(in.size()), level));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * in.size());
}

void BM_LZSSDecompress(benchmark::State& state)
{
    const int which = int(state.range(0));
    const Bytes& packed = Packed(false, which, int(state.range(1)));
    Bytes out(Source(which).size());
    Nyx::LZSSCompress codec;
    for (auto _ : state) {
        benchmark::DoNotOptimize(codec.DecompressBlock(out.data(), uint32_t(out.size()), packed.data(),
                                                       uint32_t(packed.size())));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * out.size());
}

void BM_ZlibCompress(benchmark::State& state)
{
    const int which = int(state.range(0));
    const int level = int(state.range(1));
    const Bytes& in = Source(which);
    Bytes out(compressBound(in.size()));
    for (auto _ : state) {
        uLongf n = out.size();
        benchmark::DoNotOptimize(compress2(out.data(), &n, in.data(), in.size(), level));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * in.size());
}

void BM_ZlibDecompress(benchmark::State& state)
{
    const int which = int(state.range(0));
    const Bytes& packed = Packed(true, which, int(state.range(1)));
    Bytes out(Source(which).size());
    for (auto _ : state) {
        uLongf n = out.size();
        benchmark::DoNotOptimize(uncompress(out.data(), &n, packed.data(), packed.size()));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * out.size());
}

const std::vector<std::vector<int64_t>> kLZSSArgs = {{0, 1}, {1, 1}, {0, 5}, {1, 5}, {0, 9}, {1, 9}};
const std::vector<std::vector<int64_t>> kZlibArgs = {{0, 6}, {1, 6}, {0, 9}, {1, 9}};

void LZSSArgs(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"data", "level"});
    for (const auto& a : kLZSSArgs)
        b->Args(a);
    b->Unit(benchmark::kMillisecond);
}
void ZlibArgs(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"data", "level"});
    for (const auto& a : kZlibArgs)
        b->Args(a);
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_LZSSCompress)->Apply(LZSSArgs);
BENCHMARK(BM_LZSSDecompress)->Apply(LZSSArgs);
BENCHMARK(BM_ZlibCompress)->Apply(ZlibArgs);
BENCHMARK(BM_ZlibDecompress)->Apply(ZlibArgs);

// Adds the lookup by codec, direction and level to the shared reporter.
class LZSSRatioReporter : public RatioReporter {
public:

    double Get(const char* fn, int which, int level) const
    {
        const auto it = bytesPerSecond.find(std::string(fn) + "/data:" + std::to_string(which) +
                                            "/level:" + std::to_string(level));
        return it == bytesPerSecond.end() ? 0.0 : it->second;
    }
};

bool RoundTripsAgree()
{
    for (int which = 0; which < 2; ++which) {
        for (int level : {1, 5, 9}) {
            const Bytes& packed = Packed(false, which, level);
            Bytes out(Source(which).size());
            Nyx::LZSSCompress codec;
            if (codec.DecompressBlock(out.data(), uint32_t(out.size()), packed.data(), uint32_t(packed.size())) !=
                    int64_t(out.size()) ||
                out != Source(which))
                return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (!RoundTripsAgree()) {
        std::fprintf(stderr, "LZSS round trip failed\n");
        return 1;
    }
    LZSSRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    for (int which = 0; which < 2; ++which) {
        const double in = double(Source(which).size());
        std::printf("\n%s (%u bytes): packed size LZSS-1 %.3f, LZSS-5 %.3f, LZSS-9 %.3f, zlib-6 %.3f, zlib-9 %.3f\n",
                    SourceName(which), kSize, Packed(false, which, 1).size() / in, Packed(false, which, 5).size() / in,
                    Packed(false, which, 9).size() / in, Packed(true, which, 6).size() / in,
                    Packed(true, which, 9).size() / in);
        const double inflate6 = reporter.Get("BM_ZlibDecompress", which, 6);
        std::printf("  LZSS-5 compress / zlib-6 compress:     %.3f (goal >= 0.5)\n",
                    ratio(reporter.Get("BM_LZSSCompress", which, 5), reporter.Get("BM_ZlibCompress", which, 6)));
        std::printf("  LZSS-1 decompress / zlib-6 inflate:    %.3f (goal >= 0.8)\n",
                    ratio(reporter.Get("BM_LZSSDecompress", which, 1), inflate6));
        std::printf("  LZSS-5 decompress / zlib-6 inflate:    %.3f (goal >= 0.8)\n",
                    ratio(reporter.Get("BM_LZSSDecompress", which, 5), inflate6));
        std::printf("  LZSS-9 compress / zlib-9 compress:     %.3f\n",
                    ratio(reporter.Get("BM_LZSSCompress", which, 9), reporter.Get("BM_ZlibCompress", which, 9)));
        std::printf("  LZSS-9 decompress / zlib-9 inflate:    %.3f\n",
                    ratio(reporter.Get("BM_LZSSDecompress", which, 9), reporter.Get("BM_ZlibDecompress", which, 9)));
    }
    return 0;
}
