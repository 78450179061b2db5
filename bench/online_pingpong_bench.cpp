// One packet there and back over loopback UDP: through the online link
// (TMEEndpoint: queue, sequence, in-flight list, acknowledgement release,
// in-order delivery) against a bare sendto/recvfrom ping-pong. Both talk
// to an echo thread of the same plain code; the link's echo answers with a
// sequenced packet acknowledging the one it got. Throughput is capped by
// design (60 packets in flight), so this measures latency per packet; the
// goal is within 2x of the bare exchange.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "online/TMEEndpoint.h"

namespace {

// Echoes every datagram; with `link` set it answers as a link peer would:
// its own sequence, the received one as acknowledgement, the same body.
class EchoThread {
public:
    explicit EchoThread(bool link) : link_(link)
    {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&any), sizeof any);
        socklen_t length = sizeof address_;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address_), &length);
        thread_ = std::thread([this]() { Run(); });
    }
    ~EchoThread()
    {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    const sockaddr_in& Address() const { return address_; }

private:
    void Run()
    {
        std::vector<uint8_t> buffer(70000);
        uint8_t sequence = 1;
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            sockaddr_in from{};
            socklen_t length = sizeof from;
            ssize_t got = ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
            if (got < 2)
                continue;
            if (link_) {
                if (buffer[0] == 0)
                    continue;  // bare acknowledgements need no answer
                buffer[1] = buffer[0];
                buffer[0] = sequence;
                sequence = NextSequence(sequence);
            }
            ::sendto(fd_, buffer.data(), size_t(got), 0, reinterpret_cast<sockaddr*>(&from), length);
        }
    }

    bool link_;
    int fd_ = -1;
    sockaddr_in address_{};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class CountingEndpoint : public TMEEndpoint {
public:
    uint64_t handled = 0;

protected:
    void HandlePacket(TMEPacket&) override { ++handled; }
};

void BM_EndpointRoundTrip(benchmark::State& state)
{
    const auto size = static_cast<uint32_t>(state.range(0));
    EchoThread echo(true);
    TMESocket socket;
    if (!socket.Open()) {
        state.SkipWithError("no socket");
        return;
    }
    TMEPeer peer;
    peer.address = echo.Address();
    socket.AddPeer(&peer);
    CountingEndpoint endpoint;
    endpoint.Attach(&peer);
    const std::vector<uint8_t> body(size, 0x5a);
    for (auto _ : state) {
        auto packet = std::make_unique<TMEPacket>(body.data(), size);
        endpoint.Send(packet);
        const uint64_t want = endpoint.handled + 1;
        endpoint.Update();
        while (endpoint.handled < want)
            socket.ReceiveOne();
    }
    if (endpoint.InFlightCount() > 1)
        state.SkipWithError("acknowledgements were not released");
    state.SetBytesProcessed(int64_t(state.iterations()) * 2 * size);
    endpoint.Close();
}

void BM_RawRoundTrip(benchmark::State& state)
{
    const auto size = static_cast<uint32_t>(state.range(0));
    EchoThread echo(false);
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    ::bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any);
    std::vector<uint8_t> out(size + 2, 0x5a);
    std::vector<uint8_t> in(100000);
    for (auto _ : state) {
        ::sendto(fd, out.data(), out.size(), 0, reinterpret_cast<const sockaddr*>(&echo.Address()),
                 sizeof(sockaddr_in));
        // Polled as the endpoint polls: one non-blocking receive at a time.
        while (::recvfrom(fd, in.data(), in.size(), 0, nullptr, nullptr) < 0) {
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 2 * size);
    ::close(fd);
}

void Sizes(benchmark::internal::Benchmark* b)
{
    for (int size : {64, 1024, 16384})
        b->Arg(size);
}

}  // namespace

BENCHMARK(BM_EndpointRoundTrip)->Apply(Sizes)->UseRealTime();
BENCHMARK(BM_RawRoundTrip)->Apply(Sizes)->UseRealTime();
BENCHMARK_MAIN();
