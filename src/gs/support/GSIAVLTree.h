// Height-balanced binary search tree of intrusive nodes that order
// themselves through a virtual comparison. The tree owns nothing: records
// derive from GSIAVLNode and the caller allocates and frees them.
#pragma once

#include <cstdint>

namespace Utils {

class GSIAVLNode {
public:
    // Balance.
    static constexpr uint32_t kLeftHigh = 0;
    static constexpr uint32_t kBalanced = 1;
    static constexpr uint32_t kRightHigh = 2;

    GSIAVLNode() = default;
    GSIAVLNode(const GSIAVLNode&) = delete;
    GSIAVLNode& operator=(const GSIAVLNode&) = delete;
    virtual ~GSIAVLNode() = default;

    // Negative when this node sorts before `other`, 0 when they are equal,
    // positive when it sorts after.
    virtual int Compare(const GSIAVLNode& other) const noexcept = 0;

    uint32_t balance = kBalanced;
    GSIAVLNode* left = nullptr;
    GSIAVLNode* right = nullptr;
};

class GSIAVLTree {
public:
    // The deepest tree the iterator walks. A tree this high needs millions
    // of nodes more than any router holds.
    static constexpr int kMaxHeight = 32;

    GSIAVLTree() = default;
    GSIAVLTree(const GSIAVLTree&) = delete;
    GSIAVLTree& operator=(const GSIAVLTree&) = delete;

    // The node equal to the key, or null.
    GSIAVLNode* Find(const GSIAVLNode& key) const noexcept;
    // Links the node in; false, with the tree unchanged, when a node equal
    // to it is there already.
    bool Insert(GSIAVLNode& node) noexcept;
    // Unlinks the node equal to the key and gives it back (null when none).
    GSIAVLNode* Remove(const GSIAVLNode& key) noexcept;

    GSIAVLNode* Root() const noexcept { return root_; }
    bool Empty() const noexcept { return root_ == nullptr; }
    // Levels from the root to the deepest leaf (0 when empty); walks the
    // whole tree.
    int Height() const noexcept;

    // In-order walk with a fixed stack; the tree must not change while it
    // walks.
    class Iterator {
    public:
        // The first node in order, or null.
        GSIAVLNode* Begin(const GSIAVLTree& tree) noexcept;
        // The node after the last one given, or null at the end.
        GSIAVLNode* Next() noexcept;

    private:
        void PushLeft(GSIAVLNode* node) noexcept;

        GSIAVLNode* stack_[kMaxHeight];
        int depth_ = 0;
        bool started_ = false;
    };

private:
    GSIAVLNode* root_ = nullptr;
};

}  // namespace Utils
