#include "gs/runtime/interp/GSStack.h"

#include <algorithm>

#include "gs/runtime/interp/RunState.h"
#include "gs/runtime/library/GSFunction.h"
#include "gs/runtime/objects/GSObject.h"
#include "gs/runtime/objects/GSScriptInstance.h"
#include "gs/runtime/objects/GSString.h"
#include "gs/support/ScriptLogHook.h"

namespace GSRuntime {

GSStack::GSStack(int32_t capacity) : slots_(new GSSlot[size_t(capacity)]()), capacity_(capacity)
{
    top = slots_.get() - 1;
}

void GSStack::LogOverflow() const
{
    ScriptLog("GSStack overflow...");
    for (const GSSlot* record = frame; record; record = RecordPrevious(record))
        ScriptLog("function %s", RecordFunction(record)->name);
}

void GSStack::LogReturnDistance(int64_t diff) { ScriptLog("GSStack::ReturnValue> diff=%d", int(diff)); }

void GSStack::Clear()
{
    // Each frame's object locals and "me" first; then whatever else of the
    // frame still holds a reference (temporaries, operands left by a failed
    // instruction), so that an exception leaves nothing behind. The frames
    // of this run end at the first record, whatever lies below it belongs
    // to a run this one is nested in.
    GSSlot* end = top;
    for (GSSlot* record = frame; record; record = RecordPrevious(record)) {
        ReleaseFrameReferences(record);
        GSSlot* const locals = RecordLocals(record);
        for (GSSlot* slot = locals; slot <= end; ++slot) {
            if (slot >= record && slot < record + kRecordSlots)
                continue;
            const GSSlot value = *slot;
            *slot = 0;
            ReleaseReference(value);
        }
        end = locals - 1;
    }
    top = Base() - 1;
    frame = nullptr;
    returnOffset = 0;
}

void GSStack::Dump() const
{
    const GSSlot* inner = nullptr;
    for (const GSSlot* record = frame; record; record = RecordPrevious(record)) {
        const GSFunction* function = RecordFunction(record);
        const int line = inner ? function->GetLine(RecordReturn(inner)) : -1;
        ScriptLog("function %s, line %d", function->name, line);
        inner = record;
    }
}

GSContext* GSStack::CurrentContext() const noexcept
{
    for (const GSSlot* record = frame; record; record = RecordPrevious(record)) {
        const GSSlot me = RecordLocals(record)[0];
        if (!IsReference(me))
            continue;
        const GSObjectReference* owner = GSScriptInstance::OfPart(ReferencePart(me))->owner;
        if (owner && (owner->Kind() == GSObjectReference::kPlainObject ||
                      owner->Kind() == GSObjectReference::kGameObject)) {
            if (GSContext* context = static_cast<const GSObject*>(owner)->Context())
                return context;
        }
    }
    return nullptr;
}

bool GSStack::Push(GSSlot value) noexcept
{
    if (!HasRoom(1))
        return false;
    *++top = value;
    return true;
}

bool GSStack::PushString(std::string_view text)
{
    if (!HasRoom(1))
        return false;
    // A native's text result is copied into the string: the run pays for it.
    ChargeWork(ByteWork(text.size()));
    *++top = (new GSString(CurrentContext(), text))->Reference();
    return true;
}

bool GSStack::PushObject(GSObjectReference* object, const GSClass* want)
{
    GSSlot* part = object ? object->GetInstance() : nullptr;
    if (part && want)
        part = GSObject::CastToClass(part, want);
    return Push(MakeReference(part));
}

bool GSStack::PushObjectRef(GSObjectReference* object, const GSClass* want)
{
    GSSlot* part = object ? object->GetInstance() : nullptr;
    if (part && want)
        part = GSObject::CastToClass(part, want);
    return PushInstance(part, true);
}

bool GSStack::PushInstance(GSSlot* part, bool add)
{
    if (!HasRoom(1))
        return false;
    if (part && add)
        AddPartReference(part);
    *++top = MakeReference(part);
    return true;
}

GSSlot GSStack::Local(uint32_t i) const noexcept
{
    if (!frame)
        return 0;
    const GSFunction* function = RecordFunction(frame);
    if (int64_t(i) >= int64_t(function->frameRecord) - function->localsBase)
        return 0;
    return RecordLocals(frame)[i];
}

}  // namespace GSRuntime
