// The command host's archive jobs over 1,000 small assets: the save (job 2,
// one export request per asset) and the install on a second data root (job
// 3, one package-entry install per asset, each committed and on disk before
// the daemon replies), against the stand-in daemon served in this process;
// beside "tar -c" and "tar -x" of the same asset folders in the same run,
// the extracted tree synced file by file. Throughput counts the assets'
// bytes once per round trip.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "RatioReporter.h"
#include "cli/commandhost/CommandHostJob.h"
#include "config/kuid/KUID.h"
#include "config/results/ResultsLog.h"
#include "core/streams/TStream.h"
#include "kad/client/KADClient.h"
#include "kaddaemon/AssetStore.h"
#include "kaddaemon/DaemonServer.h"
#include "kaddaemon/StoreRequests.h"

namespace {

namespace fs = std::filesystem;
using namespace benchsupport;

constexpr int kAssets = 1000;
constexpr uint32_t kArchiveValue = 5;

KUID AssetKUID(int index) { return KUID(77, 10000 + index, 0); }

// A config, a small mesh-like file and a smaller texture-like one.
std::string MeshBytes(int index)
{
    std::string bytes(1200 + index % 400, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 31 + index * 7) & 0xFF);
    return bytes;
}

// A data root served by a stand-in of its own.
class ServedRoot {
public:
    explicit ServedRoot(bool withAssets) : root_(MakeTempFolder("/tmp/archive-roundtrip-XXXXXX"))
    {
        if (root_.empty())
            return;
        for (int i = 0; i < kAssets && withAssets; ++i) {
            const fs::path folder = fs::path(root_) / "local" / ("asset-" + std::to_string(i));
            const std::string config = std::string("kuid ") + AssetKUID(i).ToString().c_str() +
                                       "\nusername \"asset " + std::to_string(i) + "\"\nkind \"scenery\"\n";
            if (!WriteFile(folder / "config.txt", config) || !WriteFile(folder / "mesh/body.im", MeshBytes(i)) ||
                !WriteFile(folder / "texture.txt", "image body.tga\n"))
                return;
            bytes_ += int64_t(config.size() + MeshBytes(i).size() + 15);
        }
        store_ = std::make_shared<kaddaemon::AssetStore>(root_);
        if (!store_->Open())
            return;
        kaddaemon::RegisterStoreRequests(server_.Requests(), store_);
        ok_ = server_.Start(root_) == kaddaemon::DaemonServer::StartResult::kServing;
    }
    ~ServedRoot()
    {
        server_.Shutdown();
        if (!root_.empty())
            RemoveDaemonObjects(root_);
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    ServedRoot(const ServedRoot&) = delete;
    ServedRoot& operator=(const ServedRoot&) = delete;

    bool Ok() const { return ok_; }
    const std::string& Root() const { return root_; }
    int64_t Bytes() const { return bytes_; }

    // The process's daemon client, connected to this root.
    bool Connect() const
    {
        KADClient::Stop();
        return StartDaemonClient(root_);
    }

private:
    std::string root_;
    std::shared_ptr<kaddaemon::AssetStore> store_;
    kaddaemon::DaemonServer server_;
    int64_t bytes_ = 0;
    bool ok_ = false;
};

ServedRoot& Source()
{
    static ServedRoot root(true);
    return root;
}

// Job 2 or 3 over every asset: job 2's saved flag, or the number of KUIDs
// job 3 left uninstalled; all bits set when the answer does not read.
uint32_t RunJob(uint32_t id, const std::string& archive)
{
    TBuffer request;
    request.WriteInt32(id);
    request.WriteInt32(kArchiveValue);
    request.WriteString(Nyx::AnsiString(archive));
    request.WriteInt32(uint32_t(kAssets));
    for (int i = 0; i < kAssets; ++i)
        WriteKUID(request, AssetKUID(i));
    request.Rewind();
    TBuffer reply;
    CommandHostCallback(request, reply);
    reply.Rewind();
    ResultsLog log;
    ReadResults(reply, log);
    uint32_t last;
    reply.ReadInt32(last, 0xFFFFFFFFu);
    return log.GetErrorCount() == 0 ? last : 0xFFFFFFFF;
}

void BM_ArchiveSaveThenInstall(benchmark::State& state)
{
    ServedRoot& source = Source();
    if (!source.Ok()) {
        state.SkipWithError("no data root");
        return;
    }
    const std::string archive = source.Root() + "/assets.karc";
    for (auto _ : state) {
        state.PauseTiming();
        bool connected = source.Connect();
        state.ResumeTiming();
        if (!connected || RunJob(CommandHostJob::kArchiveSave, archive) != 1) {
            state.SkipWithError("the archive save failed");
            break;
        }
        state.PauseTiming();
        state.counters["archive_bytes"] = double(fs::file_size(archive));
        auto target = std::make_unique<ServedRoot>(false);
        connected = target->Ok() && target->Connect();
        state.ResumeTiming();
        if (!connected || RunJob(CommandHostJob::kArchiveInstall, archive) != 0) {
            state.SkipWithError("the archive install failed");
            break;
        }
        state.PauseTiming();
        KADClient::Stop();
        target.reset();
        fs::remove(archive);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * source.Bytes());
}

void BM_TarRoundTrip(benchmark::State& state)
{
    ServedRoot& source = Source();
    if (!source.Ok()) {
        state.SkipWithError("no data root");
        return;
    }
    const std::string archive = source.Root() + "/assets.tar";
    const std::string target = source.Root() + "/extracted";
    ShellRoundTrip trip;
    trip.pack = "tar -c -f '" + archive + "' -C '" + source.Root() + "' local";
    trip.packName = "tar -c";
    trip.unpack = "tar -x -f '" + archive + "' -C '" + target + "'";
    trip.unpackName = "tar -x";
    trip.archive = archive;
    trip.target = target;
    trip.sizeCounter = "archive_bytes";
    TimeShellRoundTrip(state, trip, source.Bytes());
}

BENCHMARK(BM_ArchiveSaveThenInstall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_TarRoundTrip)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv)
{
    RatioReporter reporter;
    if (RunDaemonClientBenchmarks(&argc, argv, reporter, [] { return Source().Ok(); },
                                  "the data root could not be laid out") != 0)
        return 1;
    const double ours = reporter.bytesPerSecond["BM_ArchiveSaveThenInstall"];
    const double tar = reporter.bytesPerSecond["BM_TarRoundTrip"];
    std::printf("\narchive save + install / tar -c + tar -x: %.3f (goal >= 1)\n", tar > 0 ? ours / tar : 0.0);
    return 0;
}
