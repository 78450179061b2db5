// The tracked-object table of a script context: every script instance,
// array and string made in the context holds one slot of it, so that the
// context can free them all when it ends, cycles included.
//
// Slots come in blocks of 1022; a block is taken from the heap when no
// block has a free slot and is freed with the table.
#pragma once

#include <cstdint>

namespace GSRuntime {

class GSContext;
class TrackedObjectTable;
struct TrackedBlock;

class GSTrackedObject {
public:
    GSTrackedObject() = default;
    GSTrackedObject(const GSTrackedObject&) = delete;
    GSTrackedObject& operator=(const GSTrackedObject&) = delete;
    virtual ~GSTrackedObject() = default;

    // The three passes of the sweep.
    virtual void Mark() {}
    virtual void ReleaseContents() {}
    // Leaves the table.
    virtual void Detach();

    // The context whose table holds this, or null.
    GSContext* Context() const noexcept;
    bool Tracked() const noexcept { return slot_ != nullptr; }

private:
    friend class TrackedObjectTable;
    struct TrackedSlot* slot_ = nullptr;
};

struct TrackedSlot {
    GSTrackedObject* object;  // null while free
    TrackedSlot* nextFree;
    TrackedBlock* block;
};

struct TrackedBlock {
    static constexpr uint32_t kSlots = 1022;
    TrackedSlot* freeList;
    TrackedBlock* next;
    TrackedObjectTable* table;
    uint32_t used;
    TrackedSlot slots[kSlots];
};

class TrackedObjectTable {
public:
    explicit TrackedObjectTable(GSContext* context) noexcept : context_(context) {}
    TrackedObjectTable(const TrackedObjectTable&) = delete;
    TrackedObjectTable& operator=(const TrackedObjectTable&) = delete;
    // Sweeps what is left, then frees the blocks.
    ~TrackedObjectTable();

    // Takes a slot for the object: a free one of the current block, else of
    // any block, else of a new block.
    void Register(GSTrackedObject& object);
    void Remove(GSTrackedObject& object) noexcept;
    // Mark, release contents, detach: every tracked object leaves the table,
    // and script instances, arrays and strings are freed.
    void Sweep();

    GSContext* Context() const noexcept { return context_; }
    uint32_t Count() const noexcept { return count_; }
    uint32_t BlockCount() const noexcept { return blockCount_; }

private:
    TrackedBlock* NewBlock();
    template <class Pass>
    void EachObject(Pass pass);

    GSContext* context_;
    TrackedBlock* first_ = nullptr;
    TrackedBlock* current_ = nullptr;
    uint32_t blockCount_ = 0;
    uint32_t count_ = 0;
};

}  // namespace GSRuntime
