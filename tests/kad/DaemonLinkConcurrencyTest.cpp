// Discovery while the objects come and go: clients that find no daemon make
// and remove the set again and again while a daemon publishes and
// withdraws. Whatever the timing, a daemon's entry must land in the set
// under the names, where every newcomer finds it.
#include "kad/discovery/DaemonLink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "support/DaemonTestSupport.h"
#include "support/TempFolder.h"

namespace {

TEST(DaemonLinkConcurrency, APublishedPortIsFoundWhileClientsMakeAndRemoveTheObjects)
{
    TempFolder temp;
    const std::string root = daemontest::RealPath(temp.Path());
    daemontest::DiscoveryCleanup cleanup(root);
    const std::string dataFile = root + "/assets.tdx";
    // Live ids: the daemon's must not be taken over, and the clients must
    // not clear its entry when they leave.
    const uint32_t daemonId = static_cast<uint32_t>(::getppid());
    const uint32_t clientId = static_cast<uint32_t>(::getpid());

    std::atomic<bool> stop{false};
    std::atomic<int> clientRounds{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < 3; ++i) {
        clients.emplace_back([&]() {
            while (!stop.load()) {
                DaemonLink link(clientId);
                if (link.Attach(dataFile))
                    link.GetPort();
                link.Detach();
                ++clientRounds;
            }
        });
    }

    constexpr uint32_t kRounds = 150;
    uint32_t missed = 0;
    for (uint32_t round = 1; round <= kRounds; ++round) {
        DaemonLink daemon(daemonId);
        ASSERT_TRUE(daemon.Attach(dataFile));
        ASSERT_TRUE(daemon.LockCurrent());
        EXPECT_TRUE(daemon.Publish(round));
        daemon.Unlock();

        DaemonLink newcomer(clientId);
        ASSERT_TRUE(newcomer.Attach(dataFile));
        missed += newcomer.GetPort() != round;
        newcomer.Detach();

        daemon.Withdraw();
        daemon.Detach();
    }
    stop = true;
    for (std::thread& t : clients)
        t.join();

    EXPECT_EQ(missed, 0u);
    EXPECT_GT(clientRounds.load(), 0);
    // The last to leave removed the objects; nothing else was made.
    EXPECT_EQ(daemontest::DiscoveryFiles(root), std::vector<std::string>());
}

}  // namespace
