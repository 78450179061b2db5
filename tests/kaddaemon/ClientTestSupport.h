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

std::string U32(uint32_t v);

// The names of the entries directly in the folder, sorted.
std::vector<std::string> FolderNames(const std::string& folder);

uint32_t ReadU32(const std::string& s, size_t at = 0);

// The KUID as it goes on the wire.
std::string KUIDBytes(const KUID& kuid);

// The texts of the log's results, in order.
std::vector<std::string> Texts(const ResultsLog& log);

// Bytes that tell which request they belong to.
std::string Pattern(uint32_t seed, size_t length);

// One request through the client; the reply's bytes, or nothing.
bool Call(uint32_t number, const std::string& payload, std::string* reply = nullptr,
          KADClientCallback* callback = nullptr, ResultsLog* log = nullptr, bool keepLog = false);

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

std::vector<std::string> TraceLines(const std::string& path);

size_t CountLines(const std::string& path, const std::string& prefix);

// The transaction id of the last request of that number in the trace; 0
// when there is none.
uint32_t LastRequestId(const std::string& path, uint32_t number);

// The stand-in served in this process for a fresh data root, and the
// client started on that root (flag 3 clear, as start-up leaves it).
class StandInClient : public ::testing::Test {
protected:
    StandInClient();
    ~StandInClient() override;

    void Serve();
    void StopServing();

    bool StartClient(uint8_t mayLaunch = 0);

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
    void OpenStore();
    void SetUp() override;

    std::shared_ptr<kaddaemon::AssetStore> store_;
};

// A daemon whose every connection is a script of the test. It publishes
// itself in the root's discovery block and takes connections one at a time;
// the script gets the socket (reads time out after 10 s) and the number of
// the connection from 0.
class FakeDaemon {
public:
    using Script = std::function<void(int socket, int index)>;

    FakeDaemon(const std::string& root, Script script);
    ~FakeDaemon();

    int Connections() const { return connections_.load(); }

    static bool Read(int socket, std::string& out, size_t n);
    static bool Write(int socket, const std::string& bytes);
    // The client's handshake: the path it announced, and the fixed words.
    static bool ReadHello(int socket, DaemonWire::ClientHello& hello, std::string& path);
    static bool AnswerHello(int socket) { return Write(socket, U32(DaemonWire::kTagDaemonHello) + U32(7) + U32(8)); }
    // One request frame: number, id and payload.
    static bool ReadRequest(int socket, uint32_t& number, uint32_t& id, std::string& payload);
    static std::string Reply(uint32_t id, const std::string& payload);
    // Waits until the client closes (true) or the time runs out.
    static bool WaitClosed(int socket);

private:
    void Accept();

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
