// The list container of the whole program: a circular doubly linked chain of
// heap blocks, each a header {next, prev, count} followed by a fixed array of
// entries. A ring is a single pointer to its first block (null when empty).
//
// Entries never move between blocks: appending only touches the last block
// (or, for first-fit rings, the first block with room), so iterators stay
// valid across appends. A block is freed the moment it becomes empty, so no
// block in a ring is ever empty; every walk relies on that.
//
// Entries are plain bytes to the ring (copied with memcpy, moved with
// memmove), hence the trivially-copyable requirement.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

// How a ring treats a fresh block and where Append puts an entry. The default
// leaves new slots as allocated and appends behind the last entry.
struct BlockRingTraits {
    static constexpr bool kFirstFit = false;

    template <class T>
    static void InitBlock(T*, uint32_t) noexcept
    {
    }
};

// Fresh slots read as all-zero records.
struct BlockRingZeroedTraits : BlockRingTraits {
    template <class T>
    static void InitBlock(T* slots, uint32_t n) noexcept
    {
        std::memset(static_cast<void*>(slots), 0, sizeof(T) * n);
    }
};

// Append fills the first block, in ring order, that has room; a new block is
// added only when every block is full. Keeps small rings dense after erasures
// at the price of insertion order.
struct BlockRingFirstFitTraits : BlockRingTraits {
    static constexpr bool kFirstFit = true;
};

template <class T, uint32_t N>
struct BlockRingBlock {
    BlockRingBlock* next;
    BlockRingBlock* prev;
    uint32_t count;
    T entries[N];
};

template <class T, uint32_t N = 13, class Traits = BlockRingTraits>
class BlockRing {
    static_assert(std::is_trivially_copyable_v<T>, "BlockRing entries are copied as raw bytes");
    static_assert(N > 0, "a block must hold at least one entry");

public:
    using Block = BlockRingBlock<T, N>;
    static constexpr uint32_t kEntriesPerBlock = N;
    static_assert(alignof(Block) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);

    // A position: the entry, the ring's first block and the entry's block.
    // A null entry is the end.
    template <bool Const>
    class BasicIterator {
    public:
        using EntryPtr = std::conditional_t<Const, const T*, T*>;
        using BlockPtr = std::conditional_t<Const, const Block*, Block*>;

        BasicIterator() noexcept = default;
        // A mutable position converts to a read-only one.
        template <bool C = Const, class = std::enable_if_t<C>>
        BasicIterator(const BasicIterator<false>& o) noexcept
            : entry_(o.Entry()), first_(o.First()), block_(o.BlockOf())
        {
        }

        bool AtEnd() const noexcept { return entry_ == nullptr; }
        EntryPtr Entry() const noexcept { return entry_; }
        BlockPtr First() const noexcept { return first_; }
        BlockPtr BlockOf() const noexcept { return block_; }
        // Index of the entry within its block.
        uint32_t IndexInBlock() const noexcept { return static_cast<uint32_t>(entry_ - block_->entries); }

        auto& operator*() const noexcept { return *entry_; }
        EntryPtr operator->() const noexcept { return entry_; }

        BasicIterator& operator++() noexcept
        {
            BlockRing::IteratorNext(*this);
            return *this;
        }
        BasicIterator operator++(int) noexcept
        {
            BasicIterator copy = *this;
            BlockRing::IteratorNext(*this);
            return copy;
        }

        friend bool operator==(const BasicIterator& a, const BasicIterator& b) noexcept
        {
            return a.entry_ == b.entry_;
        }

    private:
        friend class BlockRing;

        BasicIterator(EntryPtr entry, BlockPtr first, BlockPtr block) noexcept
            : entry_(entry), first_(first), block_(block)
        {
        }

        EntryPtr entry_ = nullptr;
        BlockPtr first_ = nullptr;
        BlockPtr block_ = nullptr;
    };

    using Iterator = BasicIterator<false>;
    using ConstIterator = BasicIterator<true>;

    BlockRing() noexcept = default;
    BlockRing(const BlockRing&) = delete;
    BlockRing& operator=(const BlockRing&) = delete;
    BlockRing(BlockRing&& o) noexcept : first_(std::exchange(o.first_, nullptr)) {}
    BlockRing& operator=(BlockRing&& o) noexcept
    {
        if (this != &o) {
            Clear();
            first_ = std::exchange(o.first_, nullptr);
        }
        return *this;
    }
    ~BlockRing() { Clear(); }

    Block* FirstBlock() noexcept { return first_; }
    const Block* FirstBlock() const noexcept { return first_; }
    bool Empty() const noexcept { return first_ == nullptr; }

    void Append(const T& entry)
    {
        Block* block = BlockWithRoom();
        std::memcpy(static_cast<void*>(&block->entries[block->count]), &entry, sizeof(T));
        ++block->count;
    }

    uint32_t Count() const noexcept
    {
        uint32_t total = 0;
        if (const Block* b = first_) {
            do {
                total += b->count;
                b = b->next;
            } while (b != first_);
        }
        return total;
    }

    void Clear() noexcept
    {
        FreeChain(first_);
        first_ = nullptr;
    }

    // Deletes every owned object in ring order, then frees the blocks. The
    // ring is detached first, so a destructor that looks at (or erases from)
    // this ring finds it empty instead of walking freed blocks.
    void DeleteAll() noexcept
        requires(std::is_pointer_v<T> && !std::is_void_v<std::remove_pointer_t<T>>)
    {
        Block* first = std::exchange(first_, nullptr);
        if (Block* b = first) {
            do {
                for (uint32_t i = 0; i < b->count; ++i)
                    delete b->entries[i];
                b = b->next;
            } while (b != first);
        }
        FreeChain(first);
    }

    Iterator IteratorBegin() noexcept { return BeginOf<Iterator>(first_); }
    ConstIterator IteratorBegin() const noexcept { return BeginOf<ConstIterator>(first_); }
    Iterator IteratorAt(int64_t n) noexcept
    {
        Iterator it = IteratorBegin();
        IteratorAdvance(it, n);
        return it;
    }
    ConstIterator IteratorAt(int64_t n) const noexcept
    {
        ConstIterator it = IteratorBegin();
        IteratorAdvance(it, n);
        return it;
    }

    Iterator begin() noexcept { return IteratorBegin(); }
    Iterator end() noexcept { return {}; }
    ConstIterator begin() const noexcept { return IteratorBegin(); }
    ConstIterator end() const noexcept { return {}; }

    // First entry equal to the key, in ring order; the end when none is.
    Iterator Find(const T& key) noexcept { return FindIn<Iterator>(first_, key); }
    ConstIterator Find(const T& key) const noexcept { return FindIn<ConstIterator>(first_, key); }

    template <bool C>
    static void IteratorNext(BasicIterator<C>& it) noexcept
    {
        if (!it.entry_)
            return;
        ++it.entry_;
        if (it.entry_ == it.block_->entries + it.block_->count) {
            it.block_ = it.block_->next;
            if (it.block_ == it.first_)
                it = {};
            else
                it.entry_ = it.block_->entries;
        }
    }

    // Moves by n entries, forwards or backwards; leaving the ring at either
    // side gives the end. The end stays the end.
    template <bool C>
    static void IteratorAdvance(BasicIterator<C>& it, int64_t n) noexcept
    {
        AdvanceForward(it, n);
    }

    // Ordered erase: the rest of the block moves down one slot. Returns the
    // position of the entry that followed the erased one (the end when it was
    // the last). Other iterators into the same block, or into a block this
    // frees, are invalidated.
    Iterator Erase(Iterator it) noexcept
    {
        if (!it.entry_)
            return {};
        assert(it.first_ == first_);
        Block* block = it.block_;
        uint32_t index = it.IndexInBlock();
        uint32_t behind = block->count - index - 1;
        if (behind)
            std::memmove(static_cast<void*>(it.entry_), it.entry_ + 1, behind * sizeof(T));
        --block->count;
        return AfterRemoval(block, index);
    }

    // Unordered erase: the last entry of the same block fills the slot. The
    // returned position is the slot itself (now holding the moved entry, not
    // yet visited) or, when the slot was the block's last, the next block.
    Iterator EraseUnordered(Iterator it) noexcept
    {
        if (!it.entry_)
            return {};
        assert(it.first_ == first_);
        Block* block = it.block_;
        uint32_t index = it.IndexInBlock();
        uint32_t last = block->count - 1;
        if (index != last)
            std::memcpy(static_cast<void*>(it.entry_), &block->entries[last], sizeof(T));
        --block->count;
        return AfterRemoval(block, index);
    }

private:
    template <class It, class B>
    static It BeginOf(B* first) noexcept
    {
        return first ? It(first->entries, first, first) : It();
    }

    template <class It, class B>
    static It FindIn(B* first, const T& key) noexcept
    {
        if (B* b = first) {
            do {
                for (uint32_t i = 0; i < b->count; ++i) {
                    if (b->entries[i] == key)
                        return It(&b->entries[i], first, b);
                }
                b = b->next;
            } while (b != first);
        }
        return It();
    }

    // The forward and backward walks hand a negative step to each other.
    template <bool C>
    static void AdvanceForward(BasicIterator<C>& it, int64_t n) noexcept
    {
        if (n < 0) {
            // INT64_MIN has no positive twin; INT64_MAX steps back leave any
            // ring just the same.
            AdvanceBackward(it, n == INT64_MIN ? INT64_MAX : -n);
            return;
        }
        if (!it.entry_)
            return;
        auto block = it.block_;
        uint64_t index = it.IndexInBlock() + uint64_t(n);
        while (index >= block->count) {
            index -= block->count;
            block = block->next;
            if (block == it.first_) {
                it = {};
                return;
            }
        }
        it.block_ = block;
        it.entry_ = block->entries + index;
    }

    template <bool C>
    static void AdvanceBackward(BasicIterator<C>& it, int64_t n) noexcept
    {
        if (n < 0) {
            AdvanceForward(it, n == INT64_MIN ? INT64_MAX : -n);
            return;
        }
        if (!it.entry_)
            return;
        auto block = it.block_;
        uint64_t index = it.IndexInBlock();
        uint64_t steps = uint64_t(n);
        if (steps <= index) {
            it.entry_ -= steps;
            return;
        }
        // Steps left once at the block's entry 0; each earlier block is
        // counted from its end, so one step lands on its last entry.
        steps -= index;
        for (;;) {
            if (block == it.first_) {
                it = {};
                return;
            }
            block = block->prev;
            if (steps <= block->count) {
                it.block_ = block;
                it.entry_ = block->entries + (block->count - steps);
                return;
            }
            steps -= block->count;
        }
    }

    Block* NewBlock()
    {
        Block* b = static_cast<Block*>(::operator new(sizeof(Block)));
        b->count = 0;
        Traits::InitBlock(b->entries, N);
        return b;
    }

    Block* BlockWithRoom()
    {
        if (!first_) {
            Block* b = NewBlock();
            b->next = b;
            b->prev = b;
            first_ = b;
            return b;
        }
        if constexpr (Traits::kFirstFit) {
            Block* b = first_;
            do {
                if (b->count < N)
                    return b;
                b = b->next;
            } while (b != first_);
        }
        Block* last = first_->prev;
        if (last->count < N)
            return last;
        Block* b = NewBlock();
        b->prev = last;
        b->next = first_;
        last->next = b;
        first_->prev = b;
        return b;
    }

    // Position after an entry was taken out of slot `index` of `block`; frees
    // the block when that emptied it.
    Iterator AfterRemoval(Block* block, uint32_t index) noexcept
    {
        if (block->count == 0) {
            Block* following = block->next;
            if (following == block) {
                ::operator delete(block);
                first_ = nullptr;
                return {};
            }
            bool wasFirst = block == first_;
            block->prev->next = following;
            following->prev = block->prev;
            ::operator delete(block);
            if (wasFirst) {
                // The next entry in order is now the first of the ring, not
                // the end: erase-while-iterating must go on from here.
                first_ = following;
                return Iterator(following->entries, first_, following);
            }
            if (following == first_)
                return {};
            return Iterator(following->entries, first_, following);
        }
        if (index < block->count)
            return Iterator(&block->entries[index], first_, block);
        Block* following = block->next;
        if (following == first_)
            return {};
        return Iterator(following->entries, first_, following);
    }

    static void FreeChain(Block* first) noexcept
    {
        if (!first)
            return;
        Block* b = first;
        do {
            Block* next = b->next;
            ::operator delete(b);
            b = next;
        } while (b != first);
    }

    Block* first_ = nullptr;
};

// The variants in use. Entry sizes follow the stored type; block capacities
// are fixed per variant.

// Owned or borrowed object pointers, 13 a block.
template <class P>
    requires std::is_pointer_v<P>
using PointerBlockRing = BlockRing<P, 13>;

// Small pointer sets, 4 a block, holes refilled before a block is added.
template <class P>
    requires std::is_pointer_v<P>
using SmallPointerRing = BlockRing<P, 4, BlockRingFirstFitTraits>;

// Job-queue records, 13 a block, fresh slots zeroed.
template <class Job>
using JobRecordRing = BlockRing<Job, 13, BlockRingZeroedTraits>;

// Edit-overlay entries of a binary config file, 16 a block.
template <class Entry>
using OverlayBlockRing = BlockRing<Entry, 16>;

// Small records (8- and 12-byte entries), 13 a block.
template <class Record>
using RecordBlockRing = BlockRing<Record, 13>;
