#include "gs/support/bytecode/Opcodes.h"

namespace GSBytecode {

namespace {

constexpr OpcodeInfo Op(const char* mnemonic, uint8_t pops, uint8_t pushes, Operands operands = Operands::kNone,
                        Flow flow = Flow::kNext)
{
    return OpcodeInfo{operands, pops, pushes, 0, flow, mnemonic};
}

}  // namespace

const OpcodeInfo kOpcodes[kOpcodeCount] = {
    Op("ADD", 2, 1),                                        // 0
    Op("SUB", 2, 1),                                        // 1
    Op("MUL", 2, 1),                                        // 2
    Op("DIV", 2, 1),                                        // 3
    Op("MOD", 2, 1),                                        // 4
    Op("NEG", 1, 1),                                        // 5
    Op("INC", 1, 1),                                        // 6
    Op("DEC", 1, 1),                                        // 7
    Op("ITOF", 1, 1),                                       // 8
    Op("ICMP", 2, 1),                                       // 9
    Op("PUSH0", 0, 1),                                      // 10
    Op("PUSH1", 0, 1),                                      // 11
    Op("EQZ", 1, 1),                                        // 12
    Op("AND", 2, 1),                                        // 13
    Op("OR", 2, 1),                                         // 14
    Op("XOR", 2, 1),                                        // 15
    Op("NOT", 1, 1),                                        // 16
    Op("SHL", 2, 1),                                        // 17
    Op("SHR", 2, 1),                                        // 18
    Op("FADD", 2, 1),                                       // 19
    Op("FSUB", 2, 1),                                       // 20
    Op("FMUL", 2, 1),                                       // 21
    Op("FDIV", 2, 1),                                       // 22
    Op("FMOD", 2, 1),                                       // 23
    Op("FNEG", 1, 1),                                       // 24
    Op("FINC", 1, 1),                                       // 25
    Op("FDEC", 1, 1),                                       // 26
    Op("FTOI", 1, 1),                                       // 27
    Op("FCMP", 2, 1),                                       // 28
    Op("FEQZ", 1, 1),                                       // 29
    Op("PUSHI", 0, 1, Operands::kImmediate),                // 30
    Op("LOAD", 0, 1, Operands::kLocal),                     // 31
    Op("LOADO", 0, 1, Operands::kLocal),                    // 32
    Op("POPL", 1, 0, Operands::kLocal),                     // 33
    Op("STOREL", 1, 1, Operands::kLocal),                   // 34
    Op("POPLO", 1, 0, Operands::kLocal),                    // 35
    Op("STORELO", 1, 1, Operands::kLocal),                  // 36
    Op("POP", 1, 0),                                        // 37
    Op("POPO", 1, 0),                                       // 38
    Op("DUP", 1, 2),                                        // 39
    Op("DUPO", 1, 2),                                       // 40
    Op("DUP2", 2, 4),                                       // 41
    Op("SWAP", 2, 2),                                       // 42
    Op("JMP", 0, 0, Operands::kJump, Flow::kJump),          // 43
    Op("JZ", 1, 0, Operands::kJump, Flow::kBranch),         // 44
    Op("JNZ", 1, 0, Operands::kJump, Flow::kBranch),        // 45
    Op("JZK", 1, 1, Operands::kJump, Flow::kBranch),        // 46
    Op("JNZK", 1, 1, Operands::kJump, Flow::kBranch),       // 47
    Op("JLTZ", 1, 0, Operands::kJump, Flow::kBranch),       // 48
    Op("JLEZ", 1, 0, Operands::kJump, Flow::kBranch),       // 49
    Op("JGTZ", 1, 0, Operands::kJump, Flow::kBranch),       // 50
    Op("JGEZ", 1, 0, Operands::kJump, Flow::kBranch),       // 51
    Op("LTZ", 1, 1),                                        // 52
    Op("LEZ", 1, 1),                                        // 53
    Op("GTZ", 1, 1),                                        // 54
    Op("GEZ", 1, 1),                                        // 55
    Op("NEWARR", 1, 1),                                     // 56
    Op("NEWARRO", 1, 1),                                    // 57
    Op("ASIZE", 1, 1),                                      // 58
    Op("ACOPY", 1, 1),                                      // 59
    Op("AGET", 2, 1),                                       // 60
    Op("APOP", 3, 0),                                       // 61
    Op("ASET", 3, 1),                                       // 62
    Op("AGETO", 2, 1),                                      // 63
    Op("APOPO", 3, 0),                                      // 64
    Op("ASETO", 3, 1),                                      // 65
    Op("RGET", 3, 1),                                       // 66
    Op("RPOP", 4, 0),                                       // 67
    Op("RSET", 4, 1),                                       // 68
    Op("RGETO", 3, 1),                                      // 69
    Op("RPOPO", 4, 0),                                      // 70
    Op("RSETO", 4, 1),                                      // 71
    Op("NEWSTR", 0, 1),                                     // 72
    Op("PUSHS", 0, 1, Operands::kString),                   // 73
    Op("ITOS", 1, 1),                                       // 74
    Op("BTOS", 1, 1),                                       // 75
    Op("FTOS", 1, 1),                                       // 76
    Op("SCOPY", 1, 1),                                      // 77
    Op("SSIZE", 1, 1),                                      // 78
    Op("SGETC", 2, 1),                                      // 79
    Op("SPOPC", 3, 0),                                      // 80
    Op("SSETC", 3, 1),                                      // 81
    Op("SGETR", 3, 1),                                      // 82
    Op("SPOPR", 4, 0),                                      // 83
    Op("SSETR", 4, 1),                                      // 84
    Op("SCMP", 2, 1),                                       // 85
    Op("SCAT", 2, 1),                                       // 86
    Op("ISCLASS", 1, 1, Operands::kClass),                  // 87
    Op("NEWOBJ", 0, 1, Operands::kClass),                   // 88
    Op("STATIC", 0, 1, Operands::kClass),                   // 89
    Op("CAST", 1, 1, Operands::kClass),                     // 90
    Op("OCMP", 2, 1),                                       // 91
    Op("ISNULL", 1, 1),                                     // 92
    Op("NOTNULL", 1, 1),                                    // 93
    Op("CALL", 0, 0, Operands::kCall, Flow::kCall),         // 94
    Op("CALLN", 0, 0, Operands::kCall, Flow::kCall),        // 95
    Op("CALLT", 0, 0, Operands::kCall),                     // 96
    Op("GETF", 1, 1, Operands::kField),                     // 97
    Op("GETFO", 1, 1, Operands::kField),                    // 98
    Op("POPF", 2, 0, Operands::kField),                     // 99
    Op("SETF", 2, 1, Operands::kField),                     // 100
    Op("POPFO", 2, 0, Operands::kField),                    // 101
    Op("SETFO", 2, 1, Operands::kField),                    // 102
    Op("GETM", 0, 1, Operands::kMeField),                   // 103
    Op("GETMO", 0, 1, Operands::kMeField),                  // 104
    Op("POPM", 1, 0, Operands::kMeField),                   // 105
    Op("POPMO", 1, 0, Operands::kMeField),                  // 106
    Op("SETM", 1, 1, Operands::kMeField),                   // 107
    Op("SETMO", 1, 1, Operands::kMeField),                  // 108
    Op("RET", 0, 0, Operands::kNone, Flow::kReturn),        // 109
    Op("RETV", 1, 0, Operands::kNone, Flow::kReturn),       // 110
    Op("RETO", 1, 0, Operands::kNone, Flow::kReturn),       // 111
    Op("WAIT", 0, 0, Operands::kWait, Flow::kWait),         // 112
    Op("SWITCH", 1, 0, Operands::kSwitch, Flow::kSwitch),   // 113
    Op("INHERITED", 0, 0, Operands::kInherited, Flow::kCall),// 114
    Op("NEZ", 1, 1),                                        // 115
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
