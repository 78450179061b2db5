#include "gs/runtime/interp/Quickening.h"

#include "core/streams/LittleEndian.h"
#include "gs/support/bytecode/Opcodes.h"

namespace GSRuntime {

namespace {

using namespace GSBytecode;

constexpr uint8_t kNoInstruction = 0xFF;

bool IsTest(uint8_t op) { return (op >= kLTZ && op <= kGEZ) || op == kEQZ || op == kNEZ; }

uint8_t TestIndex(uint8_t test) { return test == kEQZ ? 4 : test == kNEZ ? 5 : uint8_t(test - kLTZ); }
bool IsAddOrSub(uint8_t op) { return op == kADD || op == kSUB; }

// Instructions that push or compute a call's arguments and cannot fail,
// jump, release a reference they did not push, or run anything else: what
// they take and leave is what the opcode table says.
bool BuildsArguments(uint8_t op)
{
    switch (op) {
    case kADD: case kSUB: case kMUL: case kNEG: case kINC: case kDEC: case kITOF: case kICMP:
    case kPUSH0: case kPUSH1: case kEQZ: case kAND: case kOR: case kXOR: case kNOT: case kSHL: case kSHR:
    case kFADD: case kFSUB: case kFMUL: case kFNEG: case kFINC: case kFDEC: case kFTOI: case kFCMP: case kFEQZ:
    case kPUSHI: case kLOAD: case kLOADO: case kLTZ: case kLEZ: case kGTZ: case kGEZ: case kNEZ:
    case kGETM: case kGETMO:
        return true;
    default:
        return false;
    }
}

// Bytes of the instruction at `at` (verified code: every instruction is
// whole).
uint32_t InstructionLength(const uint8_t* code, uint32_t at)
{
    // A call on "me" was marked ahead of the pass: a CALL still.
    const OpcodeInfo& info = kOpcodes[code[at] == Fused::kCallMe ? uint8_t(kCALL) : code[at]];
    uint32_t length = 1 + FixedOperandSize(info.operands);
    if (info.operands == Operands::kWait)
        length += 8 * uint32_t(int16_t(LoadLE16(code + at + 1)));
    else if (info.operands == Operands::kSwitch)
        length += 8 * uint32_t(LoadLE16(code + at + 1)) + 4;
    return length;
}

// The sequence that starts at `at`, up to (not including) the next place a
// run can enter: a fused sequence lies wholly inside it. Instructions
// start wherever a pattern says they do, since every pattern knows the
// length of what it matched so far.
class Sequence {
public:
    Sequence(uint8_t* code, uint32_t at, uint32_t limit) : code_(code), at_(at), limit_(limit) {}

    // The opcode `offset` bytes into the sequence, or none past its end.
    uint8_t Op(uint32_t offset) const { return at_ + offset < limit_ ? code_[at_ + offset] : kNoInstruction; }
    uint16_t U16(uint32_t offset) const { return LoadLE16(code_ + at_ + offset); }
    uint32_t U32(uint32_t offset) const { return LoadLE32(code_ + at_ + offset); }
    bool Test(uint32_t offset) const { return IsTest(Op(offset)); }
    bool AddOrSub(uint32_t offset) const { return IsAddOrSub(Op(offset)); }

    // Writes the fused opcode over the first byte; the sequence's length.
    uint32_t Fuse(uint8_t fused, uint32_t length)
    {
        code_[at_] = fused;
        return length;
    }
    // The same for a pair of forms told apart by the ADD or SUB (INC or
    // DEC) `offset` bytes in.
    uint32_t FusePair(uint8_t pair, uint32_t offset, uint32_t length)
    {
        return Fuse(Fused::ForArithmetic(pair, Op(offset)), length);
    }

    // The fused form that starts here, written; 0 when none does.
    uint32_t Quicken()
    {
        switch (Op(0)) {
        case kLOAD:
            return AfterLoad();
        case kLOADO:
            return AfterLoadObject();
        case kADD:
            return Op(1) == kRETV ? Fuse(Fused::kAddReturn, 2) : 0;
        case kICMP:
            return Test(1) && Op(2) == kJZ ? Fuse(Fused::ForTest(Fused::kCompareBranch, Op(1)), 7) : 0;
        case kPUSH1:
            return AddOrSub(1) ? FusePair(Fused::kStepTop, 1, 2) : 0;
        case kPUSHI: {
            const int32_t k = int32_t(U32(1));
            if (AddOrSub(5))
                return FusePair(Fused::kAddConstant, 5, 6);
            if (Op(5) == kMUL)
                return Fuse(Fused::kMulConstant, 6);
            // Division by 0 fails, and by -1 has its own rule: both stay
            // with the plain instruction.
            if ((Op(5) == kDIV || Op(5) == kMOD) && k != 0 && k != -1)
                return Fuse(Fused::kDivConstant, 6);
            return 0;
        }
        case kPUSHS:
            return Op(3) == kSCAT ? Fuse(Fused::kAppendConstant, 4) : 0;
        default:
            return 0;
        }
    }

private:
    // LOAD a, then:
    uint32_t AfterLoad()
    {
        switch (Op(3)) {
        case kLOAD:
            if (Op(6) == kICMP && Test(7) && Op(8) == kJZ)
                return Fuse(Fused::ForTest(Fused::kCompareLocals, Op(7)), 13);
            if (AddOrSub(6) && Op(7) == kPOPL)
                return FusePair(Fused::kStoreLocals, 6, 10);
            return Fuse(Fused::kLoadTwo, 6);
        case kPUSHI:
            if (Op(8) == kICMP && Test(9) && Op(10) == kJZ)
                return Fuse(Fused::ForTest(Fused::kCompareConstant, Op(9)), 15);
            if (AddOrSub(8))
                return Op(9) == kPOPL ? FusePair(Fused::kStoreConstant, 8, 12) : FusePair(Fused::kPushConstant, 8, 9);
            return 0;
        case kPUSH0:
        case kPUSH1:
            if (Op(4) == kICMP && Test(5) && Op(6) == kJZ)
                return Fuse(Fused::ForTest(Fused::kCompareSmall, Op(5)), 11);
            if (Op(3) != kPUSH1 || !AddOrSub(4))
                return 0;
            if (Op(5) != kPOPL)
                return FusePair(Fused::kPushStep, 4, 5);
            return Op(8) == kJMP ? FusePair(Fused::kStoreStepJump, 4, 13) : FusePair(Fused::kStoreStep, 4, 8);
        case kINC:
        case kDEC:
            if (Op(4) != kPOPL)
                return 0;
            return Op(7) == kJMP ? FusePair(Fused::kStepLocalJump, 3, 12) : FusePair(Fused::kStepLocal, 3, 7);
        case kRETV:
            return Fuse(Fused::kReturnLocal, 4);
        case kADD:
        case kSUB:
            return FusePair(Fused::kAddLocal, 3, 4);
        case kAPOP:
            return Fuse(Fused::kStoreLocalElement, 4);
        default:
            return 0;
        }
    }

    // LOADO a, then:
    uint32_t AfterLoadObject()
    {
        if (U16(1) == 0) {
            if (const uint32_t call = CallOnMe()) {
                code_[at_ + call] = Fused::kCallMe;
                if (call == 3)
                    return Fuse(Fused::kCallMeAlone, 3);
                if (Op(3) == kLOAD && call == 6)
                    return Fuse(Fused::kCallMeLocal, 3);
                if (Op(3) == kLOAD && Op(6) == kPUSH1 && AddOrSub(7) && call == 8)
                    return FusePair(Fused::kCallMeStep, 7, 3);
                if (Op(3) == kLOAD && Op(6) == kPUSHI && AddOrSub(11) && call == 12)
                    return FusePair(Fused::kCallMeConstant, 11, 3);
                return Fuse(Fused::kLoadMeForCall, 3);
            }
            return Fuse(Fused::kLoadMe, 3);
        }
        switch (Op(3)) {
        case kLOAD:
            if (Op(6) == kAGET) {
                if (Op(7) == kPOPL)
                    return Fuse(Fused::kElementToLocal, 10);
                return Op(7) == kAPOP ? Fuse(Fused::kElementStore, 8) : Fuse(Fused::kElement, 7);
            }
            if (Op(6) == kPUSH1 && AddOrSub(7) && Op(8) == kAGET)
                return Op(9) == kAPOP ? FusePair(Fused::kElementStepStore, 7, 10) : FusePair(Fused::kElementStep, 7, 9);
            if (Op(6) == kPUSHI && AddOrSub(11) && Op(12) == kAGET)
                return FusePair(Fused::kElementConstant, 11, 13);
            if (Op(6) == kLOAD && Op(9) == kAPOP)
                return Fuse(Fused::kStoreElement, 10);
            if (Op(6) == kPUSH1 && AddOrSub(7) && Op(8) == kLOAD && Op(11) == kAPOP)
                return FusePair(Fused::kStoreElementStep, 7, 12);
            return Fuse(Fused::kArrayIndex, 6);
        case kSSIZE:
        case kASIZE:
            return Fuse(Fused::kSizeLocal, 4);
        case kPUSHS:
            if (Op(6) == kSCAT && Op(7) == kPOPLO && U16(8) == U16(1))
                return Fuse(Fused::kAppendLocal, 10);
            return 0;
        default:
            return 0;
        }
    }

    // After LOADO 0: the offset of the CALL whose target is the "me" it
    // pushed, when only argument code lies between; 0 when there is none.
    // The CALL lies inside the sequence, so no run enters on the way.
    uint32_t CallOnMe() const
    {
        int64_t above = 0;  // slots above "me"
        for (uint32_t offset = 3; at_ + offset < limit_;) {
            const uint8_t op = Op(offset);
            if (op == kCALL)
                return int16_t(U16(offset + 1)) == -above ? offset : 0;
            if (!BuildsArguments(op) || above < kOpcodes[op].pops)
                return 0;
            above += kOpcodes[op].pushes - kOpcodes[op].pops;
            offset += InstructionLength(code_, at_ + offset);
        }
        return 0;
    }

    uint8_t* code_;
    uint32_t at_;
    uint32_t limit_;
};

}  // namespace

uint8_t Fused::ForTest(uint8_t family, uint8_t test) { return uint8_t(family + TestIndex(test)); }

uint8_t Fused::ForArithmetic(uint8_t pair, uint8_t op) { return uint8_t(pair + (op == kSUB || op == kDEC ? 1 : 0)); }

void QuickenCode(uint8_t* code, uint32_t size, const std::vector<DepthRange>& entries)
{
    size_t next = 0;  // the first entry after the position
    for (uint32_t at = 0; at < size;) {
        while (next < entries.size() && entries[next].offset <= at)
            ++next;
        const uint32_t limit = next < entries.size() ? entries[next].offset : size;
        const uint32_t fused = Sequence(code, at, limit).Quicken();
        at += fused ? fused : InstructionLength(code, at);
    }
}

}  // namespace GSRuntime
