// The stand-in asset-database daemon: listens on a loopback port, makes
// itself known through the discovery block of its data root, and serves
// each client connection on a thread of its own.
//
// A daemon that was paused long enough for clients to give up on it may
// find on waking that another daemon has taken the block over; it then
// stops serving, without touching the objects that are the other's now.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "kad/discovery/DaemonLink.h"
#include "kaddaemon/RequestTable.h"
#include "nyx/base/Thread.h"

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
    // How often a serving daemon looks whether the block still names it
    // (it also looks before it serves each new connection).
    static constexpr int kRegistrationCheckMs = 250;
    // How often a bounded Shutdown looks whether the connections' threads
    // have ended.
    static constexpr int kShutdownPollMs = 10;
    // How long a refused connection waits for the request its client sends
    // right after the handshake.
    static constexpr int kRefusalReadMs = 1000;
    static constexpr int kRefusalMs = 2 * kRefusalReadMs;

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
    // Blocks until a stop is requested (request 270, RequestStop, or
    // another daemon having taken the block over).
    void Wait();
    void RequestStop();
    // A stop has been requested.
    bool Stopping();
    // Requests wait while the daemon is not ready (set so before Start):
    // a daemon publishes itself before it touches the root, so that one
    // that finds the root served changes nothing there, and opens its store
    // only after Start. The handshake is answered meanwhile, so that a
    // rival's probe still finds this daemon alive.
    void SetReady(bool ready);
    // Blocks until the daemon is ready (true) or a stop is requested first
    // (false).
    bool WaitReady();
    // A daemon that never gets ready (another process holds its root, say)
    // answers the requests that waited for it with this error, as a results
    // note of each one's transaction and no reply, so that their commands
    // fail saying why; then it stops. Waits up to `boundMs` for those
    // connections to be done.
    void Refuse(const std::string& text, int boundMs = kRefusalMs);
    // The error a refused request is answered with; empty when none.
    std::string Refusal();
    // Stops accepting, closes every connection and waits for their threads,
    // for at most `boundMs` (a negative bound waits as long as they take);
    // then withdraws from the discovery block (removing the discovery
    // objects) and only then closes the connection that asked for the stop,
    // so that its client finds the root free once it sees the daemon gone.
    // False when the bound ran out: the daemon is still published and keeps
    // the connections whose threads are at work, and the process is to end
    // without them (Withdraw, then leave). Safe to call more than once.
    bool Shutdown(int boundMs = -1);
    // Withdraws from the discovery block, unless another daemon has taken it
    // over; the daemon serves no more clients after it.
    void Withdraw();
    // Another daemon has taken the discovery block over from this one (it
    // was paused, say, and did not answer a newcomer's probe): the root is
    // the other's to serve, and this one is to end quietly.
    bool Replaced();

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
    // False, with a stop requested, once the block no longer names this
    // daemon; true while it does or while it is not published.
    bool StillPublished();

    RequestTable requests_;
    TraceLog* trace_ = nullptr;
    // Once published, the accepting thread looks at the link while the
    // stopping thread changes it.
    std::mutex linkLock_;
    DaemonLink link_;
    bool published_ = false;  // under linkLock_
    bool replaced_ = false;   // under linkLock_
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
    bool ready_ = true;  // under stopLock_
    std::string refusal_;  // under stopLock_
};

}  // namespace kaddaemon
