// The validate job in process over every asset of the sample data root
// (a copy, with the shipped validation data and interface text), in assets
// per second: once with the process's daemon client connected to the
// stand-in daemon served in this process over that root (goal: 200 assets/s
// or more), and once with a scripted daemon that answers every request at
// once.
//
// Yardstick: LoadConfigFile of the same configs in the same run. The time
// of a job against the time of reading its config alone is printed at the
// end (goal with the scripted daemon: 5 or less).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "config/formats/ConfigFile.h"
#include "config/results/ResultsLog.h"
#include "core/files/ContentRoot.h"
#include "core/streams/TStream.h"
#include "kad/client/KADClient.h"
#include "kad/requests/KADRequests.h"
#include "kaddaemon/AssetStore.h"
#include "kaddaemon/DaemonServer.h"
#include "kaddaemon/StoreRequests.h"
#include "nyx/files/File.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/errors/ErrorHandler.h"
#include "tetlib/steps/ValidateAssetJob.h"

namespace {

namespace fs = std::filesystem;

// Console output that also keeps each benchmark's items per second.
class ItemsReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> itemsPerSecond;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            const auto it = r.counters.find("items_per_second");
            if (it != r.counters.end() && (r.run_type == Run::RT_Iteration || r.aggregate_name == "median"))
                itemsPerSecond[r.run_name.function_name] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

// The copy of the sample data root, its assets and the validation library
// over it.
class SampleRoot {
public:
    SampleRoot()
    {
        root_ = benchsupport::MakeTempFolder("/tmp/validate-job-XXXXXX");
        if (root_.empty())
            return;
        std::error_code ec;
        for (const char* part : {"bin/TETData", "data", "local", "editing"}) {
            fs::create_directories(root_ + "/" + part, ec);
            fs::copy(std::string(KESTRO_SAMPLE_DIR) + "/" + part, root_ + "/" + part, fs::copy_options::recursive, ec);
            if (ec)
                return;
        }
        for (const char* data : {"local", "editing"})
            for (const auto& asset : fs::directory_iterator(root_ + "/" + data))
                assets_.push_back(asset.path().string());
        SetContentRootPath(Nyx::File::Path(root_));
        Nyx::File::Subst::Add(Nyx::PString("data"), Nyx::File::Path(root_ + "/data"));
        TETLib::ErrorHandler::Create();
        TETLib::DataManager::Create(root_ + "/bin/TETData/");
        ok_ = !assets_.empty();
    }
    ~SampleRoot()
    {
        server_.Shutdown();
        TETLib::DataManager::Destroy();
        TETLib::ErrorHandler::Destroy();
        if (root_.empty())
            return;
        benchsupport::RemoveDaemonObjects(root_);
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    SampleRoot(const SampleRoot&) = delete;
    SampleRoot& operator=(const SampleRoot&) = delete;

    bool Ok() const { return ok_; }
    const std::vector<std::string>& Assets() const { return assets_; }

    // The stand-in over this root, served in this process, and the daemon
    // client connected to it.
    bool Serve()
    {
        if (serving_)
            return KADClient::IsConnected();
        serving_ = true;
        store_ = std::make_shared<kaddaemon::AssetStore>(root_);
        if (!store_->Open())
            return false;
        kaddaemon::RegisterStoreRequests(server_.Requests(), store_);
        if (server_.Start(root_) != kaddaemon::DaemonServer::StartResult::kServing)
            return false;
        return benchsupport::StartDaemonClient(root_);
    }

private:
    std::string root_;
    std::vector<std::string> assets_;
    std::shared_ptr<kaddaemon::AssetStore> store_;
    kaddaemon::DaemonServer server_;
    bool serving_ = false;
    bool ok_ = false;
};

SampleRoot& Sample()
{
    static SampleRoot root;
    return root;
}

// Answers every request at once: empty settings, nothing else.
bool AnswerAtOnce(uint32_t number, TStream&, TStream& reply, KADClientCallback*, ResultsLog*, bool)
{
    if (number == KADRequests::kGetSetting)
        reply.WritePString(Nyx::PString());
    return true;
}

void ValidateEveryAsset(benchmark::State& state)
{
    const std::vector<std::string>& assets = Sample().Assets();
    for (auto _ : state) {
        for (const std::string& asset : assets) {
            ResultsLog log;
            if (!TETLib::RunValidateAssetJob(Nyx::PString(), Nyx::File::Path(asset), log)) {
                state.SkipWithError("a sample asset did not validate");
                return;
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * int64_t(assets.size()));
}

void BM_ValidateJobStandIn(benchmark::State& state)
{
    KADRequests::SetTransport(nullptr);
    if (!Sample().Serve()) {
        state.SkipWithError("the stand-in did not serve");
        return;
    }
    ValidateEveryAsset(state);
}

void BM_ValidateJobScriptedDaemon(benchmark::State& state)
{
    KADRequests::SetTransport(&AnswerAtOnce);
    ValidateEveryAsset(state);
    KADRequests::SetTransport(nullptr);
}

void BM_LoadConfigFile(benchmark::State& state)
{
    const std::vector<std::string>& assets = Sample().Assets();
    for (auto _ : state) {
        for (const std::string& asset : assets) {
            ChunkRef config;
            LoadConfigFile(config, nullptr, (asset + "/config.txt").c_str());
            benchmark::DoNotOptimize(config.Get());
        }
    }
    state.SetItemsProcessed(state.iterations() * int64_t(assets.size()));
}

BENCHMARK(BM_ValidateJobScriptedDaemon)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_LoadConfigFile)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_ValidateJobStandIn)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv)
{
    ItemsReporter reporter;
    if (benchsupport::RunDaemonClientBenchmarks(&argc, argv, reporter, [] { return Sample().Ok(); },
                                             "the sample data root could not be laid out") != 0)
        return 1;
    const double standIn = reporter.itemsPerSecond["BM_ValidateJobStandIn"];
    const double scripted = reporter.itemsPerSecond["BM_ValidateJobScriptedDaemon"];
    const double parse = reporter.itemsPerSecond["BM_LoadConfigFile"];
    std::printf("\nassets/s against the stand-in: %.0f (goal >= 200)\n", standIn);
    std::printf("job time / config read time, scripted daemon: %.2f (goal <= 5)\n",
                scripted > 0 ? parse / scripted : 0.0);
    return 0;
}
