// Nodes handed out across the pool's blocks, small and mapped.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "gs/compiler/parse/NodePool.h"

using GSCompiler::NodePool;
using GSCompiler::SyntaxNode;

TEST(NodePoolTest, NodesStayApartAndKeepTheirWordsAcrossBlocks)
{
    // Enough nodes to fill the small blocks and more than one mapped one.
    constexpr uint32_t kNodes = 400000;
    NodePool pool;
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
    // A node written over by a later one would show here.
    for (uint32_t i = 0; i < kNodes; ++i) {
        ASSERT_EQ(nodes[i]->line, int32_t(i));
        ASSERT_EQ(nodes[i]->index, int32_t(~i));
        ASSERT_EQ(nodes[i]->next, i ? nodes[i - 1] : nullptr);
    }
}
