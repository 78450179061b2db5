// The stand-in daemon with one difference, for the tests that kill it while
// it makes a working copy: after the first file of a working copy is on
// disk it creates the marker file and stops there for good, holding the
// request, until it is killed. With "replace", it stops so once an
// installed folder that an install or a commit replaces has moved aside.
// With "export", it stops once an export that holds its asset has read a
// file of it, until a file named MARKER.go appears.
//
// Usage: kaddaemon_paused_copy ROOT MARKER [replace|export]
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "kaddaemon/AssetStore.h"
#include "kaddaemon/DaemonServer.h"
#include "kaddaemon/StandInRequests.h"
#include "kaddaemon/StoreRequests.h"

int main(int argc, char** argv)
{
    const std::string mode = argc == 4 ? argv[3] : "copy";
    if ((argc != 3 && argc != 4) || (mode != "copy" && mode != "replace" && mode != "export")) {
        std::fprintf(stderr, "usage: kaddaemon_paused_copy ROOT MARKER [replace|export]\n");
        return 2;
    }
    const std::string root = argv[1];
    const std::string marker = argv[2];
    auto store = std::make_shared<kaddaemon::AssetStore>(root);
    if (!store->Open())
        return 1;
    auto pause = [marker](const std::string&) {
        int fd = ::open(marker.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0)
            ::close(fd);
        for (;;)
            ::pause();
    };
    if (mode == "replace") {
        const std::string aside = std::string("moved trash/") + kaddaemon::AssetStore::kReplacingPrefix;
        store->SetStepObserver([pause, aside](const std::string& step) {
            if (step.rfind(aside, 0) == 0)
                pause(step);
        });
    } else if (mode == "export") {
        store->SetReadObserver([marker](const std::string&) {
            int fd = ::open(marker.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd >= 0)
                ::close(fd);
            while (::access((marker + ".go").c_str(), F_OK) != 0)
                ::usleep(10000);
        });
    } else {
        store->SetCopyObserver(pause);
    }
    kaddaemon::DaemonServer server;
    kaddaemon::RegisterStoreRequests(server.Requests(), store);
    kaddaemon::RegisterStandInRequests(server.Requests(), false);
    if (server.Start(root) != kaddaemon::DaemonServer::StartResult::kServing) {
        std::fprintf(stderr, "kaddaemon_paused_copy: %s\n", server.ErrorText().c_str());
        return 1;
    }
    server.Wait();
    server.Shutdown();
    return 0;
}
