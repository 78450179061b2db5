// Request/reply round trips over loopback: the stand-in daemon (handshake,
// frame reader, handler table, reply under the write lock) against a plain
// C echo server of the same frames. Both answer with a payload as long as
// the request's, and both clients are the same code.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include "BenchSupport.h"
#include "core/streams/LittleEndian.h"
#include "core/streams/TStream.h"
#include "kad/client/DaemonWire.h"
#include "kaddaemon/DaemonServer.h"

namespace {

constexpr uint32_t kEchoRequest = 9001;

bool ReadAll(int fd, void* out, size_t n)
{
    auto* p = static_cast<uint8_t*>(out);
    while (n > 0) {
        ssize_t got = ::recv(fd, p, n, 0);
        if (got <= 0)
            return false;
        p += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

bool WriteAll(int fd, const void* head, size_t headLength, const void* body, size_t bodyLength)
{
    iovec parts[2] = {{const_cast<void*>(head), headLength}, {const_cast<void*>(body), bodyLength}};
    iovec* next = parts;
    int count = bodyLength > 0 ? 2 : 1;
    while (count > 0) {
        ssize_t sent = ::writev(fd, next, count);
        if (sent <= 0)
            return false;
        auto done = static_cast<size_t>(sent);
        while (count > 0 && done >= next->iov_len) {
            done -= next->iov_len;
            ++next;
            --count;
        }
        if (count > 0) {
            next->iov_base = static_cast<uint8_t*>(next->iov_base) + done;
            next->iov_len -= done;
        }
    }
    return true;
}

int Connect(uint16_t port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// The client side of both benchmarks: one request frame out, one reply
// frame back, per iteration.
void RoundTrips(benchmark::State& state, int fd)
{
    const auto size = static_cast<uint32_t>(state.range(0));
    std::vector<uint8_t> payload(size, 0x5a);
    std::vector<uint8_t> reply(size);
    uint8_t head[12];
    uint32_t id = 0;
    for (auto _ : state) {
        StoreLE32(head, kEchoRequest);
        StoreLE32(head + 4, ++id);
        StoreLE32(head + 8, size);
        if (!WriteAll(fd, head, sizeof head, payload.data(), size) || !ReadAll(fd, head, sizeof head)
            || LoadLE32(head + 4) != id || LoadLE32(head + 8) != size || !ReadAll(fd, reply.data(), size)) {
            state.SkipWithError("round trip failed");
            break;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 2 * size);
}

// ------------------------------------------------------------ the stand-in

class StandIn {
public:
    StandIn()
    {
        char templ[] = "/tmp/kestro-bench-XXXXXX";
        if (::mkdtemp(templ))
            root_ = templ;
        server_.Requests().Register(kEchoRequest, [](kaddaemon::RequestContext&, TStream& request, TStream& reply) {
            uint8_t buf[65536];
            while (uint32_t n = request.ReadBytes(buf, sizeof buf))
                reply.WriteBytes(buf, n);
        });
        ok_ = !root_.empty() && server_.Start(root_) == kaddaemon::DaemonServer::StartResult::kServing;
    }
    ~StandIn()
    {
        server_.Shutdown();
        benchsupport::RemoveDaemonObjects(root_);
        ::rmdir(root_.c_str());
    }

    bool Ok() const { return ok_; }
    uint16_t Port() const { return server_.Port(); }
    const std::string& Root() const { return root_; }

private:
    std::string root_;
    kaddaemon::DaemonServer server_;
    bool ok_ = false;
};

void BM_StandInRoundTrip(benchmark::State& state)
{
    StandIn daemon;
    if (!daemon.Ok()) {
        state.SkipWithError("the stand-in did not start");
        return;
    }
    int fd = Connect(daemon.Port());
    Nyx::DynamicBuffer hello;
    {
        TBuffer out(&hello);
        DaemonWire::WriteClientHello(out, 1, daemon.Root());
    }
    uint8_t answer[DaemonWire::kDaemonHelloSize];
    if (fd < 0 || !WriteAll(fd, hello.Data(), hello.DataLength(), nullptr, 0) || !ReadAll(fd, answer, sizeof answer)) {
        state.SkipWithError("no handshake");
        return;
    }
    RoundTrips(state, fd);
    ::close(fd);
}

// ------------------------------------------------------- plain C ping-pong

class PlainEcho {
public:
    PlainEcho()
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        ::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(listen_, 4);
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this]() { Serve(); });
    }
    ~PlainEcho()
    {
        ::shutdown(listen_, SHUT_RDWR);
        thread_.join();
        ::close(listen_);
    }
    uint16_t Port() const { return port_; }

private:
    void Serve()
    {
        int fd = ::accept(listen_, nullptr, nullptr);
        if (fd < 0)
            return;
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::vector<uint8_t> payload;
        uint8_t head[12];
        while (ReadAll(fd, head, sizeof head)) {
            uint32_t length = LoadLE32(head + 8);
            payload.resize(length);
            if (!ReadAll(fd, payload.data(), length))
                break;
            StoreLE32(head, DaemonWire::kTagReply);
            if (!WriteAll(fd, head, sizeof head, payload.data(), length))
                break;
        }
        ::close(fd);
    }

    int listen_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

void BM_PlainRoundTrip(benchmark::State& state)
{
    PlainEcho echo;
    int fd = Connect(echo.Port());
    if (fd < 0) {
        state.SkipWithError("no connection");
        return;
    }
    RoundTrips(state, fd);
    ::close(fd);
}

void Sizes(benchmark::internal::Benchmark* b)
{
    for (int64_t size : {0, 64, 4096, 65536, 1 << 20})
        b->Arg(size);
}

BENCHMARK(BM_StandInRoundTrip)->Apply(Sizes)->UseRealTime();
BENCHMARK(BM_PlainRoundTrip)->Apply(Sizes)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
