#include "kaddaemon/DaemonServer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/streams/TStream.h"
#include "kaddaemon/DaemonConnection.h"
#include "kaddaemon/TraceLog.h"
#include "kaddaemon/RawDaemonClient.h"
#include "support/DaemonTestSupport.h"
#include "support/TempFolder.h"

namespace {

using kaddaemon::DaemonServer;
using kaddaemon::RequestContext;

constexpr uint32_t kEcho = 9001;
constexpr uint32_t kNoteThenReply = 9002;
constexpr uint32_t kThrows = 9003;

std::vector<std::string> Lines(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class DaemonServerTest : public ::testing::Test {
protected:
    DaemonServerTest() : root_(daemontest::RealPath(temp_.Path())), cleanup_(root_)
    {
        server_.Requests().Register(kEcho, [](RequestContext&, TStream& request, TStream& reply) {
            uint8_t buf[65536];
            while (uint32_t n = request.ReadBytes(buf, sizeof buf))
                reply.WriteBytes(buf, n);
        });
        server_.Requests().Register(kNoteThenReply, [](RequestContext& context, TStream&, TStream& reply) {
            context.connection.SendNote(3, "ab", 2);
            reply.WriteInt32(context.transactionId);
        });
        server_.Requests().Register(kThrows, [](RequestContext&, TStream&, TStream& reply) {
            reply.WriteInt32(1u);
            throw std::runtime_error("half-way");
        });
    }

    void StartServing()
    {
        ASSERT_TRUE(trace_.Open(temp_ / "trace.txt"));
        server_.SetTrace(&trace_);
        ASSERT_EQ(server_.Start(root_), DaemonServer::StartResult::kServing) << server_.ErrorText();
        ASSERT_NE(server_.Port(), 0);
    }

    void Connect(RawDaemonClient& client)
    {
        ASSERT_TRUE(client.Connect(server_.Port()));
        DaemonWire::DaemonHello hello;
        ASSERT_TRUE(client.Handshake(root_, &hello));
        EXPECT_EQ(hello.first, static_cast<uint32_t>(::getpid()));
    }

    TempFolder temp_;
    std::string root_;
    daemontest::DiscoveryCleanup cleanup_;
    kaddaemon::TraceLog trace_;
    DaemonServer server_;
};

TEST_F(DaemonServerTest, AnswersEveryRequestWithAReplyOfItsId)
{
    StartServing();
    RawDaemonClient client;
    Connect(client);

    struct Case {
        uint32_t number;
        uint32_t id;
        std::string payload;
        std::string reply;
    };
    const Case cases[] = {
        {12345, 7, "", ""},           // unknown: empty reply
        {0, 8, "keep", ""},           // keep-alive is unknown too
        {kEcho, 9, "", ""},
        {kEcho, 10, "payload", "payload"},
        {kThrows, 11, "", ""},        // a failed handler answers nothing
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(client.SendRequest(c.number, c.id, c.payload));
        uint32_t tag = 0;
        uint32_t id = 0;
        std::string payload;
        ASSERT_TRUE(client.ReadFrame(tag, id, payload)) << c.number;
        EXPECT_EQ(tag, DaemonWire::kTagReply);
        EXPECT_EQ(id, c.id);
        EXPECT_EQ(payload, c.reply) << c.number;
    }

    // Requests sent back to back in one write are answered in order.
    std::string burst;
    for (uint32_t id = 100; id < 110; ++id)
        burst += RawDaemonClient::RequestBytes(kEcho, id, std::string(id, 'x'));
    ASSERT_TRUE(client.Send(burst));
    for (uint32_t id = 100; id < 110; ++id) {
        uint32_t tag = 0;
        uint32_t got = 0;
        std::string payload;
        ASSERT_TRUE(client.ReadFrame(tag, got, payload));
        EXPECT_EQ(got, id);
        EXPECT_EQ(payload, std::string(id, 'x'));
    }
}

// A client with several requests out gets their answers in one piece: the
// daemon holds back what it answers while the next request is already in,
// and sends it all once it has answered everything it holds. Notifications
// keep their place among the replies.
TEST_F(DaemonServerTest, TheAnswersToABurstOfRequestsGoOutInOneWrite)
{
    StartServing();
    RawDaemonClient client;
    Connect(client);
    std::string burst;
    std::string expected;
    for (uint32_t id = 1; id <= 12; ++id) {
        const bool note = id % 5 == 0;
        const std::string payload(id * 7, char('a' + id));
        burst += RawDaemonClient::RequestBytes(note ? kNoteThenReply : kEcho, id, note ? "" : payload);
        Nyx::DynamicBuffer frames;
        {
            TBuffer out(&frames);
            if (note) {
                DaemonWire::WriteFrameHeader(out, {DaemonWire::kTagNote, 3, 2});
                out.WriteBytes("ab", 2);
                DaemonWire::WriteFrameHeader(out, {DaemonWire::kTagReply, id, 4});
                out.WriteInt32(id);
            } else {
                DaemonWire::WriteFrameHeader(out, {DaemonWire::kTagReply, id, uint32_t(payload.size())});
                out.WriteBytes(payload.data(), uint32_t(payload.size()));
            }
        }
        expected.append(reinterpret_cast<const char*>(frames.Data()), frames.DataLength());
    }
    ASSERT_TRUE(client.Send(burst));
    // The first read returns once the first bytes are in, and then holds
    // everything that came in the same write.
    std::string got(expected.size() + 1, '\0');
    const ssize_t n = ::recv(client.Fd(), got.data(), got.size(), 0);
    ASSERT_GT(n, 0);
    got.resize(size_t(n));
    EXPECT_EQ(got, expected);
}

TEST_F(DaemonServerTest, LargePayloadsArriveWhole)
{
    StartServing();
    RawDaemonClient client;
    Connect(client);
    std::string big(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 31 + 7);
    std::thread sender([&]() { EXPECT_TRUE(client.SendRequest(kEcho, 1, big)); });
    uint32_t tag = 0;
    uint32_t id = 0;
    std::string payload;
    ASSERT_TRUE(client.ReadFrame(tag, id, payload));
    sender.join();
    EXPECT_EQ(id, 1u);
    EXPECT_TRUE(payload == big);
}

TEST_F(DaemonServerTest, NotificationsGoOutAsWholeFramesBeforeTheReply)
{
    StartServing();
    RawDaemonClient client;
    Connect(client);
    ASSERT_TRUE(client.SendRequest(kNoteThenReply, 42, ""));
    uint32_t tag = 0;
    uint32_t second = 0;
    std::string payload;
    ASSERT_TRUE(client.ReadFrame(tag, second, payload));
    EXPECT_EQ(tag, DaemonWire::kTagNote);
    EXPECT_EQ(second, 3u);
    EXPECT_EQ(payload, "ab");
    ASSERT_TRUE(client.ReadFrame(tag, second, payload));
    EXPECT_EQ(tag, DaemonWire::kTagReply);
    EXPECT_EQ(second, 42u);
    EXPECT_EQ(payload, std::string("\x2a\0\0\0", 4));
}

TEST_F(DaemonServerTest, BadInputClosesThatConnectionOnly)
{
    StartServing();
    struct Case {
        const char* what;
        bool handshake;
        std::string bytes;
    };
    std::string oversize = RawDaemonClient::RequestBytes(21, 1, "").substr(0, 8) + std::string("\x01\x00\x00\x10", 4);
    std::string longPath = std::string("CDAT") + std::string("\x40\x01\0\0\x8f\xa2\0\0\0\0\0\0", 12) +
                           std::string("\x01\x10\0\0", 4);
    const Case cases[] = {
        {"wrong handshake tag", false, std::string("XDAT") + std::string(16, '\0')},
        {"handshake path too long", false, longPath},
        {"payload over the limit", true, oversize},
        {"orderly disconnect", true, std::string("\x01\0\0\0", 4)},
    };
    for (const Case& c : cases) {
        RawDaemonClient client;
        if (c.handshake)
            Connect(client);
        else
            ASSERT_TRUE(client.Connect(server_.Port()));
        ASSERT_TRUE(client.Send(c.bytes)) << c.what;
        EXPECT_TRUE(client.WaitClosed()) << c.what;
    }

    // The daemon itself goes on serving.
    RawDaemonClient client;
    Connect(client);
    ASSERT_TRUE(client.SendRequest(12345, 5, ""));
    uint32_t tag = 0;
    uint32_t id = 0;
    std::string payload;
    ASSERT_TRUE(client.ReadFrame(tag, id, payload));
    EXPECT_EQ(id, 5u);
}

TEST_F(DaemonServerTest, Request270RepliesThenEndsTheDaemon)
{
    StartServing();
    RawDaemonClient bystander;
    Connect(bystander);
    RawDaemonClient client;
    Connect(client);
    ASSERT_TRUE(client.SendRequest(DaemonWire::kRequestCloseDaemon, 77, ""));
    uint32_t tag = 0;
    uint32_t id = 0;
    std::string payload;
    ASSERT_TRUE(client.ReadFrame(tag, id, payload));
    EXPECT_EQ(tag, DaemonWire::kTagReply);
    EXPECT_EQ(id, 77u);
    EXPECT_TRUE(payload.empty());

    server_.Wait();  // returns once the stop is requested
    // A client that comes while it closes is not taken on: it is to find
    // (or start) the daemon after it.
    RawDaemonClient newcomer;
    ASSERT_TRUE(newcomer.Connect(server_.Port()));
    EXPECT_FALSE(newcomer.Handshake(root_));
    server_.Shutdown();
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_TRUE(bystander.WaitClosed());
    // It withdrew and removed the discovery objects it held.
    DaemonSharedBlock block{};
    EXPECT_FALSE(daemontest::ReadBlock(root_, block));
    EXPECT_EQ(daemontest::DiscoveryFiles(root_), std::vector<std::string>());
    RawDaemonClient late;
    EXPECT_FALSE(late.Connect(server_.Port()));
}

TEST_F(DaemonServerTest, TheTraceHasOneLinePerFrame)
{
    StartServing();
    {
        RawDaemonClient client;
        Connect(client);
        ASSERT_TRUE(client.SendRequest(kEcho, 5, "abc"));
        uint32_t tag = 0;
        uint32_t id = 0;
        std::string payload;
        ASSERT_TRUE(client.ReadFrame(tag, id, payload));
        ASSERT_TRUE(client.Send(std::string("\x01\0\0\0", 4)));
        EXPECT_TRUE(client.WaitClosed());
    }
    std::vector<std::string> expected = {
        "in CDAT 320 41615 " + std::to_string(root_.size()),
        "out DDAT " + std::to_string(::getpid()) + " 0 0",
        "in request 9001 5 3",
        "out reply 9001 5 3",
        "in request 1 0 0",
    };
    EXPECT_EQ(Lines(temp_ / "trace.txt"), expected);
}

}  // namespace
