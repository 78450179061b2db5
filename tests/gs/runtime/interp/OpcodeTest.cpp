// The interpreter, opcode by opcode, on hand-assembled snippets that pass
// the loader's verifier: integers, floats, bits, locals and the stack,
// jumps and switches. Arrays, strings, objects and calls have suites of
// their own.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "gs/runtime/ScriptWorld.h"

using namespace GSRuntime;
using namespace gsop;

#define C(body) [](GSProgram & p) { (void)p; return GSAsm() body; }

namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

}  // namespace

TEST(OpcodeTest, IntegerArithmetic)
{
    RunSnippets({
        IntCase("add", C(.Int(2).Int(3).Op(ADD).Op(RETV)), 5),
        IntCase("add wraps", C(.Int(kMax).Op(PUSH1).Op(ADD).Op(RETV)), kMin),
        IntCase("sub", C(.Int(2).Int(3).Op(SUB).Op(RETV)), -1),
        IntCase("mul keeps the low 32 bits", C(.Int(0x10001).Int(0x10000).Op(MUL).Op(RETV)), 0x10000),
        IntCase("div truncates toward zero", C(.Int(-7).Int(2).Op(DIV).Op(RETV)), -3),
        IntCase("mod takes the sign of a", C(.Int(-7).Int(2).Op(MOD).Op(RETV)), -1),
        ExitCase("div by zero", C(.Int(7).Op(PUSH0).Op(DIV).Op(RETV)), ER_DivideByZero),
        ExitCase("mod by zero", C(.Int(7).Op(PUSH0).Op(MOD).Op(RETV)), ER_DivideByZero),
        IntCase("INT_MIN div -1", C(.Int(kMin).Int(-1).Op(DIV).Op(RETV)), kMin),
        IntCase("INT_MIN mod -1", C(.Int(kMin).Int(-1).Op(MOD).Op(RETV)), 0),
        IntCase("neg", C(.Int(5).Op(NEG).Op(RETV)), -5),
        IntCase("neg INT_MIN", C(.Int(kMin).Op(NEG).Op(RETV)), kMin),
        IntCase("inc wraps", C(.Int(kMax).Op(INC).Op(RETV)), kMin),
        IntCase("dec wraps", C(.Int(kMin).Op(DEC).Op(RETV)), kMax),
        IntCase("icmp is the wrapped difference", C(.Int(kMax).Int(-1).Op(ICMP).Op(RETV)), kMin),
        IntCase("push0", C(.Op(PUSH0).Op(RETV)), 0),
        IntCase("push1", C(.Op(PUSH1).Op(RETV)), 1),
        IntCase("pushi sign-extends", C(.Int(-2).Op(RETV)), -2),
    });
}

TEST(OpcodeTest, LogicAndBits)
{
    RunSnippets({
        IntCase("eqz of 0", C(.Op(PUSH0).Op(EQZ).Op(RETV)), 1),
        IntCase("eqz of 5", C(.Int(5).Op(EQZ).Op(RETV)), 0),
        IntCase("nez of 0", C(.Op(PUSH0).Op(NEZ).Op(RETV)), 0),
        IntCase("nez of -3", C(.Int(-3).Op(NEZ).Op(RETV)), 1),
        LeavesBehind(IntCase("eqz of a string reads the whole word", C(.Op(NEWSTR).Op(EQZ).Op(RETV)), 0), 1),
        IntCase("and", C(.Int(0xC).Int(0xA).Op(AND).Op(RETV)), 0x8),
        IntCase("or", C(.Int(0xC).Int(0xA).Op(OR).Op(RETV)), 0xE),
        IntCase("xor", C(.Int(0xC).Int(0xA).Op(XOR).Op(RETV)), 0x6),
        IntCase("not", C(.Int(0).Op(NOT).Op(RETV)), -1),
        IntCase("shl takes the count modulo 32", C(.Op(PUSH1).Int(33).Op(SHL).Op(RETV)), 2),
        IntCase("shr is logical", C(.Int(-1).Op(PUSH1).Op(SHR).Op(RETV)), kMax),
        IntCase("shr by 32 shifts by 0", C(.Int(-1).Int(32).Op(SHR).Op(RETV)), -1),
        IntCase("ltz", C(.Int(-1).Op(LTZ).Op(RETV)), 1),
        IntCase("ltz of 0", C(.Op(PUSH0).Op(LTZ).Op(RETV)), 0),
        IntCase("lez of 0", C(.Op(PUSH0).Op(LEZ).Op(RETV)), 1),
        IntCase("gtz of 0", C(.Op(PUSH0).Op(GTZ).Op(RETV)), 0),
        IntCase("gtz of 2", C(.Int(2).Op(GTZ).Op(RETV)), 1),
        IntCase("gez of -1", C(.Int(-1).Op(GEZ).Op(RETV)), 0),
        IntCase("gez of 0", C(.Op(PUSH0).Op(GEZ).Op(RETV)), 1),
    });
}

TEST(OpcodeTest, Floats)
{
    RunSnippets({
        FloatCase("fadd", C(.Float(1.5f).Float(2.25f).Op(FADD).Op(RETV)), 3.75f),
        FloatCase("fsub", C(.Float(1.5f).Float(2.25f).Op(FSUB).Op(RETV)), -0.75f),
        FloatCase("fmul", C(.Float(1.5f).Float(-2.0f).Op(FMUL).Op(RETV)), -3.0f),
        FloatCase("fdiv", C(.Float(1.0f).Float(4.0f).Op(FDIV).Op(RETV)), 0.25f),
        FloatCase("fdiv by -0.0 divides", C(.Float(1.0f).Float(-0.0f).Op(FDIV).Op(RETV)), -kInf),
        {"fdiv by +0.0 traps", C(.Float(1.0f).Op(PUSH0).Op(FDIV).Op(RETV)), "float", ER_DivideByZero},
        FloatCase("fmod in double precision", C(.Float(7.5f).Float(2.0f).Op(FMOD).Op(RETV)), 1.5f),
        {"fmod by +0.0 traps", C(.Float(7.5f).Op(PUSH0).Op(FMOD).Op(RETV)), "float", ER_DivideByZero},
        IntCase("fmod by -0.0 gives NaN",
                C(.Float(7.5f).Float(-0.0f).Op(FMOD).Op(DUP).Op(FCMP).Op(RETV)), 0),
        FloatCase("fneg of 0 is -0.0", C(.Op(PUSH0).Op(FNEG).Op(RETV)), -0.0f),
        FloatCase("finc", C(.Float(1.5f).Op(FINC).Op(RETV)), 2.5f),
        FloatCase("fdec", C(.Float(1.5f).Op(FDEC).Op(RETV)), 0.5f),
        FloatCase("itof", C(.Int(-3).Op(ITOF).Op(RETV)), -3.0f),
        IntCase("ftoi truncates", C(.Float(3.9f).Op(FTOI).Op(RETV)), 3),
        IntCase("ftoi truncates toward zero", C(.Float(-3.9f).Op(FTOI).Op(RETV)), -3),
        IntCase("ftoi of NaN", C(.Float(kNaN).Op(FTOI).Op(RETV)), kMin),
        IntCase("ftoi out of range", C(.Float(3e9f).Op(FTOI).Op(RETV)), kMin),
        IntCase("ftoi of -inf", C(.Float(-kInf).Op(FTOI).Op(RETV)), kMin),
        IntCase("ftoi of -2^31", C(.Float(-2147483648.0f).Op(FTOI).Op(RETV)), kMin),
        IntCase("fcmp below", C(.Float(1.0f).Float(2.0f).Op(FCMP).Op(RETV)), -1),
        IntCase("fcmp above", C(.Float(2.0f).Float(1.0f).Op(FCMP).Op(RETV)), 1),
        IntCase("fcmp equal", C(.Float(2.0f).Float(2.0f).Op(FCMP).Op(RETV)), 0),
        IntCase("fcmp with NaN", C(.Float(kNaN).Float(1.0f).Op(FCMP).Op(RETV)), 0),
        IntCase("feqz of +0.0", C(.Op(PUSH0).Op(FEQZ).Op(RETV)), 1),
        // -0.0 is zero, as when the compiler folds "!".
        IntCase("feqz of -0.0", C(.Float(-0.0f).Op(FEQZ).Op(RETV)), 1),
        IntCase("feqz of NaN", C(.Float(kNaN).Op(FEQZ).Op(RETV)), 0),
    });
}

TEST(OpcodeTest, LocalsAndTheStack)
{
    RunSnippets({
        IntCase("popl then load", C(.Int(9).Op(POPL, 1).Op(LOAD, 1).Op(RETV)), 9),
        IntCase("storel keeps the value", C(.Int(9).Op(STOREL, 2).Op(LOAD, 2).Op(ADD).Op(RETV)), 18),
        IntCase("pop", C(.Int(1).Int(2).Op(POP).Op(RETV)), 1),
        IntCase("dup", C(.Int(4).Op(DUP).Op(MUL).Op(RETV)), 16),
        IntCase("swap", C(.Int(1).Int(2).Op(SWAP).Op(SUB).Op(RETV)), 1),
        IntCase("dup2 copies an array and an index",
                C(.Int(3).Op(NEWARR).Op(PUSH1).Op(DUP2).Int(7).Op(APOP).Op(AGET).Op(RETV)), 7),
        TextCase("poplo and loado", C(.Op(PUSHS, p.Str("abc")).Op(POPLO, 3).Op(LOADO, 3).Op(RETO)), "abc"),
        TextCase("storelo keeps its own count",
                 C(.Op(PUSHS, p.Str("abc")).Op(STORELO, 3).Op(POPO).Op(LOADO, 3).Op(RETO)), "abc"),
        TextCase("dupo", C(.Op(PUSHS, p.Str("x")).Op(DUPO).Op(POPO).Op(RETO)), "x"),
        IntCase("popo of null", C(.Op(PUSH0).Op(POPO).Int(3).Op(RETV)), 3),
        // A reference moved into a temporary with a plain pop comes back
        // with a plain load, which empties the temporary.
        TextCase("a plain load moves a reference out",
                 C(.Op(PUSHS, p.Str("m")).Op(POPL, 1).Op(LOAD, 1).Op(LOAD, 1).Op(POP).Op(RETO)), "m"),
        // A plain copy of a reference is a number: it cannot be used as one.
        ExitCase("dup of a reference is no reference",
                 C(.Op(NEWSTR).Op(DUP).Op(SSIZE).Op(RETV)), ER_IllegalInstruction),
        ExitCase("a number is no string", C(.Int(0x1000).Op(SSIZE).Op(RETV)), ER_IllegalInstruction),
    });
}

TEST(OpcodeTest, Jumps)
{
    // Each conditional jump, taken and not: 1 when taken, 0 when not.
    struct Jump {
        uint8_t op;
        int32_t c;
        bool taken;
        bool keeps;
    };
    const Jump jumps[] = {
        {JZ, 0, true, false},    {JZ, 5, false, false},    {JNZ, 5, true, false},   {JNZ, 0, false, false},
        {JZK, 0, true, true},    {JZK, 5, false, true},    {JNZK, -5, true, true},  {JNZK, 0, false, true},
        {JLTZ, -1, true, false}, {JLTZ, 0, false, false},  {JLEZ, 0, true, false},  {JLEZ, 1, false, false},
        {JGTZ, 1, true, false},  {JGTZ, 0, false, false},  {JGEZ, 0, true, false},  {JGEZ, -1, false, false},
    };
    std::vector<SnippetCase> cases;
    for (const Jump& j : jumps) {
        cases.push_back(IntCase("jump", [j](GSProgram&) {
            GSAsm a;
            a.Int(j.c).Jump(j.op, "taken");
            if (j.keeps)
                a.Op(POP);
            a.Op(PUSH0).Op(RETV).Label("taken");
            if (j.keeps)
                a.Op(POP);
            return a.Op(PUSH1).Op(RETV);
        }, j.taken ? 1 : 0));
    }
    cases.push_back(IntCase("jmp", C(.Jump(JMP, "on").Op(PUSH0).Op(RETV).Label("on").Op(PUSH1).Op(RETV)), 1));
    // A jump's condition is the whole word: a reference is not zero.
    cases.push_back(LeavesBehind(IntCase("jz of a reference", C(.Op(NEWSTR).Jump(JZ, "zero").Op(PUSH1).Op(RETV)
                                                                   .Label("zero").Op(PUSH0).Op(RETV)), 1), 1));
    RunSnippets(cases);
}

TEST(OpcodeTest, SwitchSearchesItsSortedValues)
{
    std::vector<SnippetCase> cases;
    for (int32_t v : {-7, 1, 3, 5, 2, 100}) {
        const int32_t expected = v == 1 ? 10 : v == 3 ? 30 : v == 5 ? 50 : v == -7 ? 70 : 0;
        cases.push_back(IntCase("switch", [v](GSProgram&) {
            return GSAsm()
                .Int(v)
                .Op(SWITCH)
                .U16(4)
                .U32(uint32_t(-7)).U32(1).U32(3).U32(5)
                .Target("m7").Target("one").Target("three").Target("five").Target("default")
                .Label("m7").Int(70).Op(RETV)
                .Label("one").Int(10).Op(RETV)
                .Label("three").Int(30).Op(RETV)
                .Label("five").Int(50).Op(RETV)
                .Label("default").Op(PUSH0).Op(RETV);
        }, expected));
    }
    cases.push_back(IntCase("an empty switch takes its default", C(.Int(4).Op(SWITCH).U16(0).Target("d")
                                                                       .Label("d").Int(8).Op(RETV)), 8));
    RunSnippets(cases);
}

TEST(OpcodeTest, ReturnsCheckTheStack)
{
    RunSnippets({
        ExitCase("two values left", C(.Op(PUSH1).Op(PUSH1).Op(RETV)), ER_StackReturnError),
        ExitCase("a value left at a void return", [](GSProgram&) { return GSAsm().Op(PUSH1).Op(RET); },
                 ER_StackReturnError),
    });
}
