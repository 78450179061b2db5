#include "gs/runtime/objects/GSObject.h"

#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/objects/GSScriptInstance.h"

namespace GSRuntime {

GSObject::~GSObject()
{
    GSScriptInstance* instance = Instance();
    if (!instance)
        return;
    instance_ = nullptr;
    context_ = nullptr;
    instance->owner = nullptr;
    if (instance->refCount < 2 && instance->cls) {
        if (instance->refCount > 0)
            --instance->refCount;
        instance->Destroy();
    } else {
        ReleasePart(instance->Fields());
    }
}

GSScriptInstance* GSObject::Instance() const noexcept
{
    return instance_ ? GSScriptInstance::OfPart(instance_) : nullptr;
}

void GSObject::LastReferenceGone()
{
    if (ownedByInstance_) {
        delete this;
        return;
    }
    // Native code still holds the object, but no count is left for it: the
    // instance goes and the object stays without one.
    if (GSScriptInstance* instance = Instance()) {
        instance_ = nullptr;
        context_ = nullptr;
        instance->owner = nullptr;
        instance->Destroy();
    }
}

bool GSObject::AttachClass(GSClass* cls, GSContext* context)
{
    if (!cls) {
        if (GSScriptInstance* instance = Instance()) {
            instance_ = nullptr;
            context_ = nullptr;
            instance->owner = nullptr;
            ReleasePart(instance->Fields());
        }
        return false;
    }
    if (instance_)
        return false;
    return cls->Instantiate(*this, context);
}

GSSlot* GSObject::CastToClass(GSSlot* part, const GSClass* cls) noexcept
{
    if (!part || !cls)
        return nullptr;
    GSScriptInstance* instance = GSScriptInstance::OfPart(part);
    if (!instance->cls || (instance->cls->gameObjectClass && !instance->owner))
        return nullptr;
    const int64_t offset = cls->PartOffsetIn(*instance->cls);
    return offset < 0 ? nullptr : instance->Fields() + offset;
}

}  // namespace GSRuntime
