// One function of a loaded class, as its record in the library image gives
// it. Code, object-local list and line table stay inside the library's
// buffer; words are read from there with LoadLE32, since the image places
// them without regard to alignment.
#pragma once

#include <cstdint>
#include <vector>

#include "gs/runtime/library/CodeVerifier.h"

namespace GSRuntime {

class GSClass;
class GSLibrary;
class GSNativeFunction;

struct GSFunction {
    static constexpr uint32_t kFlagNative = 2;
    static constexpr uint32_t kFlagThread = 16;

    GSClass* owner = nullptr;
    GSLibrary* library = nullptr;
    const char* name = nullptr;  // the signature string
    uint32_t returnType = 0;     // non-zero: returns a value
    int32_t returnClassRef = -1;
    uint32_t flags = 0;
    int32_t methodSlot = -1;
    // Frame layout, in slots from the top at the call: slots added, offset
    // of the locals base (1 - parameterCount), offset of the frame record,
    // slots the call needs free.
    int32_t frameGrowth = 0;
    int32_t localsBase = 0;
    int32_t frameRecord = 0;
    int32_t frameReserve = 0;
    uint32_t parameterCount = 0;  // "me" included
    uint32_t objectLocalCount = 0;
    const uint8_t* objectLocals = nullptr;
    uint32_t lineCount = 0;
    const uint8_t* lines = nullptr;  // {code offset, line} pairs
    uint32_t codeSize = 0;
    const uint8_t* code = nullptr;  // null when the size is 0
    GSNativeFunction* native = nullptr;
    GSFunction* inherited = nullptr;
    uint32_t inheritedOffset = 0;
    std::vector<DepthRange> depthRanges;
    // The same ranges by code offset, two per byte of code (the lowest
    // depth negated, the highest; kept only at entries), so a taken jump
    // looks its target up at once. They are kept in bytes of stack (slots
    // times the slot's size), as the interpreter measures the stack;
    // depths past the stack's size are cut to one slot past it.
    std::vector<int16_t> entryDepths;
    // What a call checks before it pushes the frame, so that the entry's
    // own check is done with it: the free bytes of stack the call needs
    // (the frame's reserve, or its growth and the entry's highest depth
    // when more), and whether the entry's code reaches below the frame it
    // starts in.
    int32_t callRoom = 0;
    bool entryReachesBelow = false;

    uint32_t ObjectLocal(uint32_t i) const noexcept;
    // The line of the last line entry whose code offset is not above the
    // given one (the first entry when all are); -1 without a line table.
    int GetLine(uint32_t codeOffset) const noexcept;
    // The depth range of the entry at a code offset, or null.
    const DepthRange* FindDepthRange(uint32_t codeOffset) const noexcept;
    // Fills entryDepths from depthRanges.
    void IndexDepthRanges();
    bool ReturnsReference() const noexcept { return returnType >= kFirstReferenceType; }

    // Return type codes from this one on are references (string, object,
    // arrays).
    static constexpr uint32_t kFirstReferenceType = 4;
};

}  // namespace GSRuntime
