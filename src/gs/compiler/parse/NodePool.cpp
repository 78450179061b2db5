#include "gs/compiler/parse/NodePool.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>

namespace GSCompiler {

namespace {

constexpr size_t kNodesStart = (sizeof(void*) * 3 + alignof(SyntaxNode) - 1) & ~(alignof(SyntaxNode) - 1);

// `bytes` on a boundary of `bytes`' own alignment (a power of two), or
// null: the mapping is made larger, and what lies outside is given back.
void* MapAligned(size_t bytes, size_t alignment) noexcept
{
    void* raw = ::mmap(nullptr, bytes + alignment, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + alignment - 1) & ~uintptr_t(alignment - 1);
    if (aligned > start)
        ::munmap(raw, aligned - start);
    const uintptr_t tail = start + bytes + alignment - (aligned + bytes);
    if (tail > 0)
        ::munmap(reinterpret_cast<void*>(aligned + bytes), tail);
#ifdef MADV_HUGEPAGE
    // Refused where the kernel has no huge pages: small pages then.
    ::madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<void*>(aligned);
}

}  // namespace

NodePool::~NodePool()
{
    while (Block* block = last_) {
        last_ = block->previous;
        if (block->mapped)
            ::munmap(block, block->bytes);
        else
            std::free(block);
    }
}

NodePool::Block* NodePool::NewBlock(size_t bytes) noexcept
{
    void* memory = nullptr;
    bool mapped = false;
    if (bytes >= kMappedBlockBytes) {
        memory = MapAligned(bytes, kMappedBlockBytes);
        mapped = memory != nullptr;
    }
    if (!memory)
        memory = std::malloc(bytes);
    if (!memory)
        return nullptr;
    return new (memory) Block{nullptr, bytes, mapped};
}

void* NodePool::AllocSlow()
{
    static_assert(kNodesStart >= sizeof(Block), "a block's nodes follow its header");
    Block* block = NewBlock(nextBytes_);
    if (!block)
        return nullptr;
    block->previous = last_;
    last_ = block;
    ++blocks_;
    auto* base = reinterpret_cast<uint8_t*>(block);
    next_ = reinterpret_cast<SyntaxNode*>(base + kNodesStart);
    end_ = next_ + (block->bytes - kNodesStart) / sizeof(SyntaxNode);
    if (nextBytes_ < kLargestBlockBytes)
        nextBytes_ *= 2;
    ++count_;
    return next_++;
}

}  // namespace GSCompiler
