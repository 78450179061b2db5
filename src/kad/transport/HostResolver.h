// Host-name resolution for the transports: a direct lookup, and the resolver
// that runs lookups on a background thread so a caller waits at most a
// bounded time for an answer.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

#include "nyx/base/CriticalSection.h"
#include "nyx/base/String.h"
#include "nyx/base/Thread.h"

// Fills an IPv4 address: family AF_INET, the port in network byte order, the
// host's first IPv4 address and zero padding. "localhost" (in any case) is
// 127.0.0.1 without a lookup; other names go to the system's host lookup,
// which must answer with IPv4 addresses. False when the lookup fails (an
// empty or missing name fails without one).
bool ResolveHost(const char* host, uint16_t port, sockaddr_in& out);

// Requests queue in arrival order and one thread answers them, started on
// demand and ending when the queue runs dry. A caller that waited the
// time-out withdraws its request; the thread then drops the late answer and
// never writes into the caller's address.
//
// The thread is only started while the resolver has users (NetStartup adds
// the process-wide one's); without users every request waits out the
// time-out and fails.
class HostResolver {
public:
    static constexpr uint32_t kTimeoutMs = 5000;
    using LookupFn = std::function<bool(const char* host, uint16_t port, sockaddr_in& out)>;

    explicit HostResolver(LookupFn lookup = ResolveHost, uint32_t timeoutMs = kTimeoutMs);
    // Waits for a thread that is still answering. No caller may be waiting.
    ~HostResolver();
    HostResolver(const HostResolver&) = delete;
    HostResolver& operator=(const HostResolver&) = delete;

    // The process-wide resolver and resolution through it.
    static HostResolver& Process();
    static bool Resolve(const char* host, uint16_t port, sockaddr_in& out);

    // Resolution with the time-out; `out` is written only when an answer
    // (success or failure) came in time.
    bool Query(const char* host, uint16_t port, sockaddr_in& out);

    void AddUser();
    // Takes one user away; the last one waits for the thread to end.
    void RemoveUser();

    // For tests and diagnostics.
    uint32_t Users();
    bool HasThread();
    size_t Pending();

private:
    struct Request;

    void ThreadMain(uint64_t generation);

    LookupFn lookup_;
    uint32_t timeoutMs_;
    Nyx::CriticalSection lock_;
    std::deque<Request*> queue_;
    std::unique_ptr<Nyx::Thread> thread_;
    bool finished_ = false;
    uint32_t users_ = 0;
    uint64_t generation_ = 0;  // moves on whenever the users drop to 0
};
