// Many clients at once, and notifications written from other threads while
// replies go out: every frame must arrive whole and answer its own request.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>

#include "core/streams/TStream.h"
#include "kaddaemon/DaemonConnection.h"
#include "kaddaemon/DaemonServer.h"
#include "kaddaemon/RawDaemonClient.h"
#include "support/DaemonTestSupport.h"
#include "support/TempFolder.h"

namespace {

using kaddaemon::DaemonServer;
using kaddaemon::RequestContext;

constexpr uint32_t kEcho = 9001;
constexpr uint32_t kStartNotes = 9002;

// Bytes that say which request (or notification) they belong to.
std::string Pattern(uint32_t seed, size_t length)
{
    std::string s(length, '\0');
    for (size_t i = 0; i < length; ++i)
        s[i] = static_cast<char>((seed * 131 + i * 7) & 0xFF);
    return s;
}

class DaemonConcurrency : public ::testing::Test {
protected:
    DaemonConcurrency() : root_(daemontest::RealPath(temp_.Path())), cleanup_(root_)
    {
        server_.Requests().Register(kEcho, [](RequestContext&, TStream& request, TStream& reply) {
            uint8_t buf[16384];
            while (uint32_t n = request.ReadBytes(buf, sizeof buf))
                reply.WriteBytes(buf, n);
        });
        // Starts a thread that sends notifications on the requesting
        // connection while that connection's replies are being written.
        server_.Requests().Register(kStartNotes, [this](RequestContext& context, TStream& request, TStream&) {
            uint32_t count = 0;
            request.ReadInt32(count, 0u);
            kaddaemon::DaemonConnection* connection = &context.connection;
            notifier_ = std::thread([connection, count]() {
                for (uint32_t kind = 0; kind < count; ++kind) {
                    std::string payload = Pattern(kind + 100000, 3000 + kind % 977);
                    connection->SendNote(kind, payload.data(), static_cast<uint32_t>(payload.size()));
                }
            });
        });
    }
    ~DaemonConcurrency() override
    {
        if (notifier_.joinable())
            notifier_.join();
        server_.Shutdown();
    }

    TempFolder temp_;
    std::string root_;
    daemontest::DiscoveryCleanup cleanup_;
    DaemonServer server_;
    std::thread notifier_;
};

TEST_F(DaemonConcurrency, ManyClientsAtOnceEachGetTheirOwnReplies)
{
    ASSERT_EQ(server_.Start(root_), DaemonServer::StartResult::kServing);
    constexpr int kClients = 8;
    constexpr uint32_t kRequests = 150;
    std::atomic<int> failures{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c]() {
            RawDaemonClient client;
            if (!client.Connect(server_.Port()) || !client.Handshake(root_)) {
                ++failures;
                return;
            }
            // Half the requests go out before any reply is read.
            std::string burst;
            for (uint32_t i = 0; i < kRequests / 2; ++i) {
                uint32_t id = uint32_t(c) * 1000 + i;
                burst += RawDaemonClient::RequestBytes(kEcho, id, Pattern(id, id % 5000));
            }
            std::thread sender([&]() { client.Send(burst); });
            for (uint32_t i = 0; i < kRequests; ++i) {
                uint32_t id = uint32_t(c) * 1000 + i;
                if (i >= kRequests / 2 && !client.SendRequest(kEcho, id, Pattern(id, id % 5000)))
                    ++failures;
                uint32_t tag = 0;
                uint32_t got = 0;
                std::string payload;
                if (!client.ReadFrame(tag, got, payload) || tag != DaemonWire::kTagReply || got != id
                    || payload != Pattern(id, id % 5000))
                    ++failures;
                if (i + 1 == kRequests / 2)
                    sender.join();
            }
        });
    }
    for (std::thread& t : clients)
        t.join();
    EXPECT_EQ(failures.load(), 0);
}

// A daemon serves before its store is open, so that a rival finds the root
// taken before either touches it: the handshake is answered at once, the
// requests only once the daemon is ready, and a stop frees those waiting.
TEST_F(DaemonConcurrency, RequestsWaitUntilTheDaemonIsReady)
{
    server_.SetReady(false);
    ASSERT_EQ(server_.Start(root_), DaemonServer::StartResult::kServing);
    RawDaemonClient early;
    ASSERT_TRUE(early.Connect(server_.Port()) && early.Handshake(root_));
    ASSERT_TRUE(early.SendRequest(kEcho, 7, "first"));
    pollfd waiting{early.Fd(), POLLIN, 0};
    EXPECT_EQ(::poll(&waiting, 1, 300), 0);
    server_.SetReady(true);
    uint32_t tag = 0, id = 0;
    std::string payload;
    ASSERT_TRUE(early.ReadFrame(tag, id, payload));
    EXPECT_EQ(id, 7u);
    EXPECT_EQ(payload, "first");

    server_.SetReady(false);
    RawDaemonClient late;
    ASSERT_TRUE(late.Connect(server_.Port()) && late.Handshake(root_));
    ASSERT_TRUE(late.SendRequest(kEcho, 8, "never"));
    std::thread stopper([this]() { server_.RequestStop(); });
    EXPECT_TRUE(late.WaitClosed());
    stopper.join();
}

TEST_F(DaemonConcurrency, NotificationsFromAnotherThreadNeverSplitAReply)
{
    ASSERT_EQ(server_.Start(root_), DaemonServer::StartResult::kServing);
    RawDaemonClient client;
    ASSERT_TRUE(client.Connect(server_.Port()));
    ASSERT_TRUE(client.Handshake(root_));

    constexpr uint32_t kNotes = 300;
    constexpr uint32_t kReplies = 300;
    std::string count(4, '\0');
    count[0] = static_cast<char>(kNotes & 0xFF);
    count[1] = static_cast<char>(kNotes >> 8);
    std::string burst = RawDaemonClient::RequestBytes(kStartNotes, 1, count);
    for (uint32_t id = 2; id < kReplies + 2; ++id)
        burst += RawDaemonClient::RequestBytes(kEcho, id, Pattern(id, 20000 + id));
    std::thread sender([&]() { EXPECT_TRUE(client.Send(burst)); });

    uint32_t notes = 0;
    uint32_t nextReply = 1;
    auto readAll = [&]() {
        while (nextReply < kReplies + 2 || notes < kNotes) {
            uint32_t tag = 0;
            uint32_t second = 0;
            std::string payload;
            ASSERT_TRUE(client.ReadFrame(tag, second, payload));
            if (tag == DaemonWire::kTagNote) {
                ASSERT_EQ(second, notes) << "notifications keep their order";
                ASSERT_TRUE(payload == Pattern(second + 100000, 3000 + second % 977)) << "note " << second;
                ++notes;
            } else {
                ASSERT_EQ(tag, DaemonWire::kTagReply);
                ASSERT_EQ(second, nextReply);
                if (second > 1) {
                    ASSERT_TRUE(payload == Pattern(second, 20000 + second)) << "reply " << second;
                }
                ++nextReply;
            }
        }
    };
    readAll();
    if (HasFatalFailure())
        ::shutdown(client.Fd(), SHUT_RDWR);  // lets the sender give up
    sender.join();
}

}  // namespace
