// The stand-in asset-database daemon: serves the data root above its "bin"
// folder (or the one given with --root) until request 270 ends it.
//
// Exit codes: 0 after request 270, and also when another daemon already
// serves the root or has taken it over since; 1 when it cannot serve (its
// state file does not read, or another process holds the root's lock and
// does not let it go: a daemon paused part-way, say); 2 for a wrong command
// line. Why it could not serve is also kept in the root's kaddaemon.log. A
// request still at work some seconds after the stop does not keep it from
// ending.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "kad/discovery/ProcessLaunch.h"
#include "kaddaemon/AssetStore.h"
#include "kaddaemon/CommandHostLauncher.h"
#include "kaddaemon/CommandHostRequests.h"
#include "kaddaemon/DaemonLog.h"
#include "kaddaemon/DaemonOptions.h"
#include "kaddaemon/DaemonServer.h"
#include "kaddaemon/LocalDataRequests.h"
#include "kaddaemon/OnlineRequests.h"
#include "kaddaemon/RepairRequests.h"
#include "kaddaemon/SettingRequests.h"
#include "kaddaemon/StandInRequests.h"
#include "kaddaemon/StoreRequests.h"
#include "kaddaemon/TraceLog.h"

namespace {

// How long a command host the daemon started has to end once the daemon has
// closed its connection.
constexpr int kHostGraceMs = 10000;
// How long the requests at work when the daemon closes have to end; a
// request that outlasts it is taken to be stuck for good.
constexpr int kRequestGraceMs = 5000;
// How long a daemon that takes a root over waits for the one before it to
// let the root go (its requests' grace, and some).
constexpr int kRootWaitMs = 8000;

}  // namespace

int main(int argc, char** argv)
{
    kaddaemon::DaemonOptions options;
    std::string error;
    if (!kaddaemon::ParseDaemonOptions(argc, argv, options, error)) {
        std::fprintf(stderr,
                     "kaddaemon: %s\nusage: kaddaemon [--root DIR] [--trace FILE] "
                     "[--test-requests [--test-state-limit BYTES]]\n",
                     error.c_str());
        return 2;
    }
    kaddaemon::ApplyTestOptions(options);
    std::string root;
    if (!kaddaemon::FindDataRoot(options.root, root)) {
        std::fprintf(stderr, "kaddaemon: no data root folder\n");
        return 1;
    }
    kaddaemon::TraceLog trace;
    if (!options.tracePath.empty()) {
        if (!trace.Open(options.tracePath)) {
            kaddaemon::DaemonLog::Fatal(root, "cannot write the trace file " + options.tracePath);
            return 1;
        }
    }

    // Nothing under the root is touched until this daemon knows it serves
    // the root: the store opens after Start, and requests wait for it.
    auto store = std::make_shared<kaddaemon::AssetStore>(root);
    kaddaemon::DaemonServer server;
    server.SetReady(false);
    kaddaemon::RegisterStoreRequests(server.Requests(), store);
    kaddaemon::RegisterRepairRequests(server.Requests(), store, options.testRequests);
    kaddaemon::RegisterStandInRequests(server.Requests(), options.testRequests);
    // The command host it starts is the tool beside it, as the tool starts
    // the daemon beside it.
    std::string hostProgram;
    Nyx::File::Path program;
    if (GetModulePath(program))
        hostProgram = std::string(program.Folder()) + "KestroUtil";
    std::shared_ptr<kaddaemon::CommandHostLauncher> host =
        kaddaemon::RegisterCommandHostRequests(server.Requests(), root, options.testRequests, hostProgram);
    kaddaemon::RegisterSettingRequests(server.Requests(), root);
    kaddaemon::RegisterOnlineRequests(server.Requests(), root);
    kaddaemon::RegisterLocalDataRequests(server.Requests(), root);
    if (trace.IsOpen())
        server.SetTrace(&trace);
    switch (server.Start(root)) {
    case kaddaemon::DaemonServer::StartResult::kAnotherServes:
        return 0;
    case kaddaemon::DaemonServer::StartResult::kFailed:
        kaddaemon::DaemonLog::Fatal(root, server.ErrorText());
        return 1;
    case kaddaemon::DaemonServer::StartResult::kServing:
        break;
    }
    // A daemon that served the root before (one that was taken over while
    // it did not answer) may still be at work in it, and lets the root go
    // once its requests have ended. Only the holder of the root's lock
    // serves it: one that stays paused keeps it, and this daemon then
    // serves nothing, so that nothing it does meets that one's work.
    if (!store->Open(kRootWaitMs, [&server]() { return server.Replaced(); })) {
        if (server.Replaced()) {
            // Paused before it had the root, it was taken over meanwhile:
            // the root is the newcomer's, which holds its lock.
            server.Shutdown(kRequestGraceMs);
            server.Withdraw();
            return 0;
        }
        kaddaemon::DaemonLog::Fatal(root, store->OpenError());
        // The clients that reached this daemon meanwhile learn why their
        // requests get no answer.
        server.Refuse("The asset database daemon cannot serve its data root: " + store->OpenError() + ".");
        server.Shutdown(kRequestGraceMs);
        server.Withdraw();
        return 1;
    }
    server.SetReady(true);
    server.Wait();
    const bool allEnded = server.Shutdown(kRequestGraceMs);
    if (allEnded)
        store->ReleaseRoot();
    // Its connection is closed: the host it started ends of itself, and is
    // made to when it does not.
    host->End(kHostGraceMs);
    if (!allEnded) {
        // A request stuck for good cannot be waited for, nor its thread
        // joined: the process ends without it, and gives the root up only
        // as it goes. What the request had begun in the store is left as a
        // crash leaves it, which the next start clears away.
        std::fprintf(stderr, "kaddaemon: a request did not end; closing without it\n");
        server.Withdraw();
        std::_Exit(0);
    }
    return 0;
}
