#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "config/formats/BinaryConfig.h"
#include "config/tree/TDBContainerTag.h"
#include "core/ConcurrencyTestSupport.h"
#include "core/streams/TStream.h"

namespace {

using Tag = TDBContainerTag;

// A loaded tree is shared the way the interface texts are: several threads
// list the children of the same views at once, each in its own order.
TEST(BinaryConfigConcurrencyTest, ThreadsWalkingTheSameViewSeeTheirOwnChildren)
{
    constexpr uint32_t kCount = 400;
    ChunkRef tree;
    for (uint32_t i = 0; i < kCount; ++i)
        Tag::SetInt(tree, Nyx::PString("n" + std::to_string(i)), int32_t(i));
    TBuffer stream;
    WriteBinaryConfig(stream, tree);
    stream.SetPosition(0);
    ChunkRef root;
    ASSERT_TRUE(ReadBinaryConfig(stream, root));

    constexpr int kThreads = 6;
    concurrencytest::Latch start;
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.Wait();
            // Forwards, backwards, and in strides that keep jumping back.
            for (int round = 0; round < 20; ++round) {
                for (uint32_t k = 0; k < kCount; ++k) {
                    uint32_t i = t % 3 == 0 ? k : t % 3 == 1 ? kCount - 1 - k : (k * 7) % kCount;
                    Nyx::PString name;
                    ChunkRef child;
                    if (!root->GetChildAt(i, name, child) || name.Str() != "n" + std::to_string(i))
                        wrong.fetch_add(1);
                }
            }
        });
    }
    start.Open();
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
