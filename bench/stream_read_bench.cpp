// Typed record reads from a TBuffer against fread + memcpy of the same bytes
// from a FILE* over an in-memory file. A record is an i32, an f32, a u64 and
// a bool (17 bytes), repeated.
#include "core/streams/TStream.h"

#include <benchmark/benchmark.h>

#include "RatioReporter.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kRecordSize = 4 + 4 + 8 + 1;
constexpr uint32_t kRecords = 1u << 20;

struct Record {
    int32_t i;
    float f;
    uint64_t u;
    bool b;
};

const std::vector<uint8_t>& Data()
{
    static const std::vector<uint8_t> data = [] {
        TBuffer out;
        std::mt19937 rng(1);
        for (uint32_t r = 0; r < kRecords; ++r) {
            out.WriteInt32(static_cast<int32_t>(rng()));
            out.WriteFloat(static_cast<float>(rng() % 1000) / 8.0f);
            out.WriteUInt64((uint64_t(rng()) << 32) | rng());
            out.WriteBool(rng() & 1);
        }
        const Nyx::DynamicBuffer* b = out.GetBuffer();
        return std::vector<uint8_t>(b->Data(), b->Data() + b->DataLength());
    }();
    return data;
}

uint64_t Fold(const Record& r)
{
    return uint64_t(uint32_t(r.i)) + std::bit_cast<uint32_t>(r.f) + r.u + r.b;
}

uint64_t ReadStream(TStream& s)
{
    uint64_t sum = 0;
    Record r;
    for (uint32_t n = 0; n < kRecords; ++n) {
        s.ReadInt32(r.i, 0);
        s.ReadFloat(r.f, 0.0f);
        s.ReadUInt64(r.u, 0);
        s.ReadBool(r.b, false);
        sum += Fold(r);
    }
    return sum;
}

uint64_t ReadPlain(FILE* f)
{
    uint64_t sum = 0;
    Record r;
    uint8_t raw[kRecordSize];
    for (uint32_t n = 0; n < kRecords; ++n) {
        if (std::fread(raw, kRecordSize, 1, f) != 1)
            break;
        std::memcpy(&r.i, raw, 4);
        std::memcpy(&r.f, raw + 4, 4);
        std::memcpy(&r.u, raw + 8, 8);
        r.b = raw[16] != 0;
        sum += Fold(r);
    }
    return sum;
}

void BM_TBufferRecords(benchmark::State& state)
{
    const auto& d = Data();
    Nyx::DynamicBuffer buf;
    buf.Write(d.data(), static_cast<uint32_t>(d.size()), 1);
    TBuffer s(&buf, false);
    for (auto _ : state) {
        s.Rewind();
        benchmark::DoNotOptimize(ReadStream(s));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * d.size());
}
BENCHMARK(BM_TBufferRecords);

void BM_FreadRecords(benchmark::State& state)
{
    auto d = Data();
    FILE* f = fmemopen(d.data(), d.size(), "rb");
    for (auto _ : state) {
        std::rewind(f);
        benchmark::DoNotOptimize(ReadPlain(f));
    }
    std::fclose(f);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * d.size());
}
BENCHMARK(BM_FreadRecords);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    // Both readers must see the same records before their speeds compare.
    {
        auto d = Data();
        Nyx::DynamicBuffer buf;
        buf.Write(d.data(), static_cast<uint32_t>(d.size()), 1);
        TBuffer s(&buf, false);
        s.Rewind();
        FILE* f = fmemopen(d.data(), d.size(), "rb");
        uint64_t ours = ReadStream(s);
        uint64_t plain = ReadPlain(f);
        std::fclose(f);
        if (ours != plain || s.GetError() != 0) {
            std::fprintf(stderr, "TBuffer and fread disagree\n");
            return 1;
        }
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto ours = reporter.bytesPerSecond.find("BM_TBufferRecords");
    const auto plain = reporter.bytesPerSecond.find("BM_FreadRecords");
    if (ours != reporter.bytesPerSecond.end() && plain != reporter.bytesPerSecond.end() && ours->second > 0)
        std::printf("TBuffer / fread time ratio: %.3f\n", plain->second / ours->second);
    return 0;
}
