#include <gtest/gtest.h>

#include <map>
#include <set>

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

TEST(OpcodesTest, OperandLayouts)
{
    struct Case {
        std::set<int> ops;
        Operands operands;
        uint32_t bytes;
    };
    const Case cases[] = {
        {{30}, Operands::kImmediate, 4},
        {{31, 32, 33, 34, 35, 36}, Operands::kLocal, 2},
        {{43, 44, 45, 46, 47, 48, 49, 50, 51}, Operands::kJump, 4},
        {{73}, Operands::kString, 2},
        {{87, 88, 89, 90}, Operands::kClass, 2},
        {{94, 95, 96}, Operands::kCall, 4},
        {{97, 98, 99, 100, 101, 102}, Operands::kField, 2},
        {{103, 104, 105, 106, 107, 108}, Operands::kMeField, 2},
        {{112}, Operands::kWait, 2},
        {{113}, Operands::kSwitch, 2},
        {{114}, Operands::kInherited, 2},
    };
    std::set<int> withOperands;
    for (const Case& c : cases) {
        for (int op : c.ops) {
            EXPECT_EQ(kOpcodes[op].operands, c.operands) << op;
            EXPECT_EQ(FixedOperandSize(kOpcodes[op].operands), c.bytes) << op;
            withOperands.insert(op);
        }
    }
    for (uint32_t op = 0; op < kOpcodeCount; ++op) {
        if (!withOperands.count(int(op))) {
            EXPECT_EQ(kOpcodes[op].operands, Operands::kNone) << op;
        }
    }
}

TEST(OpcodesTest, ControlFlow)
{
    const std::map<Flow, std::set<int>> byFlow = {
        {Flow::kJump, {43}},
        {Flow::kBranch, {44, 45, 46, 47, 48, 49, 50, 51}},
        {Flow::kCall, {94, 95, 114}},
        {Flow::kReturn, {109, 110, 111}},
        {Flow::kWait, {112}},
        {Flow::kSwitch, {113}},
    };
    for (uint32_t op = 0; op < kOpcodeCount; ++op) {
        Flow expected = Flow::kNext;
        for (const auto& [flow, ops] : byFlow) {
            if (ops.count(int(op)))
                expected = flow;
        }
        EXPECT_EQ(kOpcodes[op].flow, expected) << op;
    }
    EXPECT_EQ(kOpcodes[42].scratch, 1);  // swap uses the slot above the top
}
