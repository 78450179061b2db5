#include "gs/runtime/objects/TrackedObjects.h"

#include <new>

namespace GSRuntime {

void GSTrackedObject::Detach()
{
    if (slot_)
        slot_->block->table->Remove(*this);
}

GSContext* GSTrackedObject::Context() const noexcept { return slot_ ? slot_->block->table->Context() : nullptr; }

TrackedObjectTable::~TrackedObjectTable()
{
    Sweep();
    while (first_) {
        TrackedBlock* next = first_->next;
        delete first_;
        first_ = next;
    }
}

TrackedBlock* TrackedObjectTable::NewBlock()
{
    auto* block = new TrackedBlock;
    block->next = first_;
    block->table = this;
    block->used = 0;
    block->freeList = nullptr;
    // Linked from the last slot down, so slots are handed out in order.
    for (uint32_t i = TrackedBlock::kSlots; i-- > 0;) {
        TrackedSlot& slot = block->slots[i];
        slot.object = nullptr;
        slot.block = block;
        slot.nextFree = block->freeList;
        block->freeList = &slot;
    }
    first_ = block;
    ++blockCount_;
    return block;
}

void TrackedObjectTable::Register(GSTrackedObject& object)
{
    if (!current_ || !current_->freeList) {
        current_ = nullptr;
        for (TrackedBlock* b = first_; b && !current_; b = b->next) {
            if (b->freeList)
                current_ = b;
        }
        if (!current_)
            current_ = NewBlock();
    }
    TrackedSlot* slot = current_->freeList;
    current_->freeList = slot->nextFree;
    ++current_->used;
    slot->object = &object;
    slot->nextFree = nullptr;
    object.slot_ = slot;
    ++count_;
}

void TrackedObjectTable::Remove(GSTrackedObject& object) noexcept
{
    TrackedSlot* slot = object.slot_;
    if (!slot || slot->block->table != this)
        return;
    object.slot_ = nullptr;
    slot->object = nullptr;
    slot->nextFree = slot->block->freeList;
    slot->block->freeList = slot;
    --slot->block->used;
    --count_;
}

template <class Pass>
void TrackedObjectTable::EachObject(Pass pass)
{
    for (TrackedBlock* b = first_; b; b = b->next) {
        for (TrackedSlot& slot : b->slots) {
            if (slot.object)
                pass(*slot.object);
        }
    }
}

void TrackedObjectTable::Sweep()
{
    // Every count goes up by 2 first, so that emptying arrays and fields
    // frees nothing while the table is walked; the detach pass then frees
    // each value whatever still points at it.
    EachObject([](GSTrackedObject& o) { o.Mark(); });
    EachObject([](GSTrackedObject& o) { o.ReleaseContents(); });
    EachObject([](GSTrackedObject& o) { o.Detach(); });
}

}  // namespace GSRuntime
