#include "gs/support/bytecode/Opcodes.h"

namespace GSBytecode {

namespace {

constexpr OpcodeInfo Op(uint8_t pops, uint8_t pushes, Operands operands = Operands::kNone, Flow flow = Flow::kNext)
{
    return OpcodeInfo{operands, pops, pushes, 0, flow};
}

constexpr OpcodeInfo kSwap{Operands::kNone, 2, 2, 1, Flow::kNext};

}  // namespace

const OpcodeInfo kOpcodes[kOpcodeCount] = {
    // 0-9: integer arithmetic and compare
    Op(2, 1), Op(2, 1), Op(2, 1), Op(2, 1), Op(2, 1), Op(1, 1), Op(1, 1), Op(1, 1), Op(1, 1), Op(2, 1),
    // 10-18: constants, logic, bits
    Op(0, 1), Op(0, 1), Op(1, 1), Op(2, 1), Op(2, 1), Op(2, 1), Op(1, 1), Op(2, 1), Op(2, 1),
    // 19-29: float arithmetic and compare
    Op(2, 1), Op(2, 1), Op(2, 1), Op(2, 1), Op(2, 1), Op(1, 1), Op(1, 1), Op(1, 1), Op(1, 1), Op(2, 1),
    Op(1, 1),
    // 30: immediate; 31-36: locals
    Op(0, 1, Operands::kImmediate), Op(0, 1, Operands::kLocal), Op(0, 1, Operands::kLocal),
    Op(1, 0, Operands::kLocal), Op(1, 1, Operands::kLocal), Op(1, 0, Operands::kLocal), Op(1, 1, Operands::kLocal),
    // 37-42: pop, duplicate, swap
    Op(1, 0), Op(1, 0), Op(1, 2), Op(1, 2), Op(2, 4), kSwap,
    // 43-51: jumps
    Op(0, 0, Operands::kJump, Flow::kJump), Op(1, 0, Operands::kJump, Flow::kBranch),
    Op(1, 0, Operands::kJump, Flow::kBranch), Op(1, 1, Operands::kJump, Flow::kBranch),
    Op(1, 1, Operands::kJump, Flow::kBranch), Op(1, 0, Operands::kJump, Flow::kBranch),
    Op(1, 0, Operands::kJump, Flow::kBranch), Op(1, 0, Operands::kJump, Flow::kBranch),
    Op(1, 0, Operands::kJump, Flow::kBranch),
    // 52-55: sign tests
    Op(1, 1), Op(1, 1), Op(1, 1), Op(1, 1),
    // 56-71: arrays
    Op(1, 1), Op(1, 1), Op(1, 1), Op(1, 1), Op(2, 1), Op(3, 0), Op(3, 1), Op(2, 1), Op(3, 0), Op(3, 1),
    Op(3, 1), Op(4, 0), Op(4, 1), Op(3, 1), Op(4, 0), Op(4, 1),
    // 72-86: strings
    Op(0, 1), Op(0, 1, Operands::kString), Op(1, 1), Op(1, 1), Op(1, 1), Op(1, 1), Op(1, 1), Op(2, 1),
    Op(3, 0), Op(3, 1), Op(3, 1), Op(4, 0), Op(4, 1), Op(2, 1), Op(2, 1),
    // 87-93: objects
    Op(1, 1, Operands::kClass), Op(0, 1, Operands::kClass), Op(0, 1, Operands::kClass),
    Op(1, 1, Operands::kClass), Op(2, 1), Op(1, 1), Op(1, 1),
    // 94-96: calls and thread start
    Op(0, 0, Operands::kCall, Flow::kCall), Op(0, 0, Operands::kCall, Flow::kCall), Op(0, 0, Operands::kCall),
    // 97-102: fields of an object on the stack
    Op(1, 1, Operands::kField), Op(1, 1, Operands::kField), Op(2, 0, Operands::kField),
    Op(2, 1, Operands::kField), Op(2, 0, Operands::kField), Op(2, 1, Operands::kField),
    // 103-108: fields of "me"
    Op(0, 1, Operands::kMeField), Op(0, 1, Operands::kMeField), Op(1, 0, Operands::kMeField),
    Op(1, 0, Operands::kMeField), Op(1, 1, Operands::kMeField), Op(1, 1, Operands::kMeField),
    // 109-111: returns
    Op(0, 0, Operands::kNone, Flow::kReturn), Op(1, 0, Operands::kNone, Flow::kReturn),
    Op(1, 0, Operands::kNone, Flow::kReturn),
    // 112-115: wait, switch, inherited call, not zero
    Op(0, 0, Operands::kWait, Flow::kWait), Op(1, 0, Operands::kSwitch, Flow::kSwitch),
    Op(0, 0, Operands::kInherited, Flow::kCall), Op(1, 1),
};

uint32_t FixedOperandSize(Operands operands) noexcept
{
    switch (operands) {
    case Operands::kNone:
        return 0;
    case Operands::kImmediate:
    case Operands::kJump:
    case Operands::kCall:
        return 4;
    case Operands::kLocal:
    case Operands::kString:
    case Operands::kClass:
    case Operands::kField:
    case Operands::kMeField:
    case Operands::kInherited:
    case Operands::kWait:
    case Operands::kSwitch:
        return 2;
    }
    return 0;
}

int StackEffect(uint32_t opcode) noexcept
{
    if (opcode >= kOpcodeCount)
        return 0;
    return int(kOpcodes[opcode].pushes) - int(kOpcodes[opcode].pops);
}

}  // namespace GSBytecode
