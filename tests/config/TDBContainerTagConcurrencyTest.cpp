#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <string>
#include <vector>

#include "config/tree/TDBContainerTag.h"
#include "config/tree/TDBDataTag.h"
#include "core/ConcurrencyTestSupport.h"

namespace {

using Tag = TDBContainerTag;

// What a walk by index found, child by child; empty once any index answered
// wrong.
struct WalkResult {
    std::vector<ACSChunk*> chunks;
    uint64_t steps = 0;
};

// Walks the container's children (and the children of each child container)
// by index: forwards, backwards, or in strides that keep jumping back.
WalkResult WalkAll(const ChunkRef& root, int how)
{
    WalkResult result;
    uint64_t before = Tag::ThreadIndexSteps();
    uint32_t count = root.ChildCount();
    result.chunks.resize(count);
    for (uint32_t k = 0; k < count; ++k) {
        uint32_t i = how == 0 ? k : how == 1 ? count - 1 - k : uint32_t((uint64_t(k) * 7) % count);
        Nyx::PString name;
        ChunkRef child;
        if (!root->GetChildAt(i, name, child) || name.Str() != "n" + std::to_string(i % 97))
            return {};
        result.chunks[i] = child.Get();
        for (uint32_t j = 0; j < child.ChildCount(); ++j) {
            if (Tag::GetChildName(child, j).Str() != "inner")
                return {};
        }
    }
    result.steps = Tag::ThreadIndexSteps() - before;
    return result;
}

// A built tree is shared the way loaded configs are: several threads list
// the children of the same containers at once, each in its own order, and
// each keeps its own places in them. Between rounds the tree is edited with
// the walkers at rest; places they kept from before must not be used.
TEST(TDBContainerTagConcurrencyTest, ThreadsWalkingOneTreeSeeItsChildren)
{
    constexpr uint32_t kCount = 13 * 300;
    ChunkRef root;
    root.EnsureContainer();
    std::vector<ACSChunk*> expected;
    for (uint32_t i = 0; i < kCount; ++i) {
        ChunkRef child;
        if (i % 50 == 0) {
            // Walked in the middle of the parent's walk, by every thread.
            child = ChunkRef(new TDBContainerTag);
            for (int j = 0; j < 30; ++j)
                child->AddChild("inner", ChunkRef(new TDBDataTag));
        } else {
            child = ChunkRef(new TDBDataTag);
        }
        root->AddChild(Nyx::PString("n" + std::to_string(i % 97)), child);
        expected.push_back(child.Get());
    }

    constexpr int kThreads = 6;
    std::vector<std::unique_ptr<concurrencytest::TaskThread>> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.push_back(std::make_unique<concurrencytest::TaskThread>());
    auto round = [&](const char* what) {
        std::vector<std::future<WalkResult>> walks;
        for (int t = 0; t < kThreads; ++t)
            walks.push_back(threads[size_t(t)]->Post([&root, t] { return WalkAll(root, t % 3); }));
        for (int t = 0; t < kThreads; ++t) {
            WalkResult result = walks[size_t(t)].get();
            EXPECT_EQ(result.chunks, expected) << what << ", thread " << t;
            // Linear in the children, the stride's jumps back included: a
            // walk from the start for each child would take ~150,000 steps.
            EXPECT_LE(result.steps, 8u * kCount / 13) << what << ", thread " << t;
        }
    };
    round("as built");

    // Keep the names in step with the indices: take children out in runs
    // of 97, from the middle and from the first block.
    for (uint32_t at : {1000u, 0u}) {
        for (uint32_t k = 0; k < 97; ++k) {
            root->RemoveChild(ChunkRef(expected[at]));
            expected.erase(expected.begin() + at);
        }
    }
    round("after removals");

    root->SortChildren();
    expected.clear();
    for (uint32_t i = 0; i < root.ChildCount(); ++i) {
        Nyx::PString name;
        ChunkRef child;
        root->GetChildAt(i, name, child);
        expected.push_back(child.Get());
    }
    for (auto& thread : threads) {
        // Sorted names no longer follow the indices; the walkers check
        // only what they found against each other.
        WalkResult result = thread->Run([&root] {
            WalkResult r;
            r.chunks.resize(root.ChildCount());
            for (uint32_t i = uint32_t(r.chunks.size()); i-- > 0;) {
                Nyx::PString name;
                ChunkRef child;
                root->GetChildAt(i, name, child);
                r.chunks[i] = child.Get();
            }
            return r;
        });
        EXPECT_EQ(result.chunks, expected) << "after sorting";
    }
}

}  // namespace
