#include "gs/support/GSIAVLTree.h"

#include <algorithm>

namespace Utils {

namespace {

using Node = GSIAVLNode;
constexpr uint32_t kLeft = GSIAVLNode::kLeftHigh;
constexpr uint32_t kEven = GSIAVLNode::kBalanced;
constexpr uint32_t kRight = GSIAVLNode::kRightHigh;

Node* RotateRight(Node* n) noexcept
{
    Node* l = n->left;
    n->left = l->right;
    l->right = n;
    return l;
}

Node* RotateLeft(Node* n) noexcept
{
    Node* r = n->right;
    n->right = r->left;
    r->left = n;
    return r;
}

// The balances of the two nodes a double rotation moves below the
// grandchild, from the grandchild's former balance.
void SpreadBalance(Node* grandchild, Node* leftOne, Node* rightOne) noexcept
{
    leftOne->balance = grandchild->balance == kRight ? kLeft : kEven;
    rightOne->balance = grandchild->balance == kLeft ? kRight : kEven;
    grandchild->balance = kEven;
}

// n's left side is two levels higher than its right: rotate. Returns the
// new subtree root; `sameHeight` tells whether the subtree kept its height
// (only after removal, with an even child).
Node* FixLeftHeavy(Node* n, bool& sameHeight) noexcept
{
    Node* l = n->left;
    sameHeight = false;
    if (l->balance == kLeft || l->balance == kEven) {
        const bool even = l->balance == kEven;
        Node* top = RotateRight(n);
        n->balance = even ? kLeft : kEven;
        top->balance = even ? kRight : kEven;
        sameHeight = even;
        return top;
    }
    Node* g = l->right;
    n->left = RotateLeft(l);
    Node* top = RotateRight(n);
    SpreadBalance(g, l, n);
    return top;
}

Node* FixRightHeavy(Node* n, bool& sameHeight) noexcept
{
    Node* r = n->right;
    sameHeight = false;
    if (r->balance == kRight || r->balance == kEven) {
        const bool even = r->balance == kEven;
        Node* top = RotateLeft(n);
        n->balance = even ? kRight : kEven;
        top->balance = even ? kLeft : kEven;
        sameHeight = even;
        return top;
    }
    Node* g = r->left;
    n->right = RotateRight(r);
    Node* top = RotateLeft(n);
    SpreadBalance(g, n, r);
    return top;
}

// Insertion: `grew` comes in true when the side just changed grew, and
// goes out true when this subtree grew.
Node* LeftGrew(Node* n, bool& grew) noexcept
{
    if (n->balance == kEven) {
        n->balance = kLeft;
        return n;
    }
    grew = false;
    if (n->balance == kRight) {
        n->balance = kEven;
        return n;
    }
    bool unused;
    return FixLeftHeavy(n, unused);
}

Node* RightGrew(Node* n, bool& grew) noexcept
{
    if (n->balance == kEven) {
        n->balance = kRight;
        return n;
    }
    grew = false;
    if (n->balance == kLeft) {
        n->balance = kEven;
        return n;
    }
    bool unused;
    return FixRightHeavy(n, unused);
}

// Removal: `shrank` comes in true when the side just changed shrank, and
// goes out true when this subtree shrank.
Node* LeftShrank(Node* n, bool& shrank) noexcept
{
    if (n->balance == kLeft) {
        n->balance = kEven;
        return n;
    }
    if (n->balance == kEven) {
        n->balance = kRight;
        shrank = false;
        return n;
    }
    bool sameHeight;
    Node* top = FixRightHeavy(n, sameHeight);
    shrank = !sameHeight;
    return top;
}

Node* RightShrank(Node* n, bool& shrank) noexcept
{
    if (n->balance == kRight) {
        n->balance = kEven;
        return n;
    }
    if (n->balance == kEven) {
        n->balance = kLeft;
        shrank = false;
        return n;
    }
    bool sameHeight;
    Node* top = FixLeftHeavy(n, sameHeight);
    shrank = !sameHeight;
    return top;
}

Node* InsertAt(Node* n, Node& node, bool& grew, bool& inserted) noexcept
{
    if (!n) {
        node.left = node.right = nullptr;
        node.balance = kEven;
        grew = inserted = true;
        return &node;
    }
    const int c = node.Compare(*n);
    if (c == 0) {
        grew = false;
        return n;
    }
    if (c < 0) {
        n->left = InsertAt(n->left, node, grew, inserted);
        return grew ? LeftGrew(n, grew) : n;
    }
    n->right = InsertAt(n->right, node, grew, inserted);
    return grew ? RightGrew(n, grew) : n;
}

// Unlinks the leftmost node of the subtree into `lowest`.
Node* RemoveLowest(Node* n, Node*& lowest, bool& shrank) noexcept
{
    if (!n->left) {
        lowest = n;
        shrank = true;
        return n->right;
    }
    n->left = RemoveLowest(n->left, lowest, shrank);
    return shrank ? LeftShrank(n, shrank) : n;
}

Node* RemoveAt(Node* n, const Node& key, Node*& removed, bool& shrank) noexcept
{
    if (!n) {
        shrank = false;
        return nullptr;
    }
    const int c = n->Compare(key);
    if (c > 0) {
        n->left = RemoveAt(n->left, key, removed, shrank);
        return shrank ? LeftShrank(n, shrank) : n;
    }
    if (c < 0) {
        n->right = RemoveAt(n->right, key, removed, shrank);
        return shrank ? RightShrank(n, shrank) : n;
    }
    removed = n;
    shrank = true;
    if (!n->left || !n->right)
        return n->left ? n->left : n->right;
    // An inner node: its in-order successor takes its place.
    Node* next = nullptr;
    Node* right = RemoveLowest(n->right, next, shrank);
    next->left = n->left;
    next->right = right;
    next->balance = n->balance;
    return shrank ? RightShrank(next, shrank) : next;
}

int HeightOf(const Node* n) noexcept
{
    return n ? 1 + std::max(HeightOf(n->left), HeightOf(n->right)) : 0;
}

}  // namespace

GSIAVLNode* GSIAVLTree::Find(const GSIAVLNode& key) const noexcept
{
    GSIAVLNode* n = root_;
    while (n) {
        const int c = n->Compare(key);
        if (c == 0)
            return n;
        n = c < 0 ? n->right : n->left;
    }
    return nullptr;
}

bool GSIAVLTree::Insert(GSIAVLNode& node) noexcept
{
    bool grew = false, inserted = false;
    root_ = InsertAt(root_, node, grew, inserted);
    return inserted;
}

GSIAVLNode* GSIAVLTree::Remove(const GSIAVLNode& key) noexcept
{
    GSIAVLNode* removed = nullptr;
    bool shrank = false;
    root_ = RemoveAt(root_, key, removed, shrank);
    if (removed)
        removed->left = removed->right = nullptr;
    return removed;
}

int GSIAVLTree::Height() const noexcept { return HeightOf(root_); }

void GSIAVLTree::Iterator::PushLeft(GSIAVLNode* node) noexcept
{
    // A balanced tree never gets this deep; a deeper one ends the walk
    // early rather than overrun the stack.
    for (; node && depth_ < kMaxHeight; node = node->left)
        stack_[depth_++] = node;
}

GSIAVLNode* GSIAVLTree::Iterator::Begin(const GSIAVLTree& tree) noexcept
{
    depth_ = 0;
    started_ = true;
    PushLeft(tree.root_);
    return Next();
}

GSIAVLNode* GSIAVLTree::Iterator::Next() noexcept
{
    if (!started_ || depth_ == 0)
        return nullptr;
    GSIAVLNode* node = stack_[--depth_];
    PushLeft(node->right);
    return node;
}

}  // namespace Utils
