// The value stack of a script thread, with its frames inside it.
//
// A frame record is four slots {function, return offset, previous record,
// locals base}. The function record gives the layout, in slots from the top
// at the call: the slots the frame adds, the locals base (local 0 is the
// call target, "me", and the arguments follow), where the record lies, and
// the room the call needs. The operand stack of the frame starts above its
// record.
//
// "me" is counted once for each frame that holds it, except in a frame the
// interpreter made for a call on the calling frame's own object: that frame
// borrows its caller's count, since no code writes local 0 and the caller's
// frame outlives it, and its return-offset slot carries kBorrowedMe above
// the offset so that nothing releases "me" for it.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "gs/runtime/library/GSFunction.h"
#include "gs/support/bytecode/Opcodes.h"
#include "gs/runtime/objects/GSScriptInstance.h"
#include "gs/runtime/objects/GSValue.h"

namespace GSRuntime {

class GSClass;
class GSContext;
class GSObjectReference;

class GSStack {
public:
    static constexpr int32_t kThreadSlots = GSBytecode::kThreadStackSlots;
    static constexpr int32_t kRecordSlots = 4;
    static constexpr GSSlot kBorrowedMe = GSSlot(1) << 32;

    explicit GSStack(int32_t capacity = kThreadSlots);
    GSStack(const GSStack&) = delete;
    GSStack& operator=(const GSStack&) = delete;
    virtual ~GSStack() = default;

    // Pushes a frame for the function above the target and arguments on the
    // top; false, with "GSStack overflow..." and the frames logged, when
    // the room it needs is not free.
    bool Call(GSFunction& function, uint32_t returnOffset);
    // Pops the innermost frame of a function without a value: the top must
    // stand at its record's last slot. Object locals and "me" are released
    // once the frame is known to be whole.
    bool Pop();
    // Pops the innermost frame of a function with a value: the one value
    // above the record replaces the target. A missing value (natives only,
    // when allowed) gives 0; any other distance logs
    // "GSStack::ReturnValue> diff=%d".
    bool ReturnValue(bool allowMissing);
    // Unwinds every frame (releasing object locals, "me", and any other
    // reference the frame still holds) and empties the stack.
    void Clear();
    // One "function %s, line %d" line per frame, innermost first.
    void Dump() const;
    // The context of the innermost frame whose "me" belongs to an object
    // with a context; null when none does.
    GSContext* CurrentContext() const noexcept;

    // Frame records.
    static GSFunction* RecordFunction(const GSSlot* record) noexcept
    {
        return reinterpret_cast<GSFunction*>(record[0]);
    }
    static uint32_t RecordReturn(const GSSlot* record) noexcept { return uint32_t(record[1]); }
    static GSSlot* RecordPrevious(const GSSlot* record) noexcept { return reinterpret_cast<GSSlot*>(record[2]); }
    static GSSlot* RecordLocals(const GSSlot* record) noexcept { return reinterpret_cast<GSSlot*>(record[3]); }
    static bool RecordBorrowsMe(const GSSlot* record) noexcept { return (record[1] & kBorrowedMe) != 0; }

    // For natives and the runtime's own calls. Each push checks the room
    // first and pushes nothing (and makes nothing) when the stack is full.
    bool HasRoom(int32_t slots) const noexcept { return Last() - top >= slots; }
    bool Push(GSSlot value) noexcept;
    bool PushInt(int32_t value) noexcept { return Push(IntSlot(value)); }
    bool PushFloat(float value) noexcept { return Push(FloatSlot(value)); }
    bool PushBool(bool value) noexcept { return Push(value ? 1 : 0); }
    // A new string of the text in the current context.
    bool PushString(std::string_view text);
    // The object's view (cast to `want` when given; null when it is not of
    // that class), without adding a count: the stack takes the count the
    // caller gives up.
    bool PushObject(GSObjectReference* object, const GSClass* want = nullptr);
    // The same, adding a count.
    bool PushObjectRef(GSObjectReference* object, const GSClass* want = nullptr);
    // A view of an instance, adding a count when asked.
    bool PushInstance(GSSlot* part, bool add);

    // Local i of the innermost frame (0 is "me"); 0 without a frame.
    GSSlot Local(uint32_t i) const noexcept;

    GSSlot* Base() const noexcept { return slots_.get(); }
    GSSlot* Last() const noexcept { return slots_.get() + capacity_ - 1; }
    int32_t Capacity() const noexcept { return capacity_; }
    int32_t Used() const noexcept { return int32_t(top - Base()) + 1; }

    uint32_t returnOffset = 0;  // of the frame popped last
    GSSlot* top;                // the highest used slot; Base() - 1 when empty
    GSSlot* frame = nullptr;    // the innermost frame record, or null

private:
    void LogOverflow() const;
    static void LogReturnDistance(int64_t diff);
    static void ReleaseFrameReferences(GSSlot* record);

    std::unique_ptr<GSSlot[]> slots_;
    int32_t capacity_;
};

// The call path is the interpreter's hottest: these stay inline.

inline bool GSStack::Call(GSFunction& function, uint32_t callReturnOffset)
{
    if (int64_t(function.frameReserve) > int64_t(capacity_) - Used()) [[unlikely]] {
        LogOverflow();
        return false;
    }
    GSSlot* const oldTop = top;
    GSSlot* const record = oldTop + function.frameRecord;
    // The locals after the arguments start out null; the operand slots
    // above the record are written before they are read.
    for (GSSlot* local = oldTop + 1; local < record; ++local)
        *local = 0;
    record[0] = reinterpret_cast<GSSlot>(&function);
    record[1] = GSSlot(callReturnOffset);
    record[2] = reinterpret_cast<GSSlot>(frame);
    record[3] = reinterpret_cast<GSSlot>(oldTop + function.localsBase);
    frame = record;
    top = oldTop + function.frameGrowth;
    return true;
}

inline void GSStack::ReleaseFrameReferences(GSSlot* record)
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
    if (!RecordBorrowsMe(record))
        ReleaseReference(me);
}

inline bool GSStack::Pop()
{
    GSSlot* record = frame;
    // The frame must be whole before anything in it is released: a failed
    // return unwinds it again.
    if (!record || top != record + kRecordSlots - 1) [[unlikely]]
        return false;
    ReleaseFrameReferences(record);
    top = RecordLocals(record) - 1;
    returnOffset = RecordReturn(record);
    frame = RecordPrevious(record);
    return true;
}

inline bool GSStack::ReturnValue(bool allowMissing)
{
    GSSlot* record = frame;
    if (!record) [[unlikely]]
        return false;
    const int64_t diff = top - record;
    GSSlot value;
    if (diff == kRecordSlots) [[likely]] {
        value = *top;
    } else if (diff == kRecordSlots - 1 && allowMissing) {
        value = 0;
    } else {
        LogReturnDistance(diff);
        return false;
    }
    ReleaseFrameReferences(record);
    top = RecordLocals(record);
    *top = value;
    returnOffset = RecordReturn(record);
    frame = RecordPrevious(record);
    return true;
}

}  // namespace GSRuntime
