#include "kaddaemon/DaemonServer.h"

#include <cerrno>
#include <chrono>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "kad/client/DaemonWire.h"
#include "kad/discovery/ProcessLaunch.h"
#include "kaddaemon/DaemonConnection.h"
#include "kaddaemon/DaemonProbe.h"
#include "kaddaemon/SocketIO.h"
#include "nyx/files/File.h"

namespace kaddaemon {

DaemonServer::DaemonServer()
{
    requests_.Register(DaemonWire::kRequestCloseDaemon,
                       [](RequestContext& context, TStream&, TStream&) { context.stopAfterReply = true; });
}

DaemonServer::~DaemonServer() { Shutdown(); }

DaemonServer::StartResult DaemonServer::Start(const std::string& root)
{
    root_ = root;
    // Listening comes first: the moment the block names this process, a
    // client or a rival daemon may connect and expect the handshake.
    listenFd_ = ListenLoopback(port_);
    if (listenFd_ < 0) {
        error_ = "cannot listen on the loopback address";
        return StartResult::kFailed;
    }
    {
        std::lock_guard<std::mutex> hold(connectionsLock_);
        closing_ = false;
    }
    if (!acceptThread_.Start([this]() { AcceptLoop(); })) {
        StopListening();
        error_ = "cannot start the accepting thread";
        return StartResult::kFailed;
    }

    Nyx::File::Path dataFile(root_);
    dataFile.AddPath(DaemonLink::kDataFileName);
    // The accepting thread leaves the link alone until it is published.
    if (!link_.Attach(dataFile.Str())) {
        StopListening();
        error_ = "cannot open the discovery objects of " + root_;
        return StartResult::kFailed;
    }
    // The set found may have been removed since by a holder that left;
    // the one under the names now is the one to publish in.
    if (!link_.LockCurrent()) {
        StopListening();
        error_ = "cannot open the discovery objects of " + root_;
        return StartResult::kFailed;
    }
    bool another = AnotherDaemonServes();
    if (!another)
        link_.Publish(port_);
    link_.Unlock();
    if (another) {
        link_.Detach();
        StopListening();
        return StartResult::kAnotherServes;
    }
    std::lock_guard<std::mutex> hold(linkLock_);
    published_ = true;
    return StartResult::kServing;
}

bool DaemonServer::AnotherDaemonServes()
{
    DaemonSharedBlock* block = link_.Block();
    uint32_t holder = DaemonSharedBlock::Load(block->holderProcessId);
    if (holder == DaemonSharedBlock::kNoProcess || holder == link_.ProcessId() || !IsProcessAlive(holder))
        return false;
    // A live holder may be a client between its look and its leaving, or a
    // process that inherited a dead daemon's id: only an answer on the
    // published port from that very process counts.
    uint32_t port = DaemonSharedBlock::Load(block->daemonPort) & 0xFFFFu;
    return port != 0 && ProbeDaemon(static_cast<uint16_t>(port), holder, root_, kProbeTimeoutMs);
}

bool DaemonServer::StillPublished()
{
    std::lock_guard<std::mutex> hold(linkLock_);
    if (!published_ || link_.IsPublished(port_))
        return true;
    // The objects are the other daemon's now: Shutdown leaves them be.
    published_ = false;
    replaced_ = true;
    RequestStop();
    return false;
}

bool DaemonServer::Replaced()
{
    StillPublished();
    std::lock_guard<std::mutex> hold(linkLock_);
    return replaced_;
}

void DaemonServer::Wait()
{
    std::unique_lock<std::mutex> hold(stopLock_);
    stopSignal_.wait(hold, [this]() { return stopRequested_; });
}

void DaemonServer::RequestStop()
{
    std::lock_guard<std::mutex> hold(stopLock_);
    stopRequested_ = true;
    stopSignal_.notify_all();
}

bool DaemonServer::Stopping()
{
    std::lock_guard<std::mutex> hold(stopLock_);
    return stopRequested_;
}

void DaemonServer::SetReady(bool ready)
{
    std::lock_guard<std::mutex> hold(stopLock_);
    ready_ = ready;
    stopSignal_.notify_all();
}

bool DaemonServer::WaitReady()
{
    std::unique_lock<std::mutex> hold(stopLock_);
    stopSignal_.wait(hold, [this]() { return ready_ || stopRequested_; });
    return ready_;
}

void DaemonServer::Refuse(const std::string& text, int boundMs)
{
    {
        std::lock_guard<std::mutex> hold(stopLock_);
        refusal_ = text;
        stopRequested_ = true;
        stopSignal_.notify_all();
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    for (;;) {
        bool done = true;
        {
            std::lock_guard<std::mutex> hold(connectionsLock_);
            for (const auto& connection : connections_)
                done = done && connection->Finished();
        }
        if (done || std::chrono::steady_clock::now() >= deadline)
            return;
        Nyx::Thread::Sleep(kShutdownPollMs);
    }
}

std::string DaemonServer::Refusal()
{
    std::lock_guard<std::mutex> hold(stopLock_);
    return refusal_;
}

bool DaemonServer::Shutdown(int boundMs)
{
    // The root stays this process's until its work is done: a client that
    // comes meanwhile finds the port closed and starts the daemon to come
    // after it, which takes the block over as it would from a daemon that
    // does not answer.
    StopListening();

    std::list<std::unique_ptr<DaemonConnection>> closing;
    {
        std::lock_guard<std::mutex> hold(connectionsLock_);
        closing.swap(connections_);
    }
    for (auto& connection : closing) {
        if (!connection->AskedToStop())
            connection->Shutdown();
    }
    // A handler stuck in a call that never returns (an open that waits for
    // ever, say) must not keep the process from ending.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    for (auto& connection : closing) {
        if (connection->AskedToStop())
            continue;
        if (boundMs < 0) {
            connection->Join();
            continue;
        }
        while (!connection->Finished()) {
            if (std::chrono::steady_clock::now() >= deadline) {
                std::lock_guard<std::mutex> hold(connectionsLock_);
                connections_.splice(connections_.end(), closing);
                return false;
            }
            Nyx::Thread::Sleep(kShutdownPollMs);
        }
    }
    Withdraw();
    closing.clear();  // closes the asker's connection, and joins each reader
    return true;
}

void DaemonServer::Withdraw()
{
    std::lock_guard<std::mutex> hold(linkLock_);
    if (published_) {
        published_ = false;
        link_.Withdraw();
    }
    link_.Detach();
}

void DaemonServer::StopListening()
{
    if (listenFd_ < 0)
        return;
    {
        std::lock_guard<std::mutex> hold(connectionsLock_);
        closing_ = true;
    }
    // Wakes the accepting thread out of accept().
    ::shutdown(listenFd_, SHUT_RDWR);
    acceptThread_.Join();
    CloseSocket(listenFd_);
    listenFd_ = -1;
}

void DaemonServer::AcceptLoop()
{
    for (;;) {
        pollfd waiting{listenFd_, POLLIN, 0};
        int ready = ::poll(&waiting, 1, kRegistrationCheckMs);
        if (ready <= 0) {
            {
                std::lock_guard<std::mutex> hold(connectionsLock_);
                if (closing_)
                    return;
            }
            if (ready == 0 && !StillPublished())
                return;
            continue;
        }
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            int err = errno;
            {
                std::lock_guard<std::mutex> hold(connectionsLock_);
                if (closing_)
                    return;
            }
            if (err == EINTR || err == ECONNABORTED)
                continue;
            if (err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM) {
                // Out of descriptors or memory for now: clients that leave
                // give some back.
                SweepFinished();
                Nyx::Thread::Sleep(50);
                continue;
            }
            return;
        }
        // A daemon that slept through being replaced must not answer the
        // clients that queued up meanwhile.
        if (!StillPublished()) {
            CloseSocket(fd);
            return;
        }
        SetNoDelay(fd);
        SweepFinished();
        std::lock_guard<std::mutex> hold(connectionsLock_);
        if (closing_) {
            CloseSocket(fd);
            return;
        }
        auto connection = std::make_unique<DaemonConnection>(*this, fd);
        if (connection->Start())
            connections_.push_back(std::move(connection));
    }
}

void DaemonServer::SweepFinished()
{
    std::list<std::unique_ptr<DaemonConnection>> done;
    {
        std::lock_guard<std::mutex> hold(connectionsLock_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            auto next = std::next(it);
            if ((*it)->Finished())
                done.splice(done.end(), connections_, it);
            it = next;
        }
    }
    done.clear();  // joins outside the lock
}

}  // namespace kaddaemon
