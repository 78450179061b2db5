// Reading a native's parameters from the calling frame: parameter i is
// local i ("me" is local 0). A reference parameter of the wrong kind reads
// as null.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/interp/RunState.h"
#include "gs/runtime/objects/GSGameObject.h"
#include "gs/runtime/objects/GSString.h"
#include "gs/runtime/router/GSMessage.h"

namespace GSRuntime {

inline int32_t IntParam(const GSThread& thread, uint32_t i) noexcept { return SlotInt(thread.stack.Local(i)); }
inline float FloatParam(const GSThread& thread, uint32_t i) noexcept { return SlotFloat(thread.stack.Local(i)); }
inline bool BoolParam(const GSThread& thread, uint32_t i) noexcept { return SlotInt(thread.stack.Local(i)) != 0; }

inline GSString* StringParam(const GSThread& thread, uint32_t i) noexcept
{
    const GSSlot value = thread.stack.Local(i);
    return IsReference(value) ? GSString::OfPart(ReferencePart(value)) : nullptr;
}

// Charges a pass over each text a native reads (a null one costs nothing);
// false when the run cannot afford it, and the native should then leave
// its work undone (the run ends when it returns).
inline bool ChargeTexts(std::initializer_list<const GSString*> texts) noexcept
{
    uint64_t bytes = 0;
    for (const GSString* text : texts)
        bytes += text ? text->Length() : 0;
    return ChargeWork(ByteWork(bytes));
}

// The game object behind an object parameter, or null.
inline GSGameObject* GameObjectParam(const GSThread& thread, uint32_t i) noexcept
{
    const GSSlot value = thread.stack.Local(i);
    if (!IsReference(value))
        return nullptr;
    GSScriptInstance* instance = GSScriptInstance::OfPart(ReferencePart(value));
    GSObjectReference* owner = instance->cls ? instance->owner : nullptr;
    if (!owner || owner->Kind() != GSObjectReference::kGameObject)
        return nullptr;
    return static_cast<GSGameObject*>(static_cast<GSObject*>(owner));
}

// Seconds as a message's delay in milliseconds: truncated, and kept to
// what the delay field holds (NaN and negative delays are none).
inline uint32_t DelayMilliseconds(float seconds) noexcept
{
    const float ms = seconds * 1000.0f;
    if (!(ms > 0.0f))
        return 0;
    if (ms >= float(GSMessage::kDelayMask))
        return GSMessage::kDelayMask;
    return uint32_t(ms);
}

}  // namespace GSRuntime
