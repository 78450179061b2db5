// The daemon client with several requesting threads: replies in any order,
// results beside them, and every way the link can go away while requests
// wait. Nothing may hang: each test bounds its waits.
#include "kad/client/KADClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "config/results/ResultsLog.h"
#include "kad/client/KADClientTransaction.h"
#include "kaddaemon/ClientTestSupport.h"
#include "support/TempFolder.h"

namespace {

using namespace clienttest;

class KADClientConcurrency : public StandInClient {
protected:
    // Starts a requesting thread; its outcome lands in the slot.
    struct Outcome {
        std::atomic<bool> done{false};
        bool ok = false;
        std::string reply;
    };
    void Request(Outcome& outcome, uint32_t number, std::string payload, KADClientCallback* callback = nullptr)
    {
        threads_.emplace_back([&outcome, number, payload = std::move(payload), callback]() {
            outcome.ok = Call(number, payload, &outcome.reply, callback);
            outcome.done = true;
        });
    }
    // Waits for every thread; a thread still waiting after the bound is a
    // failure, and is released by stopping the client so the test ends.
    void JoinAll(std::vector<Outcome*> outcomes)
    {
        bool all = WaitFor([&]() {
            for (Outcome* o : outcomes)
                if (!o->done)
                    return false;
            return true;
        });
        EXPECT_TRUE(all) << "a request hangs";
        if (!all)
            KADClient::Stop();
        for (std::thread& t : threads_)
            t.join();
        threads_.clear();
    }
    bool Held(size_t n) const
    {
        return WaitFor([&]() { return CountLines(TracePath(), "in request 60004 ") == n; });
    }

    ~KADClientConcurrency() override
    {
        KADClient::Stop();
        StopServing();
        for (std::thread& t : threads_)
            t.join();
    }

    std::vector<std::thread> threads_;
};

TEST_F(KADClientConcurrency, RepliesOutOfOrderReachTheirOwnRequesters)
{
    Serve();
    ASSERT_TRUE(StartClient());
    Outcome first;
    Outcome second;
    Request(first, testrequest::kHold, Pattern(1, 70000));
    ASSERT_TRUE(Held(1));
    Request(second, testrequest::kHold, Pattern(2, 300));
    ASSERT_TRUE(Held(2));
    // Both replies go out now, the second request's first.
    std::string count;
    ASSERT_TRUE(Call(testrequest::kReleaseHeld, "", &count));
    EXPECT_EQ(ReadU32(count), 2u);
    JoinAll({&first, &second});
    ASSERT_TRUE(first.ok);
    ASSERT_TRUE(second.ok);
    EXPECT_TRUE(first.reply == Pattern(1, 70000));
    EXPECT_TRUE(second.reply == Pattern(2, 300));
}

TEST_F(KADClientConcurrency, ManyThreadsShareOneLink)
{
    Serve();
    ASSERT_TRUE(StartClient());
    constexpr int kThreads = 8;
    constexpr int kRequests = 60;
    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([t, &failures]() {
            for (int i = 0; i < kRequests; ++i) {
                const uint32_t seed = static_cast<uint32_t>(t * 1000 + i);
                if (i % 3 == 0) {
                    ResultsLog log;
                    std::string reply;
                    const uint32_t n = 1 + seed % 5;
                    if (!Call(testrequest::kResults, U32(n), &reply, nullptr, &log) || ReadU32(reply) != n
                        || log.GetResultCount() != n)
                        ++failures;
                } else {
                    const std::string payload = Pattern(seed, (seed * 7919) % 40000);
                    std::string reply;
                    if (!Call(testrequest::kEcho, payload, &reply) || reply != payload)
                        ++failures;
                }
            }
        });
    }
    for (std::thread& w : workers)
        w.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(Handshakes(), 1u);
    EXPECT_EQ(KADClientTransaction::PendingCount(), 0u);
}

TEST_F(KADClientConcurrency, EveryWayOfLosingTheLinkFailsEveryWaitingRequest)
{
    Serve();
    ASSERT_TRUE(StartClient());
    struct Case {
        const char* what;
        void (*lose)();
    };
    const Case cases[] = {
        {"the daemon closes the link", []() { EXPECT_FALSE(Call(testrequest::kCloseLink, "")); }},
        {"a frame over the limit", []() { EXPECT_FALSE(Call(testrequest::kBadFrame, U32(testrequest::kOversizeNote))); }},
        {"the client disconnects", []() { KADClient::Disconnect(true); }},
        {"the client disconnects in order", []() { KADClient::Disconnect(false); }},
    };
    size_t held = 0;
    size_t handshakes = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Outcome waiting[3];
        for (Outcome& o : waiting)
            Request(o, testrequest::kHold, "w");
        held += 3;
        ASSERT_TRUE(Held(held));
        c.lose();
        JoinAll({&waiting[0], &waiting[1], &waiting[2]});
        for (Outcome& o : waiting)
            EXPECT_FALSE(o.ok);
        EXPECT_FALSE(KADClient::IsConnected());
        EXPECT_EQ(KADClientTransaction::PendingCount(), 0u);
        // The next request connects afresh.
        std::string reply;
        ASSERT_TRUE(Call(testrequest::kEcho, "back", &reply));
        EXPECT_EQ(reply, "back");
        EXPECT_EQ(Handshakes(), ++handshakes);
    }
}

TEST_F(KADClientConcurrency, ADaemonThatGoesAwayFailsTheWaitingRequests)
{
    Serve();
    ASSERT_TRUE(StartClient());
    Outcome waiting[4];
    for (Outcome& o : waiting)
        Request(o, testrequest::kDropReply, "");
    ASSERT_TRUE(WaitFor([&]() { return CountLines(TracePath(), "in request 60006 ") == 4; }));
    StopServing();
    JoinAll({&waiting[0], &waiting[1], &waiting[2], &waiting[3]});
    for (Outcome& o : waiting)
        EXPECT_FALSE(o.ok);
    EXPECT_FALSE(KADClient::IsConnected());
    EXPECT_FALSE(Call(testrequest::kEcho, "x"));
}

// Blocks inside the callback until released; notes the order of events.
class SlowCallback : public KADClientCallback {
public:
    uint32_t Answer(const Nyx::String&, Nyx::String&, const KUID&, uint32_t) override
    {
        entered = true;
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        finished = true;
        return 5;
    }
    std::atomic<bool> entered{false};
    std::atomic<bool> release{false};
    std::atomic<bool> finished{false};
};

TEST_F(KADClientConcurrency, AQuestionsCallbackOutlivesTheLossOfItsRequestsLink)
{
    Serve();
    ASSERT_TRUE(StartClient());
    auto callback = std::make_unique<SlowCallback>();
    std::atomic<bool> returned{false};
    std::atomic<bool> finishedFirst{false};
    bool ok = true;
    std::thread requester([&]() {
        std::string reply;
        ok = Call(testrequest::kAsk, std::string(8, '\xff') + "Replace?", &reply, callback.get());
        finishedFirst = callback->finished.load();
        returned = true;
    });
    ASSERT_TRUE(ServeMainThreadUntil([&]() { return callback->entered.load(); }));

    // The request fails while its question is being answered; its call
    // must not return (and take the callback with it) before the answer.
    KADClient::Disconnect(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(returned.load());
    callback->release = true;
    EXPECT_TRUE(WaitFor([&]() { return returned.load(); }));
    requester.join();
    EXPECT_FALSE(ok);
    EXPECT_TRUE(finishedFirst.load());
    // The question thread still answers (over a new link) and is joined
    // when the client stops.
    std::string last;
    EXPECT_TRUE(WaitFor([&]() { return Call(testrequest::kLastAnswer, "", &last) && ReadU32(last, 4) == 5; }));
    KADClient::Stop();
    callback.reset();
}

// Requests that find the link lock taken (here by a reconnection whose
// handshake the daemon holds back) wait in the send queue; the lock's
// holder sends them all on its way out, or fails them all when the link
// cannot be had.
TEST(KADClientSendQueueConcurrency, RequestsQueuedBehindTheLinkLockGoOutOrFailTogether)
{
    constexpr uint32_t kQueued = 7;
    for (const bool answer : {true, false}) {
        SCOPED_TRACE(answer ? "the handshake is answered" : "the handshake is refused");
        TempFolder temp;
        const std::string root = daemontest::RealPath(temp.Path());
        daemontest::DiscoveryCleanup cleanup(root);
        std::atomic<uint32_t> served{0};
        FakeDaemon daemon(root, [&](int socket, int index) {
            DaemonWire::ClientHello hello;
            std::string path;
            if (!FakeDaemon::ReadHello(socket, hello, path))
                return;
            if (index == 0) {
                FakeDaemon::AnswerHello(socket);  // then the link drops
                return;
            }
            // The first request reconnects and holds the lock meanwhile.
            // (Refused, it fails alone; the queued ones then try a link of
            // their own, refused too.)
            if (index == 1) {
                EXPECT_TRUE(WaitFor([]() { return KADClient::QueuedRequestCount() == kQueued; }));
            }
            if (!answer) {
                FakeDaemon::Write(socket, "XDAT" + U32(0) + U32(0));
                return;
            }
            FakeDaemon::AnswerHello(socket);
            uint32_t number, id;
            std::string payload;
            while (served < kQueued + 1 && FakeDaemon::ReadRequest(socket, number, id, payload)) {
                FakeDaemon::Write(socket, FakeDaemon::Reply(id, payload));
                ++served;
            }
            FakeDaemon::WaitClosed(socket);
        });
        KADClientSettings settings;
        settings.path = root;
        settings.flags[KADClientSettings::kFlagMayLaunchDaemon] = 0;
        ASSERT_TRUE(KADClient::Start(settings));
        ASSERT_TRUE(WaitFor([]() { return !KADClient::IsConnected(); }));

        std::atomic<uint32_t> succeeded{0};
        std::atomic<uint32_t> finished{0};
        std::vector<std::thread> requesters;
        for (uint32_t i = 0; i <= kQueued; ++i) {
            requesters.emplace_back([&, i]() {
                std::string reply;
                const std::string payload = Pattern(i, 100 + i);
                if (Call(9000 + i, payload, &reply) && reply == payload)
                    ++succeeded;
                ++finished;
            });
        }
        const bool allFinished = WaitFor([&]() { return finished.load() == kQueued + 1; });
        EXPECT_TRUE(allFinished) << "a queued request hangs";
        if (!allFinished)
            KADClient::Stop();
        for (std::thread& t : requesters)
            t.join();
        EXPECT_EQ(succeeded.load(), answer ? kQueued + 1 : 0u);
        EXPECT_EQ(KADClient::QueuedRequestCount(), 0u);
        KADClient::Stop();
    }
}

}  // namespace
