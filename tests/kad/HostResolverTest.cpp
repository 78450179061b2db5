#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>

#include "kad/transport/HostResolver.h"
#include "kad/LoopbackServer.h"

namespace {

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

std::string AddressText(const sockaddr_in& addr)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text);
    return text;
}

TEST(ResolveHostTest, FillsTheAddressWithoutLookupsForLoopbackNames)
{
    // Only names answered without the network: "localhost" by the resolver
    // itself, dotted numbers by the system's lookup.
    struct Case {
        const char* host;
        uint16_t port;
        bool ok;
        const char* address;
    } cases[] = {
        {"localhost", 80, true, "127.0.0.1"},
        {"LOCALHOST", 5250, true, "127.0.0.1"},
        {"LocalHost", 0, true, "127.0.0.1"},
        {"127.0.0.1", 65535, true, "127.0.0.1"},
        {"127.1.2.3", 1, true, "127.1.2.3"},
        {"", 80, false, "0.0.0.0"},
        {nullptr, 80, false, "0.0.0.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host ? c.host : "(null)");
        sockaddr_in addr = Filled(0xAB);
        EXPECT_EQ(ResolveHost(c.host, c.port, addr), c.ok);
        // Family, port and padding are set whatever the outcome.
        EXPECT_EQ(addr.sin_family, AF_INET);
        EXPECT_EQ(addr.sin_port, htons(c.port));
        for (unsigned char z : addr.sin_zero)
            EXPECT_EQ(z, 0);
        EXPECT_EQ(AddressText(addr), c.address);
    }
}

TEST(HostResolverTest, WithoutUsersNoThreadStartsAndTheRequestTimesOut)
{
    std::atomic<int> lookups{0};
    HostResolver resolver(
        [&](const char* host, uint16_t port, sockaddr_in& out) {
            ++lookups;
            return ResolveHost(host, port, out);
        },
        150);
    sockaddr_in addr = Filled(0xCD);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(resolver.Query("localhost", 80, addr));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    EXPECT_FALSE(resolver.HasThread());
    EXPECT_EQ(resolver.Pending(), 0u);
    EXPECT_EQ(lookups, 0);
    EXPECT_TRUE(Untouched(addr, 0xCD));

    // Removing a user that was never added leaves the count at 0.
    resolver.RemoveUser();
    EXPECT_EQ(resolver.Users(), 0u);
}

TEST(HostResolverTest, AnswersOnItsOwnThreadAndRestartsIt)
{
    std::atomic<int> lookups{0};
    std::atomic<bool> onCallerThread{false};
    const auto caller = std::this_thread::get_id();
    HostResolver resolver([&](const char* host, uint16_t port, sockaddr_in& out) {
        ++lookups;
        if (std::this_thread::get_id() == caller)
            onCallerThread = true;
        if (std::strcmp(host, "nowhere") == 0)
            return false;
        return ResolveHost(host, port, out);
    });
    resolver.AddUser();
    EXPECT_EQ(resolver.Users(), 1u);

    for (int round = 0; round < 3; ++round) {
        sockaddr_in addr = Filled(0);
        ASSERT_TRUE(resolver.Query("LocalHost", static_cast<uint16_t>(1000 + round), addr));
        EXPECT_EQ(AddressText(addr), "127.0.0.1");
        EXPECT_EQ(ntohs(addr.sin_port), 1000 + round);
    }
    sockaddr_in addr = Filled(0xEE);
    EXPECT_FALSE(resolver.Query("nowhere", 80, addr));

    EXPECT_EQ(lookups, 4);
    EXPECT_FALSE(onCallerThread);
    EXPECT_EQ(resolver.Pending(), 0u);

    resolver.RemoveUser();
    EXPECT_EQ(resolver.Users(), 0u);
    EXPECT_FALSE(resolver.HasThread());
}

}  // namespace
