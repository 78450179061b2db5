// Interning, mounts, events and threads used from several threads at once.
// Suites here are also run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "nyx/files/File.h"
#include "nyx/base/PString.h"
#include "nyx/base/Thread.h"
#include "nyx/base/Time.h"
#include "nyx/base/WEvent.h"

namespace {

using Nyx::PString;
using Nyx::PStringCache;
using Nyx::Thread;
using Nyx::WEvent;

// Spins (bounded) until a condition holds; false when it never did.
template <typename Pred>
bool WaitUntil(Pred pred, uint32_t ms = 5000)
{
    uint64_t end = Nyx::Time::GetTickCount64() + ms;
    while (!pred()) {
        if (Nyx::Time::GetTickCount64() > end)
            return false;
        Thread::Sleep(1);
    }
    return true;
}

TEST(PStringConcurrencyTest, ThreadsInternToTheSameNodes)
{
    constexpr int kThreads = 8;
    constexpr int kTexts = 2000;
    std::vector<std::vector<PString>> held(kThreads);
    std::atomic<bool> stop{false};
    {
        std::vector<std::unique_ptr<Thread>> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.push_back(std::make_unique<Thread>());
            ASSERT_TRUE(threads.back()->Start([t, &held]() {
                // Each thread walks the texts in its own order.
                for (int i = 0; i < kTexts; ++i) {
                    int k = (i * 7 + t * 131) % kTexts;
                    held[t].emplace_back("conc-" + std::to_string(k));
                }
            }));
        }
        // Meanwhile texts come and go and garbage is collected.
        Thread churn;
        ASSERT_TRUE(churn.Start([&stop]() {
            for (int round = 0; !stop.load(); ++round) {
                for (int i = 0; i < 50; ++i) {
                    PString p("churn-" + std::to_string((round * 50 + i) % 300));
                    PString q("conc-" + std::to_string(i));
                    (void)p;
                    (void)q;
                }
                PStringCache::CollectGarbage();
            }
        }));
        for (auto& t : threads)
            t->Join();
        stop = true;
    }
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(held[t].size(), size_t(kTexts));
        for (int i = 0; i < kTexts; ++i) {
            int k = (i * 7 + t * 131) % kTexts;
            const PString& mine = held[t][i];
            ASSERT_EQ(mine.View(), "conc-" + std::to_string(k));
            int i0 = ((k - 0) * 1143) % kTexts;  // index of k in thread 0's order: 7 * 1143 = 1 mod 2000
            ASSERT_EQ(mine.Identity(), held[0][i0].Identity()) << "text " << k;
        }
    }
    EXPECT_EQ(held[0][0].RefCount(), uint32_t(kThreads));
}

TEST(SubstConcurrencyTest, MountsFromManyThreads)
{
    using Nyx::File;
    File::Subst::Add(PString("Shared"), File::Path("/shared/a"));
    std::vector<std::unique_ptr<Thread>> threads;
    std::atomic<int> bad{0};
    for (int t = 0; t < 6; ++t) {
        threads.push_back(std::make_unique<Thread>());
        threads.back()->Start([t, &bad]() {
            std::string own = "mount" + std::to_string(t);
            for (int i = 0; i < 300; ++i) {
                File::Subst::Add(PString(own), File::Path("/own/" + std::to_string(t)));
                if (File::Subst::Lookup(PString("MOUNT" + std::to_string(t))).Str() != "/own/" + std::to_string(t))
                    ++bad;
                File::Subst::Add(PString(i % 2 ? "shared" : "SHARED"), File::Path(i % 2 ? "/shared/a" : "/shared/b"));
                std::string s = File::Subst::Lookup(PString("Shared")).Str();
                if (s != "/shared/a" && s != "/shared/b")
                    ++bad;
                if (!File::Subst::Remove(PString(own)))
                    ++bad;
            }
        });
    }
    for (auto& t : threads)
        t->Join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_TRUE(File::Subst::Remove(PString("shared")));
    EXPECT_TRUE(File::Subst::Lookup(PString("mount0")).Empty());
}

// Starts n threads that each wait once on the event and count a release.
struct Waiters {
    Waiters(WEvent& ev, int n, uint32_t timeout = WEvent::kInfinite)
    {
        for (int i = 0; i < n; ++i) {
            threads.push_back(std::make_unique<Thread>());
            threads.back()->Start([this, &ev, timeout]() {
                if (ev.Wait(timeout))
                    ++released;
                else
                    ++timedOut;
            });
        }
    }
    void Join()
    {
        for (auto& t : threads)
            t->Join();
    }
    std::vector<std::unique_ptr<Thread>> threads;
    std::atomic<int> released{0};
    std::atomic<int> timedOut{0};
};

TEST(WEventConcurrencyTest, ManualResetReleasesEveryoneAndStaysSet)
{
    WEvent initially(true, true);
    EXPECT_TRUE(initially.Wait(0));
    EXPECT_TRUE(initially.Wait(0)) << "a manual event stays set";
    initially.Reset();
    EXPECT_FALSE(initially.Wait(0));

    WEvent ev(true, false);
    Waiters w(ev, 4);
    ASSERT_TRUE(WaitUntil([&] { return ev.Waiters() == 4; }));
    EXPECT_EQ(w.released.load(), 0);
    ev.Set();
    w.Join();
    EXPECT_EQ(w.released.load(), 4);
    EXPECT_TRUE(ev.IsSet());
    EXPECT_EQ(ev.Waiters(), 0u);
}

TEST(WEventConcurrencyTest, AutomaticResetReleasesOneAtATime)
{
    WEvent ev(false, true);
    EXPECT_TRUE(ev.Wait(0));
    EXPECT_FALSE(ev.IsSet()) << "taken by the wait";
    EXPECT_FALSE(ev.Wait(0));

    Waiters w(ev, 3);
    ASSERT_TRUE(WaitUntil([&] { return ev.Waiters() == 3; }));
    for (int k = 1; k <= 3; ++k) {
        ev.Set();
        ASSERT_TRUE(WaitUntil([&] { return w.released.load() == k; }));
        Thread::Sleep(20);
        EXPECT_EQ(w.released.load(), k) << "one Set, one release";
        EXPECT_FALSE(ev.IsSet());
    }
    w.Join();
}

TEST(WEventConcurrencyTest, PulseReleasesCurrentWaitersAndLeavesItClear)
{
    // Without waiters a pulse is lost.
    WEvent idle(true, true);
    idle.Pulse();
    EXPECT_FALSE(idle.IsSet());
    EXPECT_FALSE(idle.Wait(10));

    WEvent manual(true, false);
    {
        Waiters w(manual, 3);
        ASSERT_TRUE(WaitUntil([&] { return manual.Waiters() == 3; }));
        manual.Pulse();
        w.Join();
        EXPECT_EQ(w.released.load(), 3);
        EXPECT_FALSE(manual.IsSet());
    }
    // A thread that starts waiting after the pulse is not released by it.
    {
        Waiters first(manual, 1);
        ASSERT_TRUE(WaitUntil([&] { return manual.Waiters() == 1; }));
        manual.Pulse();
        Waiters late(manual, 1, 100);
        first.Join();
        late.Join();
        EXPECT_EQ(first.released.load(), 1);
        EXPECT_EQ(late.timedOut.load(), 1);
    }

    WEvent automatic(false, false);
    Waiters w(automatic, 3);
    ASSERT_TRUE(WaitUntil([&] { return automatic.Waiters() == 3; }));
    for (int k = 1; k <= 3; ++k) {
        automatic.Pulse();
        ASSERT_TRUE(WaitUntil([&] { return w.released.load() == k; }));
        Thread::Sleep(20);
        EXPECT_EQ(w.released.load(), k) << "a pulse releases one waiter";
        EXPECT_FALSE(automatic.IsSet());
    }
    w.Join();
}

TEST(WEventConcurrencyTest, WaitTimesOutOrWakesEarly)
{
    WEvent ev;
    uint64_t start = Nyx::Time::GetTickCount64();
    EXPECT_FALSE(ev.Wait(60));
    EXPECT_GE(Nyx::Time::GetTickCount64() - start, 60u);

    Thread setter;
    ASSERT_TRUE(setter.Start([&ev]() {
        Thread::Sleep(20);
        ev.Set();
    }));
    start = Nyx::Time::GetTickCount64();
    EXPECT_TRUE(ev.Wait(10000));
    EXPECT_LT(Nyx::Time::GetTickCount64() - start, 5000u);
    setter.Join();
}

TEST(ThreadConcurrencyTest, StartJoinAndIds)
{
    Thread t;
    EXPECT_FALSE(t.IsRunning());
    EXPECT_FALSE(t.Start(nullptr));

    WEvent release(true, false);
    std::atomic<Thread::Id> inside{0};
    ASSERT_TRUE(t.Start([&]() {
        inside = Thread::CurrentId();
        release.Wait();
    }));
    EXPECT_TRUE(t.IsRunning());
    EXPECT_NE(t.GetId(), 0u);
    EXPECT_FALSE(t.Start([] {})) << "one thread at a time";
    release.Set();
    t.Join();
    EXPECT_FALSE(t.IsRunning());
    EXPECT_EQ(inside.load(), t.GetId());
    EXPECT_NE(Thread::CurrentId(), t.GetId());
    EXPECT_NE(Thread::CurrentId(), 0u);
    // A thread not started here keeps the id it got when it first asked,
    // and no two threads share one.
    const Thread::Id mine = Thread::CurrentId();
    Thread::Id foreign[2] = {0, 0};
    std::thread([&foreign]() {
        foreign[0] = Thread::CurrentId();
        foreign[1] = Thread::CurrentId();
    }).join();
    EXPECT_EQ(Thread::CurrentId(), mine);
    EXPECT_EQ(foreign[0], foreign[1]);
    EXPECT_NE(foreign[0], mine);
    EXPECT_NE(foreign[0], t.GetId());
    t.Join();  // joining twice is harmless

    // The object can run another thread, with a new id.
    Thread::Id first = t.GetId();
    ASSERT_TRUE(t.Start([] {}));
    t.Join();
    EXPECT_NE(t.GetId(), first);

    // Destruction waits for the function to finish.
    std::atomic<bool> finished{false};
    {
        Thread scoped;
        ASSERT_TRUE(scoped.Start([&finished]() {
            Thread::Sleep(30);
            finished = true;
        }));
    }
    EXPECT_TRUE(finished.load());
}

TEST(ThreadConcurrencyTest, JoinFromItsOwnThreadDoesNotDeadlock)
{
    static Thread self;
    static WEvent go(true, false);
    static WEvent done(true, false);
    go.Reset();
    done.Reset();
    ASSERT_TRUE(self.Start([]() {
        go.Wait();
        self.Join();
        done.Set();
    }));
    go.Set();
    ASSERT_TRUE(done.Wait(5000));
    EXPECT_FALSE(self.IsRunning());
}

TEST(TimeTest, Clocks)
{
    uint64_t a = Nyx::Time::GetTickCount64();
    Thread::Sleep(15);
    uint64_t b = Nyx::Time::GetTickCount64();
    EXPECT_GE(b - a, 15u);
    EXPECT_LT(b - a, 5000u);
    uint32_t low = Nyx::Time::GetTickCount();
    EXPECT_LE(uint32_t(low - uint32_t(b)), 1000u) << "the 32-bit count is the low part of the 64-bit one";
    int64_t now = Nyx::Time::Now();
    EXPECT_LE(std::llabs(now - static_cast<int64_t>(std::time(nullptr))), 2);
}

}  // namespace
