// The memory of one file's syntax nodes. Nodes are never freed one by one,
// only all together with the pool, so they are carved in order from blocks
// that grow with the file: a small first block for the usual small script,
// then each twice the last up to a cap. A large program makes hundreds of
// thousands of nodes, tens of megabytes written once and read twice; the
// large blocks are mapped on 2 MiB boundaries and offered to the kernel for
// huge pages, as one fault for each 2 MiB costs far less than 512.
//
// A program that compiles file after file would have the kernel zero a
// large program's tens of megabytes afresh for each: the blocks of a pool
// that is gone are kept, up to kMostSpareBytes in all, for the next pool
// to take.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gs/compiler/parse/SyntaxNode.h"

namespace GSCompiler {

class NodePool {
public:
    static constexpr size_t kFirstBlockBytes = 64 * 1024;
    static constexpr size_t kLargestBlockBytes = 8 * 1024 * 1024;
    // From this size on a block is mapped, aligned, for huge pages.
    static constexpr size_t kMappedBlockBytes = 2 * 1024 * 1024;
    static constexpr size_t kMostSpareBytes = 64 * 1024 * 1024;

    NodePool() = default;
    NodePool(const NodePool&) = delete;
    NodePool& operator=(const NodePool&) = delete;
    ~NodePool();

    // Room for one node, not initialised; null when memory runs out.
    void* Alloc()
    {
        if (next_ != end_) {
            ++count_;
            return next_++;
        }
        return AllocSlow();
    }
    uint32_t Count() const noexcept { return count_; }
    size_t BlockCount() const noexcept { return blocks_; }
    // The bytes of the blocks kept for pools to come.
    static size_t SpareBytes() noexcept;

private:
    struct Block {
        Block* previous;
        size_t bytes;
        bool mapped;
    };
    void* AllocSlow();
    static Block* NewBlock(size_t bytes) noexcept;
    static Block* TakeSpare(size_t bytes) noexcept;
    // Keeps the block for a later pool, or frees it when enough are kept.
    static void GiveBack(Block* block) noexcept;
    static void Release(Block* block) noexcept;

    SyntaxNode* next_ = nullptr;
    SyntaxNode* end_ = nullptr;
    Block* last_ = nullptr;
    size_t nextBytes_ = kFirstBlockBytes;
    size_t blocks_ = 0;
    uint32_t count_ = 0;
};

}  // namespace GSCompiler
