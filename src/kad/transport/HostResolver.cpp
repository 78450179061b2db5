#include "kad/transport/HostResolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "nyx/base/WEvent.h"

bool ResolveHost(const char* host, uint16_t port, sockaddr_in& out)
{
    std::memset(&out, 0, sizeof out);
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    if (!host || !*host)
        return false;
    if (::strcasecmp(host, "localhost") == 0) {
        out.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return true;
    }
    // The reentrant form: tests run several resolvers side by side.
    hostent entry{};
    hostent* found = nullptr;
    int herr = 0;
    std::vector<char> scratch(1024);
    for (;;) {
        int rc = ::gethostbyname_r(host, &entry, scratch.data(), scratch.size(), &found, &herr);
        if (rc == ERANGE && scratch.size() < (1u << 20)) {
            scratch.resize(scratch.size() * 2);
            continue;
        }
        if (rc != 0)
            found = nullptr;
        break;
    }
    if (!found || found->h_addrtype != AF_INET || found->h_length != 4 || !found->h_addr_list ||
        !found->h_addr_list[0])
        return false;
    std::memcpy(&out.sin_addr, found->h_addr_list[0], 4);
    return true;
}

struct HostResolver::Request {
    Nyx::WEvent done{true, false};
    Nyx::String host;
    uint16_t port;
    sockaddr_in* out;
    uint8_t result = 0;
};

HostResolver::HostResolver(LookupFn lookup, uint32_t timeoutMs) : lookup_(std::move(lookup)), timeoutMs_(timeoutMs) {}

HostResolver::~HostResolver()
{
    std::unique_ptr<Nyx::Thread> thread;
    {
        Nyx::SingleLock guard(lock_);
        users_ = 0;
        ++generation_;
        thread = std::move(thread_);
    }
    if (thread)
        thread->Join();
}

HostResolver& HostResolver::Process()
{
    // The tool ends without running static destructors; where they do run,
    // this one waits for a thread that is still about.
    static HostResolver resolver;
    return resolver;
}

bool HostResolver::Resolve(const char* host, uint16_t port, sockaddr_in& out)
{
    return Process().Query(host, port, out);
}

bool HostResolver::Query(const char* host, uint16_t port, sockaddr_in& out)
{
    Request request;
    request.host = Nyx::String(host);
    request.port = port;
    request.out = &out;

    std::unique_ptr<Nyx::Thread> ended;
    {
        Nyx::SingleLock guard(lock_);
        queue_.push_back(&request);
        if (finished_ && thread_) {
            // The old thread has let go of the lock for good; it only has
            // to return.
            ended = std::move(thread_);
            ended->Join();
        }
        if (users_ != 0 && !thread_) {
            finished_ = false;
            auto thread = std::make_unique<Nyx::Thread>();
            uint64_t generation = generation_;
            if (thread->Start([this, generation]() { ThreadMain(generation); }))
                thread_ = std::move(thread);
        }
    }

    request.done.Wait(timeoutMs_);

    Nyx::SingleLock guard(lock_);
    auto it = std::find(queue_.begin(), queue_.end(), &request);
    if (it != queue_.end())
        queue_.erase(it);
    return request.result != 0;
}

void HostResolver::ThreadMain(uint64_t generation)
{
    Nyx::SingleLock guard(lock_);
    // A thread whose users all went away while it was inside a lookup is
    // no longer the resolver's thread (RemoveUser took its object), so it
    // must leave the queue and the finished flag to any successor.
    while (users_ != 0 && generation_ == generation && !queue_.empty()) {
        Nyx::String host = queue_.front()->host;
        uint16_t port = queue_.front()->port;
        sockaddr_in addr{};
        lock_.Leave();
        bool ok = lookup_(host.c_str(), port, addr);
        lock_.Enter();
        if (generation_ != generation)
            return;
        if (!queue_.empty() && queue_.front()->host == host && queue_.front()->port == port) {
            Request* request = queue_.front();
            queue_.pop_front();
            *request->out = addr;
            request->result = ok ? 1 : 0;
            request->done.Set();
        }
    }
    if (generation_ == generation)
        finished_ = true;
}

void HostResolver::AddUser()
{
    Nyx::SingleLock guard(lock_);
    ++users_;
}

void HostResolver::RemoveUser()
{
    std::unique_ptr<Nyx::Thread> thread;
    {
        Nyx::SingleLock guard(lock_);
        if (users_ == 0)
            return;
        if (--users_ == 0) {
            ++generation_;
            thread = std::move(thread_);
        }
    }
    // Joined outside the lock: a thread inside a lookup needs the lock once
    // more before it can see that the users are gone.
    if (thread)
        thread->Join();
}

uint32_t HostResolver::Users()
{
    Nyx::SingleLock guard(lock_);
    return users_;
}

bool HostResolver::HasThread()
{
    Nyx::SingleLock guard(lock_);
    return thread_ != nullptr;
}

size_t HostResolver::Pending()
{
    Nyx::SingleLock guard(lock_);
    return queue_.size();
}
