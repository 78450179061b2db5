#include "gs/runtime/interp/GSStack.h"

#include <algorithm>

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

bool GSStack::Call(GSFunction& function, uint32_t callReturnOffset)
{
    if (int64_t(function.frameReserve) > int64_t(capacity_) - Used()) {
        LogOverflow();
        return false;
    }
    GSSlot* const oldTop = top;
    std::fill(oldTop + 1, oldTop + function.frameReserve, GSSlot(0));
    GSSlot* record = oldTop + function.frameRecord;
    record[0] = reinterpret_cast<GSSlot>(&function);
    record[1] = GSSlot(callReturnOffset);
    record[2] = reinterpret_cast<GSSlot>(frame);
    record[3] = reinterpret_cast<GSSlot>(oldTop + function.localsBase);
    frame = record;
    top = oldTop + function.frameGrowth;
    return true;
}

void GSStack::LogOverflow() const
{
    ScriptLog("GSStack overflow...");
    for (const GSSlot* record = frame; record; record = RecordPrevious(record))
        ScriptLog("function %s", RecordFunction(record)->name);
}

void GSStack::ReleaseFrameReferences(GSSlot* record)
{
    const GSFunction* function = RecordFunction(record);
    GSSlot* locals = RecordLocals(record);
    for (uint32_t i = function->objectLocalCount; i-- > 0;) {
        GSSlot& local = locals[function->ObjectLocal(i)];
        const GSSlot value = local;
        local = 0;
        ReleaseReference(value);
    }
    const GSSlot me = locals[0];
    locals[0] = 0;
    ReleaseReference(me);
}

bool GSStack::Pop()
{
    GSSlot* record = frame;
    // The frame must be whole before anything in it is released: a failed
    // return unwinds it again.
    if (!record || top != record + kRecordSlots - 1)
        return false;
    ReleaseFrameReferences(record);
    top = RecordLocals(record) - 1;
    returnOffset = RecordReturn(record);
    frame = RecordPrevious(record);
    return true;
}

bool GSStack::ReturnValue(bool allowMissing)
{
    GSSlot* record = frame;
    if (!record)
        return false;
    const int64_t diff = top - record;
    GSSlot value;
    if (diff == kRecordSlots) {
        value = *top;
    } else if (diff == kRecordSlots - 1 && allowMissing) {
        value = 0;
    } else {
        ScriptLog("GSStack::ReturnValue> diff=%d", int(diff));
        return false;
    }
    ReleaseFrameReferences(record);
    top = RecordLocals(record);
    *top = value;
    returnOffset = RecordReturn(record);
    frame = RecordPrevious(record);
    return true;
}

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
