// Round trips of KADClient::CallDaemon against the stand-in daemon (the
// built program in a temporary data root, started with its test-only
// requests before the client connects), with one and with eight
// requesting threads, on an idle machine and beside a CPU hog of one busy
// thread per core.
//
// Yardsticks, run in the same program over one loopback connection to a
// plain echo server of the same frames, shared by as many threads:
// - plain ping-pong: a thread sends its request and reads its own reply,
//   holding the connection for the round trip;
// - hand-off ping-pong: requests go out under a send lock, and one reader
//   thread reads every reply whole and hands it to the thread waiting for
//   it, which sleeps until then. This is the least a client that lets
//   several threads wait at once must do, and what CallDaemon is held to
//   on a loaded machine.
// The ratios printed at the end: CallDaemon against the plain ping-pong
// when idle and against the hand-off ping-pong under load (goal 0.8 or
// more), and eight CallDaemon threads against one (goal 1 or more).
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "BenchSupport.h"
#include "core/streams/LittleEndian.h"
#include "core/streams/TStream.h"
#include "kad/client/DaemonWire.h"
#include "kad/client/FutexWord.h"
#include "kad/client/KADClient.h"
#include "kad/discovery/DaemonLink.h"
#include "kad/transport/NetStartup.h"
#include "kad/discovery/ProcessLaunch.h"

namespace {

// The stand-in's echo request (a test-only number).
constexpr uint32_t kEchoRequest = 60001;
constexpr int64_t kPayload = 64;

// ------------------------------------------------------------ CPU hog

// One busy thread per core while a loaded benchmark runs.
class Hog {
public:
    void Start()
    {
        stop_.store(false);
        unsigned n = std::max(1u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < n; ++i)
            threads_.emplace_back([this]() {
                volatile uint64_t x = 0;
                while (!stop_.load(std::memory_order_relaxed))
                    x = x * 3 + 1;
            });
    }
    void Stop()
    {
        stop_.store(true);
        for (auto& t : threads_)
            t.join();
        threads_.clear();
    }

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

Hog g_hog;
void StartHog(const benchmark::State&) { g_hog.Start(); }
void StopHog(const benchmark::State&) { g_hog.Stop(); }

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
        if (ec)
            return;
        NetStartup();
        // The echo request is test-only: the stand-in the client would
        // launch does not serve it.
        if (!LaunchStandIn())
            return;
        KADClientSettings settings;
        settings.path = root_;
        settings.flags[KADClientSettings::kFlagMayLaunchDaemon] = 0;
        ok_ = KADClient::Start(settings);
    }
    ~StandInRoot()
    {
        if (ok_)
            KADClient::CloseDaemon();
        KADClient::Stop();
        benchsupport::RemoveDaemonObjects(root_);
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    bool Ok() const { return ok_; }

private:
    // Starts the stand-in with its test requests, as the tool would (in a
    // session of its own), and waits until discovery finds it.
    bool LaunchStandIn()
    {
        const std::string bin = root_ + "/bin";
        if (LaunchProcess(bin + "/kaddaemon", "--test-requests", bin, kLaunchHidden) == 0)
            return false;
        for (int tries = 0; tries < 200; ++tries) {
            DaemonLink link;
            if (link.Attach(root_ + "/assets.tdx") && link.GetPort() != 0)
                return true;
            link.Detach();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
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

// ------------------------------------------------------ the yardsticks

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

void NoDelay(int fd)
{
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// Echoes frames back as replies on one connection, from a buffered reader
// as the stand-in has, in a process of its own in a session of its own, as
// the tool launches the stand-in: where the scheduler shares the processors
// out by session, both servers then stand on the same footing against the
// hog, which runs in this process beside the clients.
class PlainEcho {
public:
    PlainEcho()
    {
        int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(listener, 4);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
        server_ = ::fork();
        if (server_ == 0) {
            ::setsid();
            Serve(listener);
            ::_exit(0);
        }
        ::close(listener);
        client_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (server_ < 0 || ::connect(client_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
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
        if (server_ > 0) {
            ::kill(server_, SIGKILL);
            ::waitpid(server_, nullptr, 0);
        }
    }
    int Client() const { return client_; }
    // Ends the server's reading: a reader of the client side sees the end.
    void Hangup() const { ::shutdown(client_, SHUT_RDWR); }

private:
    static void Serve(int listener)
    {
        int fd = ::accept(listener, nullptr, nullptr);
        ::close(listener);
        if (fd < 0)
            return;
        NoDelay(fd);
        std::vector<uint8_t> in(1 << 16);
        size_t have = 0;
        std::vector<uint8_t> out;
        for (;;) {
            ssize_t got = ::recv(fd, in.data() + have, in.size() - have, 0);
            if (got <= 0)
                break;
            have += static_cast<size_t>(got);
            size_t at = 0;
            out.clear();
            while (have - at >= 12 && have - at >= 12 + LoadLE32(&in[at + 8])) {
                uint32_t length = LoadLE32(&in[at + 8]);
                size_t base = out.size();
                out.resize(base + 12 + length);
                StoreLE32(&out[base], DaemonWire::kTagReply);
                std::copy(&in[at + 4], &in[at + 12 + length], &out[base + 4]);
                at += 12 + length;
            }
            have -= at;
            std::copy(in.begin() + static_cast<long>(at), in.begin() + static_cast<long>(at + have), in.begin());
            if (!out.empty() && !WriteAll(fd, out.data(), out.size()))
                break;
        }
        ::close(fd);
    }

    pid_t server_ = -1;
    int client_ = -1;
};

void Frame(std::vector<uint8_t>& frame, uint32_t id, uint32_t size)
{
    frame.assign(12 + size, 'z');
    StoreLE32(frame.data(), kEchoRequest);
    StoreLE32(frame.data() + 4, id);
    StoreLE32(frame.data() + 8, size);
}

// Threads take turns on one connection, each holding it for its round trip.
struct PlainShared {
    PlainEcho echo;
    std::mutex lock;
    std::atomic<uint32_t> nextId{1};
};

PlainShared& Plain()
{
    static PlainShared shared;
    return shared;
}

void BM_PlainPingPong(benchmark::State& state)
{
    PlainShared& shared = Plain();
    if (shared.echo.Client() < 0) {
        state.SkipWithError("no connection");
        return;
    }
    const auto size = static_cast<uint32_t>(state.range(0));
    std::vector<uint8_t> frame;
    std::vector<uint8_t> reply(size);
    uint8_t head[12];
    for (auto _ : state) {
        uint32_t id = shared.nextId.fetch_add(1);
        Frame(frame, id, size);
        std::lock_guard<std::mutex> hold(shared.lock);
        if (!WriteAll(shared.echo.Client(), frame.data(), frame.size())
            || !ReadAll(shared.echo.Client(), head, sizeof head) || LoadLE32(head + 4) != id
            || !ReadAll(shared.echo.Client(), reply.data(), size)) {
            state.SkipWithError("round trip failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

// Requests under a send lock; a reader thread reads each reply whole and
// wakes the thread that waits for that id.
class HandOff {
public:
    struct Waiter {
        std::atomic<uint32_t> ready{0};
        std::vector<uint8_t> reply;
    };

    HandOff() : reader_([this]() { Read(); }) {}
    ~HandOff()
    {
        echo_.Hangup();
        reader_.join();
    }

    bool Call(uint32_t size, std::vector<uint8_t>& frame, Waiter& waiter)
    {
        uint32_t id = nextId_.fetch_add(1);
        Frame(frame, id, size);
        waiter.ready.store(0, std::memory_order_relaxed);
        {
            std::lock_guard<std::mutex> hold(tableLock_);
            waiting_[id] = &waiter;
        }
        {
            std::lock_guard<std::mutex> hold(sendLock_);
            if (!WriteAll(echo_.Client(), frame.data(), frame.size()))
                return false;
        }
        // A plain sleep on the word: no spinning, and no yielding either,
        // which on a loaded machine hands the processor to the hog for a
        // whole time slice.
        while (waiter.ready.load(std::memory_order_acquire) == 0)
            futexword::Wait(waiter.ready, 0, -1);
        return waiter.ready.load(std::memory_order_relaxed) == 1 && waiter.reply.size() == size;
    }

private:
    void Read()
    {
        uint8_t head[12];
        while (ReadAll(echo_.Client(), head, sizeof head)) {
            uint32_t id = LoadLE32(head + 4);
            Waiter* waiter = nullptr;
            {
                std::lock_guard<std::mutex> hold(tableLock_);
                auto it = waiting_.find(id);
                if (it != waiting_.end()) {
                    waiter = it->second;
                    waiting_.erase(it);
                }
            }
            std::vector<uint8_t> scratch;
            std::vector<uint8_t>& into = waiter ? waiter->reply : scratch;
            into.resize(LoadLE32(head + 8));
            if (!ReadAll(echo_.Client(), into.data(), into.size()))
                break;
            if (waiter) {
                waiter->ready.store(1, std::memory_order_release);
                futexword::WakeAll(waiter->ready);
            }
        }
        std::lock_guard<std::mutex> hold(tableLock_);
        for (auto& [id, waiter] : waiting_) {
            waiter->ready.store(2, std::memory_order_release);
            futexword::WakeAll(waiter->ready);
        }
        waiting_.clear();
    }

    PlainEcho echo_;
    std::mutex sendLock_;
    std::mutex tableLock_;
    std::map<uint32_t, Waiter*> waiting_;
    std::atomic<uint32_t> nextId_{1};
    std::thread reader_;
};

HandOff& SharedHandOff()
{
    static HandOff handOff;
    return handOff;
}

void BM_HandOffPingPong(benchmark::State& state)
{
    HandOff& handOff = SharedHandOff();
    const auto size = static_cast<uint32_t>(state.range(0));
    std::vector<uint8_t> frame;
    HandOff::Waiter waiter;
    for (auto _ : state) {
        if (!handOff.Call(size, frame, waiter)) {
            state.SkipWithError("round trip failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

// Names as "idle/1", "loaded/8".
class RateReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> rate;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            auto it = r.counters.find("items_per_second");
            if (it == r.counters.end())
                continue;
            if (r.run_type == Run::RT_Iteration || r.aggregate_name == "median")
                rate[r.run_name.function_name + "/" + std::to_string(r.threads)] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

void Register()
{
    for (int threads : {1, 8}) {
        benchmark::RegisterBenchmark("idle/PlainPingPong", BM_PlainPingPong)->Arg(kPayload)->Threads(threads)->UseRealTime();
        benchmark::RegisterBenchmark("idle/CallDaemon", BM_CallDaemon)->Arg(kPayload)->Threads(threads)->UseRealTime();
        benchmark::RegisterBenchmark("loaded/HandOffPingPong", BM_HandOffPingPong)
            ->Arg(kPayload)->Threads(threads)->UseRealTime()->Setup(StartHog)->Teardown(StopHog);
        benchmark::RegisterBenchmark("loaded/CallDaemon", BM_CallDaemon)
            ->Arg(kPayload)->Threads(threads)->UseRealTime()->Setup(StartHog)->Teardown(StopHog);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    Register();
    benchmark::Initialize(&argc, argv);
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto ratio = [&](const std::string& a, const std::string& b) {
        auto x = reporter.rate.find(a);
        auto y = reporter.rate.find(b);
        if (x == reporter.rate.end() || y == reporter.rate.end() || y->second <= 0)
            return;
        std::printf("%-48s %.2f\n", (a + " : " + b).c_str(), x->second / y->second);
    };
    std::printf("\nratios (goal: 0.8 or more against the yardstick, 1 or more for 8 threads against 1)\n");
    for (const char* n : {"1", "8"}) {
        ratio(std::string("idle/CallDaemon/") + n, std::string("idle/PlainPingPong/") + n);
        ratio(std::string("loaded/CallDaemon/") + n, std::string("loaded/HandOffPingPong/") + n);
    }
    ratio("idle/CallDaemon/8", "idle/CallDaemon/1");
    ratio("loaded/CallDaemon/8", "loaded/CallDaemon/1");
    benchmark::Shutdown();
    return 0;
}
