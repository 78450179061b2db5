// Config text reader throughput: a 10 MB text of asset-like configs (nested
// containers, strings, KUIDs, integers, floats and number lists), written by
// the config text writer, read into a tree from a file and from memory. The
// "MB/s" column counts 10^6 bytes of text per second.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "config/ConfigFile.h"
#include "config/ConfigText.h"
#include "config/FloatArray.h"
#include "config/KUID.h"
#include "config/TDBContainerTag.h"
#include "core/TStream.h"

namespace {

using Tag = TDBContainerTag;

constexpr size_t kTargetBytes = 10u * 1000 * 1000;

ChunkRef AssetConfig(int n)
{
    ChunkRef asset;
    Tag::SetKUID(asset, "kuid", KUID(100000 + n % 5000, n, n % 7));
    Tag::SetString(asset, "username", "Generated asset number " + std::to_string(n));
    Tag::SetString(asset, "kind", n % 3 ? "scenery" : "traincar");
    Tag::SetFloat(asset, "kestro-build", 4.6f);
    Tag::SetString(asset, "category-class", "BR");
    Tag::SetString(asset, "category-region", "AU;NZ");
    Tag::SetString(asset, "description",
                   "A generated asset for the reader benchmark.\r\nIt has two lines of text.");
    ChunkRef meshTable, lod;
    Tag::SetString(lod, "mesh", "body/lod" + std::to_string(n % 4) + ".im");
    Tag::SetInt(lod, "auto-create", 1);
    FloatArray offset;
    offset.Append(0.25f * float(n % 40));
    offset.Append(-1.5f);
    offset.Append(2.125f);
    Tag::SetNumberList(lod, "offset", offset);
    Tag::SetChildContainer(meshTable, "default", lod);
    Tag::SetChildContainer(asset, "mesh-table", meshTable);
    ChunkRef kuidTable;
    for (int i = 0; i < 4; ++i)
        Tag::SetKUID(kuidTable, std::to_string(i), KUID(-3, 1000 + n + i, 127));
    Tag::SetChildContainer(asset, "kuid-table", kuidTable);
    ChunkRef strings;
    Tag::SetString(strings, "de", "Gr\xC3\xBC\xC3\x9F" "e aus dem Generator");
    Tag::SetString(strings, "fr", "Bonjour \xC3\xA0 tous");
    Tag::SetChildContainer(asset, "string-table", strings);
    Tag::SetInt(asset, "light", n % 100);
    Tag::SetFloat(asset, "mass", 1234.5f + float(n % 10));
    return asset;
}

// The text, made once: assets below a few group containers until 10 MB.
const std::string& Text()
{
    static const std::string text = [] {
        ChunkRef root;
        ChunkRef group;
        int groups = 0;
        size_t estimate = 0;
        for (int n = 0; estimate < kTargetBytes; ++n) {
            ChunkRef asset = AssetConfig(n);
            Tag::SetChildContainer(group, "asset-" + std::to_string(n), asset);
            estimate += 1200;
            if (n % 500 == 499) {
                Tag::SetChildContainer(root, "group-" + std::to_string(groups++), group);
                group = ChunkRef();
            }
        }
        if (group)
            Tag::SetChildContainer(root, "group-" + std::to_string(groups), group);
        std::unique_ptr<TBuffer> buffer = ConfigToTextBuffer(root);
        const Nyx::DynamicBuffer* b = buffer->GetBuffer();
        std::string out(reinterpret_cast<const char*>(b->Data()), b->DataLength());
        // The generator's tree and strings are no part of what is measured.
        buffer.reset();
        root = ChunkRef();
        Nyx::PStringCache::CollectGarbage();
        ::malloc_trim(0);
        return out;
    }();
    return text;
}

const std::string& TextFile()
{
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string p = std::string(tmp && *tmp ? tmp : "/tmp") + "/kestro-config-text-bench-"
                        + std::to_string(::getpid()) + ".txt";
        std::FILE* f = std::fopen(p.c_str(), "wb");
        if (f) {
            std::fwrite(Text().data(), 1, Text().size(), f);
            std::fclose(f);
        }
        return p;
    }();
    return path;
}

void Report(benchmark::State& state)
{
    double bytes = double(Text().size()) * double(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["MB/s"] = benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsRate);
    state.counters["text_MB"] = double(Text().size()) / 1e6;
}

// Outside the timing: the tree is freed, and the allocator folds the freed
// blocks together, which it would otherwise do on the next request of 1 KiB
// or more, in the middle of the next reading.
void ReleaseTree(ChunkRef& root)
{
    root.Release();
    void* volatile block = std::malloc(4096);
    std::free(block);
}

void BM_ReadConfigTextFile(benchmark::State& state)
{
    const std::string& path = TextFile();
    for (auto _ : state) {
        TFile file;
        file.Open(Nyx::File::Path(path), Nyx::File::kModeRead);
        ChunkRef root;
        ReadConfigText(root, file, false);
        if (!root)
            state.SkipWithError("no tree read");
        benchmark::DoNotOptimize(root.Get());
        // Into the tree: taking it down again is not the reader's work.
        state.PauseTiming();
        ReleaseTree(root);
        state.ResumeTiming();
    }
    Report(state);
}
BENCHMARK(BM_ReadConfigTextFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ReadConfigTextMemory(benchmark::State& state)
{
    const std::string& text = Text();
    TBuffer stream;
    stream.GetBuffer()->Write(text.data(), static_cast<uint32_t>(text.size()), 1);
    for (auto _ : state) {
        stream.Rewind();
        ChunkRef root;
        ReadConfigText(root, stream, false);
        benchmark::DoNotOptimize(root.Get());
        state.PauseTiming();
        ReleaseTree(root);
        state.ResumeTiming();
    }
    Report(state);
}
BENCHMARK(BM_ReadConfigTextMemory)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv)
{
    // A reading process keeps the memory of the trees it freed, as one that
    // reads configs all the time does; returning it to the system after
    // every iteration would time the system's page clearing instead.
    ::mallopt(M_TRIM_THRESHOLD, 1 << 30);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(TextFile().c_str());
    return 0;
}
