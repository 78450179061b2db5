#include "support/GSDisassembler.h"

namespace {

// A number's text as a const string, as the string texts below are:
// `"x" + std::to_string(n)` moves the number's string and inserts in front
// of it, where GCC's optimiser warns of an overlapping copy that cannot
// happen; a const string is appended to a copy instead.
const std::string Number(int64_t n)
{
    return std::to_string(n);
}

}  // namespace

std::string gsimage::Disassemble(const Image& image, const std::vector<uint8_t>& code)
{
    using GSBytecode::Operands;
    auto u16 = [&](size_t at) { return uint32_t(code[at]) | uint32_t(code[at + 1]) << 8; };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    auto text = [&](uint32_t index) -> const std::string {
        return index < image.strings.size() ? "\"" + image.strings[index] + "\"" : "#" + Number(index);
    };
    std::string out;
    size_t at = 0;
    while (at < code.size()) {
        if (!out.empty())
            out += "; ";
        const uint8_t opcode = code[at];
        if (opcode >= GSBytecode::kOpcodeCount)
            return out + "?";
        const GSBytecode::OpcodeInfo& info = GSBytecode::kOpcodes[opcode];
        const size_t operands = at + 1;
        size_t next = operands + GSBytecode::FixedOperandSize(info.operands);
        if (next > code.size())
            return out + "?";
        out += info.mnemonic;
        switch (info.operands) {
        case Operands::kNone:
            break;
        case Operands::kImmediate:
            out += " " + Number(int32_t(u32(operands)));
            break;
        case Operands::kLocal:
        case Operands::kField:
        case Operands::kMeField:
        case Operands::kJump:
            out += " " + Number(info.operands == Operands::kJump ? u32(operands) : u16(operands));
            break;
        case Operands::kString:
            out += " " + text(u16(operands));
            break;
        case Operands::kClass: {
            const uint32_t ref = u16(operands);
            out += " " + (ref < image.classRefs.size() ? image.classRefs[ref].name : "#" + Number(ref));
            break;
        }
        case Operands::kCall:
            out += " " + Number(int16_t(u16(operands))) + " " + Number(u16(operands + 2));
            break;
        case Operands::kInherited:
            out += " " + Number(int16_t(u16(operands)));
            break;
        case Operands::kWait: {
            const uint32_t n = u16(operands);
            next += size_t(n) * 8;
            if (next > code.size())
                return out + " ?";
            for (uint32_t i = 0; i < n; ++i)
                out += " " + text(u16(operands + 2 + 4 * i)) + "," + text(u16(operands + 4 + 4 * i)) + "->" +
                       Number(u32(operands + 2 + 4 * n + 4 * i));
            break;
        }
        case Operands::kSwitch: {
            const uint32_t n = u16(operands);
            next += size_t(n) * 8 + 4;
            if (next > code.size())
                return out + " ?";
            for (uint32_t i = 0; i < n; ++i)
                out += " " + Number(int32_t(u32(operands + 2 + 4 * i))) + "->" +
                       Number(u32(operands + 2 + 4 * n + 4 * i));
            out += " default->" + Number(u32(operands + 2 + 8 * n));
            break;
        }
        }
        at = next;
    }
    return out;
}
