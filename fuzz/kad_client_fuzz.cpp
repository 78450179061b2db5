// The daemon client reading whatever a daemon sends. A daemon is any local
// process that wins discovery, so here a fake one publishes itself for a
// data root of this target, and for every input the real client starts,
// makes one request and stops again. What the fake daemon sends back is the
// input: the first byte picks how the client calls (bit 0: the input's
// bytes begin with the daemon's handshake answer, else a valid one goes
// first; bit 1: the request has a results log, bit 2: which the client
// keeps; bit 3: a callback answers questions); the rest are the daemon's
// bytes. The answer is sent once the request is out, and then the daemon
// closes its side.
//
// Whatever the bytes, the request ends within a bound, its outcome and
// reply are those of the first whole reply to it before anything the
// client must give up at, and the client stops cleanly: no request left
// pending, no socket left open.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "FuzzTempFolder.h"
#include "config/results/ResultsLog.h"
#include "config/results/ResultsLogRegistry.h"
#include "core/threads/JobQueue.h"
#include "core/process/ProcessState.h"
#include "core/streams/TStream.h"
#include "kad/discovery/DaemonLink.h"
#include "kad/client/DaemonWire.h"
#include "kad/client/KADClient.h"
#include "kad/client/KADClientTransaction.h"
#include "kad/transport/NetStartup.h"

namespace {

using Clock = std::chrono::steady_clock;
// Far beyond what any input needs; past it the client hangs.
constexpr auto kBound = std::chrono::seconds(20);
// The one request of an input, and the id it is given.
constexpr uint32_t kRequestNumber = 21;
constexpr uint32_t kRequestId = 1;
constexpr std::string_view kRequestPayload = "fuzz";

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "kad_client_fuzz: %s\n", what);
    std::abort();
}

uint32_t LoadLE32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

bool ReadAll(int socket, void* bytes, size_t length)
{
    auto* at = static_cast<uint8_t*>(bytes);
    while (length > 0) {
        ssize_t got = ::recv(socket, at, length, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        at += got;
        length -= static_cast<size_t>(got);
    }
    return true;
}

void WriteAll(int socket, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t sent = ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return;  // the client gave up on the link
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
}

std::string ValidHello()
{
    TBuffer out;
    DaemonWire::WriteDaemonHello(out, DaemonWire::DaemonHello{7, 8});
    const Nyx::DynamicBuffer* b = out.GetBuffer();
    return std::string(reinterpret_cast<const char*>(b->Data()), b->DataLength());
}

// A daemon whose connections follow the plan the current input gives, one
// at a time, in the order they come. A connection beyond the plan is closed
// at once, before the handshake.
class FakeDaemon {
public:
    struct Connection {
        // Sent as the handshake answer: the first kDaemonHelloSize bytes of
        // it (all of it when shorter, and then the daemon closes its side).
        std::string hello;
        // Sent once the client's first request is in; empty for a
        // connection that only waits for the client to close it.
        std::optional<std::string> answer;
    };

    explicit FakeDaemon(const std::string& root) : root_(root)
    {
        NetStartup();
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listen_, 16) != 0 || ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            Fail("cannot listen on loopback");
        if (!link_.Attach(root + "/" + DaemonLink::kDataFileName) || !link_.Publish(ntohs(address.sin_port)))
            Fail("cannot publish the fake daemon");
        thread_ = std::thread([this]() { Accept(); });
    }
    ~FakeDaemon()
    {
        stopping_ = true;
        ::shutdown(listen_, SHUT_RDWR);
        thread_.join();
        ::close(listen_);
        link_.Withdraw();
        link_.Detach();
        const DaemonObjectNames names = DaemonLink::NamesFor(root_);
        ::unlink(names.lockFilePath.c_str());
        ::shm_unlink(names.sharedMemoryPath.c_str());
    }
    FakeDaemon(const FakeDaemon&) = delete;
    FakeDaemon& operator=(const FakeDaemon&) = delete;

    void Plan(std::deque<Connection> plan)
    {
        std::lock_guard<std::mutex> hold(lock_);
        plan_ = std::move(plan);
        serving_ = 0;
    }
    // Waits until every connection of the plan has come and been served.
    bool WaitServed(Clock::time_point until)
    {
        std::unique_lock<std::mutex> hold(lock_);
        return done_.wait_until(hold, until, [this]() { return plan_.empty() && serving_ == 0; });
    }

private:
    void Accept()
    {
        while (!stopping_) {
            int socket = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (socket < 0) {
                if (errno == EINTR || errno == ECONNABORTED)
                    continue;
                return;
            }
            std::optional<Connection> planned;
            {
                std::lock_guard<std::mutex> hold(lock_);
                if (!plan_.empty()) {
                    planned = std::move(plan_.front());
                    plan_.pop_front();
                    ++serving_;
                }
            }
            if (planned)
                Serve(socket, *planned);
            ::close(socket);
            if (planned) {
                std::lock_guard<std::mutex> hold(lock_);
                --serving_;
                done_.notify_all();
            }
        }
    }

    static void Serve(int socket, const Connection& c)
    {
        // A client that falls silent cannot hold the daemon up for good.
        timeval tv{10, 0};
        ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        uint8_t fixed[DaemonWire::kClientHelloFixedSize];
        if (!ReadAll(socket, fixed, sizeof fixed))
            return;
        const uint32_t pathLength = LoadLE32(fixed + 16);
        if (LoadLE32(fixed) != DaemonWire::kTagClientHello || pathLength > DaemonWire::kMaxHandshakePath)
            Fail("the client's handshake is malformed");
        std::string path(pathLength, '\0');
        if (!ReadAll(socket, path.data(), path.size()))
            return;

        const bool wholeHello = c.hello.size() >= DaemonWire::kDaemonHelloSize;
        WriteAll(socket, std::string_view(c.hello).substr(0, DaemonWire::kDaemonHelloSize));
        if (wholeHello && c.answer) {
            // The answer follows the request, so every reply in it finds
            // the request armed.
            uint8_t header[DaemonWire::kFrameHeaderSize];
            if (ReadAll(socket, header, sizeof header)) {
                std::string payload(LoadLE32(header + 8), '\0');
                if (LoadLE32(header) != kRequestNumber || LoadLE32(header + 4) != kRequestId ||
                    payload.size() != kRequestPayload.size())
                    Fail("the first request is not the one made");
                if (ReadAll(socket, payload.data(), payload.size()))
                    WriteAll(socket, *c.answer);
            }
        }
        if (!wholeHello || c.answer)
            ::shutdown(socket, SHUT_WR);
        // Whatever else the client sends is dropped until it closes.
        char sink[4096];
        while (::recv(socket, sink, sizeof sink, 0) > 0) {
        }
    }

    std::string root_;
    int listen_ = -1;
    DaemonLink link_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::mutex lock_;
    std::condition_variable done_;
    std::deque<Connection> plan_;
    int serving_ = 0;
};

// The outcome of the request as the client must see the daemon's bytes
// after the handshake: the payload of the first reply to it, unless the
// link must be given up before that reply is whole.
std::optional<std::string> ExpectedReply(std::string_view bytes)
{
    while (bytes.size() >= DaemonWire::kFrameHeaderSize) {
        const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
        const uint32_t tag = LoadLE32(p);
        const uint32_t word = LoadLE32(p + 4);
        const uint32_t length = LoadLE32(p + 8);
        if ((tag != DaemonWire::kTagReply && tag != DaemonWire::kTagNote) || length > DaemonWire::kMaxPayloadLength)
            return std::nullopt;
        bytes.remove_prefix(DaemonWire::kFrameHeaderSize);
        if (bytes.size() < length)
            return std::nullopt;
        if (tag == DaemonWire::kTagReply && word == kRequestId)
            return std::string(bytes.substr(0, length));
        bytes.remove_prefix(length);
    }
    return std::nullopt;
}

// Descriptors the process has open now.
size_t OpenDescriptors()
{
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir)
        Fail("cannot list the open descriptors");
    size_t n = 0;
    while (::readdir(dir))
        ++n;
    ::closedir(dir);
    return n;
}

std::atomic<uint32_t> g_values{0};
void CountValue(uint32_t) { ++g_values; }

// The command host reads its job and answers it.
void CommandHost(TStream& job, TStream& answer)
{
    uint32_t word = 0;
    job.ReadInt32(word, 0u);
    Nyx::String text;
    job.ReadString(text);
    answer.WriteInt32(word);
}

class Answers : public KADClientCallback {
public:
    uint32_t Answer(const Nyx::String&, Nyx::String& answer, const KUID&, uint32_t) override
    {
        answer = Nyx::String("yes");
        return 1;
    }
};

void ServeMainThreadJobs()
{
    while (JobQueue::Instance().Process(0) != 0) {
    }
}

// What is waited for is mostly a wake-up away: the wait gives way to other
// threads for a while before it sleeps.
template <class Pred>
void WaitUntil(Pred pred, const char* what)
{
    const auto until = Clock::now() + kBound;
    for (uint32_t round = 0; !pred(); ++round) {
        if (Clock::now() > until)
            Fail(what);
        ServeMainThreadJobs();
        if (round < 10000)
            std::this_thread::yield();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzTempFolder root("kad_client_fuzz");
    static FakeDaemon daemon(root.Path());
    static bool once = [] {
        // The thread that waits for replies serves the client's main-thread
        // jobs meanwhile, as the tool's main thread does.
        SetMainThreadId();
        KADClient::SetCommandHostCallback(&CommandHost);
        return true;
    }();
    (void)once;
    if (size == 0)
        return 0;

    const size_t descriptors = OpenDescriptors();
    const uint8_t flags = data[0];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const bool handshakeFromInput = flags & 1;
    std::deque<FakeDaemon::Connection> plan;
    std::string_view afterHello = bytes;
    if (handshakeFromInput) {
        // The client's start takes a connection of its own; the request
        // then connects again and meets the input's handshake.
        plan.push_back({ValidHello(), std::nullopt});
        const size_t hello = std::min<size_t>(bytes.size(), DaemonWire::kDaemonHelloSize);
        plan.push_back({std::string(bytes.substr(0, hello)), std::string(bytes.substr(hello))});
        afterHello = bytes.substr(hello);
    } else {
        plan.push_back({ValidHello(), std::string(bytes)});
    }
    daemon.Plan(std::move(plan));

    KADClientSettings settings;
    settings.path = Nyx::File::Path(root.Path());
    settings.callback = &CountValue;
    settings.flags[KADClientSettings::kFlagMayLaunchDaemon] = 0;
    if (!KADClient::Start(settings))
        Fail("the client does not start with a valid handshake");
    if (handshakeFromInput)
        KADClient::Disconnect(true);

    ResultsLog log;
    Answers answers;
    const bool withLog = flags & 2;
    const bool keepLog = withLog && (flags & 4);
    KADClientTransaction::SetNextId(kRequestId);
    TBuffer request;
    request.WriteBytes(kRequestPayload.data(), static_cast<uint32_t>(kRequestPayload.size()));
    request.Rewind();
    TBuffer reply;
    const bool ok = KADClient::CallDaemon(kRequestNumber, request, reply, (flags & 8) ? &answers : nullptr,
                                          withLog ? &log : nullptr, keepLog);

    const bool helloGood = !handshakeFromInput || (bytes.size() >= DaemonWire::kDaemonHelloSize &&
                                                   LoadLE32(data + 1) == DaemonWire::kTagDaemonHello);
    const std::optional<std::string> expected = helloGood ? ExpectedReply(afterHello) : std::nullopt;
    if (ok != expected.has_value())
        Fail(ok ? "a reply the daemon never sent whole" : "the reply sent was not taken");
    if (ok) {
        const Nyx::DynamicBuffer* got = reply.GetBuffer();
        if (std::string_view(reinterpret_cast<const char*>(got->Data()), got->DataLength()) != *expected)
            Fail("the reply is not the payload sent");
    }

    // The rest of the answer is read to its end before the client stops.
    WaitUntil([]() { return !KADClient::IsConnected(); }, "the client did not see the daemon close");
    ServeMainThreadJobs();
    KADClient::Stop();
    ServeMainThreadJobs();
    if (keepLog)
        ResultsLogRegistry::Remove(kRequestId);
    if (!daemon.WaitServed(Clock::now() + kBound))
        Fail("the client did not close its connections");
    if (KADClientTransaction::PendingCount() != 0)
        Fail("a request is still pending after the stop");
    if (OpenDescriptors() != descriptors)
        Fail("a descriptor was left open");
    return 0;
}
