// Script values as the runtime keeps them: every stack slot, local, instance
// word and array element is one pointer-wide word.
//
// Integers, booleans and floats (their bits) are kept sign-extended from 32
// bits, and every instruction that makes or copies a plain value keeps it
// so. A reference is the address of one view of an instance (Part layout in
// GSScriptInstance.h) with bit 62 set: no plain value ever has the two top
// bits 01, so a word tells by itself whether it holds a reference, and a
// number that a faulty or hostile program treats as a reference is refused
// instead of followed. Null is 0.
//
// Every word that holds a reference owns one count of it; copies made by
// plain instructions drop the reference (they keep the low 32 bits only).
#pragma once

#include <cstdint>
#include <cstring>

namespace GSRuntime {

using GSSlot = intptr_t;

static_assert(sizeof(GSSlot) == 8 && sizeof(void*) == 8, "the runtime keeps pointers in 64-bit words");

constexpr uint64_t kReferenceTag = uint64_t(1) << 62;

inline bool IsReference(GSSlot v) noexcept { return (uint64_t(v) >> 62) == 1; }

// The view a reference word points at; only for words IsReference accepts.
inline GSSlot* ReferencePart(GSSlot v) noexcept { return reinterpret_cast<GSSlot*>(uint64_t(v) & ~kReferenceTag); }

// The word for a view; 0 for none.
inline GSSlot MakeReference(const GSSlot* part) noexcept
{
    return part ? GSSlot(reinterpret_cast<uint64_t>(part) | kReferenceTag) : 0;
}

// A plain copy: the low 32 bits, sign-extended.
inline GSSlot PlainCopy(GSSlot v) noexcept { return static_cast<int32_t>(v); }

inline GSSlot IntSlot(int32_t v) noexcept { return v; }
inline int32_t SlotInt(GSSlot v) noexcept { return static_cast<int32_t>(v); }

inline GSSlot FloatSlot(float f) noexcept
{
    int32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

inline float SlotFloat(GSSlot v) noexcept
{
    const int32_t bits = static_cast<int32_t>(v);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

}  // namespace GSRuntime
