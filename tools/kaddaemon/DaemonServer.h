// The stand-in asset-database daemon: listens on a loopback port, makes
// itself known through the discovery block of its data root, and serves
// each client connection on a thread of its own.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "kad/DaemonLink.h"
#include "kaddaemon/RequestTable.h"
#include "nyx/Thread.h"

namespace kaddaemon {

class DaemonConnection;
class TraceLog;

class DaemonServer {
public:
    enum class StartResult {
        kServing,        // listening and published
        kAnotherServes,  // a live daemon already serves the root: nothing started
        kFailed,         // see ErrorText
    };

    // How long a daemon found in the block has to answer the handshake.
    static constexpr int kProbeTimeoutMs = 2000;

    DaemonServer();
    ~DaemonServer();  // shuts down when still serving
    DaemonServer(const DaemonServer&) = delete;
    DaemonServer& operator=(const DaemonServer&) = delete;

    // Filled before Start; request 270 is there from the beginning.
    RequestTable& Requests() noexcept { return requests_; }
    // Null for no trace; set before Start.
    void SetTrace(TraceLog* trace) noexcept { trace_ = trace; }
    TraceLog* Trace() const noexcept { return trace_; }

    // `root` is the data root as an absolute path without links, so that
    // every process derives the same discovery names from it.
    StartResult Start(const std::string& root);
    // Blocks until a stop is requested (request 270, or RequestStop).
    void Wait();
    void RequestStop();
    // Withdraws from the discovery block (removing the discovery objects),
    // stops accepting, closes every connection and waits for their threads.
    // Safe to call more than once.
    void Shutdown();

    uint16_t Port() const noexcept { return port_; }
    uint32_t ProcessId() const noexcept { return link_.ProcessId(); }
    const std::string& ErrorText() const noexcept { return error_; }

private:
    void AcceptLoop();
    // Joins and drops connections whose clients have left.
    void SweepFinished();
    void StopListening();
    // Under the discovery lock: whether a live daemon other than this one
    // is published and answers on its port.
    bool AnotherDaemonServes();

    RequestTable requests_;
    TraceLog* trace_ = nullptr;
    DaemonLink link_;
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::string root_;
    std::string error_;
    Nyx::Thread acceptThread_;

    std::mutex connectionsLock_;
    std::list<std::unique_ptr<DaemonConnection>> connections_;
    bool closing_ = false;  // under connectionsLock_

    std::mutex stopLock_;
    std::condition_variable stopSignal_;
    bool stopRequested_ = false;
    bool serving_ = false;  // only the thread that calls Start and Shutdown
};

}  // namespace kaddaemon
