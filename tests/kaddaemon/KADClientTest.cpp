// The daemon client against the stand-in served in this process and
// against scripted fake daemons: the handshake, requests and replies,
// notifications of every kind, and the faults of the link.
#include "kad/client/KADClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "config/results/ResultsLog.h"
#include "config/results/ResultsLogRegistry.h"
#include "core/files/ContentRoot.h"
#include "kad/client/KADClientTransaction.h"
#include "kad/client/SpecRegistryHook.h"
#include "kaddaemon/ClientTestSupport.h"

namespace {

using namespace clienttest;
using Clock = std::chrono::steady_clock;

// The results stream form of the given texts, as the daemon sends it.
std::string ResultsBytes(const std::vector<std::string>& texts)
{
    ResultsLog log;
    for (const std::string& t : texts)
        ResultsLog::AddResult(log, ResultsLog::kError, Nyx::String(t));
    Bytes bytes;
    log.WriteResults(bytes.Stream(), 0);
    return bytes.Text();
}

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class KADClientTest : public StandInClient {};

TEST_F(KADClientTest, RequestsCarryTheirPayloadAndGetTheirWholeReply)
{
    Serve();
    ASSERT_TRUE(StartClient());
    ASSERT_TRUE(KADClient::IsConnected());

    // Around the size that still travels with its header in one piece.
    const size_t sizes[] = {0, 1, 32756, 32757, 100000, 3 * 1024 * 1024 + 17};
    for (size_t size : sizes) {
        SCOPED_TRACE(size);
        const std::string payload = Pattern(static_cast<uint32_t>(size), size);
        std::string reply;
        ASSERT_TRUE(Call(testrequest::kEcho, payload, &reply));
        EXPECT_TRUE(reply == payload);
        EXPECT_EQ(CountLines(TracePath(), "in request 60001 " + std::to_string(LastRequestId(TracePath(), 60001)) +
                                              " " + std::to_string(size)),
                  1u);
    }

    // The payload is sent from its position on; the reply is appended.
    Bytes request("skip-me:payload");
    request.Stream().SetPosition(8);
    Bytes reply("old:");
    reply.Stream().SetPosition(4);
    ASSERT_TRUE(KADClient::CallDaemon(testrequest::kEcho, request.Stream(), reply.Stream()));
    EXPECT_EQ(reply.Text(), "old:payload");

    // A number the daemon does not know is answered with nothing.
    std::string none = "x";
    ASSERT_TRUE(Call(12345, "abc", &none));
    EXPECT_EQ(none, "");

    // Ids go up from request to request; all of it over one connection.
    const uint32_t first = LastRequestId(TracePath(), 12345);
    ASSERT_TRUE(Call(12345, ""));
    EXPECT_GT(LastRequestId(TracePath(), 12345), first);
    EXPECT_EQ(Handshakes(), 1u);
    EXPECT_EQ(KADClientTransaction::PendingCount(), 0u);
}

TEST_F(KADClientTest, ResultsReachTheRequestsLogBeforeItsReply)
{
    Serve();
    ASSERT_TRUE(StartClient());

    ResultsLog log;
    std::string reply;
    ASSERT_TRUE(Call(testrequest::kResults, U32(3), &reply, nullptr, &log));
    EXPECT_EQ(ReadU32(reply), 3u);
    const uint32_t id = LastRequestId(TracePath(), testrequest::kResults);
    EXPECT_EQ(Texts(log), (std::vector<std::string>{"result 0 of transaction " + std::to_string(id),
                                                    "result 1 of transaction " + std::to_string(id),
                                                    "result 2 of transaction " + std::to_string(id)}));
    EXPECT_EQ(log.GetWarningCount(), 1u);
    // The log left the registry with its request.
    EXPECT_EQ(ResultsLogRegistry::Get(id), nullptr);

    // Without a log the results are read and dropped; the link stays in step.
    ASSERT_TRUE(Call(testrequest::kResults, U32(2), &reply));
    EXPECT_EQ(ReadU32(reply), 2u);
    // So are results for an id nobody waits for.
    ASSERT_TRUE(Call(testrequest::kNote, U32(3) + U32(0x7FFFFFF0u) + ResultsBytes({"stray"})));
    ASSERT_TRUE(Call(testrequest::kEcho, "after", &reply));
    EXPECT_EQ(reply, "after");

    // A kept log goes on receiving results for its id after the call.
    ResultsLog kept;
    ASSERT_TRUE(Call(testrequest::kResults, U32(1), nullptr, nullptr, &kept, true));
    const uint32_t keptId = LastRequestId(TracePath(), testrequest::kResults);
    EXPECT_EQ(ResultsLogRegistry::Get(keptId), &kept);
    ASSERT_TRUE(Call(testrequest::kNote, U32(3) + U32(keptId) + ResultsBytes({"later"})));
    EXPECT_EQ(kept.GetResultCount(), 2u);
    EXPECT_EQ(Texts(kept).back(), "later");
    ResultsLogRegistry::Remove(keptId);
    EXPECT_EQ(Texts(log).size(), 3u);
}

TEST_F(KADClientTest, ResultsOfACountFromTheWireAreBounded)
{
    Serve();
    ASSERT_TRUE(StartClient());
    for (const uint32_t asked : {testrequest::kMostResults, testrequest::kMostResults + 1, 0xFFFFFFFFu}) {
        ResultsLog log;
        std::string reply;
        ASSERT_TRUE(Call(testrequest::kResults, U32(asked), &reply, nullptr, &log)) << asked;
        EXPECT_EQ(ReadU32(reply), testrequest::kMostResults) << asked;
        EXPECT_EQ(log.GetResultCount(), testrequest::kMostResults) << asked;
    }
}

class RecordingCallback : public KADClientCallback {
public:
    explicit RecordingCallback(uint32_t answer) : answer_(answer) {}
    uint32_t Answer(const Nyx::String& question, Nyx::String& answer, const KUID& asset, uint32_t reserved) override
    {
        question_ = std::string(question.View());
        answerWasEmpty_ = answer.View().empty();
        asset_ = asset;
        reserved_ = reserved;
        ++calls_;
        return answer_;
    }

    std::string question_;
    bool answerWasEmpty_ = false;
    KUID asset_;
    uint32_t reserved_ = 99;
    std::atomic<int> calls_{0};

private:
    uint32_t answer_;
};

TEST_F(KADClientTest, QuestionsAreAnsweredThroughRequest150)
{
    Serve();
    ASSERT_TRUE(StartClient());
    const KUID asset(5, 6, 7);

    struct Case {
        const char* what;
        bool withCallback;
        uint32_t expected;
    };
    for (const Case c : {Case{"callback's answer", true, 7}, Case{"no callback", false, 2}}) {
        SCOPED_TRACE(c.what);
        RecordingCallback callback(7);
        std::atomic<bool> done{false};
        std::string reply;
        bool ok = false;
        // Questions are handed on by main-thread jobs, which this thread
        // serves while another one waits for its request.
        std::thread requester([&]() {
            ok = Call(testrequest::kAsk, KUIDBytes(asset) + "Overwrite it?", &reply,
                      c.withCallback ? &callback : nullptr);
            done = true;
        });
        EXPECT_TRUE(ServeMainThreadUntil([&]() { return done.load(); }));
        if (!done)
            KADClient::Disconnect(true);
        requester.join();
        ASSERT_TRUE(ok);
        EXPECT_EQ(ReadU32(reply), c.expected);
        if (c.withCallback) {
            EXPECT_EQ(callback.calls_.load(), 1);
            EXPECT_EQ(callback.question_, "Overwrite it?");
            EXPECT_TRUE(callback.answerWasEmpty_);
            EXPECT_EQ(callback.asset_, asset);
            EXPECT_EQ(callback.reserved_, 0u);
        }
        std::string last;
        ASSERT_TRUE(Call(testrequest::kLastAnswer, "", &last));
        EXPECT_EQ(last, U32(LastRequestId(TracePath(), testrequest::kAsk)) + U32(c.expected));
    }

    // A question about a request that is no longer waiting gets 4.
    ASSERT_TRUE(Call(testrequest::kNote, U32(2) + U32(0x7FFFFFF1u) + U32(3) + std::string("q?\0", 3)));
    std::string last;
    EXPECT_TRUE(ServeMainThreadUntil([&]() {
        return Call(testrequest::kLastAnswer, "", &last) && last == U32(0x7FFFFFF1u) + U32(4);
    }));
}

TEST_F(KADClientTest, AQuestionAboutARequestOfTheMainThreadIsAnsweredWhileItWaits)
{
    Serve();
    ASSERT_TRUE(StartClient());
    SetMainThreadId();
    const KUID asset(5, 6, 7);
    RecordingCallback callback(7);
    // Should the wait never end, the link is cut after a bound, which fails
    // the request instead of hanging the test.
    std::atomic<bool> done{false};
    std::thread watchdog([&]() {
        if (!WaitFor([&]() { return done.load(); }, std::chrono::milliseconds(20000)))
            KADClient::Disconnect(true);
    });
    std::string reply;
    const bool ok = Call(testrequest::kAsk, KUIDBytes(asset) + "Overwrite it?", &reply, &callback);
    done = true;
    watchdog.join();
    ASSERT_TRUE(ok);
    EXPECT_EQ(ReadU32(reply), 7u);
    EXPECT_EQ(callback.calls_.load(), 1);
    EXPECT_EQ(callback.question_, "Overwrite it?");
}

std::atomic<int> g_valueCalls{0};
std::atomic<uint32_t> g_value{0};
std::atomic<bool> g_valueOnMain{false};
void ValueCallback(uint32_t value)
{
    g_value = value;
    g_valueOnMain = IsMainThread();
    ++g_valueCalls;
}

std::string g_hostJob;
void HostCallback(TStream& request, TStream& answer)
{
    char buf[64];
    uint32_t n = request.ReadBytes(buf, sizeof buf);
    g_hostJob.assign(buf, n);
    std::string text = "answer:" + g_hostJob;
    answer.WriteBytes(text.data(), static_cast<uint32_t>(text.size()));
}

TEST_F(KADClientTest, ValueAndCommandHostNotificationsRunAsMainThreadJobs)
{
    g_valueCalls = 0;
    g_hostJob.clear();
    Serve();
    KADClientSettings settings;
    settings.path = root_;
    settings.flags[KADClientSettings::kFlagMayLaunchDaemon] = 0;
    settings.callback = ValueCallback;
    ASSERT_TRUE(KADClient::Start(settings));
    SetMainThreadId();
    auto noJobsLeft = []() { return !JobQueue::Instance().HasPendingJobs(); };

    // The note arrives before the reply, so its job is queued by now; it
    // runs on the main thread, which this one is, either while it still
    // waits for the reply or when it serves its jobs afterwards.
    ASSERT_TRUE(Call(testrequest::kNote, U32(0) + U32(42)));
    ASSERT_TRUE(ServeMainThreadUntil([]() { return g_valueCalls.load() == 1; }));
    EXPECT_EQ(g_value.load(), 42u);
    EXPECT_TRUE(g_valueOnMain.load());
    // A short payload gives 0.
    ASSERT_TRUE(Call(testrequest::kNote, U32(0) + "ab"));
    ASSERT_TRUE(ServeMainThreadUntil([]() { return g_valueCalls.load() == 2; }));
    EXPECT_EQ(g_value.load(), 0u);

    // A job for the command host is answered with request 141.
    KADClient::SetCommandHostCallback(HostCallback);
    ASSERT_TRUE(Call(testrequest::kNote, U32(1) + "job"));
    ASSERT_TRUE(ServeMainThreadUntil([&]() { return CountLines(TracePath(), "in request 141 ") == 1; }));
    EXPECT_EQ(g_hostJob, "job");
    EXPECT_EQ(CountLines(TracePath(), "in request 141 " + std::to_string(LastRequestId(TracePath(), 141)) + " 10"),
              1u);
    // Without a command host, and for kinds above 3, nothing happens.
    KADClient::SetCommandHostCallback(nullptr);
    ASSERT_TRUE(Call(testrequest::kNote, U32(1) + "job"));
    ASSERT_TRUE(Call(testrequest::kNote, U32(9) + "whatever"));
    ASSERT_TRUE(ServeMainThreadUntil(noJobsLeft));
    EXPECT_EQ(CountLines(TracePath(), "in request 141 "), 1u);
    EXPECT_EQ(g_valueCalls.load(), 2);

    // Notes still queued when the client stops are dropped. (Asked from
    // another thread: the main thread would run the job while it waits.)
    bool noted = false;
    std::thread([&]() { noted = Call(testrequest::kNote, U32(0) + U32(5)); }).join();
    ASSERT_TRUE(noted);
    KADClient::Stop();
    ASSERT_TRUE(ServeMainThreadUntil(noJobsLeft));
    EXPECT_EQ(g_valueCalls.load(), 2);
}

TEST_F(KADClientTest, AReplyForAnIdNoLongerPendingIsReadAndDropped)
{
    Serve();
    ASSERT_TRUE(StartClient());
    const std::string payload = Pattern(3, 5000);
    std::string reply;
    ASSERT_TRUE(Call(testrequest::kStrayReply, payload, &reply));
    EXPECT_TRUE(reply == payload);
    ASSERT_TRUE(Call(testrequest::kEcho, "next", &reply));
    EXPECT_EQ(reply, "next");
    // The link never broke.
    EXPECT_EQ(Handshakes(), 1u);
    EXPECT_TRUE(KADClient::IsConnected());
}

TEST_F(KADClientTest, FramesThatBreakTheLinkFailTheRequestAndTheNextOneConnectsAfresh)
{
    Serve();
    ASSERT_TRUE(StartClient());
    struct Case {
        const char* what;
        uint32_t number;
        std::string payload;
    };
    const Case cases[] = {
        {"reply longer than the limit", testrequest::kBadFrame, U32(testrequest::kOversizeReply)},
        {"note longer than the limit", testrequest::kBadFrame, U32(testrequest::kOversizeNote)},
        {"unknown tag", testrequest::kBadFrame, U32(testrequest::kUnknownTag)},
        {"daemon closes the link", testrequest::kCloseLink, ""},
    };
    size_t handshakes = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(Call(c.number, c.payload));
        EXPECT_TRUE(WaitFor([]() { return !KADClient::IsConnected(); }));
        std::string reply;
        ASSERT_TRUE(Call(testrequest::kEcho, "again", &reply));
        EXPECT_EQ(reply, "again");
        EXPECT_EQ(Handshakes(), ++handshakes);
    }
    EXPECT_EQ(KADClientTransaction::PendingCount(), 0u);
}

TEST_F(KADClientTest, WithoutADaemonARequestFailsAfterOneAttempt)
{
    // Before the client starts, a request fails at once.
    EXPECT_FALSE(Call(testrequest::kEcho, "x"));
    EXPECT_EQ(KADClientTransaction::PendingCount(), 0u);

    Serve();
    ASSERT_TRUE(StartClient());
    StopServing();
    ASSERT_TRUE(WaitFor([]() { return !KADClient::IsConnected(); }));
    // Flag 3 clear: no launch, no pause.
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(Call(testrequest::kEcho, "x"));
    EXPECT_FALSE(Call(testrequest::kEcho, "x"));
    EXPECT_LT(MsSince(start), 900);
}

TEST_F(KADClientTest, CloseDaemonReturnsOnceTheDaemonHasDroppedTheLink)
{
    Serve();
    ASSERT_TRUE(StartClient(1));
    KADClient::CloseDaemon();
    EXPECT_FALSE(KADClient::IsConnected());
    EXPECT_EQ(CountLines(TracePath(), "in request 270 "), 1u);
    EXPECT_EQ(KADClient::GetSettings().flags[KADClientSettings::kFlagMayLaunchDaemon], 0);
    // No daemon, and no later request may launch one: one quick failure.
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(Call(testrequest::kEcho, "x"));
    EXPECT_LT(MsSince(start), 900);
}

TEST(KADClientTransactionTest, IdsStartAtOneSkipZeroAndThoseStillInUse)
{
    KADClientTransaction never;
    EXPECT_FALSE(never.Wait());  // not registered: false at once

    KADClientTransaction::SetNextId(1);
    KADClientTransaction first;
    first.Register();
    EXPECT_EQ(first.GetId(), 1u);

    KADClientTransaction::SetNextId(0xFFFFFFFEu);
    KADClientTransaction a, b, c, d;
    for (KADClientTransaction* t : {&a, &b, &c, &d})
        t->Register();
    EXPECT_EQ(a.GetId(), 0xFFFFFFFEu);
    EXPECT_EQ(b.GetId(), 0xFFFFFFFFu);
    EXPECT_EQ(c.GetId(), 2u);  // 0 is never used, 1 still waits
    EXPECT_EQ(d.GetId(), 3u);
    EXPECT_EQ(KADClientTransaction::PendingCount(), 5u);

    // What the receiver does with a reply of that id on the link of that
    // serial.
    auto reply = [](const KADClientTransaction& t, uint64_t serial) {
        KADClientTransaction* taken = KADClientTransaction::TakeForReply(t.GetId(), serial);
        if (taken)
            taken->Complete(true);
        return taken != nullptr;
    };

    // A lost link fails only the requests it carried.
    a.Arm(7);
    b.Arm(8);
    KADClientTransaction::FailAll(7);
    EXPECT_TRUE(a.WaitEnded());
    EXPECT_FALSE(b.WaitEnded());  // still waits for its reply
    EXPECT_FALSE(a.Wait());
    EXPECT_FALSE(reply(b, 7));  // sent on another link
    EXPECT_TRUE(reply(b, 8));
    EXPECT_TRUE(b.Wait());
    EXPECT_FALSE(reply(b, 8));  // already answered
    EXPECT_EQ(KADClientTransaction::PendingCount(), 4u);
    // Sent again on a new link, a failed request waits afresh.
    a.Arm(9);
    EXPECT_TRUE(reply(a, 9));
    EXPECT_TRUE(a.Wait());
}

// ------------------------------------------------------------ fake daemons

class KADClientFakeDaemonTest : public ::testing::Test {
protected:
    KADClientFakeDaemonTest() : root_(daemontest::RealPath(temp_.Path())), cleanup_(root_) { NetStartup(); }
    ~KADClientFakeDaemonTest() override { KADClient::Stop(); }

    TempFolder temp_;
    std::string root_;
    daemontest::DiscoveryCleanup cleanup_;
};

TEST_F(KADClientFakeDaemonTest, TheHandshakeCarriesTheSettingsAndStopSaysGoodbyeAndResets)
{
    // A root whose name has upper-case letters, which it keeps.
    temp_.MakeFolder("Data Root");
    const std::string root = root_ + "/Data Root";
    daemontest::DiscoveryCleanup rootCleanup(root);
    DaemonWire::ClientHello hello;
    std::string path;
    std::string goodbye;
    std::atomic<bool> closed{false};
    std::atomic<bool> done{false};
    FakeDaemon daemon(root, [&](int socket, int) {
        if (FakeDaemon::ReadHello(socket, hello, path) && FakeDaemon::AnswerHello(socket)
            && FakeDaemon::Read(socket, goodbye, 4))
            closed = FakeDaemon::WaitClosed(socket);
        done = true;
    });

    KADClientSettings settings;
    settings.path = root + "/";
    settings.flags[KADClientSettings::kFlagClient] = 0;
    ASSERT_TRUE(KADClient::Start(settings));
    EXPECT_TRUE(KADClient::IsConnected());
    // The daemon is told the folder as the file system has it, without the
    // separator; the content root keeps the caller's spelling.
    EXPECT_EQ(KADClient::GetSettings().path.Str(), root);
    EXPECT_EQ(GetContentRootPath().Str(), root);
    EXPECT_TRUE(KADClient::Start(settings));  // already started
    ASSERT_NE(KADClient::GetSpecRegistry(), nullptr);
    EXPECT_FALSE(KADClient::GetSpecRegistry()->FindConfig(KUID(1, 2, 3)));

    KADClient::Stop();
    EXPECT_FALSE(KADClient::IsStarted());
    EXPECT_FALSE(KADClient::IsConnected());
    EXPECT_EQ(KADClient::GetSpecRegistry(), nullptr);
    const KADClientSettings reset = KADClient::GetSettings();
    EXPECT_TRUE(reset.path.Empty());
    EXPECT_EQ(std::vector<uint8_t>(reset.flags, reset.flags + 6), (std::vector<uint8_t>{1, 1, 1, 1, 0, 1}));
    KADClient::Stop();  // nothing more
    ASSERT_TRUE(WaitFor([&]() { return done.load(); }));
    EXPECT_EQ(hello.version, 320u);
    EXPECT_EQ(hello.build, 41615u);
    EXPECT_EQ(hello.clientFlag, 0u);
    EXPECT_EQ(path, root);
    EXPECT_EQ(goodbye, U32(1));
    EXPECT_TRUE(closed);
    EXPECT_EQ(daemon.Connections(), 1);
}

TEST_F(KADClientFakeDaemonTest, AHandshakeRefusedOrLeftUnansweredIsTriedAgain)
{
    struct Case {
        const char* what;
        std::function<void(int)> first;
        long long atLeastMs;
    };
    const Case cases[] = {
        {"wrong tag", [](int socket) { FakeDaemon::Write(socket, "XDAT" + U32(0) + U32(0)); }, 1000},
        {"no answer", [](int socket) { FakeDaemon::WaitClosed(socket); }, 5000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeDaemon daemon(root_, [&](int socket, int index) {
            DaemonWire::ClientHello hello;
            std::string path;
            if (!FakeDaemon::ReadHello(socket, hello, path))
                return;
            if (index == 0) {
                c.first(socket);
                return;
            }
            if (FakeDaemon::AnswerHello(socket))
                FakeDaemon::WaitClosed(socket);
        });
        KADClientSettings settings;
        settings.path = root_;
        Clock::time_point start = Clock::now();
        // The first attempt fails; the launch finds no program; the second
        // attempt, a second later, gets through.
        ASSERT_TRUE(KADClient::Start(settings));
        EXPECT_GE(MsSince(start), c.atLeastMs);
        EXPECT_EQ(daemon.Connections(), 2);
        KADClient::Stop();
    }
}

TEST_F(KADClientFakeDaemonTest, CloseDaemonStopsWaitingForTheDropAfterItsBound)
{
    std::atomic<bool> release{false};
    FakeDaemon daemon(root_, [&](int socket, int) {
        DaemonWire::ClientHello hello;
        std::string path;
        uint32_t number = 0;
        uint32_t id = 0;
        std::string payload;
        if (!FakeDaemon::ReadHello(socket, hello, path) || !FakeDaemon::AnswerHello(socket)
            || !FakeDaemon::ReadRequest(socket, number, id, payload))
            return;
        // Answers request 270 and keeps the link open.
        FakeDaemon::Write(socket, FakeDaemon::Reply(id, ""));
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    KADClientSettings settings;
    settings.path = root_;
    ASSERT_TRUE(KADClient::Start(settings));
    Clock::time_point start = Clock::now();
    KADClient::CloseDaemon();
    const long long waited = MsSince(start);
    release = true;
    EXPECT_GE(waited, KADClient::kCloseWaitMs - KADClient::kCloseWaitStepMs);
    EXPECT_LT(waited, KADClient::kCloseWaitMs + 3000);
}

}  // namespace
