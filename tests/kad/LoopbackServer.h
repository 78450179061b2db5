// A listening socket on 127.0.0.1 with a thread that serves the connections
// it accepts, for the transport tests; and a port on which nothing listens.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "kad/transport/NetStartup.h"

namespace looptest {

// The transports resolve through the process-wide resolver, which only
// answers once networking has started. Never undone here: a later start
// would be refused for the rest of the test process.
inline void EnsureNetStartup() { NetStartup(); }

inline sockaddr_in Loopback(uint16_t port)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

// Sends all bytes (false when the peer went away).
inline bool SendAll(int fd, const void* data, size_t n)
{
    const auto* at = static_cast<const uint8_t*>(data);
    while (n > 0) {
        ssize_t sent = ::send(fd, at, n, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        at += sent;
        n -= static_cast<size_t>(sent);
    }
    return true;
}

// Receives until n bytes or the peer closes; the number received.
inline size_t RecvAll(int fd, void* data, size_t n)
{
    auto* at = static_cast<uint8_t*>(data);
    size_t got = 0;
    while (got < n) {
        ssize_t r = ::recv(fd, at + got, n - got, 0);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        got += static_cast<size_t>(r);
    }
    return got;
}

// Serves `connections` accepted connections one after the other, each with
// the handler (which owns nothing: the server closes the socket after it,
// unless the handler set it to -1).
class LoopbackServer {
public:
    using Handler = std::function<void(int& fd)>;

    explicit LoopbackServer(Handler handler, int connections = 1) : handler_(std::move(handler))
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr = Loopback(0);
        socklen_t len = sizeof addr;
        if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(listen_, 8) != 0 || ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            ADD_FAILURE() << "loopback listen failed: errno " << errno;
            return;
        }
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this, connections]() { Serve(connections); });
    }
    ~LoopbackServer()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (listen_ >= 0)
            ::close(listen_);
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    uint16_t Port() const { return port_; }
    // Waits for the serving thread to end (all connections handled).
    void Join()
    {
        if (thread_.joinable())
            thread_.join();
    }

    // Echoes everything back until the peer closes.
    static void Echo(int& fd)
    {
        char buf[4096];
        for (;;) {
            ssize_t r = ::recv(fd, buf, sizeof buf, 0);
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0 || !SendAll(fd, buf, static_cast<size_t>(r)))
                return;
        }
    }

private:
    void Serve(int connections)
    {
        for (int i = 0; i < connections && !stop_; ) {
            // Polled so the destructor can stop a server nobody connected to.
            pollfd pfd{listen_, POLLIN, 0};
            if (::poll(&pfd, 1, 50) <= 0)
                continue;
            int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            ++i;
            handler_(fd);
            if (fd >= 0)
                ::close(fd);
        }
    }

    Handler handler_;
    int listen_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A loopback port with nothing listening: bound, so no one else takes it
// while the socket lives, but never listened on, so connections are refused.
class DeadPort {
public:
    DeadPort()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr = Loopback(0);
        socklen_t len = sizeof addr;
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            port_ = ntohs(addr.sin_port);
        else
            ADD_FAILURE() << "could not reserve a loopback port";
    }
    ~DeadPort()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    DeadPort(const DeadPort&) = delete;
    DeadPort& operator=(const DeadPort&) = delete;
    uint16_t Port() const { return port_; }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

}  // namespace looptest
