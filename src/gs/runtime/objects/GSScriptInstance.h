// A script instance: a header followed by the field block of its class.
//
// Each class part of the block (the class itself at word 0, each ancestor
// at its base-list offset) begins with two words: word 0 holds the part's
// negative word offset from the block's start, word 1 its method-table
// address. A reference is the address of one part, its view of the object;
// adding word 0 gives the block, and the header lies right before it.
// Arrays and strings carry a header of the same kind followed by a one-word
// view (word 0 = 0), so every reference finds its header the same way.
#pragma once

#include <cstdint>

#include "gs/runtime/objects/GSValue.h"
#include "gs/runtime/objects/TrackedObjects.h"

namespace GSRuntime {

class GSClass;
class GSContext;
class GSObjectReference;

class GSScriptInstance : public GSTrackedObject {
public:
    // What a value's instance belongs to, as bits: an object's has none
    // (its class says which), an array's kArrayValue (with
    // kReferenceElementsValue when its elements are references), a
    // string's kStringValue.
    static constexpr uint32_t kObjectValue = 0;
    static constexpr uint32_t kArrayValue = 1;
    static constexpr uint32_t kStringValue = 2;
    static constexpr uint32_t kReferenceElementsValue = 4;

    GSScriptInstance(GSObjectReference* ownerObject, GSClass* instanceClass,
                     uint32_t kind = kObjectValue) noexcept
        : valueKind(kind), owner(ownerObject), cls(instanceClass)
    {
    }

    // A zeroed instance of the class, tracked in the context when one is
    // given; null when it cannot be allocated.
    static GSScriptInstance* Create(GSClass& instanceClass, GSObjectReference* ownerObject, GSContext* context);

    GSSlot* Fields() noexcept { return reinterpret_cast<GSSlot*>(this + 1); }
    static GSScriptInstance* OfPart(GSSlot* part) noexcept
    {
        return reinterpret_cast<GSScriptInstance*>(part + part[0]) - 1;
    }
    // The instance of an array's or a string's one-word view (whose word 0
    // is 0), for a part known to have word 0 at 0: read before knowing
    // which kind of value it is, it saves waiting for that word.
    static GSScriptInstance* OfZeroPart(GSSlot* part) noexcept { return reinterpret_cast<GSScriptInstance*>(part) - 1; }
    // The word offset of a part from the block's start.
    uint32_t PartOffset(const GSSlot* part) noexcept { return uint32_t(part - Fields()); }

    // Releases the object fields, leaves the table and frees the instance
    // (object instances only: arrays and strings hold theirs in place).
    void Destroy();
    void ReleaseFields();

    void Mark() override { refCount += 2; }
    void ReleaseContents() override;
    void Detach() override;

    uint32_t refCount = 1;
    // Set once: the interpreter tells an array or a string by it without
    // going to its owner.
    const uint32_t valueKind;
    GSObjectReference* owner;
    GSClass* cls;
};

static_assert(sizeof(GSScriptInstance) % sizeof(GSSlot) == 0, "the field block follows the header");

// The last count of an instance went: its owner (or the instance itself)
// is freed, and whatever that releases in turn.
void LastReferenceGone(GSScriptInstance* instance);

// Counting on words: anything but a reference word is left alone.
inline void AddPartReference(GSSlot* part) noexcept { ++GSScriptInstance::OfPart(part)->refCount; }
inline void ReleasePart(GSSlot* part)
{
    GSScriptInstance* instance = GSScriptInstance::OfPart(part);
    if (--instance->refCount == 0)
        LastReferenceGone(instance);
}
inline void AddReference(GSSlot value) noexcept
{
    if (IsReference(value))
        AddPartReference(ReferencePart(value));
}
inline void ReleaseReference(GSSlot value)
{
    if (IsReference(value))
        ReleasePart(ReferencePart(value));
}

// Stores a reference into field word `word` of the holder part: a value of
// another context that does not share its objects arrives as null. The value
// gains a count when `add` is set (else its count moves into the field);
// the old value is released.
void StoreReference(GSSlot* holderPart, uint32_t word, GSSlot value, bool add);

}  // namespace GSRuntime
