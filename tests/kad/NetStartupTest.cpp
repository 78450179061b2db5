#include <arpa/inet.h>
#include <openssl/crypto.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "kad/transport/HostResolver.h"
#include "kad/transport/NetStartup.h"

namespace {

// Ends the checking child with a code naming the first check that failed.
void Check(bool ok, int code, const char* what)
{
    if (ok)
        return;
    std::fprintf(stderr, "check %d failed: %s\n", code, what);
    std::fflush(stderr);
    std::_Exit(code);
}

// Networking starts once per process and cannot be restarted, so the whole
// life cycle is checked in a fresh copy of the test program.
void RunLifeCycle()
{
    HostResolver& resolver = HostResolver::Process();
    sockaddr_in addr{};

    // Before start-up nobody answers: the request waits out the time-out.
    auto start = std::chrono::steady_clock::now();
    bool ok = HostResolver::Resolve("localhost", 80, addr);
    auto waited = std::chrono::steady_clock::now() - start;
    Check(!ok, 1, "resolution before start-up succeeded");
    Check(waited >= std::chrono::milliseconds(HostResolver::kTimeoutMs), 2, "gave up before the time-out");
    Check(!resolver.HasThread(), 3, "a resolver thread was started without users");
    Check(NetSSLContext() == nullptr && NetLockCount() == 0, 4, "TLS state before start-up");

    NetStartup();
    NetStartup();  // only the first call counts
    Check(resolver.Users() == 1, 5, "user count after start-up");
    Check(NetSSLContext() != nullptr, 6, "no TLS context");
    Check(NetLockCount() == CRYPTO_num_locks(), 7, "lock table size");
    ok = HostResolver::Resolve("LOCALHOST", 443, addr);
    Check(ok && addr.sin_addr.s_addr == htonl(INADDR_LOOPBACK) && addr.sin_port == htons(443), 8,
          "resolution after start-up");

    NetShutdown();
    Check(resolver.Users() == 0 && !resolver.HasThread(), 9, "resolver after shut-down");
    Check(NetSSLContext() == nullptr && NetLockCount() == 0, 10, "TLS state after shut-down");
    NetLockingCallback(1, 0, __FILE__, __LINE__);  // no table: ignored

    NetStartup();  // stays shut down
    Check(resolver.Users() == 0 && NetSSLContext() == nullptr, 11, "networking restarted");
    NetShutdown();  // a second shut-down does not underflow the count
    Check(resolver.Users() == 0, 12, "user count after a second shut-down");
    std::_Exit(0);
}

TEST(NetStartupTest, StartsOnceAndStopsForGood)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunLifeCycle(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
