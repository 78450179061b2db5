#include "core/compress/AdaptiveHuffman.h"

#include <algorithm>

namespace Nyx {

void AdaptiveHuffman::Init(uint32_t symbols)
{
    symbols = std::clamp<uint32_t>(symbols, 2, kMaxLeaves);
    leaves_ = (symbols + 1) & ~1u;
    nodes_ = 2 * leaves_ - 1;
    for (uint32_t i = 0; i < leaves_; ++i) {
        freq_[i] = 1;
        child_[i] = static_cast<uint16_t>(kLeafBit | i);
        leafOf_[i] = static_cast<uint16_t>(i);
    }
    for (uint32_t k = leaves_; k < nodes_; ++k) {
        const uint32_t first = 2 * (k - leaves_);
        freq_[k] = static_cast<uint16_t>(freq_[first] + freq_[first + 1]);
        child_[k] = static_cast<uint16_t>(first);
        parent_[first] = parent_[first + 1] = static_cast<uint16_t>(k);
    }
    parent_[Root()] = kNoNode;
}

void AdaptiveHuffman::Adopt(uint16_t child, uint32_t node) noexcept
{
    if (child & kLeafBit) {
        leafOf_[child & ~kLeafBit] = static_cast<uint16_t>(node);
    } else {
        parent_[child] = parent_[child + 1] = static_cast<uint16_t>(node);
    }
}

void AdaptiveHuffman::Update(uint32_t symbol)
{
    const uint32_t root = Root();
    if (freq_[root] >= kRebuildFrequency)
        Rebuild();
    uint32_t node = leafOf_[symbol];
    while (node != root) {
        const uint16_t f = ++freq_[node];
        if (f > freq_[node + 1]) {
            // Trade places with the last of the run of lighter nodes, so the
            // array stays ordered; each position keeps its own parent link.
            uint32_t last = node + 1;
            while (last + 1 < root && f > freq_[last + 1])
                ++last;
            freq_[node] = freq_[last];
            freq_[last] = f;
            const uint16_t mine = child_[node];
            const uint16_t theirs = child_[last];
            child_[last] = mine;
            Adopt(mine, last);
            child_[node] = theirs;
            Adopt(theirs, node);
            node = last;
        }
        node = parent_[node];
    }
    ++freq_[root];
}

void AdaptiveHuffman::Rebuild()
{
    // The leaves stay where they are; the old internal positions become the
    // free places that the new internal nodes fill in order.
    for (uint32_t i = 0; i < nodes_; ++i) {
        if (IsLeaf(i))
            freq_[i] = static_cast<uint16_t>((freq_[i] + 1) / 2);
        parent_[i] = kNoNode;
    }
    const auto isFree = [this](uint32_t i) { return !IsLeaf(i) && parent_[i] == kNoNode; };

    uint32_t scan = 0;
    uint32_t last = 0;  // where the previous new node ended up
    for (uint32_t made = 0; made + 1 < leaves_; ++made) {
        while (scan + 1 < nodes_ && parent_[scan] != kNoNode)
            ++scan;
        const uint32_t a = scan;
        scan += 2;

        uint32_t at = made == 0 ? 0 : last + 1;
        while (at < nodes_ && !isFree(at))
            ++at;
        if (at >= nodes_ || a + 1 >= nodes_)
            break;  // cannot happen on an ordered tree; leaves the tree as it is
        const uint16_t f = static_cast<uint16_t>(freq_[a] + freq_[a + 1]);
        freq_[at] = f;
        child_[at] = static_cast<uint16_t>(a);
        parent_[a] = parent_[a + 1] = static_cast<uint16_t>(at);
        last = at;

        if (at > 0 && f < freq_[at - 1]) {
            // Sink behind the last node that is not heavier; the nodes passed
            // move up one place, their parent entries stay where they are.
            uint32_t to = at - 1;
            while (to > 0 && freq_[to - 1] > f)
                --to;
            for (uint32_t m = at; m > to; --m) {
                freq_[m] = freq_[m - 1];
                child_[m] = child_[m - 1];
                Adopt(child_[m], m);
            }
            freq_[to] = f;
            child_[to] = static_cast<uint16_t>(a);
            parent_[a] = parent_[a + 1] = static_cast<uint16_t>(to);
        } else {
            // Lighter leaves further on come in front of the new node.
            for (;;) {
                uint32_t leaf = last + 1;
                while (leaf < nodes_ && !IsLeaf(leaf))
                    ++leaf;
                if (leaf >= nodes_ || freq_[leaf] >= f)
                    break;
                freq_[last] = freq_[leaf];
                child_[last] = child_[leaf];
                parent_[last] = kNoNode;
                leafOf_[child_[leaf] & ~kLeafBit] = static_cast<uint16_t>(last);
                child_[leaf] = 0;
                parent_[leaf] = kNoNode;
                ++last;
                freq_[last] = f;
                child_[last] = static_cast<uint16_t>(a);
                parent_[a] = parent_[a + 1] = static_cast<uint16_t>(last);
            }
        }
    }
    parent_[Root()] = kNoNode;
}

uint32_t AdaptiveHuffman::Code(uint32_t symbol, uint32_t (&words)[kMaxNodes / 32 + 1]) const noexcept
{
    uint8_t path[kMaxNodes];
    uint32_t n = 0;
    const uint32_t root = Root();
    for (uint32_t node = leafOf_[symbol]; node != root && n < kMaxNodes;) {
        const uint32_t up = parent_[node];
        path[n++] = static_cast<uint8_t>(node - child_[up]);
        node = up;
    }
    std::fill(std::begin(words), std::end(words), 0u);
    for (uint32_t i = 0; i < n; ++i)
        words[i >> 5] |= uint32_t(path[n - 1 - i]) << (i & 31);
    return n;
}

}  // namespace Nyx
