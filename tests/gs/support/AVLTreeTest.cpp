// The ordered tree: rotations both ways on insertion and removal, the
// balance marks, refused equal keys, and the fixed-stack walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "gs/support/GSIAVLTree.h"

using Utils::GSIAVLNode;
using Utils::GSIAVLTree;

namespace {

struct Key : GSIAVLNode {
    explicit Key(int k) : value(k) {}
    int Compare(const GSIAVLNode& other) const noexcept override
    {
        const int o = static_cast<const Key&>(other).value;
        return value < o ? -1 : value > o ? 1 : 0;
    }
    int value;
};

int Value(const GSIAVLNode* n) { return static_cast<const Key*>(n)->value; }

// The subtree's height, checking order and every balance mark on the way;
// -1 when something is wrong.
int Checked(const GSIAVLNode* n, int low, int high)
{
    if (!n)
        return 0;
    if (Value(n) <= low || Value(n) >= high)
        return -1;
    const int l = Checked(n->left, low, Value(n)), r = Checked(n->right, Value(n), high);
    if (l < 0 || r < 0 || std::abs(l - r) > 1)
        return -1;
    const uint32_t mark = l > r ? GSIAVLNode::kLeftHigh : l < r ? GSIAVLNode::kRightHigh : GSIAVLNode::kBalanced;
    return n->balance == mark ? 1 + std::max(l, r) : -1;
}

bool Valid(const GSIAVLTree& tree) { return Checked(tree.Root(), INT32_MIN, INT32_MAX) >= 0; }

std::vector<int> InOrder(const GSIAVLTree& tree)
{
    std::vector<int> values;
    GSIAVLTree::Iterator it;
    for (GSIAVLNode* n = it.Begin(tree); n; n = it.Next())
        values.push_back(Value(n));
    return values;
}

struct Pool {
    std::vector<std::unique_ptr<Key>> keys;
    Key& Make(int v) { return *keys.emplace_back(std::make_unique<Key>(v)); }
};

}  // namespace

TEST(AVLTreeTest, InsertionRotatesBothWays)
{
    const struct {
        const char* what;
        std::vector<int> order;
        int root;
    } cases[] = {
        {"ascending: single left rotations", {1, 2, 3, 4, 5, 6, 7}, 4},
        {"descending: single right rotations", {7, 6, 5, 4, 3, 2, 1}, 4},
        {"left then right: a double rotation", {3, 1, 2}, 2},
        {"right then left: a double rotation", {1, 3, 2}, 2},
        {"double rotations deeper down", {50, 20, 80, 10, 30, 25, 27, 26}, 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Pool pool;
        GSIAVLTree tree;
        for (int v : c.order) {
            EXPECT_TRUE(tree.Insert(pool.Make(v)));
            ASSERT_TRUE(Valid(tree));
        }
        EXPECT_EQ(Value(tree.Root()), c.root);
        std::vector<int> sorted = c.order;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(InOrder(tree), sorted);
    }
}

TEST(AVLTreeTest, AnEqualKeyIsRefusedAndFound)
{
    Pool pool;
    GSIAVLTree tree;
    Key& first = pool.Make(5);
    ASSERT_TRUE(tree.Insert(first));
    EXPECT_FALSE(tree.Insert(pool.Make(5)));
    EXPECT_EQ(tree.Find(Key(5)), &first);
    EXPECT_EQ(tree.Find(Key(6)), nullptr);
    EXPECT_EQ(InOrder(tree), std::vector<int>{5});
}

TEST(AVLTreeTest, RemovalRebalancesAndKeepsTheRest)
{
    const struct {
        const char* what;
        std::vector<int> build;
        std::vector<int> remove;
    } cases[] = {
        {"a leaf", {2, 1, 3}, {3}},
        {"a node with one child", {2, 1, 3, 4}, {3}},
        {"an inner node: its successor takes its place", {4, 2, 6, 1, 3, 5, 7}, {4}},
        {"shrinking the left side rotates left, with an even child", {2, 1, 4, 3, 5}, {1}},
        {"shrinking the right side rotates right", {4, 2, 5, 1, 3}, {5}},
        {"a double rotation on removal", {5, 2, 8, 7}, {2}},
        {"a missing key changes nothing", {1, 2, 3}, {9}},
        {"everything, root first", {1, 2, 3, 4, 5, 6, 7}, {4, 2, 6, 1, 3, 5, 7}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Pool pool;
        GSIAVLTree tree;
        std::set<int> expect(c.build.begin(), c.build.end());
        for (int v : c.build)
            tree.Insert(pool.Make(v));
        for (int v : c.remove) {
            GSIAVLNode* removed = tree.Remove(Key(v));
            EXPECT_EQ(removed != nullptr, expect.erase(v) == 1);
            if (removed) {
                EXPECT_EQ(Value(removed), v);
            }
            ASSERT_TRUE(Valid(tree));
        }
        EXPECT_EQ(InOrder(tree), std::vector<int>(expect.begin(), expect.end()));
    }
}

TEST(AVLTreeTest, MixedChangesAgainstASet)
{
    std::mt19937 random(7);
    Pool pool;
    GSIAVLTree tree;
    std::set<int> expect;
    for (int i = 0; i < 20000; ++i) {
        const int v = int(random() % 2000);
        if (random() % 3 == 0) {
            EXPECT_EQ(tree.Remove(Key(v)) != nullptr, expect.erase(v) == 1);
        } else {
            EXPECT_EQ(tree.Insert(pool.Make(v)), expect.insert(v).second);
        }
    }
    ASSERT_TRUE(Valid(tree));
    EXPECT_EQ(InOrder(tree), std::vector<int>(expect.begin(), expect.end()));
}

TEST(AVLTreeTest, AMillionAscendingKeysStayWithinTheWalksStack)
{
    constexpr int kKeys = 1000000;
    std::deque<Key> keys;
    GSIAVLTree tree;
    for (int i = 0; i < kKeys; ++i) {
        keys.emplace_back(i);
        tree.Insert(keys.back());
    }
    EXPECT_LE(tree.Height(), GSIAVLTree::kMaxHeight);
    int expected = 0;
    GSIAVLTree::Iterator it;
    for (GSIAVLNode* n = it.Begin(tree); n; n = it.Next())
        ASSERT_EQ(Value(n), expected++);
    EXPECT_EQ(expected, kKeys);
}
