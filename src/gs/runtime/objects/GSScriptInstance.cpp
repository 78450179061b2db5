#include "gs/runtime/objects/GSScriptInstance.h"

#include <algorithm>
#include <new>
#include <vector>

#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/objects/GSArray.h"
#include "gs/runtime/objects/GSContext.h"
#include "gs/runtime/objects/GSObject.h"

namespace GSRuntime {

namespace {

// Instances whose last count went while an earlier one is being freed.
// Freeing one instance releases its fields, which may free the next: a
// long chain of objects is freed in a loop here instead of one nested call
// per link.
struct FreeQueue {
    std::vector<GSScriptInstance*> pending;
    bool draining = false;
};

FreeQueue& Queue()
{
    static FreeQueue queue;
    return queue;
}

void LastCountGone(GSScriptInstance* instance)
{
    if (instance->owner)
        instance->owner->LastReferenceGone();
    else
        instance->Destroy();
}

}  // namespace

GSScriptInstance* GSScriptInstance::Create(GSClass& instanceClass, GSObjectReference* ownerObject, GSContext* context)
{
    const size_t bytes = sizeof(GSScriptInstance) + size_t(instanceClass.fieldCount) * sizeof(GSSlot);
    void* memory = ::operator new(bytes, std::nothrow);
    if (!memory)
        return nullptr;
    auto* instance = new (memory) GSScriptInstance(ownerObject, &instanceClass);
    std::fill_n(instance->Fields(), instanceClass.fieldCount, GSSlot(0));
    if (context)
        context->Tracked().Register(*instance);
    return instance;
}

void GSScriptInstance::Destroy()
{
    ReleaseFields();
    GSTrackedObject::Detach();
    this->~GSScriptInstance();
    ::operator delete(this);
}

void GSScriptInstance::ReleaseFields()
{
    if (!cls)
        return;
    GSSlot* block = Fields();
    const auto releaseOf = [block](const GSClass& c, uint32_t offset) {
        for (uint32_t i = 0; i < c.objectFieldCount; ++i) {
            GSSlot& word = block[offset + c.ObjectField(i)];
            if (IsReference(word)) {
                const GSSlot value = word;
                word = 0;
                ReleaseReference(value);
            }
        }
    };
    for (uint32_t b = cls->baseCount; b-- > 0;)
        releaseOf(*cls->BaseClass(b), cls->BaseOffset(b));
    releaseOf(*cls, 0);
}

void GSScriptInstance::ReleaseContents()
{
    if (cls) {
        if (owner)
            owner->ReleaseScriptState();
        ReleaseFields();
    } else if (owner && owner->Kind() == GSObjectReference::kArray) {
        static_cast<GSArray*>(owner)->SetSize(0);
    }
}

void GSScriptInstance::Detach()
{
    GSTrackedObject::Detach();
    if (!cls) {
        // An array's or a string's: the value goes with it.
        delete owner;
        return;
    }
    if (auto* object = static_cast<GSObject*>(owner)) {
        owner = nullptr;
        object->InstanceFreed();
        if (object->OwnedByInstance())
            delete object;
    }
    Destroy();
}

void LastReferenceGone(GSScriptInstance* instance)
{
    FreeQueue& queue = Queue();
    if (queue.draining) {
        queue.pending.push_back(instance);
        return;
    }
    queue.draining = true;
    LastCountGone(instance);
    while (!queue.pending.empty()) {
        GSScriptInstance* next = queue.pending.back();
        queue.pending.pop_back();
        LastCountGone(next);
    }
    queue.draining = false;
}

void StoreReference(GSSlot* holderPart, uint32_t word, GSSlot value, bool add)
{
    if (IsReference(value)) {
        const GSContext* holderContext = GSScriptInstance::OfPart(holderPart)->Context();
        const GSContext* valueContext = GSScriptInstance::OfPart(ReferencePart(value))->Context();
        if (holderContext && valueContext && valueContext != holderContext && !valueContext->SharesObjects()) {
            if (!add)
                ReleaseReference(value);
            value = 0;
        } else if (add) {
            AddReference(value);
        }
    }
    const GSSlot old = holderPart[word];
    holderPart[word] = value;
    ReleaseReference(old);
}

}  // namespace GSRuntime
