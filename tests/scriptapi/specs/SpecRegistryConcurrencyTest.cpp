#include "scriptapi/specs/SpecRegistry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "scriptapi/specs/SpecTestSupport.h"

namespace {

// One thread finds descriptions and gives them back while another purges the
// unused ones: a description found must never be deleted under its finder.
TEST(SpecRegistryConcurrencyTest, FindAgainstPurgeUnused)
{
    SpecRegistry registry;
    constexpr int kRounds = 20000;
    std::atomic<bool> stop{false};
    std::thread purger([&] {
        while (!stop.load())
            registry.PurgeUnused();
    });
    int found = 0;
    for (int round = 0; round < kRounds; ++round) {
        const KUID kuid(round, 1, 0);
        // Added with no reference: the purger may take it at once.
        registry.Add(new TestSpec(kuid));
        // Asked a few times: each find races the purge anew.
        for (int ask = 0; ask < 4; ++ask) {
            if (GlimmerkitSpec* spec = registry.Find(kuid)) {
                EXPECT_EQ(spec->GetKUID(), kuid);
                spec->Release();
                ++found;
            }
        }
    }
    stop.store(true);
    purger.join();
    registry.PurgeAndReportLeaks();
    EXPECT_EQ(registry.ActiveCount(), 0u);
    EXPECT_LE(found, 4 * kRounds);
}

}  // namespace
