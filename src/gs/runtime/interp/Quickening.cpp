#include "gs/runtime/interp/Quickening.h"

#include <initializer_list>

#include "core/streams/LittleEndian.h"
#include "gs/support/bytecode/Opcodes.h"

namespace GSRuntime {

namespace {

constexpr uint8_t kAdd = 0, kSub = 1, kIcmp = 9, kPush0 = 10, kPush1 = 11, kEqz = 12, kPushi = 30, kLoad = 31,
                  kLoado = 32, kPopl = 33, kJz = 44, kLtz = 52, kGez = 55, kRetv = 110, kNez = 115;

bool IsTest(uint8_t op) { return (op >= kLtz && op <= kGez) || op == kEqz || op == kNez; }
bool IsAddOrSub(uint8_t op) { return op == kAdd || op == kSub; }

// One element of a pattern: the opcode it must be and the bytes it takes.
struct Step {
    enum Kind : uint8_t { kLoadOp, kPushiOp, kSmallPush, kOne, kIcmpOp, kTestOp, kArith, kAddOp, kStoreOp, kJzOp, kRetvOp } kind;
};

class Matcher {
public:
    Matcher(const uint8_t* code, uint32_t size, const std::vector<bool>& entered)
        : code_(code), size_(size), entered_(entered)
    {
    }

    // The length of the sequence at `at` when it has these steps and no run
    // enters it after its first byte; 0 otherwise.
    uint32_t Match(uint32_t at, std::initializer_list<Step::Kind> steps) const
    {
        uint32_t p = at;
        for (Step::Kind step : steps) {
            if (p >= size_ || (p != at && entered_[p]))
                return 0;
            const uint8_t op = code_[p];
            uint32_t length = 1;
            switch (step) {
            case Step::kLoadOp:
                if (op != kLoad)
                    return 0;
                length = 3;
                break;
            case Step::kPushiOp:
                if (op != kPushi)
                    return 0;
                length = 5;
                break;
            case Step::kSmallPush:
                if (op != kPush0 && op != kPush1)
                    return 0;
                break;
            case Step::kOne:
                if (op != kPush1)
                    return 0;
                break;
            case Step::kIcmpOp:
                if (op != kIcmp)
                    return 0;
                break;
            case Step::kTestOp:
                if (!IsTest(op))
                    return 0;
                break;
            case Step::kArith:
                if (!IsAddOrSub(op))
                    return 0;
                break;
            case Step::kAddOp:
                if (op != kAdd)
                    return 0;
                break;
            case Step::kRetvOp:
                if (op != kRetv)
                    return 0;
                break;
            case Step::kStoreOp:
                if (op != kPopl)
                    return 0;
                length = 3;
                break;
            case Step::kJzOp:
                if (op != kJz)
                    return 0;
                length = 5;
                break;
            }
            p += length;
        }
        return p <= size_ ? p - at : 0;
    }

private:
    const uint8_t* code_;
    uint32_t size_;
    const std::vector<bool>& entered_;
};

// Bytes of the instruction at `at` (verified code: every instruction is
// whole).
uint32_t InstructionLength(const uint8_t* code, uint32_t at)
{
    const GSBytecode::OpcodeInfo& info = GSBytecode::kOpcodes[code[at]];
    uint32_t length = 1 + GSBytecode::FixedOperandSize(info.operands);
    if (info.operands == GSBytecode::Operands::kWait)
        length += 8 * uint32_t(int16_t(LoadLE16(code + at + 1)));
    else if (info.operands == GSBytecode::Operands::kSwitch)
        length += 8 * uint32_t(LoadLE16(code + at + 1)) + 4;
    return length;
}

}  // namespace

void QuickenCode(uint8_t* code, uint32_t size, const std::vector<DepthRange>& entries)
{
    using S = Step::Kind;
    std::vector<bool> entered(size, false);
    for (const DepthRange& entry : entries)
        entered[entry.offset] = true;
    const Matcher m(code, size, entered);
    const struct {
        uint8_t fused;
        std::initializer_list<S> steps;
    } patterns[] = {
        {Fused::kCompareLocals, {S::kLoadOp, S::kLoadOp, S::kIcmpOp, S::kTestOp, S::kJzOp}},
        {Fused::kCompareConstant, {S::kLoadOp, S::kPushiOp, S::kIcmpOp, S::kTestOp, S::kJzOp}},
        {Fused::kCompareSmall, {S::kLoadOp, S::kSmallPush, S::kIcmpOp, S::kTestOp, S::kJzOp}},
        {Fused::kStoreLocals, {S::kLoadOp, S::kLoadOp, S::kArith, S::kStoreOp}},
        {Fused::kStoreStep, {S::kLoadOp, S::kOne, S::kArith, S::kStoreOp}},
        {Fused::kStoreConstant, {S::kLoadOp, S::kPushiOp, S::kArith, S::kStoreOp}},
        {Fused::kPushStep, {S::kLoadOp, S::kOne, S::kArith}},
        {Fused::kPushConstant, {S::kLoadOp, S::kPushiOp, S::kArith}},
        {Fused::kReturnLocal, {S::kLoadOp, S::kRetvOp}},
        {Fused::kLoadTwo, {S::kLoadOp, S::kLoadOp}},
        {Fused::kAddReturn, {S::kAddOp, S::kRetvOp}},
    };
    for (uint32_t at = 0; at < size;) {
        if (code[at] == kLoado && LoadLE16(code + at + 1) == 0) {
            code[at] = Fused::kLoadMe;
            at += 3;
            continue;
        }
        uint32_t fused = 0;
        for (const auto& pattern : patterns) {
            fused = m.Match(at, pattern.steps);
            if (fused) {
                code[at] = pattern.fused;
                break;
            }
        }
        at += fused ? fused : InstructionLength(code, at);
    }
}

}  // namespace GSRuntime
