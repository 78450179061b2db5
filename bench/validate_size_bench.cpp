// The validate job over one asset whose config holds a single large
// container, at 8,000 and at 32,000 entries: a kuid table, undefined tags
// at the top level (each one an error), and mesh-table entries (each a
// sub-container with a flag, a parent choice and a mesh, the same missing
// one for all, so that each entry reports the failed load). Validation is
// to cost in proportion to the config, so each shape's time at 32,000
// entries against its time at 8,000 is printed at the end (goal: 5 or less;
// 4 is proportional). Each iteration validates the small asset and then the
// large one, timed in the thread's processor time, so that both meet the
// same load of a busy machine; the ratio is the median of the iterations'.
//
// The asset lies in a copy of the sample data root with the shipped
// validation data and interface text; the daemon is scripted and answers
// every request at once.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "config/results/ResultsLog.h"
#include "core/files/ContentRoot.h"
#include "core/streams/TStream.h"
#include "kad/requests/KADRequests.h"
#include "nyx/files/File.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/errors/ErrorHandler.h"
#include "tetlib/steps/ValidateAssetJob.h"

namespace {

namespace fs = std::filesystem;

constexpr int64_t kSmall = 8000;
constexpr int64_t kLarge = 32000;

// Console output that also keeps each benchmark's ratio.
class RatioKeeper : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ratios;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            const auto it = r.counters.find("ratio");
            if (it != r.counters.end())
                ratios[r.run_name.function_name] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

std::string Header()
{
    return "kuid <kuid:400001:900>\nusername \"Large\"\nkind \"traincar\"\ncategory-class \"VE;WAG\"\n"
           "kestro-build 3.2\n";
}

std::string KUIDTable(int64_t count)
{
    std::string text = Header() + "kuid-table\n{\n";
    for (int64_t i = 0; i < count; ++i)
        text += "  " + std::to_string(i) + " <kuid:400001:104>\n";
    return text + "}\n";
}

std::string UndefinedTags(int64_t count)
{
    std::string text = Header();
    for (int64_t i = 0; i < count; ++i)
        text += "undefined-tag-" + std::to_string(i) + " 1\n";
    return text;
}

std::string MeshTable(int64_t count)
{
    std::string text = Header() + "mesh-table\n{\n";
    for (int64_t i = 0; i < count; ++i) {
        const std::string number = std::to_string(i);
        text.append("  e").append(number).append("\n  {\n    mesh \"body.im\"\n    auto-create 1\n");
        if (i > 0)
            text.append("    att-parent \"e").append(std::to_string(i - 1)).append("\"\n");
        text.append("  }\n");
    }
    return text + "}\n";
}

using ConfigMaker = std::string (*)(int64_t);

struct Shape {
    const char* name;
    ConfigMaker make;
    // Pairs of validations timed; each pair of mesh tables takes seconds.
    int64_t iterations;
};

const Shape kShapes[] = {
    {"kuid-table", &KUIDTable, 15},
    {"undefined", &UndefinedTags, 11},
    {"mesh-table", &MeshTable, 5},
};

// The sample data root's validation data and interface text, and one asset
// folder for each shape and size.
class LargeRoot {
public:
    LargeRoot()
    {
        root_ = benchsupport::MakeTempFolder("/tmp/validate-size-XXXXXX");
        if (root_.empty())
            return;
        std::error_code ec;
        for (const char* part : {"bin/TETData", "data"}) {
            fs::create_directories(root_ + "/" + part, ec);
            fs::copy(std::string(KESTRO_SAMPLE_DIR) + "/" + part, root_ + "/" + part, fs::copy_options::recursive,
                     ec);
            if (ec)
                return;
        }
        for (const Shape& shape : kShapes)
            for (int64_t count : {kSmall, kLarge})
                if (!benchsupport::WriteFile(Folder(shape.name, count) + "/config.txt", shape.make(count)))
                    return;
        SetContentRootPath(Nyx::File::Path(root_));
        Nyx::File::Subst::Add(Nyx::PString("data"), Nyx::File::Path(root_ + "/data"));
        TETLib::ErrorHandler::Create();
        TETLib::DataManager::Create(root_ + "/bin/TETData/");
        ok_ = true;
    }
    ~LargeRoot()
    {
        TETLib::DataManager::Destroy();
        TETLib::ErrorHandler::Destroy();
        if (root_.empty())
            return;
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    LargeRoot(const LargeRoot&) = delete;
    LargeRoot& operator=(const LargeRoot&) = delete;

    bool Ok() const { return ok_; }
    std::string Folder(const std::string& shape, int64_t count) const
    {
        return root_ + "/local/" + shape + "-" + std::to_string(count);
    }

private:
    std::string root_;
    bool ok_ = false;
};

LargeRoot& Root()
{
    static LargeRoot root;
    return root;
}

// Answers every request at once: empty settings, nothing else.
bool AnswerAtOnce(uint32_t number, TStream&, TStream& reply, KADClientCallback*, ResultsLog*, bool)
{
    if (number == KADRequests::kGetSetting)
        reply.WritePString(Nyx::PString());
    return true;
}

double ThreadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// The processor time of one validation of the folder; its findings.
double TimedJob(const Nyx::File::Path& folder, uint32_t& findings)
{
    ResultsLog log;
    const double start = ThreadSeconds();
    TETLib::RunValidateAssetJob(Nyx::PString(), folder, log);
    const double seconds = ThreadSeconds() - start;
    findings = log.GetErrorCount() + log.GetWarningCount();
    return seconds;
}

void BM_ValidateLarge(benchmark::State& state, const Shape& shape)
{
    KADRequests::SetTransport(&AnswerAtOnce);
    const Nyx::File::Path small(Root().Folder(shape.name, kSmall));
    const Nyx::File::Path large(Root().Folder(shape.name, kLarge));
    uint32_t smallFindings = 0;
    uint32_t largeFindings = 0;
    // Once each untimed: the first runs also grow the heap and the string
    // cache.
    TimedJob(small, smallFindings);
    TimedJob(large, largeFindings);
    std::vector<double> ratios;
    double smallSeconds = 0;
    double largeSeconds = 0;
    for (auto _ : state) {
        const double a = TimedJob(small, smallFindings);
        const double b = TimedJob(large, largeFindings);
        smallSeconds += a;
        largeSeconds += b;
        ratios.push_back(a > 0 ? b / a : 0.0);
    }
    std::sort(ratios.begin(), ratios.end());
    const double iterations = double(state.iterations());
    state.counters["ms_small"] = smallSeconds / iterations * 1000;
    state.counters["ms_large"] = largeSeconds / iterations * 1000;
    state.counters["findings_small"] = smallFindings;
    state.counters["findings_large"] = largeFindings;
    state.counters["ratio"] = ratios.empty() ? 0.0 : ratios[ratios.size() / 2];
    KADRequests::SetTransport(nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    for (const Shape& shape : kShapes)
        benchmark::RegisterBenchmark((std::string("BM_ValidateLarge/") + shape.name).c_str(), &BM_ValidateLarge,
                                     shape)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(shape.iterations);
    RatioKeeper reporter;
    if (benchsupport::RunDaemonClientBenchmarks(&argc, argv, reporter, [] { return Root().Ok(); },
                                             "the data root could not be laid out") != 0)
        return 1;
    std::printf("\n");
    for (const Shape& shape : kShapes)
        std::printf("%s: time at %lld entries / time at %lld: %.2f (goal <= 5)\n", shape.name,
                    static_cast<long long>(kLarge), static_cast<long long>(kSmall),
                    reporter.ratios[std::string("BM_ValidateLarge/") + shape.name]);
    return 0;
}
