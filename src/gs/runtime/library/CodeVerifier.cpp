#include "gs/runtime/library/CodeVerifier.h"

#include <algorithm>

#include "core/streams/LittleEndian.h"
#include "gs/support/bytecode/Opcodes.h"

namespace GSRuntime {

namespace {

using GSBytecode::Flow;
using GSBytecode::Operands;

constexpr uint32_t kLoadObjectLocal = 32;

struct Instruction {
    uint32_t offset;
    uint32_t opcode;
    int32_t depth;  // the s16 depth of a call, 0 otherwise
};

class Verifier {
public:
    Verifier(const uint8_t* code, uint32_t size, const CodeLimits& limits)
        : code_(code), size_(size), limits_(limits), starts_(size, false), entries_(size, false)
    {
    }

    bool Run(std::vector<DepthRange>& ranges)
    {
        return Decode() && TargetsStartInstructions() && MeasureDepths(ranges);
    }

private:
    uint16_t U16(uint32_t at) const { return LoadLE16(code_ + at); }
    uint32_t U32(uint32_t at) const { return LoadLE32(code_ + at); }

    // Walks the code once from the start: every instruction whole, every
    // index operand in range. Targets are checked once all starts are known.
    bool Decode()
    {
        uint32_t at = 0;
        while (at < size_) {
            const uint32_t opcode = code_[at];
            if (opcode >= GSBytecode::kOpcodeCount)
                return false;
            const GSBytecode::OpcodeInfo& info = GSBytecode::kOpcodes[opcode];
            const uint32_t operands = at + 1;
            uint64_t end = uint64_t(operands) + GSBytecode::FixedOperandSize(info.operands);
            if (end > size_)
                return false;
            Instruction ins{at, opcode, 0};
            switch (info.operands) {
            case Operands::kNone:
            case Operands::kImmediate:
            case Operands::kField:
                break;
            case Operands::kLocal:
                // "me" stays what the call made it: only LOADO reads it,
                // and nothing writes it, so the frame always knows its
                // object (and the context the object belongs to).
                if (U16(operands) >= limits_.locals || (U16(operands) == 0 && opcode != kLoadObjectLocal))
                    return false;
                break;
            case Operands::kString:
                if (U16(operands) >= limits_.strings)
                    return false;
                break;
            case Operands::kClass:
                if (U16(operands) >= limits_.classRefs)
                    return false;
                break;
            case Operands::kMeField:
                if (U16(operands) < kFirstMeField || U16(operands) >= limits_.meFields)
                    return false;
                break;
            case Operands::kJump:
                targets_.push_back(U32(operands));
                break;
            case Operands::kCall:
            case Operands::kInherited:
                ins.depth = static_cast<int16_t>(U16(operands));
                if (ins.depth > 0)
                    return false;
                break;
            case Operands::kWait: {
                const int32_t n = static_cast<int16_t>(U16(operands));
                if (n < 0)
                    return false;
                end += uint64_t(n) * 8;
                if (end > size_)
                    return false;
                for (int32_t i = 0; i < n; ++i) {
                    if (U16(operands + 2 + 4 * i) >= limits_.strings || U16(operands + 4 + 4 * i) >= limits_.strings)
                        return false;
                    targets_.push_back(U32(operands + 2 + 4 * n + 4 * i));
                }
                break;
            }
            case Operands::kSwitch: {
                const uint32_t n = U16(operands);
                end += uint64_t(n) * 8 + 4;
                if (end > size_)
                    return false;
                for (uint32_t i = 1; i < n; ++i) {
                    if (static_cast<int32_t>(U32(operands + 2 + 4 * i)) <
                        static_cast<int32_t>(U32(operands + 2 + 4 * (i - 1))))
                        return false;
                }
                for (uint32_t i = 0; i <= n; ++i)
                    targets_.push_back(U32(operands + 2 + 4 * n + 4 * i));
                break;
            }
            }
            starts_[at] = true;
            instructions_.push_back(ins);
            at = static_cast<uint32_t>(end);
        }
        return true;
    }

    bool TargetsStartInstructions()
    {
        entries_[0] = true;
        for (uint32_t target : targets_) {
            if (target >= size_ || !starts_[target])
                return false;
            entries_[target] = true;
        }
        // A call comes back to the instruction after it, so none may be last.
        for (size_t i = 0; i < instructions_.size(); ++i) {
            if (GSBytecode::kOpcodes[instructions_[i].opcode].flow != Flow::kCall)
                continue;
            if (i + 1 == instructions_.size())
                return false;
            entries_[instructions_[i + 1].offset] = true;
        }
        return true;
    }

    // From the last entry to the first: each runs forward until control
    // leaves straight-line flow or reaches the next entry, whose range
    // (found already) it then takes on from the depth it has there.
    bool MeasureDepths(std::vector<DepthRange>& ranges)
    {
        std::vector<DepthRange> found;
        size_t nextEntry = instructions_.size();  // index of the entry after the current one
        DepthRange nextRange{0, 0, 0};
        for (size_t start = instructions_.size(); start-- > 0;) {
            if (!entries_[instructions_[start].offset])
                continue;
            int64_t depth = 0, lowest = 0, highest = 0;
            bool ended = false;
            for (size_t i = start; i < instructions_.size(); ++i) {
                if (i == nextEntry) {
                    lowest = std::min(lowest, depth + nextRange.lowest);
                    highest = std::max(highest, depth + nextRange.highest);
                    ended = true;
                    break;
                }
                const Instruction& ins = instructions_[i];
                const GSBytecode::OpcodeInfo& info = GSBytecode::kOpcodes[ins.opcode];
                if (info.operands == Operands::kCall || info.operands == Operands::kInherited) {
                    // The target and the arguments go; a callee's result
                    // comes back as the next entry's concern.
                    depth += ins.depth - 1;
                    lowest = std::min(lowest, depth);
                } else {
                    depth -= info.pops;
                    lowest = std::min(lowest, depth);
                    highest = std::max(highest, depth + info.pushes + info.scratch);
                    depth += info.pushes;
                }
                if (info.flow == Flow::kJump || info.flow == Flow::kReturn || info.flow == Flow::kSwitch ||
                    info.flow == Flow::kWait || info.flow == Flow::kCall) {
                    ended = true;
                    break;
                }
            }
            // Running on past the last instruction would leave the code.
            if (!ended || lowest < INT32_MIN || highest > INT32_MAX)
                return false;
            found.push_back({instructions_[start].offset, int32_t(lowest), int32_t(highest)});
            nextEntry = start;
            nextRange = found.back();
        }
        ranges.assign(found.rbegin(), found.rend());
        return true;
    }

    const uint8_t* code_;
    uint32_t size_;
    CodeLimits limits_;
    std::vector<bool> starts_;
    std::vector<bool> entries_;
    std::vector<Instruction> instructions_;
    std::vector<uint32_t> targets_;
};

}  // namespace

bool VerifyCode(const uint8_t* code, uint32_t size, const CodeLimits& limits, std::vector<DepthRange>& ranges)
{
    ranges.clear();
    if (size == 0)
        return true;
    return Verifier(code, size, limits).Run(ranges);
}

}  // namespace GSRuntime
