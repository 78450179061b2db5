// The online endpoint against the Python stand-in of the service on
// 127.0.0.1:5250, with the stand-in daemon served in-process for the
// profile, the ticket and the login fetch. The tool clock is stepped by the
// tests; no test waits out a timeout. Only one test at a time may hold the
// port: the fixture takes a lock file first.
#include "online/OnlineAccessClientEndpoint.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kaddaemon/ClientTestSupport.h"
#include "kaddaemon/DaemonState.h"
#include "kaddaemon/OnlineRequests.h"
#include "config/tree/TDBContainerTag.h"
#include "config/tree/TagTreeOps.h"
#include "core/process/ProcessState.h"
#include "kad/requests/KADRequests.h"
#include "nyx/base/Log.h"
#include "online/OnlineStandInServer.h"
#include "online/UpdatePageFetch.h"
#include "scriptapi-harness/EndpointMode.h"
#include "scriptapi/UpdateTick.h"

namespace {

using onlinetest::OnlineStandInServer;
using onlinetest::ToHex;
// The endpoint, with what it has acknowledged in view: a repeated datagram
// shows only there.
class Endpoint : public OnlineAccessClientEndpoint {
public:
    uint8_t LastAcknowledged() const { return lastAcknowledged_; }
};

std::string U32(uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
std::string Str(const std::string& s) { return s.empty() ? U32(0) : U32(uint32_t(s.size() + 1)) + s + '\0'; }
std::string F32(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return U32(bits);
}

class RecordingClient : public OnlineAccessClientBase {
public:
    explicit RecordingClient(const KUID& kuid) { asset = kuid; }
    void QueueMessage(std::unique_ptr<OnlineMessage> message) override { messages.push_back(std::move(message)); }
    std::vector<std::unique_ptr<OnlineMessage>> messages;
};

class RecordingGroup : public Endpoint::OnlineGroup {
public:
    bool IsIdle() override { return id.Empty() && !closed; }
    void SetStatus2(const Nyx::PString& groupId, TStream& packet) override
    {
        id = groupId;
        calls.push_back("status2 " + groupId.Str() + Users(packet));
    }
    void UpdateUsers(TStream& packet) override { calls.push_back("users" + Users(packet)); }
    void SetStatus3() override
    {
        closed = true;
        calls.push_back("status3");
    }
    void CloseIfClient(OnlineAccessClientBase*) override { calls.push_back("close-if-client"); }
    bool MatchesId(const Nyx::PString& groupId) override { return !closed && groupId == id; }
    void QueueMessage(std::unique_ptr<OnlineGroupMessage> record) override
    {
        calls.push_back("message " + std::string(record->userName.View()));
    }

    static std::string Users(TStream& packet)
    {
        uint16_t count = 0;
        packet.ReadUInt16(count, 0);
        std::string out;
        for (uint16_t i = 0; i < count; ++i) {
            Nyx::String name;
            uint8_t status = 0;
            packet.ReadString(name);
            packet.ReadUInt8(status, 0);
            out += " " + std::string(name.View()) + ":" + std::to_string(status);
        }
        return out;
    }

    Nyx::PString id;
    bool closed = false;
    std::vector<std::string> calls;
};

class OnlineEndpointTest : public clienttest::StandInClient {
protected:
    OnlineEndpointTest() { kaddaemon::RegisterOnlineRequests(server_.Requests(), root_); }

    void SetUp() override { Start("online-profile \"ann\"\r\nonline-ticket \"t-1\"\r\n"); }

    void Start(const std::string& state)
    {
        std::ofstream(root_ + "/" + kaddaemon::DaemonState::kFileName, std::ios::binary) << state;
        Serve();
        ASSERT_TRUE(StartClient());
        online_ = std::make_unique<OnlineStandInServer>(temp_ / "record.jsonl");
        ASSERT_TRUE(online_->Ready());
        ASSERT_TRUE(Nyx::Log::Init("-LogFile=" + (temp_ / "log.txt")));
        Step(0.5);
    }
    void TearDown() override
    {
        endpoint_.reset();
        online_.reset();
        Nyx::Log::Init("");
    }

    // One round of the tool: the clock, then the endpoint.
    void Step(double seconds = 0.0)
    {
        AdvanceToolClock(seconds);
        UpdateTick();
        endpoint_->Update();
    }
    template <class Pred>
    bool Pump(Pred pred)
    {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!pred()) {
            if (std::chrono::steady_clock::now() > until)
                return false;
            Step();
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
        return true;
    }
    bool ServerGot(size_t count)
    {
        return Pump([&]() { return online_->Received().size() >= count; });
    }
    void LogIn()
    {
        const size_t before = online_->Received().size();
        ASSERT_TRUE(endpoint_->Connect(false));
        ASSERT_TRUE(Pump([&]() { return endpoint_->GetStatus() == Endpoint::kOnline; }));
        // The result's acknowledgement goes out within a second.
        Step(1.5);
        ASSERT_TRUE(ServerGot(before + 3));
    }
    VersionedOnlineMessage Message(const std::string& user = std::string())
    {
        VersionedOnlineMessage message;
        message.format = 1;
        message.userName = user;
        return message;
    }
    std::string Log() const
    {
        std::ifstream in(temp_ / "log.txt");
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    size_t OpenDescriptors() const
    {
        return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                                 std::filesystem::directory_iterator()));
    }

    onlinetest::ServicePortLock port_;
    std::unique_ptr<OnlineStandInServer> online_;
    std::unique_ptr<Endpoint> endpoint_ = std::make_unique<Endpoint>();
};

TEST_F(OnlineEndpointTest, LogsInByteForByte)
{
    EXPECT_EQ(endpoint_->GetStatus(), Endpoint::kDisconnected);
    LogIn();
    const std::string appId(GetApplicationId().View());
    const std::vector<std::string> in = online_->Received();
    EXPECT_EQ(ToHex(in[0]), ToHex(std::string("\1\0\0", 3) + Str("ann") + Str(appId) + F32(0) + U32(0)
                                  + std::string("\0", 1)));
    EXPECT_EQ(ToHex(in[1]), ToHex(std::string("\2\1\2", 3) + Str("t-1")));
    EXPECT_EQ(ToHex(in[2]), ToHex(std::string("\0\2", 2)));
    const std::vector<std::string> out = online_->Sent();
    EXPECT_EQ(ToHex(out[0]), ToHex(std::string("\1\1\1", 3) + Str("") + Str("standin-user")));
    EXPECT_EQ(ToHex(out[1]), ToHex(std::string("\2\2\3", 3) + Str("") + U32(32000) + F32(120.0f)));
    EXPECT_EQ(endpoint_->MaxMessageSize(), 32000.0f);

    // A second connect while online does nothing unless forced.
    EXPECT_FALSE(endpoint_->Connect(false));
    EXPECT_EQ(endpoint_->GetStatus(), Endpoint::kOnline);
}

TEST_F(OnlineEndpointTest, StatusChanges)
{
    // Refused in the challenge, then in the result, which also forgets the
    // daemon's ticket.
    online_->Command("set challenge-error no such user");
    ASSERT_TRUE(endpoint_->Connect(false));
    EXPECT_EQ(endpoint_->GetStatus(), Endpoint::kConnecting);
    ASSERT_TRUE(Pump([&]() { return endpoint_->GetStatus() == Endpoint::kLoginRefused; }));
    EXPECT_EQ(KADRequests::Request242(), "t-1");

    online_->Command("set challenge-error");
    online_->Command("set result-error expired");
    ASSERT_TRUE(endpoint_->Connect(false));
    ASSERT_TRUE(Pump([&]() { return endpoint_->GetStatus() == Endpoint::kLoginRefused; }));
    EXPECT_EQ(KADRequests::Request242(), "");

    // Disconnected, the endpoint tells the server.
    endpoint_->Disconnect();
    EXPECT_EQ(endpoint_->GetStatus(), Endpoint::kDisconnected);
    ASSERT_TRUE(Pump([&]() {
        const auto in = online_->Received();
        return !in.empty() && in.back().size() == 3 && in.back()[0] == 0 && in.back()[2] == 0;
    }));
}

TEST_F(OnlineEndpointTest, AnEmptyProfileAndTheServersCloseAndSilence)
{
    online_->Command("set link-timeout 30");
    LogIn();
    EXPECT_EQ(endpoint_->LinkTimeout(), 30.0f);

    // The server closes: the link is lost, and the endpoint says so too.
    online_->Command("raw 000000");
    ASSERT_TRUE(Pump([&]() { return endpoint_->GetStatus() == Endpoint::kLinkLost; }));
    EXPECT_FALSE(endpoint_->IsAttached());
    const std::string closing = online_->Received().back();
    EXPECT_EQ(closing.size(), 3u);
    EXPECT_EQ(closing[0], 0);
    EXPECT_EQ(closing[2], 0);

    // Keep-alives after the link timeout; 600 s of silence end the link.
    LogIn();
    online_->Command("silent 1");
    const size_t before = online_->Received().size();
    Step(31.0);
    ASSERT_TRUE(ServerGot(before + 1));
    EXPECT_EQ(online_->Received().back().size(), 2u);
    EXPECT_EQ(endpoint_->GetStatus(), Endpoint::kOnline);
    Step(601.0);
    EXPECT_EQ(endpoint_->GetStatus(), Endpoint::kOnline);  // that step kept the link alive
    Step();
    EXPECT_EQ(endpoint_->GetStatus(), Endpoint::kLinkLost);

    std::ofstream(root_ + "/" + kaddaemon::DaemonState::kFileName, std::ios::binary) << "online-profile \"\"\r\n";
    EXPECT_FALSE(endpoint_->Connect(false));
    EXPECT_EQ(endpoint_->GetStatus(), Endpoint::kNoProfile);
    EXPECT_NE(Log().find("OnlineAccessClientEndpoint::Connect> empty profile name"), std::string::npos);
}

TEST_F(OnlineEndpointTest, AResultWithoutATimeoutKeepsTheOneInForce)
{
    online_->Command("set result-short 1");
    LogIn();
    EXPECT_EQ(endpoint_->LinkTimeout(), 120.0f);
    const size_t before = online_->Received().size();
    for (int i = 0; i < 5; ++i)
        Step(0.5);
    EXPECT_EQ(online_->Received().size(), before);
}

TEST_F(OnlineEndpointTest, SequencesWrapPast255AndAnAcknowledgementReleasesAcrossTheWrap)
{
    LogIn();
    // Login and ticket took 1 and 2: 247 more reach 249.
    for (int i = 0; i < 247; ++i) {
        ASSERT_EQ(endpoint_->SendVersionedMessage(Message()), Endpoint::kQueued);
        if (i % 40 == 39) {
            ASSERT_TRUE(Pump([&]() { return endpoint_->InFlightCount() == 0 && endpoint_->QueuedCount() == 0; }));
        }
    }
    ASSERT_TRUE(Pump([&]() { return endpoint_->InFlightCount() == 0 && endpoint_->QueuedCount() == 0; }));
    Step(60.0);  // the minute's traffic drains

    online_->Command("noack 1");
    const size_t before = online_->Received().size();
    for (int i = 0; i < 9; ++i)
        ASSERT_EQ(endpoint_->SendVersionedMessage(Message()), Endpoint::kQueued);
    ASSERT_TRUE(ServerGot(before + 9));
    std::vector<int> sequences;
    for (const std::string& d : online_->Received())
        if (d[0] != 0)
            sequences.push_back(static_cast<unsigned char>(d[0]));
    EXPECT_EQ(std::vector<int>(sequences.end() - 9, sequences.end()),
              (std::vector<int>{250, 251, 252, 253, 254, 255, 1, 2, 3}));
    EXPECT_EQ(endpoint_->InFlightCount(), 9u);

    online_->Command("raw 0003");
    ASSERT_TRUE(Pump([&]() { return endpoint_->InFlightCount() == 0; }));
}

TEST_F(OnlineEndpointTest, DuplicatesAndReorderedPackets)
{
    RecordingClient client(KUID(5, 6, 1));
    endpoint_->AddClient(&client);
    LogIn();

    online_->Command("message 5 6 1 first");
    ASSERT_TRUE(Pump([&]() { return client.messages.size() == 1; }));
    const std::string first = online_->Sent().back();
    Step(1.5);  // acknowledged
    const size_t before = online_->Received().size();
    ASSERT_TRUE(ServerGot(before));

    // The same datagram again: not delivered, acknowledged again within 1 s.
    online_->Command("noack 1");
    ASSERT_EQ(endpoint_->LastAcknowledged(), static_cast<uint8_t>(first[0]));
    online_->Command("raw " + ToHex(first));
    ASSERT_TRUE(Pump([&]() { return endpoint_->LastAcknowledged() == 0; }));
    const size_t afterDuplicate = online_->Received().size();
    Step(1.01);
    ASSERT_TRUE(ServerGot(afterDuplicate + 1));
    EXPECT_EQ(ToHex(online_->Received().back()), ToHex(std::string{0, first[0]}));
    EXPECT_EQ(client.messages.size(), 1u);

    // 2 and 3 before 1 are delivered as 1, 2, 3.
    online_->Command("hold");
    for (const char* name : {"m1", "m2", "m3"})
        online_->Command(std::string("message 5 6 1 ") + name);
    online_->Command("release reverse");
    ASSERT_TRUE(Pump([&]() { return client.messages.size() == 4; }));
    EXPECT_EQ(client.messages[1]->userName, "m1");
    EXPECT_EQ(client.messages[2]->userName, "m2");
    EXPECT_EQ(client.messages[3]->userName, "m3");
    EXPECT_EQ(endpoint_->OutOfOrderCount(), 0u);
    endpoint_->RemoveClient(&client);
}

TEST_F(OnlineEndpointTest, TheOutOfOrderBufferAndOversizeBodiesAreBounded)
{
    LogIn();
    // The server's next sequence is 3; everything from 4 on waits for it.
    uint8_t seq = 4;
    for (int i = 0; i < 101; ++i) {
        char head[8];
        std::snprintf(head, sizeof head, "%02x00ff", seq);
        online_->Command(std::string("raw ") + head);
        seq = NextSequence(seq);
    }
    online_->Command("raw 0400ff");  // a sequence held already
    ASSERT_TRUE(Pump([&]() { return endpoint_->OutOfOrderCount() >= 100; }));
    for (int i = 0; i < 50; ++i)
        Step();
    EXPECT_EQ(endpoint_->OutOfOrderCount(), 100u);

    // A body over 32768 bytes is dropped; unknown kinds and short bodies
    // are read past.
    RecordingClient client(KUID(5, 6, 1));
    endpoint_->AddClient(&client);
    online_->Command("raw 0300" + std::string(2 * 32769, 'a'));
    online_->Command("raw 03000a05");
    // 3 then lets 4 to 103 through: 104 comes next.
    const std::string message = std::string("\x0a", 1) + U32(6) + U32((1u << 25) | 5u) + Str("after")
                                + "ACS$" + U32(1) + U32(0) + U32(0);
    online_->Command("raw 6800" + ToHex(message));
    ASSERT_TRUE(Pump([&]() { return !client.messages.empty(); }));
    EXPECT_EQ(client.messages[0]->userName, "after");  // the short kind-10 body went to storage, not here
    EXPECT_EQ(endpoint_->StoredMessages().size(), 1u);
    endpoint_->RemoveClient(&client);
}

TEST_F(OnlineEndpointTest, LostAndDoubledDatagramsAreSurvived)
{
    RecordingClient client(KUID(5, 6, 1));
    endpoint_->AddClient(&client);
    LogIn();
    auto count = [&](const char* what) {
        const std::string counts = online_->Command("counts");
        return std::stoi(counts.substr(counts.find(what) + std::strlen(what)));
    };
    online_->Command("drop-in " + std::to_string(count("received=") + 1));
    online_->Command("dup-out " + std::to_string(count("sent=") + 1));
    ASSERT_EQ(endpoint_->SendVersionedMessage(Message("once")), Endpoint::kQueued);
    Step();
    online_->Command("message 5 6 1 twice");
    ASSERT_TRUE(Pump([&]() { return !client.messages.empty(); }));
    for (int i = 0; i < 50; ++i)
        Step();
    EXPECT_EQ(client.messages.size(), 1u);
    EXPECT_EQ(endpoint_->InFlightCount(), 1u);  // the server never saw it
    Step(10.5);
    ASSERT_TRUE(Pump([&]() { return endpoint_->InFlightCount() == 0; }));
    EXPECT_EQ(endpoint_->GetStatus(), Endpoint::kOnline);
    endpoint_->RemoveClient(&client);
}

TEST_F(OnlineEndpointTest, FiveSendsWithoutAnswerLoseTheLink)
{
    LogIn();
    online_->Command("silent 1");
    const size_t before = online_->Received().size();
    ASSERT_EQ(endpoint_->SendVersionedMessage(Message("lost")), Endpoint::kQueued);
    ASSERT_TRUE(ServerGot(before + 1));
    for (size_t sends = 2; sends <= 5; ++sends) {
        Step(10.5);
        ASSERT_TRUE(ServerGot(before + sends));
        EXPECT_EQ(endpoint_->GetStatus(), Endpoint::kOnline);
    }
    Step(10.5);
    EXPECT_EQ(endpoint_->GetStatus(), Endpoint::kLinkLost);
    const auto in = online_->Received();
    EXPECT_EQ(std::count(in.begin(), in.end(), in[before]), 5);
}

TEST_F(OnlineEndpointTest, LimitsAndResults)
{
    EXPECT_EQ(endpoint_->SendVersionedMessage(Message()), Endpoint::kNotOnline);
    LogIn();
    // A body the binary form cannot carry whole is refused as over a limit,
    // not sent without the part that did not fit; it counts for nothing.
    VersionedOnlineMessage longName = Message();
    TDBContainerTag::SetInt(longName.body, Nyx::PString(std::string(255, 'n')), 1);
    TDBContainerTag::SetInt(longName.body, Nyx::PString("kept"), 2);
    OnlineGroupMessage deep;
    deep.groupId = Nyx::PString("g");
    deep.body = ChunkRef(new TDBContainerTag);
    ChunkRef at = deep.body;
    for (int level = 0; level <= kMaxTreeDepth; ++level) {
        ChunkRef below(new TDBContainerTag);
        TDBContainerTag::SetChildContainer(at, Nyx::PString("c"), below);
        at = below;
    }
    EXPECT_EQ(endpoint_->SendVersionedMessage(longName), Endpoint::kOverLimit);
    EXPECT_EQ(endpoint_->SendGroupMessage(deep), Endpoint::kOverLimit);
    EXPECT_EQ(endpoint_->MinuteUsage(), 0.0f);
    EXPECT_EQ(endpoint_->QueuedCount() + endpoint_->InFlightCount(), 0u);

    // Bodies of 32000 bytes are the most the server allows here.
    const std::string fits(32000 - 35, 'x');
    EXPECT_EQ(endpoint_->SendVersionedMessage(Message(fits + "x")), Endpoint::kOverLimit);
    EXPECT_EQ(endpoint_->SendVersionedMessage(Message(fits)), Endpoint::kQueued);
    EXPECT_EQ(endpoint_->SendVersionedMessage(Message(fits)), Endpoint::kQueued);
    EXPECT_EQ(endpoint_->SendVersionedMessage(Message(fits)), Endpoint::kQueued);  // 64000 so far: still allowed
    EXPECT_EQ(endpoint_->SendVersionedMessage(Message(fits)), Endpoint::kOverLimit);
    Step(30.0);
    EXPECT_EQ(endpoint_->SendVersionedMessage(Message(fits)), Endpoint::kQueued);

    // A full send queue refuses as a limit does.
    ASSERT_TRUE(Pump([&]() { return endpoint_->QueuedCount() == 0 && endpoint_->InFlightCount() == 0; }));
    Step(120.0);
    online_->Command("silent 1");
    for (size_t i = 0; i <= Endpoint::kMaxQueued; ++i)
        ASSERT_EQ(endpoint_->SendVersionedMessage(Message()), Endpoint::kQueued) << i;
    const float usage = endpoint_->MinuteUsage();
    EXPECT_EQ(endpoint_->SendVersionedMessage(Message()), Endpoint::kOverLimit);
    EXPECT_EQ(endpoint_->SendGroupMessage(OnlineGroupMessage()), Endpoint::kOverLimit);
    EXPECT_EQ(endpoint_->MinuteUsage(), usage);
}

TEST_F(OnlineEndpointTest, AReconnectStartsClean)
{
    LogIn();
    online_->Command("silent 1");
    for (int i = 0; i < 3; ++i)
        endpoint_->SendVersionedMessage(Message("old"));
    const size_t descriptors = OpenDescriptors();
    online_->Command("silent 0");
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(endpoint_->Connect(true));
        // Only the new login waits to go out.
        EXPECT_EQ(endpoint_->QueuedCount(), 1u);
    }
    EXPECT_EQ(OpenDescriptors(), descriptors);
    ASSERT_TRUE(Pump([&]() { return endpoint_->GetStatus() == Endpoint::kOnline; }));
    // The new link's first packet is the login.
    std::string firstOfLink;
    for (const std::string& d : online_->Received())
        if (d.size() > 2 && d[0] == 1)
            firstOfLink = d;
    EXPECT_EQ(firstOfLink.substr(0, 3), std::string("\1\0\0", 3));
}

TEST_F(OnlineEndpointTest, StoredMessagesAreReplayedToTheirAsset)
{
    RecordingClient other(KUID(5, 6, 9));
    endpoint_->AddClient(&other);
    LogIn();
    online_->Command("message 5 6 1 kept");
    online_->Command("vmessage 5 6 1 versioned 1 1");
    ASSERT_TRUE(Pump([&]() { return endpoint_->StoredMessages().size() == 2; }));
    EXPECT_TRUE(other.messages.empty());  // delivery matches the version too
    EXPECT_NE(Log().find("OnlineAccessClientEndpoint::HandlePacket> Storing iKestro message for <kuid2:5:6:1>"),
              std::string::npos)
        << Log();

    // Replay matches user and content id only.
    endpoint_->AddClient(&other);
    ASSERT_EQ(other.messages.size(), 2u);
    EXPECT_TRUE(endpoint_->StoredMessages().empty());
    EXPECT_EQ(other.messages[0]->userName, "kept");
    auto* versioned = dynamic_cast<VersionedOnlineMessage*>(other.messages[1].get());
    ASSERT_NE(versioned, nullptr);
    EXPECT_TRUE(versioned->senderModified);
    EXPECT_NE(Log().find("OnlineAccessClientEndpoint::AddClient> replaying stored message for <kuid2:5:6:1>"),
              std::string::npos);
    endpoint_->RemoveClient(&other);
}

TEST_F(OnlineEndpointTest, GroupPacketsReachTheirGroup)
{
    RecordingGroup group;
    endpoint_->AddGroup(&group);
    LogIn();
    endpoint_->SendCreateGroup();
    ASSERT_TRUE(Pump([&]() { return !group.calls.empty(); }));
    EXPECT_EQ(group.calls[0], "status2 group-1");

    endpoint_->SendSetGroupUser(group.id, 0, "bob");
    OnlineGroupMessage record;
    record.groupId = group.id;
    record.userName = "carol";
    EXPECT_EQ(endpoint_->SendGroupMessage(record), Endpoint::kQueued);
    endpoint_->SendOpenGroup(group.id);
    endpoint_->SendCloseGroup(group.id);
    ASSERT_TRUE(Pump([&]() { return group.calls.size() == 5; }));
    EXPECT_EQ(group.calls[1], "users bob:1");
    EXPECT_EQ(group.calls[2], "message carol");
    EXPECT_EQ(group.calls[3], "status2 group-1 bob:1");
    EXPECT_EQ(group.calls[4], "status3");

    // Answers for groups nobody has are closed again.
    online_->Command("packet 17" + ToHex(Str("nope") + std::string("\0\0", 2)));
    ASSERT_TRUE(Pump([&]() {
        const std::string last = online_->Received().back();
        return last.size() > 2 && last[2] == 22 && last.substr(3) == Str("nope");
    }));

    RecordingClient client(KUID(1, 2, 3));
    endpoint_->RemoveClient(&client);
    EXPECT_EQ(group.calls.back(), "close-if-client");
    endpoint_->RemoveGroup(&group);
}

class OnlineLoginFetchTest : public OnlineEndpointTest {
protected:
    void SetUp() override {}

    size_t Requests(uint32_t number) const
    {
        return clienttest::CountLines(TracePath(), "in request " + std::to_string(number) + " ");
    }
};

TEST_F(OnlineLoginFetchTest, AFetchedTicketLogsIn)
{
    Start("online-profile \"ann\"\r\nonline-fetch-polls 2\r\nonline-fetch-ticket \"t-9\"\r\n");
    EXPECT_FALSE(endpoint_->Connect(false));
    EXPECT_TRUE(endpoint_->FetchRunning());
    EXPECT_EQ(endpoint_->GetStatus(), Endpoint::kConnecting);
    Step(0.5);
    EXPECT_TRUE(endpoint_->FetchRunning());
    Step(0.5);
    EXPECT_FALSE(endpoint_->FetchRunning());
    EXPECT_EQ(Requests(231), 1u);
    ASSERT_TRUE(Pump([&]() { return endpoint_->GetStatus() == Endpoint::kOnline; }));
    EXPECT_EQ(online_->Received()[1].substr(3), Str("t-9"));
}

TEST_F(OnlineLoginFetchTest, AFetchWithoutTicketHoldsOffAndAFailedOneDisconnects)
{
    Start("online-profile \"ann\"\r\n");
    EXPECT_FALSE(endpoint_->Connect(false));
    Step(0.5);
    // Still no ticket: a second fetch, and the hold-off.
    EXPECT_TRUE(endpoint_->FetchRunning());
    EXPECT_EQ(endpoint_->HoldOff(), Endpoint::kHoldOff);
    EXPECT_EQ(endpoint_->GetStatus(), Endpoint::kConnecting);
    Step(0.5);
    EXPECT_FALSE(endpoint_->FetchRunning());
    EXPECT_EQ(endpoint_->GetStatus(), Endpoint::kDisconnected);
    EXPECT_EQ(Requests(230), 2u);
    EXPECT_EQ(Requests(231), 2u);

    std::ofstream(root_ + "/" + kaddaemon::DaemonState::kFileName, std::ios::binary)
        << "online-profile \"ann\"\r\nonline-fetch-result 3\r\n";
    Step(20.0);
    EXPECT_FALSE(endpoint_->Connect(false));
    Step(0.5);
    EXPECT_EQ(endpoint_->GetStatus(), Endpoint::kDisconnected);
    EXPECT_EQ(Requests(231), 3u);
}

TEST_F(OnlineLoginFetchTest, TheUpdatePageFetchGivesUpAfterAMinute)
{
    Start("online-fetch-polls 1000000\r\n");
    struct TooLate {};
    double now = 0.0;
    int notified = 0;
    UpdatePageFetch fetch([&](float) { ++notified; },
                          {[&]() { return now; },
                           [&](uint32_t ms) {
                               now += ms / 1000.0;
                               if (now > 120.0)
                                   throw TooLate();
                           }});
    bool done = true;
    EXPECT_NO_THROW(done = fetch.CheckUpdatePage());
    EXPECT_FALSE(done);
    EXPECT_EQ(notified, 0);
    EXPECT_EQ(Requests(231), 1u);

    std::ofstream(root_ + "/" + kaddaemon::DaemonState::kFileName, std::ios::binary) << "online-fetch-polls 3\r\n";
    now = 0.0;
    EXPECT_TRUE(fetch.CheckUpdatePage());
    EXPECT_EQ(notified, 1);
}

TEST_F(OnlineEndpointTest, TheHarnessMode)
{
    Nyx::File::Subst::Add(Nyx::PString("cache"), Nyx::File::Path(temp_ / "cache/"));
    std::filesystem::create_directories(temp_ / "cache");
    std::istringstream in("url palogin://\nconnect\nsend 40\nupdate 0\nsave-store\nload-store\nbogus\nquit\nconnect\n");
    std::ostringstream out;
    EXPECT_EQ(harness::RunEndpointMode(in, out), 0);
    Nyx::File::Subst::Remove(Nyx::PString("cache"));
    EXPECT_EQ(out.str(),
              "= url palogin||||0|||palogin://\n= connect 1\n= result 1\n= status 6\n= stored 0\n= stored 0\n"
              "= error unknown command bogus\n= bye\n");
    OnlineAccessClientEndpoint::Instance().Disconnect();
}

}  // namespace
