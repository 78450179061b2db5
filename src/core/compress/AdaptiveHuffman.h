// The adaptive Huffman model of the LZSS codec's entropy-coded levels.
//
// A tree of 2N - 1 nodes over N leaves kept in one array ordered by
// frequency, siblings side by side, the root last. Coder and decoder run the
// same updates after every symbol, so they agree on every code without ever
// sending a table. The node layout, the update and the halving rebuild are
// part of the stream format: any change makes old streams unreadable.
#pragma once

#include <array>
#include <cstdint>

namespace Nyx {

class AdaptiveHuffman {
public:
    static constexpr uint32_t kMaxLeaves = 274;
    static constexpr uint32_t kMaxNodes = 2 * kMaxLeaves - 1;
    static constexpr uint16_t kNoNode = 0xFFFF;
    // Set in a child entry that holds a symbol rather than a node position.
    static constexpr uint16_t kLeafBit = 0x8000;
    // A root frequency that makes the next update halve the leaves first.
    static constexpr uint32_t kRebuildFrequency = 0x8000;

    // Symbol counts are rounded up to an even leaf count.
    explicit AdaptiveHuffman(uint32_t symbols = 2) { Init(symbols); }

    // Every leaf frequency 1 at the position of its symbol, internal node
    // k >= N over leaves 2(k - N) and 2(k - N) + 1.
    void Init(uint32_t symbols);

    // Rebuilds first when the root has reached kRebuildFrequency, then
    // counts one more use of the symbol, keeping the array ordered.
    void Update(uint32_t symbol);
    // Halves the leaf frequencies and rebuilds the tree in place.
    void Rebuild();

    uint32_t LeafCount() const noexcept { return leaves_; }
    uint32_t NodeCount() const noexcept { return nodes_; }
    uint32_t Root() const noexcept { return nodes_ - 1; }
    uint16_t Frequency(uint32_t node) const noexcept { return freq_[node]; }
    uint16_t Parent(uint32_t node) const noexcept { return parent_[node]; }
    // The first of the node's two children, or kLeafBit | symbol for a leaf.
    uint16_t Child(uint32_t node) const noexcept { return child_[node]; }
    uint16_t LeafOf(uint32_t symbol) const noexcept { return leafOf_[symbol]; }

    // The symbol's code, first bit in bit 0 of words[0]: bits are packed 32 to
    // a word. Returns the bit count.
    uint32_t Code(uint32_t symbol, uint32_t (&words)[kMaxNodes / 32 + 1]) const noexcept;

private:
    bool IsLeaf(uint32_t node) const noexcept { return (child_[node] & kLeafBit) != 0; }
    // Points the parent links of `child`'s pair (or the leaf position of its
    // symbol) at `node`.
    void Adopt(uint16_t child, uint32_t node) noexcept;

    uint32_t leaves_ = 0;
    uint32_t nodes_ = 0;
    std::array<uint16_t, kMaxNodes> freq_{};
    std::array<uint16_t, kMaxNodes> parent_{};
    std::array<uint16_t, kMaxNodes> child_{};
    std::array<uint16_t, kMaxLeaves> leafOf_{};
};

}  // namespace Nyx
