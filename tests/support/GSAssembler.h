// Hand-assembled script bytecode for the runtime's tests: opcodes with
// their operands, labels for jumps and tables, and source lines.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

// The opcodes by their mnemonics.
namespace gsop {
enum : uint8_t {
    ADD, SUB, MUL, DIV, MOD, NEG, INC, DEC, ITOF, ICMP, PUSH0, PUSH1, EQZ, AND, OR, XOR, NOT, SHL, SHR,
    FADD, FSUB, FMUL, FDIV, FMOD, FNEG, FINC, FDEC, FTOI, FCMP, FEQZ,
    PUSHI, LOAD, LOADO, POPL, STOREL, POPLO, STORELO, POP, POPO, DUP, DUPO, DUP2, SWAP,
    JMP, JZ, JNZ, JZK, JNZK, JLTZ, JLEZ, JGTZ, JGEZ, LTZ, LEZ, GTZ, GEZ,
    NEWARR, NEWARRO, ASIZE, ACOPY, AGET, APOP, ASET, AGETO, APOPO, ASETO, RGET, RPOP, RSET, RGETO, RPOPO, RSETO,
    NEWSTR, PUSHS, ITOS, BTOS, FTOS, SCOPY, SSIZE, SGETC, SPOPC, SSETC, SGETR, SPOPR, SSETR, SCMP, SCAT,
    ISCLASS, NEWOBJ, STATIC, CAST, OCMP, ISNULL, NOTNULL, CALL, CALLN, CALLT,
    GETF, GETFO, POPF, SETF, POPFO, SETFO, GETM, GETMO, POPM, POPMO, SETM, SETMO,
    RET, RETV, RETO, WAIT, SWITCH, INHERITED, NEZ,
};
static_assert(NEZ == 115 && GETF == 97 && NEWSTR == 72 && JMP == 43);
}  // namespace gsop

class GSAsm {
public:
    GSAsm& Op(uint8_t opcode)
    {
        bytes_.push_back(opcode);
        return *this;
    }
    GSAsm& U16(uint16_t v)
    {
        bytes_.push_back(uint8_t(v));
        bytes_.push_back(uint8_t(v >> 8));
        return *this;
    }
    GSAsm& U32(uint32_t v) { return U16(uint16_t(v)).U16(uint16_t(v >> 16)); }
    // Opcode with a u16 operand (locals, fields, strings, classes).
    GSAsm& Op(uint8_t opcode, uint16_t operand) { return Op(opcode).U16(operand); }
    // PUSHI of an integer, or of a float's bits.
    GSAsm& Int(int32_t v) { return Op(30).U32(uint32_t(v)); }
    GSAsm& Float(float f)
    {
        uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        return Op(30).U32(bits);
    }
    // A call-family instruction: depth 1 - arguments, method slot.
    GSAsm& Call(uint8_t opcode, int16_t depth, uint16_t method)
    {
        return Op(opcode).U16(uint16_t(depth)).U16(method);
    }
    // A jump to a label placed before or after.
    GSAsm& Jump(uint8_t opcode, const std::string& label) { return Op(opcode).Target(label); }
    // A u32 code offset of a label (jump operands, switch and wait tables).
    GSAsm& Target(const std::string& label);
    GSAsm& Label(const std::string& name);
    // The instructions from here on come from this source line.
    GSAsm& Line(uint32_t line);

    uint32_t Here() const { return uint32_t(bytes_.size()); }
    uint32_t At(const std::string& label) const;
    std::vector<uint8_t> Bytes() const;
    const std::vector<std::pair<uint32_t, uint32_t>>& Lines() const { return lines_; }

private:
    std::vector<uint8_t> bytes_;
    std::map<std::string, uint32_t> labels_;
    std::vector<std::pair<size_t, std::string>> fixups_;
    std::vector<std::pair<uint32_t, uint32_t>> lines_;
};
