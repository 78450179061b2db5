#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "config/results/InterfaceTextDB.h"
#include "config/InterfaceTextTestSupport.h"
#include "core/ConcurrencyTestSupport.h"

namespace {

using InterfaceTextDBConcurrencyTest = InterfaceTextFixture;

TEST_F(InterfaceTextDBConcurrencyTest, FirstUseFromManyThreadsLoadsOnce)
{
    WriteText("$hello \"Hello there\"\r\nscenario_text\r\n{\r\n  $sc \"scene\"\r\n}\r\n");
    constexpr int kThreads = 8;
    concurrencytest::Latch start;
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            start.Wait();
            if (i % 2 == 0) {
                if (GetInterfaceText("$hello").Str() != "Hello there")
                    wrong.fetch_add(1);
            } else if (InterfaceTextDB::Instance().GetScenarioString("$sc").Str() != "scene") {
                wrong.fetch_add(1);
            }
        });
    }
    start.Open();
    for (auto& t : threads)
        t.join();

    EXPECT_EQ(wrong.load(), 0);
    // One load, so one fallback line.
    EXPECT_EQ(LogLines(), std::vector<std::string>{kFailedCompiledLine});
}

TEST_F(InterfaceTextDBConcurrencyTest, LookupsNeverSeeATreeBeingReloaded)
{
    WriteText("$hello \"Hello there\"\r\n");
    InterfaceTextDB& db = InterfaceTextDB::Instance();

    constexpr int kReaders = 4;
    constexpr int kReloads = 20;
    std::atomic<bool> done{false};
    std::atomic<int> empties{0};
    std::atomic<int> lookups{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < kReaders; ++i) {
        readers.emplace_back([&] {
            while (!done.load()) {
                if (db.GetString("$hello", false).Empty())
                    empties.fetch_add(1);
                lookups.fetch_add(1);
            }
        });
    }
    for (int i = 0; i < kReloads; ++i) {
        db.Load();
        // Let the readers in between reloads.
        int seen = lookups.load();
        bool readersRan = concurrencytest::WaitUntil([&] { return lookups.load() > seen; });
        EXPECT_TRUE(readersRan);
        if (!readersRan)
            break;
    }
    done.store(true);
    for (auto& t : readers)
        t.join();

    EXPECT_EQ(empties.load(), 0);
    EXPECT_EQ(LogLines().size(), size_t(kReloads) + 1);
    EXPECT_EQ(db.GetString("$hello", true).Str(), "Hello there");
}

}  // namespace
