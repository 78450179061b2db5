#include "gs/compiler/parse/NodePool.h"

#include <sys/mman.h>

#include <cstdlib>
#include <mutex>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define NODE_POOL_POISON 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NODE_POOL_POISON 1
#endif
#endif
#ifdef NODE_POOL_POISON
#include <sanitizer/asan_interface.h>
#endif

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

// Blocks of pools that are gone; pools live on any thread. They are
// listed here, not chained through the blocks: a leak checker does not
// look inside mapped blocks, and would miss what only they point at.
struct Spares {
    static constexpr size_t kMostBlocks = NodePool::kMostSpareBytes / NodePool::kFirstBlockBytes;
    std::mutex lock;
    void* blocks[kMostBlocks] = {};
    size_t count = 0;
    size_t bytes = 0;
};

Spares& TheSpares()
{
    static Spares* spares = new Spares;  // lives on past static destruction
    return *spares;
}

// A kept block's nodes are not to be read: the sanitizer says so when a
// node of a pool that is gone is.
void Poison([[maybe_unused]] void* block, [[maybe_unused]] size_t bytes, [[maybe_unused]] bool on)
{
#ifdef NODE_POOL_POISON
    auto* nodes = static_cast<uint8_t*>(block) + kNodesStart;
    if (on)
        ASAN_POISON_MEMORY_REGION(nodes, bytes - kNodesStart);
    else
        ASAN_UNPOISON_MEMORY_REGION(nodes, bytes - kNodesStart);
#endif
}

}  // namespace

NodePool::~NodePool()
{
    while (Block* block = last_) {
        last_ = block->previous;
        GiveBack(block);
    }
}

size_t NodePool::SpareBytes() noexcept
{
    Spares& spares = TheSpares();
    std::lock_guard<std::mutex> hold(spares.lock);
    return spares.bytes;
}

void NodePool::Release(Block* block) noexcept
{
    if (block->mapped)
        ::munmap(block, block->bytes);
    else
        std::free(block);
}

void NodePool::GiveBack(Block* block) noexcept
{
    Spares& spares = TheSpares();
    {
        std::lock_guard<std::mutex> hold(spares.lock);
        if (spares.bytes + block->bytes <= kMostSpareBytes && spares.count < Spares::kMostBlocks) {
            Poison(block, block->bytes, true);
            block->previous = nullptr;
            spares.blocks[spares.count++] = block;
            spares.bytes += block->bytes;
            return;
        }
    }
    Release(block);
}

NodePool::Block* NodePool::TakeSpare(size_t bytes) noexcept
{
    Spares& spares = TheSpares();
    std::lock_guard<std::mutex> hold(spares.lock);
    for (size_t i = spares.count; i-- > 0;) {
        auto* block = static_cast<Block*>(spares.blocks[i]);
        if (block->bytes != bytes)
            continue;
        spares.blocks[i] = spares.blocks[--spares.count];
        spares.blocks[spares.count] = nullptr;
        spares.bytes -= block->bytes;
        Poison(block, block->bytes, false);
        return block;
    }
    return nullptr;
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
    Block* block = TakeSpare(nextBytes_);
    if (!block)
        block = NewBlock(nextBytes_);
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
