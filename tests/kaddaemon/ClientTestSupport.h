// Helpers of the daemon client's tests: the stand-in served in-process for
// a fresh data root (with or without its asset store), a scripted fake
// daemon, payload streams, the frame trace, the texts of a results log and
// the main thread's job servicing.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "config/kuid/KUID.h"
#include "config/results/ResultsLog.h"
#include "core/threads/JobQueue.h"
#include "core/process/ProcessState.h"
#include "core/streams/TStream.h"
#include "kad/discovery/DaemonLink.h"
#include "kad/client/DaemonWire.h"
#include "kad/client/KADClient.h"
#include "kad/transport/NetStartup.h"
#include "kaddaemon/AssetStore.h"
#include "kaddaemon/DaemonServer.h"
#include "kaddaemon/SocketIO.h"
#include "kaddaemon/StandInRequests.h"
#include "kaddaemon/StoreRequests.h"
#include "kaddaemon/TraceLog.h"
#include "support/DaemonTestSupport.h"
#include "support/TempFolder.h"

namespace clienttest {

namespace testrequest = kaddaemon::testrequest;
using daemontest::WaitFor;

// A stream holding the bytes, positioned at its start.
class Bytes {
public:
    explicit Bytes(std::string_view bytes = {})
    {
        stream_.WriteBytes(bytes.data(), static_cast<uint32_t>(bytes.size()));
        stream_.Rewind();
    }
    TBuffer& Stream() { return stream_; }
    std::string Text()
    {
        Nyx::DynamicBuffer* b = stream_.GetBuffer();
        return std::string(reinterpret_cast<const char*>(b->Data()), b->DataLength());
    }

private:
    TBuffer stream_;
};

inline std::string U32(uint32_t v)
{
    char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    return std::string(b, 4);
}

inline uint32_t ReadU32(const std::string& s, size_t at = 0)
{
    auto b = [&](size_t i) { return uint32_t(static_cast<unsigned char>(s[at + i])); };
    return s.size() >= at + 4 ? b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24) : 0xFFFFFFFFu;
}

// The KUID as it goes on the wire.
inline std::string KUIDBytes(const KUID& kuid)
{
    Bytes bytes;
    WriteKUID(bytes.Stream(), kuid);
    return bytes.Text();
}

// The texts of the log's results, in order.
inline std::vector<std::string> Texts(const ResultsLog& log)
{
    std::vector<std::string> texts;
    log.Lock();
    for (const ResultsLog::Result* r : log.Results())
        texts.emplace_back(r->text.View());
    log.Unlock();
    return texts;
}

// Bytes that tell which request they belong to.
inline std::string Pattern(uint32_t seed, size_t length)
{
    std::string s(length, '\0');
    for (size_t i = 0; i < length; ++i)
        s[i] = static_cast<char>((seed * 131 + i * 7 + (i >> 8)) & 0xFF);
    return s;
}

// One request through the client; the reply's bytes, or nothing.
inline bool Call(uint32_t number, const std::string& payload, std::string* reply = nullptr,
                 KADClientCallback* callback = nullptr, ResultsLog* log = nullptr, bool keepLog = false)
{
    Bytes request(payload);
    Bytes answer;
    bool ok = KADClient::CallDaemon(number, request.Stream(), answer.Stream(), callback, log, keepLog);
    if (reply)
        *reply = answer.Text();
    return ok;
}

// Runs queued main-thread jobs on the calling thread (which becomes the
// process's main thread) until the condition holds; false after the bound.
template <class Pred>
bool ServeMainThreadUntil(Pred pred, std::chrono::milliseconds bound = std::chrono::milliseconds(60000))
{
    SetMainThreadId();
    auto until = std::chrono::steady_clock::now() + bound;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        if (JobQueue::Instance().Process(0) == 0)
            JobQueue::Instance().WaitEvent(5);
    }
    return true;
}

inline std::vector<std::string> TraceLines(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

inline size_t CountLines(const std::string& path, const std::string& prefix)
{
    size_t n = 0;
    for (const std::string& line : TraceLines(path))
        n += line.rfind(prefix, 0) == 0;
    return n;
}

// The transaction id of the last request of that number in the trace; 0
// when there is none.
inline uint32_t LastRequestId(const std::string& path, uint32_t number)
{
    uint32_t id = 0;
    const std::string prefix = "in request " + std::to_string(number) + " ";
    for (const std::string& line : TraceLines(path)) {
        if (line.rfind(prefix, 0) == 0)
            id = static_cast<uint32_t>(std::stoul(line.substr(prefix.size())));
    }
    return id;
}

// The stand-in served in this process for a fresh data root, and the
// client started on that root (flag 3 clear, as start-up leaves it).
class StandInClient : public ::testing::Test {
protected:
    StandInClient() : root_(daemontest::RealPath(temp_.Path())), cleanup_(root_)
    {
        NetStartup();
        kaddaemon::RegisterStandInRequests(server_.Requests(), true);
    }
    ~StandInClient() override
    {
        KADClient::Stop();
        StopServing();
    }

    void Serve()
    {
        ASSERT_TRUE(trace_.Open(TracePath()));
        server_.SetTrace(&trace_);
        ASSERT_EQ(server_.Start(root_), kaddaemon::DaemonServer::StartResult::kServing) << server_.ErrorText();
        // Request 270 ends the stand-in as it ends its program.
        stopper_ = std::thread([this]() {
            server_.Wait();
            server_.Shutdown();
        });
    }
    void StopServing()
    {
        server_.RequestStop();
        if (stopper_.joinable())
            stopper_.join();
        server_.Shutdown();
    }

    bool StartClient(uint8_t mayLaunch = 0)
    {
        KADClientSettings settings;
        settings.path = root_;
        settings.flags[2] = 0;
        settings.flags[KADClientSettings::kFlagMayLaunchDaemon] = mayLaunch;
        return KADClient::Start(settings);
    }

    std::string TracePath() const { return temp_ / "trace.txt"; }
    size_t Handshakes() const { return CountLines(TracePath(), "in CDAT "); }

    TempFolder temp_;
    std::string root_;
    daemontest::DiscoveryCleanup cleanup_;
    kaddaemon::TraceLog trace_;
    kaddaemon::DaemonServer server_;
    std::thread stopper_;
};

// StandInClient with the stand-in's asset store served too. A fixture lays
// out the root's files before OpenStore(), which reads them; each case then
// starts serving and the client.
class StandInStoreClient : public StandInClient {
protected:
    void OpenStore()
    {
        store_ = std::make_shared<kaddaemon::AssetStore>(root_);
        EXPECT_TRUE(store_->Open());
        kaddaemon::RegisterStoreRequests(server_.Requests(), store_);
    }

    void SetUp() override
    {
        Serve();
        ASSERT_TRUE(StartClient());
    }

    std::shared_ptr<kaddaemon::AssetStore> store_;
};

// A daemon whose every connection is a script of the test. It publishes
// itself in the root's discovery block and takes connections one at a time;
// the script gets the socket (reads time out after 10 s) and the number of
// the connection from 0.
class FakeDaemon {
public:
    using Script = std::function<void(int socket, int index)>;

    FakeDaemon(const std::string& root, Script script) : script_(std::move(script))
    {
        NetStartup();
        listen_ = kaddaemon::ListenLoopback(port_);
        EXPECT_GE(listen_, 0);
        EXPECT_TRUE(link_.Attach(root + "/assets.tdx"));
        link_.Publish(port_);
        thread_ = std::thread([this]() { Accept(); });
    }
    ~FakeDaemon()
    {
        stopping_ = true;
        ::shutdown(listen_, SHUT_RDWR);
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (current_ >= 0)
                ::shutdown(current_, SHUT_RDWR);
        }
        thread_.join();
        ::close(listen_);
        link_.Withdraw();
        link_.Detach();
    }

    int Connections() const { return connections_.load(); }

    static bool Read(int socket, std::string& out, size_t n)
    {
        out.assign(n, '\0');
        size_t have = 0;
        while (have < n) {
            ssize_t got = ::recv(socket, out.data() + have, n - have, 0);
            if (got <= 0)
                return false;
            have += static_cast<size_t>(got);
        }
        return true;
    }
    static bool Write(int socket, const std::string& bytes)
    {
        return kaddaemon::SendAll(socket, bytes.data(), bytes.size());
    }
    // The client's handshake: the path it announced, and the fixed words.
    static bool ReadHello(int socket, DaemonWire::ClientHello& hello, std::string& path)
    {
        std::string fixed;
        if (!Read(socket, fixed, DaemonWire::kClientHelloFixedSize))
            return false;
        Bytes bytes(fixed);
        if (!DaemonWire::ReadClientHello(bytes.Stream(), hello))
            return false;
        return Read(socket, path, hello.pathLength);
    }
    static bool AnswerHello(int socket) { return Write(socket, U32(DaemonWire::kTagDaemonHello) + U32(7) + U32(8)); }
    // One request frame: number, id and payload.
    static bool ReadRequest(int socket, uint32_t& number, uint32_t& id, std::string& payload)
    {
        std::string head;
        if (!Read(socket, head, DaemonWire::kFrameHeaderSize))
            return false;
        number = ReadU32(head);
        id = ReadU32(head, 4);
        return Read(socket, payload, ReadU32(head, 8));
    }
    static std::string Reply(uint32_t id, const std::string& payload)
    {
        return U32(DaemonWire::kTagReply) + U32(id) + U32(static_cast<uint32_t>(payload.size())) + payload;
    }
    // Waits until the client closes (true) or the time runs out.
    static bool WaitClosed(int socket)
    {
        char c;
        for (;;) {
            ssize_t got = ::recv(socket, &c, 1, 0);
            if (got == 0)
                return true;
            if (got < 0)
                return false;
        }
    }

private:
    void Accept()
    {
        for (int index = 0; !stopping_; ++index) {
            int socket = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (socket < 0)
                return;
            timeval tv{10, 0};
            ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
            {
                std::lock_guard<std::mutex> hold(lock_);
                current_ = socket;
            }
            ++connections_;
            script_(socket, index);
            {
                std::lock_guard<std::mutex> hold(lock_);
                current_ = -1;
            }
            ::close(socket);
        }
    }

    Script script_;
    int listen_ = -1;
    uint16_t port_ = 0;
    DaemonLink link_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::mutex lock_;
    int current_ = -1;
};

}  // namespace clienttest
