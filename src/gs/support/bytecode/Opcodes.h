// The one table of the script bytecode: for every opcode its mnemonic, its
// operand layout, the slots it takes from and leaves on the stack, and how
// control goes on after it. The code generator (through the code buffer's
// emitters, bytecode/CodeBuffer.h), the verifier and the interpreter all
// read it.
#pragma once

#include <cstdint>

namespace GSBytecode {

constexpr uint32_t kOpcodeCount = 116;

// The slots of a script thread's value stack. A function's whole frame
// (its arguments, locals and temporaries, the frame record and the deepest
// its operand stack goes) must fit in them: the loader refuses a function
// whose record asks for more, and the compiler refuses to write one.
constexpr int32_t kThreadStackSlots = 1024;

// The opcodes by their mnemonics.
enum Opcode : uint8_t {
    kADD = 0, kSUB, kMUL, kDIV, kMOD, kNEG, kINC, kDEC, kITOF, kICMP, kPUSH0, kPUSH1, kEQZ, kAND, kOR, kXOR,
    kNOT, kSHL, kSHR, kFADD, kFSUB, kFMUL, kFDIV, kFMOD, kFNEG, kFINC, kFDEC, kFTOI, kFCMP, kFEQZ, kPUSHI,
    kLOAD, kLOADO, kPOPL, kSTOREL, kPOPLO, kSTORELO, kPOP, kPOPO, kDUP, kDUPO, kDUP2, kSWAP, kJMP, kJZ, kJNZ,
    kJZK, kJNZK, kJLTZ, kJLEZ, kJGTZ, kJGEZ, kLTZ, kLEZ, kGTZ, kGEZ, kNEWARR, kNEWARRO, kASIZE, kACOPY,
    kAGET, kAPOP, kASET, kAGETO, kAPOPO, kASETO, kRGET, kRPOP, kRSET, kRGETO, kRPOPO, kRSETO, kNEWSTR,
    kPUSHS, kITOS, kBTOS, kFTOS, kSCOPY, kSSIZE, kSGETC, kSPOPC, kSSETC, kSGETR, kSPOPR, kSSETR, kSCMP,
    kSCAT, kISCLASS, kNEWOBJ, kSTATIC, kCAST, kOCMP, kISNULL, kNOTNULL, kCALL, kCALLN, kCALLT, kGETF, kGETFO,
    kPOPF, kSETF, kPOPFO, kSETFO, kGETM, kGETMO, kPOPM, kPOPMO, kSETM, kSETMO, kRET, kRETV, kRETO, kWAIT,
    kSWITCH, kINHERITED, kNEZ,
};

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
    const char* mnemonic;  // "ADD" ... "NEZ"
};

extern const OpcodeInfo kOpcodes[kOpcodeCount];

// Bytes of the fixed operands (for kWait and kSwitch: of the count alone).
uint32_t FixedOperandSize(Operands operands) noexcept;
// The depth change the code generator applies: pushes - pops, 0 for
// opcodes outside the table.
int StackEffect(uint32_t opcode) noexcept;

}  // namespace GSBytecode
