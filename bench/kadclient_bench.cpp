// Round trips of KADClient::CallDaemon against the stand-in daemon (the
// built program, launched by the client from a temporary data root), with
// one and with eight requesting threads, beside the plain ping-pong of the
// same frames over one loopback connection with no client around it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/TStream.h"
#include "kad/DaemonLink.h"
#include "kad/DaemonWire.h"
#include "kad/KADClient.h"
#include "kad/NetStartup.h"

namespace {

// The stand-in's echo request (a test-only number).
constexpr uint32_t kEchoRequest = 60001;

// ------------------------------------------------------------ the client

class StandInRoot {
public:
    StandInRoot()
    {
        char templ[] = "/tmp/kestro-bench-XXXXXX";
        if (!::mkdtemp(templ))
            return;
        root_ = templ;
        std::error_code ec;
        std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
        std::filesystem::create_directories(root_ + "/bin", ec);
        std::filesystem::copy_file(self.parent_path() / "kaddaemon", root_ + "/bin/kaddaemon", ec);
        NetStartup();
        KADClientSettings settings;
        settings.path = root_;
        settings.flags[KADClientSettings::kFlagMayLaunchDaemon] = 0;
        ok_ = !ec && KADClient::Start(settings);
    }
    ~StandInRoot()
    {
        if (ok_)
            KADClient::CloseDaemon();
        KADClient::Stop();
        std::string folder;
        if (DaemonLink::DataFolderOf(root_ + "/assets.tdx", folder)) {
            DaemonObjectNames names = DaemonLink::NamesFor(folder);
            ::unlink(names.lockFilePath.c_str());
            ::shm_unlink(names.sharedMemoryPath.c_str());
        }
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    bool Ok() const { return ok_; }

private:
    std::string root_;
    bool ok_ = false;
};

StandInRoot& Root()
{
    static StandInRoot root;
    return root;
}

void BM_CallDaemon(benchmark::State& state)
{
    if (!Root().Ok()) {
        state.SkipWithError("the stand-in did not start");
        return;
    }
    const auto size = static_cast<uint32_t>(state.range(0));
    std::string payload(size, 'z');
    for (auto _ : state) {
        TBuffer request;
        request.WriteBytes(payload.data(), size);
        request.Rewind();
        TBuffer reply;
        if (!KADClient::CallDaemon(kEchoRequest, request, reply) || reply.GetSize() != size) {
            state.SkipWithError("round trip failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

// ------------------------------------------------------ plain ping-pong

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

bool WriteAll(int fd, const void* data, size_t n)
{
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        ssize_t sent = ::send(fd, p, n, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        p += sent;
        n -= static_cast<size_t>(sent);
    }
    return true;
}

void Put32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

uint32_t Get32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }

void NoDelay(int fd)
{
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// Echoes frames back as replies on one connection.
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
        thread_ = std::thread([this]() { Serve(); });
        client_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(client_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(client_);
            client_ = -1;
        } else {
            NoDelay(client_);
        }
    }
    ~PlainEcho()
    {
        if (client_ >= 0)
            ::close(client_);
        ::shutdown(listen_, SHUT_RDWR);
        thread_.join();
        ::close(listen_);
    }
    int Client() const { return client_; }

private:
    void Serve()
    {
        int fd = ::accept(listen_, nullptr, nullptr);
        if (fd < 0)
            return;
        NoDelay(fd);
        std::vector<uint8_t> frame;
        uint8_t head[12];
        while (ReadAll(fd, head, sizeof head)) {
            uint32_t length = Get32(head + 8);
            frame.resize(12 + length);
            if (!ReadAll(fd, frame.data() + 12, length))
                break;
            Put32(frame.data(), DaemonWire::kTagReply);
            std::copy(head + 4, head + 12, frame.data() + 4);
            if (!WriteAll(fd, frame.data(), frame.size()))
                break;
        }
        ::close(fd);
    }

    int listen_ = -1;
    int client_ = -1;
    std::thread thread_;
};

void BM_PlainPingPong(benchmark::State& state)
{
    PlainEcho echo;
    if (echo.Client() < 0) {
        state.SkipWithError("no connection");
        return;
    }
    const auto size = static_cast<uint32_t>(state.range(0));
    std::vector<uint8_t> frame(12 + size, 'z');
    std::vector<uint8_t> reply(size);
    uint8_t head[12];
    uint32_t id = 0;
    for (auto _ : state) {
        Put32(frame.data(), kEchoRequest);
        Put32(frame.data() + 4, ++id);
        Put32(frame.data() + 8, size);
        if (!WriteAll(echo.Client(), frame.data(), frame.size()) || !ReadAll(echo.Client(), head, sizeof head)
            || Get32(head + 4) != id || !ReadAll(echo.Client(), reply.data(), size)) {
            state.SkipWithError("round trip failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_PlainPingPong)->Arg(0)->Arg(4096)->UseRealTime();
BENCHMARK(BM_CallDaemon)->Arg(0)->Arg(4096)->Threads(1)->Threads(8)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
