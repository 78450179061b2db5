// Quickening: each fused sequence gives what the instructions it stands for
// give, with the same budget spent, and only where no run enters it in the
// middle.
#include <gtest/gtest.h>

#include "gs/runtime/ScriptWorld.h"
#include "gs/runtime/interp/Quickening.h"

using namespace GSRuntime;
using namespace gsop;

namespace {

// A sequence under test: `body` leaves one int on the stack (for the
// compares, 1 when JZ is not taken and 2 when it is), starting at the
// label "seq"; `inner` names a label inside it.
struct Sequence {
    const char* what;
    uint8_t fused;
    std::function<void(GSAsm&)> body;
    const char* at = "seq";  // where the fused opcode lands
};

struct Result {
    GSExitCode code;
    GSSlot value;
    uint64_t spent;
    uint8_t first;  // the opcode byte at "seq" after loading
};

// Locals: 1 = 7, 2 = -3, 3 = a string (a reference), 4 free.
Result RunSequence(const Sequence& s, bool keepApart)
{
    ScriptWorld w;
    GSAsm a;
    a.Int(7).Op(POPL, 1).Int(-3).Op(POPL, 2).Op(PUSHS, 0).Op(POPLO, 3);
    a.Label("seq");
    s.body(a);
    a.Op(RETV);
    if (keepApart)  // a jump nobody takes makes the inside an entry
        a.Jump(JMP, "inner");
    GSProgram p("t.gs", 0x7E57, 0x1, &SystemProgram());
    p.Str("s");
    GSProgram::Class& t = p.AddClass("T");
    GSProgram::Method& m = p.AddMethod(t, "Run", "int", {}, a);
    m.locals = 4;
    m.objectLocals = {3};
    GSLibrary* lib = w.Load(p);
    EXPECT_NE(lib, nullptr);
    if (!lib)
        return {};
    GSObject* o = w.Make(w.Class(lib, "T"));
    ScriptRun r = w.Run(o, "$int@T::Run()");
    return {r.code, r.value, RunState().spent, o->Instance()->cls->OwnFunction("$int@T::Run()")->code[a.At(s.at)]};
}

// The compare-and-branch shapes: 1 when not taken, 2 when taken.
std::function<void(GSAsm&)> Branch(std::function<void(GSAsm&)> pushes, uint8_t test)
{
    return [pushes, test](GSAsm& a) {
        pushes(a);
        a.Op(ICMP).Label("inner").Op(test).Jump(JZ, "taken").Op(PUSH1).Jump(JMP, "end").Label("taken").Int(2).Label("end");
    };
}

}  // namespace

TEST(QuickeningTest, FusedSequencesGiveWhatTheirInstructionsGive)
{
    std::vector<Sequence> sequences;
    for (uint8_t test : {LTZ, LEZ, GTZ, GEZ, EQZ, NEZ}) {
        sequences.push_back({"locals", Fused::kCompareLocals,
                             Branch([](GSAsm& a) { a.Op(LOAD, 1).Op(LOAD, 2); }, test)});
        sequences.push_back({"locals, equal", Fused::kCompareLocals,
                             Branch([](GSAsm& a) { a.Op(LOAD, 1).Op(LOAD, 1); }, test)});
        sequences.push_back({"constant", Fused::kCompareConstant,
                             Branch([](GSAsm& a) { a.Op(LOAD, 2).Int(-3); }, test)});
        sequences.push_back({"constant above", Fused::kCompareConstant,
                             Branch([](GSAsm& a) { a.Op(LOAD, 2).Int(100); }, test)});
        sequences.push_back({"one", Fused::kCompareSmall, Branch([](GSAsm& a) { a.Op(LOAD, 1).Op(PUSH1); }, test)});
        sequences.push_back({"zero", Fused::kCompareSmall, Branch([](GSAsm& a) { a.Op(LOAD, 2).Op(PUSH0); }, test)});
    }
    for (uint8_t op : {ADD, SUB}) {
        sequences.push_back({"store locals", Fused::kStoreLocals, [op](GSAsm& a) {
                                 a.Op(LOAD, 1).Label("inner").Op(LOAD, 2).Op(op).Op(POPL, 4).Op(LOAD, 4);
                             }});
        sequences.push_back({"store step", Fused::kStoreStep, [op](GSAsm& a) {
                                 a.Op(LOAD, 2).Label("inner").Op(PUSH1).Op(op).Op(POPL, 2).Op(LOAD, 2);
                             }});
        sequences.push_back({"store constant", Fused::kStoreConstant, [op](GSAsm& a) {
                                 a.Op(LOAD, 1).Label("inner").Int(0x7FFFFFFF).Op(op).Op(POPL, 4).Op(LOAD, 4);
                             }});
        sequences.push_back({"push step", Fused::kPushStep,
                             [op](GSAsm& a) { a.Op(LOAD, 1).Label("inner").Op(PUSH1).Op(op); }});
        sequences.push_back({"push constant", Fused::kPushConstant,
                             [op](GSAsm& a) { a.Op(LOAD, 2).Label("inner").Int(-10).Op(op); }});
    }
    sequences.push_back({"load two", Fused::kLoadTwo,
                         [](GSAsm& a) { a.Op(LOAD, 1).Label("inner").Op(LOAD, 2).Op(MUL); }});
    sequences.push_back({"add and return", Fused::kAddReturn,
                         [](GSAsm& a) { a.Op(PUSH1).Op(PUSH1).Label("add").Op(ADD).Label("inner"); }, "add"});
    // A local holding a reference: the plain load moves it out; the run
    // takes the unfused way and the string's count goes with the number.
    sequences.push_back({"a reference in a local", Fused::kCompareLocals,
                         Branch([](GSAsm& a) { a.Op(LOAD, 3).Op(LOAD, 3); }, EQZ)});
    for (const Sequence& s : sequences) {
        SCOPED_TRACE(s.what);
        const Result fused = RunSequence(s, false), apart = RunSequence(s, true);
        EXPECT_EQ(fused.first, s.fused);
        EXPECT_NE(apart.first, s.fused) << "a run enters it in the middle";
        EXPECT_EQ(fused.code, ER_Done);
        EXPECT_EQ(fused.code, apart.code);
        EXPECT_EQ(fused.value, apart.value);
        EXPECT_EQ(fused.spent, apart.spent);
    }
}

TEST(QuickeningTest, LoadAndReturnAtTheEnd)
{
    // LOAD a; RETV is the whole tail of a function.
    const Sequence s{"load and return", Fused::kReturnLocal, [](GSAsm& a) { a.Op(LOAD, 2); }};
    const Result r = RunSequence(s, false);
    EXPECT_EQ(r.first, Fused::kReturnLocal);
    EXPECT_EQ(r.value, -3);
}
