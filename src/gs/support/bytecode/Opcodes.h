// The one table of the script bytecode: for every opcode its operand layout,
// the slots it takes from and leaves on the stack, and how control goes on
// after it. The code generator, the verifier and the interpreter all read it.
#pragma once

#include <cstdint>

namespace GSBytecode {

constexpr uint32_t kOpcodeCount = 116;

enum class Operands : uint8_t {
    kNone,
    kImmediate,  // u32 value
    kLocal,      // u16 frame slot
    kJump,       // u32 code offset
    kString,     // u16 string-table index
    kClass,      // u16 class-reference index
    kField,      // u16 field of the object on the stack
    kMeField,    // u16 field of "me"
    kCall,       // s16 depth (0 or negative), u16 method-table index
    kInherited,  // s16 depth
    kWait,       // s16 n, n x (u16 major, u16 minor string), n x u32 offset
    kSwitch,     // u16 n, n x s32 value (ascending), n x u32 offset, u32 default
};

enum class Flow : uint8_t {
    kNext,    // on to the next instruction
    kBranch,  // to its target or the next instruction
    kJump,    // always to its target
    kCall,    // into a callee; comes back to the next instruction with a
              // depth the code does not tell (the callee's result)
    kReturn,  // leaves the function
    kSwitch,  // to one of its table's offsets
    kWait,    // blocks; resumes at one of its clauses' offsets
};

struct OpcodeInfo {
    Operands operands;
    // Slots taken from the top, then slots left there. The call family
    // (kCall, kInherited) takes what its depth operand says and counts 0/0
    // here, which is also the code generator's accounting for them.
    uint8_t pops;
    uint8_t pushes;
    // Slots above the result the instruction uses as scratch.
    uint8_t scratch;
    Flow flow;
};

extern const OpcodeInfo kOpcodes[kOpcodeCount];

// Bytes of the fixed operands (for kWait and kSwitch: of the count alone).
uint32_t FixedOperandSize(Operands operands) noexcept;
// The depth change the code generator applies: pushes - pops, 0 for
// opcodes outside the table.
int StackEffect(uint32_t opcode) noexcept;

}  // namespace GSBytecode
