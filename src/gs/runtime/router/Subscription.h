// A node's counted subscription to one major id: the records of the
// router's per-major trees, ordered by the node's address.
#pragma once

#include <cstdint>
#include <functional>

#include "gs/support/GSIAVLTree.h"

namespace GSRuntime {

class GSNode;

struct Subscription : Utils::GSIAVLNode {
    explicit Subscription(const GSNode* subscriber = nullptr) noexcept : node(subscriber) {}

    int Compare(const Utils::GSIAVLNode& other) const noexcept override
    {
        const GSNode* them = static_cast<const Subscription&>(other).node;
        return std::less<const GSNode*>()(node, them) ? -1 : std::less<const GSNode*>()(them, node) ? 1 : 0;
    }

    int32_t count = 0;
    const GSNode* node;
};

// The subscribers of one major id.
struct MajorSubscriptions {
    Utils::GSIAVLTree tree;
    uint32_t count = 0;  // subscriptions in the tree
};

}  // namespace GSRuntime
