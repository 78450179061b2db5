// Config text reader throughput: a 10 MB text of asset-like configs (nested
// containers, strings, KUIDs, integers, floats and number lists), written by
// the config text writer, read into a tree from a file and from memory. The
// "MB/s" column counts 10^6 bytes of text per second.
//
// Yardstick: rapidjson's DOM parse (Document::Parse) of the same tree
// written as JSON (objects for containers, arrays for number lists, KUIDs as
// strings), laid out as the config text is (indentation, values at column
// 40, CR LF), so both texts are of about the same bytes. The reader's time
// per byte against the yardstick's is printed at the end.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "RatioReporter.h"
#include "config/tree/ACSConvert.h"
#include "config/formats/ConfigFile.h"
#include "config/formats/ConfigText.h"
#include "config/tree/FloatArray.h"
#include "config/kuid/KUID.h"
#include "config/tree/TDBContainerTag.h"
#include "core/streams/TStream.h"

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

struct Texts {
    std::string config;
    std::string json;
};

void AppendJsonString(std::string& out, std::string_view text)
{
    static const char kHex[] = "0123456789abcdef";
    out += '"';
    for (char ch : text) {
        auto c = static_cast<uint8_t>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 15];
            } else {
                out += ch;
            }
        }
    }
    out += '"';
}

void AppendJsonValue(std::string& out, const ChunkRef& chunk)
{
    const uint8_t* data = chunk->GetData();
    uint32_t size = chunk->GetDataSize();
    switch (chunk->GetType()) {
    case ACS_TYPE_INT:
    case ACS_TYPE_FLOAT: {
        bool list = size > 4;
        if (list)
            out += '[';
        if (chunk->GetType() == ACS_TYPE_INT)
            AppendIntText(out, data, size);
        else
            AppendFloatText(out, data, size);
        if (list)
            out += ']';
        return;
    }
    case ACS_TYPE_KUID:
        AppendJsonString(out, size == KUID::kPackedSize ? KUID::FromChunk(data).ToString().View() : "");
        return;
    case ACS_TYPE_STRING:
        AppendJsonString(out, RawDataText(ACSRawData::FromChunk(chunk)));
        return;
    default:
        out += "null";
    }
}

// The JSON twin of the config text writer's layout: the same indentation,
// blank lines and value column, so only the quotes, colons and commas differ.
void AppendJsonMembers(std::string& out, const ChunkRef& container, int level)
{
    const std::string indent(size_t(level) * 2, ' ');
    uint32_t count = container->GetChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        ChunkRef child;
        if (!container->GetChildAt(i, name, child))
            continue;
        bool nested = child->GetType() == ACS_TYPE_CONTAINER;
        if (nested && i > 0)
            out += indent + "\r\n";
        out += indent;
        AppendJsonString(out, name.View());
        out += ':';
        if (nested) {
            out += "\r\n" + indent + "{\r\n";
            AppendJsonMembers(out, child, level + 1);
            out += indent + "}";
        } else {
            int64_t pad = int64_t(40 - level * 2) - int64_t(name.Length() + 3);
            out.append(size_t(pad < 1 ? 1 : pad), ' ');
            AppendJsonValue(out, child);
        }
        if (i + 1 < count)
            out += ',';
        out += "\r\n";
    }
}

// The texts, made once: assets below a few group containers until 10 MB.
const Texts& MadeTexts()
{
    static const Texts texts = [] {
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
        Texts out;
        std::unique_ptr<TBuffer> buffer = ConfigToTextBuffer(root);
        const Nyx::DynamicBuffer* b = buffer->GetBuffer();
        out.config.assign(reinterpret_cast<const char*>(b->Data()), b->DataLength());
        out.json = "{\r\n";
        AppendJsonMembers(out.json, root, 0);
        out.json += "}\r\n";
        // The generator's tree and strings are no part of what is measured.
        buffer.reset();
        root = ChunkRef();
        Nyx::PStringCache::CollectGarbage();
        ::malloc_trim(0);
        return out;
    }();
    return texts;
}

const std::string& Text() { return MadeTexts().config; }
const std::string& JsonText() { return MadeTexts().json; }

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

void Report(benchmark::State& state, const std::string& text)
{
    double bytes = double(text.size()) * double(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["MB/s"] = benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsRate);
    state.counters["text_MB"] = double(text.size()) / 1e6;
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
    Report(state, Text());
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
    Report(state, Text());
}
BENCHMARK(BM_ReadConfigTextMemory)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ParseJsonDom(benchmark::State& state)
{
    const std::string& text = JsonText();
    for (auto _ : state) {
        auto doc = std::make_unique<rapidjson::Document>();
        doc->Parse(text.data(), text.size());
        if (doc->HasParseError())
            state.SkipWithError("JSON parse failed");
        benchmark::DoNotOptimize(doc.get());
        state.PauseTiming();
        doc.reset();
        void* volatile block = std::malloc(4096);
        std::free(block);
        state.ResumeTiming();
    }
    Report(state, text);
}
BENCHMARK(BM_ParseJsonDom)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Containers and values of each tree: the two texts must describe the same
// one before their speeds compare.
struct Shape {
    size_t containers = 0;
    size_t values = 0;
    bool operator==(const Shape&) const = default;
};

void Count(const ChunkRef& chunk, Shape& shape)
{
    ++shape.containers;
    uint32_t count = chunk->GetChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        ChunkRef child;
        if (!chunk->GetChildAt(i, name, child))
            continue;
        if (child->GetType() == ACS_TYPE_CONTAINER)
            Count(child, shape);
        else
            ++shape.values;
    }
}

void Count(const rapidjson::Value& value, Shape& shape)
{
    ++shape.containers;
    for (const auto& member : value.GetObject()) {
        if (member.value.IsObject())
            Count(member.value, shape);
        else
            ++shape.values;
    }
}

bool SameShape()
{
    TBuffer stream;
    stream.GetBuffer()->Write(Text().data(), static_cast<uint32_t>(Text().size()), 1);
    stream.Rewind();
    ChunkRef root;
    ReadConfigText(root, stream, false);
    rapidjson::Document doc;
    doc.Parse(JsonText().data(), JsonText().size());
    if (!root || doc.HasParseError() || !doc.IsObject())
        return false;
    Shape config, json;
    Count(root, config);
    Count(doc, json);
    std::printf("config text: %zu bytes, JSON: %zu bytes; %zu containers, %zu values\n", Text().size(),
                JsonText().size(), config.containers, config.values);
    return config == json;
}

}  // namespace

int main(int argc, char** argv)
{
    // A reading process keeps the memory of the trees it freed, as one that
    // reads configs all the time does; returning it to the system after
    // every iteration would time the system's page clearing instead.
    ::mallopt(M_TRIM_THRESHOLD, 1 << 30);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (!SameShape()) {
        std::fprintf(stderr, "the config text and the JSON describe different trees\n");
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::remove(TextFile().c_str());
    const auto& rates = reporter.bytesPerSecond;
    const auto json = rates.find("BM_ParseJsonDom");
    for (const char* ours : {"BM_ReadConfigTextMemory", "BM_ReadConfigTextFile"}) {
        const auto it = rates.find(ours);
        if (it != rates.end() && json != rates.end() && it->second > 0)
            std::printf("%s / JSON DOM parse, time per byte: %.2fx\n", ours, json->second / it->second);
    }
    return 0;
}
