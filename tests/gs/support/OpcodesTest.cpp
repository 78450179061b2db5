#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "gs/support/bytecode/Opcodes.h"

using namespace GSBytecode;

// The code generator's stack accounting, opcode by opcode: every opcode
// not listed counts 0.
TEST(OpcodesTest, StackEffectsAreTheCodeGeneratorsAccounting)
{
    const std::map<int, std::set<int>> byEffect = {
        {2, {41}},
        {1, {10, 11, 30, 31, 32, 39, 40, 72, 73, 88, 89, 103, 104}},
        {-1, {0,  1,  2,  3,  4,  9,  13, 14, 15, 17, 18, 19, 20, 21,  22,  23,  28,  33,  35,  37,
              38, 44, 45, 48, 49, 50, 51, 60, 63, 79, 85, 86, 91, 100, 102, 105, 106, 110, 111, 113}},
        {-2, {62, 65, 66, 69, 81, 82, 99, 101}},
        {-3, {61, 64, 68, 71, 80, 84}},
        {-4, {67, 70, 83}},
    };
    for (uint32_t op = 0; op < kOpcodeCount + 4; ++op) {
        int expected = 0;
        for (const auto& [effect, ops] : byEffect) {
            if (ops.count(int(op)))
                expected = effect;
        }
        EXPECT_EQ(StackEffect(op), expected) << "opcode " << op;
    }
}

// The named opcodes stand where the table's mnemonics say, and each
// operand layout takes the bytes the instruction set gives it.
TEST(OpcodesTest, MnemonicsAndOperandLayouts)
{
    const struct {
        Opcode opcode;
        const char* mnemonic;
        uint32_t operandBytes;
    } cases[] = {
        {kADD, "ADD", 0},       {kPUSH1, "PUSH1", 0},   {kFEQZ, "FEQZ", 0},      {kPUSHI, "PUSHI", 4},
        {kLOAD, "LOAD", 2},     {kSTORELO, "STORELO", 2}, {kDUP2, "DUP2", 0},    {kJMP, "JMP", 4},
        {kJGEZ, "JGEZ", 4},     {kGEZ, "GEZ", 0},       {kRSETO, "RSETO", 0},    {kPUSHS, "PUSHS", 2},
        {kSSETR, "SSETR", 0},   {kCAST, "CAST", 2},     {kCALL, "CALL", 4},      {kCALLT, "CALLT", 4},
        {kGETF, "GETF", 2},     {kSETMO, "SETMO", 2},   {kRETO, "RETO", 0},      {kWAIT, "WAIT", 2},
        {kSWITCH, "SWITCH", 2}, {kINHERITED, "INHERITED", 2}, {kNEZ, "NEZ", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mnemonic);
        EXPECT_EQ(std::string(kOpcodes[c.opcode].mnemonic), c.mnemonic);
        EXPECT_EQ(FixedOperandSize(kOpcodes[c.opcode].operands), c.operandBytes);
    }
    std::set<std::string> names;
    for (const OpcodeInfo& info : kOpcodes)
        names.insert(info.mnemonic);
    EXPECT_EQ(names.size(), kOpcodeCount);
    EXPECT_EQ(int(kNEZ) + 1, int(kOpcodeCount));
}
