// Nodes handed out across the pool's blocks, small and mapped, fresh and
// kept from a pool that is gone; and the cap on the blocks kept.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "gs/compiler/parse/NodePool.h"

using GSCompiler::NodePool;
using GSCompiler::SyntaxNode;

namespace {

// Enough nodes to fill the small blocks and more than one mapped one.
constexpr uint32_t kNodes = 400000;

// Takes kNodes nodes, writes each, and reads them all back: a node written
// over by a later one would show.
void FillAndCheck(NodePool& pool)
{
    std::vector<SyntaxNode*> nodes;
    nodes.reserve(kNodes);
    for (uint32_t i = 0; i < kNodes; ++i) {
        auto* node = static_cast<SyntaxNode*>(pool.Alloc());
        ASSERT_NE(node, nullptr) << i;
        ASSERT_EQ(reinterpret_cast<uintptr_t>(node) % alignof(SyntaxNode), 0u) << i;
        *node = SyntaxNode{};
        node->line = int32_t(i);
        node->index = int32_t(~i);
        node->next = nodes.empty() ? nullptr : nodes.back();
        nodes.push_back(node);
    }
    EXPECT_EQ(pool.Count(), kNodes);
    EXPECT_GT(pool.BlockCount(), 6u);
    for (uint32_t i = 0; i < kNodes; ++i) {
        ASSERT_EQ(nodes[i]->line, int32_t(i));
        ASSERT_EQ(nodes[i]->index, int32_t(~i));
        ASSERT_EQ(nodes[i]->next, i ? nodes[i - 1] : nullptr);
    }
}

}  // namespace

TEST(NodePoolTest, BlocksOfAPoolThatIsGoneServeTheNext)
{
    // Pools made before, in this program, may have left blocks already.
    {
        NodePool first;
        FillAndCheck(first);
    }
    const size_t kept = NodePool::SpareBytes();
    EXPECT_GT(kept, 0u);
    EXPECT_LE(kept, NodePool::kMostSpareBytes);
    {
        NodePool second;
        FillAndCheck(second);
        EXPECT_LT(NodePool::SpareBytes(), kept);
    }
    EXPECT_GE(NodePool::SpareBytes(), kept);
    EXPECT_LE(NodePool::SpareBytes(), NodePool::kMostSpareBytes);
}

// Two pools grown to four of the largest blocks each give back more than
// the cap: the blocks past it are freed, so the bytes kept never pass it
// (they only grow while blocks come back), and those that fit are kept.
TEST(NodePoolTest, BlocksPastTheCapAreFreed)
{
    size_t growingBlocks = 0;
    for (size_t bytes = NodePool::kFirstBlockBytes; bytes < NodePool::kLargestBlockBytes; bytes *= 2)
        ++growingBlocks;
    // Nodes are only counted out, never written: the blocks' pages stay
    // untouched.
    const auto grown = [&] {
        auto pool = std::make_unique<NodePool>();
        while (pool->BlockCount() < growingBlocks + 4) {
            if (!pool->Alloc())
                break;
        }
        EXPECT_EQ(pool->BlockCount(), growingBlocks + 4);
        return pool;
    };
    std::unique_ptr<NodePool> pools[] = {grown(), grown()};
    for (std::unique_ptr<NodePool>& pool : pools) {
        pool.reset();
        EXPECT_LE(NodePool::SpareBytes(), NodePool::kMostSpareBytes);
    }
    EXPECT_GT(NodePool::SpareBytes(), NodePool::kMostSpareBytes - NodePool::kLargestBlockBytes);
}
