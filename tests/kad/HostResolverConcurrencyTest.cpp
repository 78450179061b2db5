#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kad/transport/HostResolver.h"
#include "kad/transport/NetStartup.h"

namespace {

// A gate lookups wait at until the test opens it.
class Gate {
public:
    void Open()
    {
        std::lock_guard<std::mutex> guard(m_);
        open_ = true;
        cv_.notify_all();
    }
    void Pass()
    {
        std::unique_lock<std::mutex> lock(m_);
        ++waiting_;
        cv_.notify_all();
        cv_.wait(lock, [this]() { return open_; });
    }
    // Waits until n lookups have reached the gate.
    bool WaitFor(int n)
    {
        std::unique_lock<std::mutex> lock(m_);
        return cv_.wait_for(lock, std::chrono::seconds(10), [&]() { return waiting_ >= n; });
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool open_ = false;
    int waiting_ = 0;
};

// Answers a.b.c.d for a host named "h<d>", after the gate for host "slow".
struct FakeLookup {
    Gate* gate;
    std::atomic<int>* calls;
    bool operator()(const char* host, uint16_t port, sockaddr_in& out) const
    {
        ++*calls;
        if (std::strcmp(host, "slow") == 0)
            gate->Pass();
        std::memset(&out, 0, sizeof out);
        out.sin_family = AF_INET;
        out.sin_port = htons(port);
        if (host[0] != 'h')
            return std::strcmp(host, "slow") == 0;
        out.sin_addr.s_addr = htonl(0x0A000000u | static_cast<uint32_t>(std::atoi(host + 1)));
        return true;
    }
};

sockaddr_in Filled(uint8_t byte)
{
    sockaddr_in addr;
    std::memset(&addr, byte, sizeof addr);
    return addr;
}

bool Untouched(const sockaddr_in& addr, uint8_t byte)
{
    const auto* p = reinterpret_cast<const uint8_t*>(&addr);
    for (size_t i = 0; i < sizeof addr; ++i)
        if (p[i] != byte)
            return false;
    return true;
}

TEST(HostResolverConcurrencyTest, ABlockedLookupTimesOutAndItsLateAnswerIsDropped)
{
    Gate gate;
    std::atomic<int> calls{0};
    HostResolver resolver(FakeLookup{&gate, &calls}, 200);
    resolver.AddUser();

    // The first caller's lookup hangs; a second caller queues behind it.
    sockaddr_in slowAddr = Filled(0x11);
    auto start = std::chrono::steady_clock::now();
    auto slow = std::async(std::launch::async, [&]() { return resolver.Query("slow", 1, slowAddr); });
    ASSERT_TRUE(gate.WaitFor(1));
    sockaddr_in nextAddr = Filled(0x22);
    auto next = std::async(std::launch::async, [&]() { return resolver.Query("h7", 2, nextAddr); });

    EXPECT_FALSE(slow.get());
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_TRUE(Untouched(slowAddr, 0x11));

    // Answers that come after the caller gave up never reach it; the
    // request behind it is served once the lookup returns, as long as its
    // caller is still waiting (its own time-out may already have run out on
    // a slow machine, which the next query shows).
    gate.Open();
    bool nextOk = next.get();
    EXPECT_TRUE(Untouched(slowAddr, 0x11));
    if (nextOk) {
        EXPECT_EQ(ntohl(nextAddr.sin_addr.s_addr), 0x0A000007u);
    }
    sockaddr_in again = Filled(0);
    EXPECT_TRUE(resolver.Query("h9", 3, again));
    EXPECT_EQ(ntohl(again.sin_addr.s_addr), 0x0A000009u);
    EXPECT_EQ(ntohs(again.sin_port), 3);
    EXPECT_EQ(resolver.Pending(), 0u);
    resolver.RemoveUser();
}

TEST(HostResolverConcurrencyTest, ManyCallersEachGetTheirOwnAnswer)
{
    Gate gate;
    gate.Open();
    std::atomic<int> calls{0};
    HostResolver resolver(FakeLookup{&gate, &calls});
    resolver.AddUser();

    constexpr int kThreads = 8;
    constexpr int kRounds = 40;
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t]() {
            for (int r = 0; r < kRounds; ++r) {
                int n = t * kRounds + r;
                std::string host = "h" + std::to_string(n % 250);
                sockaddr_in addr = Filled(0);
                uint16_t port = static_cast<uint16_t>(n);
                if (!resolver.Query(host.c_str(), port, addr) ||
                    ntohl(addr.sin_addr.s_addr) != (0x0A000000u | static_cast<uint32_t>(n % 250)) ||
                    ntohs(addr.sin_port) != port)
                    ++wrong;
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(calls, kThreads * kRounds);
    EXPECT_EQ(resolver.Pending(), 0u);
    resolver.RemoveUser();
    EXPECT_FALSE(resolver.HasThread());
}

TEST(HostResolverConcurrencyTest, TheLastUserLeavingWaitsForALookupInProgress)
{
    Gate gate;
    std::atomic<int> calls{0};
    HostResolver resolver(FakeLookup{&gate, &calls}, 100);
    resolver.AddUser();
    sockaddr_in addr = Filled(0x33);
    EXPECT_FALSE(resolver.Query("slow", 1, addr));  // the thread is left inside the lookup
    ASSERT_TRUE(gate.WaitFor(1));

    // The thread needs the resolver's lock once more on its way out, so the
    // user count must not be waited on while that lock is held.
    auto leaving = std::async(std::launch::async, [&]() { resolver.RemoveUser(); });
    EXPECT_EQ(leaving.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    gate.Open();
    ASSERT_EQ(leaving.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_FALSE(resolver.HasThread());
    EXPECT_TRUE(Untouched(addr, 0x33));

    // A new user gets a fresh thread.
    resolver.AddUser();
    EXPECT_TRUE(resolver.Query("h1", 1, addr));
    resolver.RemoveUser();
}

TEST(HostResolverConcurrencyTest, AThreadWhoseUsersLeftDoesNotServeItsSuccessorsQueue)
{
    // The old thread comes back from its lookup after the users came back
    // and a new thread took over; it must leave at once rather than take on
    // the queue (here: hang in the successor's lookup) or mark the new
    // thread finished.
    Gate gate;
    Gate gate2;
    std::atomic<int> calls{0};
    FakeLookup fake{&gate, &calls};
    HostResolver resolver(
        [&](const char* host, uint16_t port, sockaddr_in& out) {
            if (std::strcmp(host, "slow2") == 0) {
                ++calls;
                gate2.Pass();
                return false;
            }
            return fake(host, port, out);
        },
        1000);
    resolver.AddUser();
    sockaddr_in addr = Filled(0);
    EXPECT_FALSE(resolver.Query("slow", 1, addr));
    ASSERT_TRUE(gate.WaitFor(1));

    auto leaving = std::async(std::launch::async, [&]() { resolver.RemoveUser(); });
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (resolver.Users() != 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::yield();
    ASSERT_EQ(resolver.Users(), 0u);
    resolver.AddUser();
    sockaddr_in addr2 = Filled(0);
    auto second = std::async(std::launch::async, [&]() { return resolver.Query("slow2", 2, addr2); });
    ASSERT_TRUE(gate2.WaitFor(1));

    gate.Open();
    EXPECT_EQ(leaving.wait_for(std::chrono::milliseconds(500)), std::future_status::ready);
    gate2.Open();
    leaving.wait();
    EXPECT_FALSE(second.get());
    for (int i = 0; i < 20; ++i) {
        sockaddr_in out = Filled(0);
        ASSERT_TRUE(resolver.Query("h5", static_cast<uint16_t>(i), out)) << i;
        EXPECT_EQ(ntohs(out.sin_port), i);
    }
    EXPECT_EQ(calls, 2 + 20);
    resolver.RemoveUser();
    EXPECT_EQ(resolver.Users(), 0u);
    EXPECT_FALSE(resolver.HasThread());
}

TEST(NetStartupConcurrencyTest, TheLockTableExcludesAndIgnoresStrayCalls)
{
    NetStartup();
    ASSERT_GE(NetLockCount(), 1);
    const int n = NetLockCount();

    // Numbers outside the table and unlocks of locks not held do nothing.
    NetLockingCallback(1, -1, __FILE__, __LINE__);
    NetLockingCallback(1, n, __FILE__, __LINE__);
    NetLockingCallback(2, n, __FILE__, __LINE__);
    NetLockingCallback(2, 0, __FILE__, __LINE__);

    std::atomic<int> inside{0};
    std::atomic<int> overlap{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&]() {
            for (int i = 0; i < 200; ++i) {
                NetLockingCallback(1, n - 1, __FILE__, __LINE__);
                if (inside.fetch_add(1) != 0)
                    ++overlap;
                inside.fetch_sub(1);
                NetLockingCallback(2, n - 1, __FILE__, __LINE__);
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(overlap, 0);
}

}  // namespace
