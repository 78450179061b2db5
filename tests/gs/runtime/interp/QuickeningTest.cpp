// Quickening: each fused sequence gives what the instructions it stands for
// give (the value, the exit code, the exception's line, what stays
// tracked, the budget spent), also where it meets something unusual and
// takes the plain way, and also when the budget runs out inside it; and
// it is fused only where no run enters it in the middle.
#include <gtest/gtest.h>

#include <optional>

#include "gs/runtime/ScriptWorld.h"
#include "gs/runtime/interp/Quickening.h"
#include "gs/support/bytecode/Opcodes.h"

using namespace GSRuntime;
using namespace gsop;

namespace {

// A sequence under test: `body` starts at the label "seq" and leaves one
// int on the stack; the fused opcode lands at `at`, and "inner" names a
// label inside the fused part. `fused` is the opcode expected there, or
// none when the sequence must stay as it is.
struct Sequence {
    std::string what;
    std::optional<uint8_t> fused;
    std::function<void(GSAsm&)> body;
    const char* at = "seq";
    GSExitCode exit = ER_Done;
    bool hasInside = true;
};

struct Result {
    GSExitCode code = ER_Done;
    GSSlot value = 0;
    uint64_t spent = 0;
    uint8_t first = 0;  // the opcode byte at `at` after loading
    uint32_t tracked = 0;  // values the run left tracked
    std::vector<std::string> log;
    uint32_t meCount = 0;  // the counts T's object holds after the run
};

constexpr const char* kLongText = "a text of forty characters, give or take";
constexpr const char* kAppended = "and twenty more here";

// T's methods for calls on "me", in table order: Seven() gives 7, Keep(int)
// gives 8, Twice(int) its argument doubled, Pair(int a, int b) a * 10 + b,
// Size(string) the string's size.
constexpr uint16_t kSeven = 0, kKeep = 1, kTwice = 2, kPair = 3, kSize = 4;

// A sequence loaded into a world of its own, fused or kept apart, and run
// as often as asked. Locals: 1 = 7, 2 = -3, 3 = the string "s", 4 = 0,
// 5 = int[] {10, 20, 30}, 6 = string[] {null}, 7 = 1, 8 = a 40-character
// string only the local holds. Every instruction is a line of its own.
class SequenceRun {
public:
    SequenceRun(const Sequence& s, bool keepApart)
    {
        GSProgram p("t.gs", 0x7E57, 0x1, &SystemProgram());
        const uint16_t shortText = uint16_t(p.Str("s")), longText = uint16_t(p.Str(kLongText));
        p.Str(kAppended);
        GSAsm a;
        a.Int(7).Op(POPL, 1).Int(-3).Op(POPL, 2).Op(PUSHS, shortText).Op(POPLO, 3);
        a.Int(3).Op(NEWARR).Op(POPLO, 5);
        a.Op(LOADO, 5).Op(PUSH0).Int(10).Op(APOP);
        a.Op(LOADO, 5).Op(PUSH1).Int(20).Op(APOP);
        a.Op(LOADO, 5).Int(2).Int(30).Op(APOP);
        a.Op(PUSH1).Op(NEWARRO).Op(POPLO, 6).Op(PUSH1).Op(POPL, 7).Op(PUSHS, longText).Op(POPLO, 8);
        a.Label("seq");
        s.body(a);
        a.Op(RETV);
        if (keepApart)  // a jump nobody takes makes the inside an entry
            a.Jump(JMP, "inner");
        GSProgram::Class& t = p.AddClass("T");
        p.AddMethod(t, "Seven", "int", {}, GSAsm().Int(7).Op(RETV));
        p.AddMethod(t, "Keep", "int", {"int"}, GSAsm().Int(8).Op(RETV));
        p.AddMethod(t, "Twice", "int", {"int"}, GSAsm().Op(LOAD, 1).Int(2).Op(MUL).Op(RETV));
        p.AddMethod(t, "Pair", "int", {"int", "int"},
                    GSAsm().Op(LOAD, 1).Int(10).Op(MUL).Op(LOAD, 2).Op(ADD).Op(RETV));
        p.AddMethod(t, "Size", "int", {"string"}, GSAsm().Op(LOADO, 1).Op(SSIZE).Op(RETV));
        EXPECT_EQ(p.Slot("T", "Size"), kSize);
        GSProgram::Method& m = p.AddMethod(t, "Run", "int", {}, a);
        m.locals = 8;
        m.objectLocals = {3, 5, 6, 8};
        m.lines.clear();
        const std::vector<uint8_t> code = a.Bytes();
        for (uint32_t at = 0, line = 1; at < code.size(); ++line) {
            m.lines.emplace_back(at, line);
            at += 1 + GSBytecode::FixedOperandSize(GSBytecode::kOpcodes[code[at]].operands);
        }
        GSLibrary* lib = w_.Load(p);
        EXPECT_NE(lib, nullptr) << ::testing::PrintToString(w_.log.Take());
        object_ = lib ? w_.Make(w_.Class(lib, "T")) : nullptr;
        if (object_)
            first_ = object_->Instance()->cls->OwnFunction("$int@T::Run()")->code[a.At(s.at)];
    }

    Result Run(uint64_t budget = GSRunLimits::kJumpBudget)
    {
        if (!object_)
            return {};
        LimitsGuard limits;
        w_.log.Take();
        const uint32_t tracked = w_.Context().Tracked().Count();
        RunLimits().jumpBudget = budget;
        const ScriptRun r = w_.Run(object_, "$int@T::Run()");
        return {r.code,         r.value,      RunState().spent, first_, w_.Context().Tracked().Count() - tracked,
                w_.log.Take(), object_->Instance() ? object_->Instance()->refCount : 0};
    }

private:
    ScriptWorld w_;
    GSObject* object_ = nullptr;
    uint8_t first_ = 0;
};

void ExpectSame(const Result& fused, const Result& apart)
{
    EXPECT_EQ(ExitCodeName(fused.code), std::string(ExitCodeName(apart.code)));
    EXPECT_EQ(fused.value, apart.value);
    EXPECT_EQ(fused.spent, apart.spent);
    EXPECT_EQ(fused.tracked, apart.tracked);
    EXPECT_EQ(fused.log, apart.log);
    EXPECT_EQ(fused.meCount, apart.meCount);
}

// The compare-and-branch shapes: 1 when JZ is not taken, 2 when it is.
std::function<void(GSAsm&)> Branch(std::function<void(GSAsm&)> pushes, uint8_t test)
{
    return [pushes, test](GSAsm& a) {
        pushes(a);
        a.Op(ICMP).Label("inner").Op(test).Jump(JZ, "taken").Op(PUSH1).Jump(JMP, "end").Label("taken").Int(2).Label("end");
    };
}

std::vector<Sequence> Sequences()
{
    using F = std::function<void(GSAsm&)>;
    std::vector<Sequence> out;
    for (uint8_t test : {LTZ, LEZ, GTZ, GEZ, EQZ, NEZ}) {
        const std::string t = GSBytecode::kOpcodes[test].mnemonic;
        const F locals = [](GSAsm& a) { a.Op(LOAD, 1).Op(LOAD, 2); };
        const F equal = [](GSAsm& a) { a.Op(LOAD, 1).Op(LOAD, 1); };
        const F constant = [](GSAsm& a) { a.Op(LOAD, 2).Int(-3); };
        const F above = [](GSAsm& a) { a.Op(LOAD, 2).Int(100); };
        const F one = [](GSAsm& a) { a.Op(LOAD, 1).Op(PUSH1); };
        const F zero = [](GSAsm& a) { a.Op(LOAD, 2).Op(PUSH0); };
        const F stacked = [](GSAsm& a) { a.Int(5).Op(PUSH0).Label("cmp"); };
        out.push_back({"locals " + t, Fused::ForTest(Fused::kCompareLocals, test), Branch(locals, test)});
        out.push_back({"locals, equal " + t, Fused::ForTest(Fused::kCompareLocals, test), Branch(equal, test)});
        out.push_back({"constant " + t, Fused::ForTest(Fused::kCompareConstant, test), Branch(constant, test)});
        out.push_back({"constant above " + t, Fused::ForTest(Fused::kCompareConstant, test), Branch(above, test)});
        out.push_back({"one " + t, Fused::ForTest(Fused::kCompareSmall, test), Branch(one, test)});
        out.push_back({"zero " + t, Fused::ForTest(Fused::kCompareSmall, test), Branch(zero, test)});
        out.push_back({"stack " + t, Fused::ForTest(Fused::kCompareBranch, test), Branch(stacked, test), "cmp"});
    }
    for (uint8_t op : {ADD, SUB}) {
        const std::string o = GSBytecode::kOpcodes[op].mnemonic;
        auto pair = [op](uint8_t form) { return Fused::ForArithmetic(form, op); };
        out.push_back({"store locals " + o, pair(Fused::kStoreLocals),
                       [op](GSAsm& a) { a.Op(LOAD, 1).Label("inner").Op(LOAD, 2).Op(op).Op(POPL, 4).Op(LOAD, 4); }});
        out.push_back({"store step " + o, pair(Fused::kStoreStep),
                       [op](GSAsm& a) { a.Op(LOAD, 2).Label("inner").Op(PUSH1).Op(op).Op(POPL, 2).Op(LOAD, 2); }});
        out.push_back({"store step, jump " + o, pair(Fused::kStoreStepJump), [op](GSAsm& a) {
                           a.Op(LOAD, 2).Label("inner").Op(PUSH1).Op(op).Op(POPL, 4).Jump(JMP, "on").Label("on");
                           a.Op(LOAD, 4);
                       }});
        out.push_back({"store constant " + o, pair(Fused::kStoreConstant), [op](GSAsm& a) {
                           a.Op(LOAD, 1).Label("inner").Int(0x7FFFFFFF).Op(op).Op(POPL, 4).Op(LOAD, 4);
                       }});
        out.push_back({"push step " + o, pair(Fused::kPushStep),
                       [op](GSAsm& a) { a.Op(LOAD, 1).Label("inner").Op(PUSH1).Op(op); }});
        out.push_back({"push constant " + o, pair(Fused::kPushConstant),
                       [op](GSAsm& a) { a.Op(LOAD, 2).Label("inner").Int(-10).Op(op); }});
        out.push_back({"add local " + o, pair(Fused::kAddLocal),
                       [op](GSAsm& a) { a.Int(5).Label("add").Op(LOAD, 2).Label("inner").Op(op); }, "add"});
        out.push_back({"step top " + o, pair(Fused::kStepTop),
                       [op](GSAsm& a) { a.Int(5).Label("add").Op(PUSH1).Label("inner").Op(op); }, "add"});
        out.push_back({"add constant " + o, pair(Fused::kAddConstant),
                       [op](GSAsm& a) { a.Int(5).Label("add").Int(-9).Label("inner").Op(op); }, "add"});
        out.push_back({"element step " + o, pair(Fused::kElementStep),
                       [op](GSAsm& a) { a.Op(LOADO, 5).Label("inner").Op(LOAD, 7).Op(PUSH1).Op(op).Op(AGET); }});
        out.push_back({"element constant " + o, pair(Fused::kElementConstant),
                       [op](GSAsm& a) { a.Op(LOADO, 5).Label("inner").Op(LOAD, 7).Int(1).Op(op).Op(AGET); }});
        out.push_back({"element step into another " + o, pair(Fused::kElementStepStore), [op](GSAsm& a) {
                           a.Op(LOADO, 5).Op(PUSH0).Label("store").Op(LOADO, 5).Label("inner").Op(LOAD, 7);
                           a.Op(PUSH1).Op(op).Op(AGET).Op(APOP).Op(LOADO, 5).Op(PUSH0).Op(AGET);
                       }, "store"});
        out.push_back({"store at a step " + o, pair(Fused::kStoreElementStep), [op](GSAsm& a) {
                           a.Op(LOADO, 5).Label("inner").Op(LOAD, 7).Op(PUSH1).Op(op).Op(LOAD, 2).Op(APOP);
                           a.Op(LOADO, 5).Op(LOAD, 7).Op(PUSH1).Op(op).Op(AGET);
                       }});
    }
    for (uint8_t op : {INC, DEC}) {
        const std::string o = GSBytecode::kOpcodes[op].mnemonic;
        out.push_back({"step local " + o, Fused::ForArithmetic(Fused::kStepLocal, op),
                       [op](GSAsm& a) { a.Op(LOAD, 2).Label("inner").Op(op).Op(POPL, 4).Op(LOAD, 4); }});
        out.push_back({"step local, jump " + o, Fused::ForArithmetic(Fused::kStepLocalJump, op), [op](GSAsm& a) {
                           a.Op(LOAD, 2).Label("inner").Op(op).Op(POPL, 4).Jump(JMP, "on").Label("on").Op(LOAD, 4);
                       }});
    }
    const uint16_t appended = 2;  // the string table's third entry
    std::vector<Sequence> singles = {
        {"load two", Fused::kLoadTwo, [](GSAsm& a) { a.Op(LOAD, 1).Label("inner").Op(LOAD, 2).Op(MUL); }},
        {"add and return", Fused::kAddReturn,
         [](GSAsm& a) { a.Op(LOAD, 1).Op(LOAD, 2).Label("add").Op(ADD).Label("inner"); }, "add"},
        // One instruction, with no inside a run could enter.
        {"load me", Fused::kLoadMe, [](GSAsm& a) { a.Op(LOADO, 0).Label("inner").Op(ISNULL); }, "seq", ER_Done, false},
        {"element", Fused::kElement, [](GSAsm& a) { a.Op(LOADO, 5).Label("inner").Op(LOAD, 7).Op(AGET); }},
        {"element into a local", Fused::kElementToLocal,
         [](GSAsm& a) { a.Op(LOADO, 5).Op(LOAD, 7).Label("inner").Op(AGET).Op(POPL, 4).Op(LOAD, 4); }},
        {"element into another", Fused::kElementStore,
         [](GSAsm& a) {
             a.Op(LOADO, 5).Op(PUSH0).Label("store").Op(LOADO, 5).Op(LOAD, 7).Label("inner").Op(AGET).Op(APOP);
             a.Op(LOADO, 5).Op(PUSH0).Op(AGET);
         },
         "store"},
        {"store a local", Fused::kStoreElement,
         [](GSAsm& a) {
             a.Op(LOADO, 5).Op(LOAD, 7).Label("inner").Op(LOAD, 2).Op(APOP).Op(LOADO, 5).Op(LOAD, 7).Op(AGET);
         }},
        {"array and index", Fused::kArrayIndex,
         [](GSAsm& a) {
             a.Op(LOADO, 5).Label("inner").Op(LOAD, 7).Int(99).Op(APOP).Op(LOADO, 5).Op(LOAD, 7).Op(AGET);
         }},
        {"local into an element", Fused::kStoreLocalElement,
         [](GSAsm& a) {
             a.Op(LOADO, 5).Op(PUSH0).Label("store").Op(LOAD, 2).Label("inner").Op(APOP);
             a.Op(LOADO, 5).Op(PUSH0).Op(AGET);
         },
         "store"},
        {"multiply", Fused::kMulConstant, [](GSAsm& a) { a.Int(7).Label("mul").Int(-6).Label("inner").Op(MUL); }, "mul"},
        {"divide", Fused::kDivConstant, [](GSAsm& a) { a.Int(-7).Label("div").Int(2).Label("inner").Op(DIV); }, "div"},
        {"remainder", Fused::kDivConstant, [](GSAsm& a) { a.Int(-7).Label("div").Int(2).Label("inner").Op(MOD); }, "div"},
        {"string size", Fused::kSizeLocal, [](GSAsm& a) { a.Op(LOADO, 3).Label("inner").Op(SSIZE); }},
        {"array size", Fused::kSizeLocal, [](GSAsm& a) { a.Op(LOADO, 5).Label("inner").Op(ASIZE); }},
        {"append a constant", Fused::kAppendConstant,
         [=](GSAsm& a) { a.Op(LOADO, 8).Label("add").Op(PUSHS, appended).Label("inner").Op(SCAT).Op(SSIZE); }, "add"},
        {"append to null", Fused::kAppendConstant,
         [=](GSAsm& a) { a.Op(PUSH0).Label("add").Op(PUSHS, appended).Label("inner").Op(SCAT).Op(SSIZE); }, "add"},
        {"append in place", Fused::kAppendLocal,
         [=](GSAsm& a) {
             a.Op(LOADO, 8).Op(PUSHS, appended).Label("inner").Op(SCAT).Op(POPLO, 8).Op(LOADO, 8).Op(SSIZE);
         }},
        // Unusual operands: the fused opcode lands, the run takes the
        // plain way.
        {"element past the end", Fused::kElement, [](GSAsm& a) { a.Op(LOADO, 5).Label("inner").Op(LOAD, 1).Op(AGET); },
         "seq", ER_ArrayOutOfBounds},
        {"element below 0", Fused::kElement, [](GSAsm& a) { a.Op(LOADO, 5).Label("inner").Op(LOAD, 2).Op(AGET); },
         "seq", ER_ArrayOutOfBounds},
        {"element of references", Fused::kElement,
         [](GSAsm& a) { a.Op(LOADO, 6).Label("inner").Op(LOAD, 7).Op(AGET); }, "seq", ER_IllegalInstruction},
        {"element of null", Fused::kElement, [](GSAsm& a) { a.Op(LOADO, 4).Label("inner").Op(LOAD, 7).Op(AGET); },
         "seq", ER_NullArrayReference},
        {"element of a string", Fused::kElement,
         [](GSAsm& a) { a.Op(LOADO, 3).Label("inner").Op(LOAD, 7).Op(AGET); }, "seq", ER_IllegalInstruction},
        {"index holding a reference", Fused::kElement,
         [](GSAsm& a) { a.Op(LOADO, 5).Label("inner").Op(LOAD, 3).Op(AGET); }, "seq", ER_ArrayOutOfBounds},
        {"element one past the end", Fused::ForArithmetic(Fused::kElementStep, ADD),
         [](GSAsm& a) {
             a.Int(2).Op(POPL, 7).Label("element").Op(LOADO, 5).Label("inner").Op(LOAD, 7).Op(PUSH1).Op(ADD);
             a.Op(AGET);
         },
         "element", ER_ArrayOutOfBounds},
        {"store that grows the array", Fused::kStoreElement,
         [](GSAsm& a) {
             a.Op(LOADO, 5).Op(LOAD, 1).Label("inner").Op(LOAD, 2).Op(APOP).Op(LOADO, 5).Op(ASIZE);
         }},
        {"store a reference", Fused::kStoreElement,
         [](GSAsm& a) {
             a.Op(LOADO, 5).Op(LOAD, 7).Label("inner").Op(LOAD, 3).Op(APOP).Op(LOADO, 3).Op(ISNULL);
         }},
        {"store into references", Fused::kStoreLocalElement,
         [](GSAsm& a) { a.Op(LOADO, 6).Op(PUSH0).Label("store").Op(LOAD, 2).Label("inner").Op(APOP).Op(PUSH0); },
         "store", ER_IllegalInstruction},
        {"into another past its end", Fused::kElementStore,
         [](GSAsm& a) {
             a.Op(LOADO, 5).Int(5).Label("store").Op(LOADO, 5).Op(LOAD, 7).Label("inner").Op(AGET).Op(APOP);
             a.Op(LOADO, 5).Op(ASIZE);
         },
         "store"},
        {"step of a reference", Fused::ForArithmetic(Fused::kStepLocal, INC),
         [](GSAsm& a) { a.Op(LOAD, 3).Label("inner").Op(INC).Op(POPL, 4).Op(LOADO, 3).Op(ISNULL); }},
        {"size of null", Fused::kSizeLocal, [](GSAsm& a) { a.Op(LOADO, 4).Label("inner").Op(SSIZE); }, "seq",
         ER_NullStringReference},
        {"size of an array as a string", Fused::kSizeLocal, [](GSAsm& a) { a.Op(LOADO, 5).Label("inner").Op(SSIZE); },
         "seq", ER_IllegalInstruction},
        {"append to an array", Fused::kAppendLocal,
         [=](GSAsm& a) { a.Op(LOADO, 5).Op(PUSHS, appended).Label("inner").Op(SCAT).Op(POPLO, 5).Op(PUSH0); },
         "seq", ER_IllegalInstruction},
        {"append to a string held twice", Fused::kAppendLocal,
         [=](GSAsm& a) {
             a.Op(LOADO, 8).Op(POPLO, 3).Label("twice").Op(LOADO, 8).Op(PUSHS, appended).Label("inner").Op(SCAT);
             a.Op(POPLO, 8).Op(LOADO, 3).Op(SSIZE);
         },
         "twice"},
        // Division by 0 and by -1 stay plain.
        {"divide by -1", std::nullopt, [](GSAsm& a) { a.Int(-7).Label("div").Int(-1).Label("inner").Op(DIV); }, "div"},
        {"divide by 0", std::nullopt, [](GSAsm& a) { a.Int(-7).Label("div").Int(0).Label("inner").Op(MOD); }, "div",
         ER_DivideByZero},
    };
    out.insert(out.end(), singles.begin(), singles.end());
    // Calls on "me": LOADO 0 pushes it without a count and the callee's
    // frame borrows the caller's, so a count that goes astray shows in
    // what the object holds after the run. "inner" is the CALL.
    for (uint8_t op : {ADD, SUB}) {
        const std::string o = GSBytecode::kOpcodes[op].mnemonic;
        out.push_back({"call on me with a step " + o, Fused::ForArithmetic(Fused::kCallMeStep, op), [op](GSAsm& a) {
                           a.Op(LOADO, 0).Op(LOAD, 2).Op(PUSH1).Op(op).Label("inner").Call(CALL, -1, kTwice);
                       }});
        out.push_back({"call on me with a constant " + o, Fused::ForArithmetic(Fused::kCallMeConstant, op),
                       [op](GSAsm& a) {
                           a.Op(LOADO, 0).Op(LOAD, 1).Int(1000).Op(op).Label("inner").Call(CALL, -1, kTwice);
                       }});
    }
    const auto callOnMe = [](std::string what, std::optional<uint8_t> fused, std::function<void(GSAsm&)> args,
                             int16_t depth, uint16_t method, GSExitCode exit = ER_Done) {
        Sequence s{std::move(what), fused, [=](GSAsm& a) {
                       a.Op(LOADO, 0);
                       args(a);
                       a.Label("inner").Call(CALL, depth, method);
                   }};
        s.exit = exit;
        // Left plain, the sequence has nothing to keep apart.
        s.hasInside = fused != Fused::kLoadMe;
        return s;
    };
    const auto none = [](GSAsm&) {};
    const std::vector<Sequence> calls = {
        callOnMe("call on me without arguments", Fused::kCallMeAlone, none, 0, kSeven),
        callOnMe("call on me with a local", Fused::kCallMeLocal, [](GSAsm& a) { a.Op(LOAD, 2); }, -1, kTwice),
        callOnMe("call on me with two arguments", Fused::kLoadMeForCall,
                 [](GSAsm& a) { a.Op(LOAD, 1).Op(LOAD, 2); }, -2, kPair),
        callOnMe("call on me with a reference argument", Fused::kLoadMeForCall, [](GSAsm& a) { a.Op(LOADO, 3); }, -1,
                 kSize),
        callOnMe("call on me with arguments worked out on the stack", Fused::kLoadMeForCall,
                 [](GSAsm& a) { a.Op(LOAD, 1).Op(PUSH1).Op(SHL).Op(LOAD, 2).Op(NEG); }, -2, kPair),
        // The outer call has an entry (after the first inner call) before
        // it: its "me" keeps its count, the inner ones borrow.
        {"calls on me in the arguments of one", Fused::kCallMeAlone,
         [](GSAsm& a) {
             a.Op(LOADO, 0).Label("call").Op(LOADO, 0).Label("inner").Call(CALL, 0, kSeven);
             a.Op(LOADO, 0).Op(LOAD, 2).Call(CALL, -1, kTwice).Call(CALL, -2, kPair);
         },
         "call"},
        // Unusual operands: the plain way, with the target counted where the
        // plain call needs it.
        callOnMe("call on me, a local holding a reference", Fused::kCallMeLocal, [](GSAsm& a) { a.Op(LOAD, 3); }, -1,
                 kKeep),
        callOnMe("call on me, a slot past the table", Fused::kCallMeLocal, [](GSAsm& a) { a.Op(LOAD, 1); }, -1, 99,
                 ER_IllegalInstruction),
        callOnMe("call on me with too few arguments", Fused::kCallMeAlone, none, 0, kTwice, ER_IllegalInstruction),
        callOnMe("call on me, a slot past the table, with other arguments", Fused::kLoadMeForCall,
                 [](GSAsm& a) { a.Op(LOAD, 1).Op(LOAD, 2).Op(ADD).Op(INC); }, -1, 99, ER_IllegalInstruction),
        // Arguments that may fail, or a call that reaches below "me": "me"
        // keeps its count.
        callOnMe("call on me with a division in its arguments", Fused::kLoadMe,
                 [](GSAsm& a) { a.Op(LOAD, 1).Op(LOAD, 4).Op(DIV); }, -1, kTwice, ER_DivideByZero),
        {"call below me", Fused::kLoadMe,
         [](GSAsm& a) { a.Int(5).Label("call").Op(LOADO, 0).Op(LOAD, 1).Label("inner").Call(CALL, -2, kPair); }, "call",
         ER_IllegalInstruction, false},
    };
    out.insert(out.end(), calls.begin(), calls.end());
    // A local holding a reference: the plain load moves it out; the run
    // takes the unfused way and the string's count goes with the number.
    out.push_back({"a reference in a local", Fused::ForTest(Fused::kCompareLocals, EQZ),
                   Branch([](GSAsm& a) { a.Op(LOAD, 3).Op(LOAD, 3); }, EQZ)});
    return out;
}

}  // namespace

TEST(QuickeningTest, FusedSequencesGiveWhatTheirInstructionsGive)
{
    for (const Sequence& s : Sequences()) {
        SCOPED_TRACE(s.what);
        const Result fused = SequenceRun(s, false).Run(), apart = SequenceRun(s, true).Run();
        if (s.fused) {
            EXPECT_EQ(int(fused.first), int(*s.fused));
            if (s.hasInside) {
                EXPECT_NE(int(apart.first), int(*s.fused)) << "a run enters it in the middle";
            }
        } else {
            EXPECT_LT(fused.first, GSBytecode::kOpcodeCount) << "fused";
        }
        EXPECT_EQ(ExitCodeName(fused.code), std::string(ExitCodeName(s.exit)));
        ExpectSame(fused, apart);
    }
}

TEST(QuickeningTest, TheBudgetRunsOutWhereTheInstructionsWouldHaveSpentIt)
{
    // Each budget from what the whole run spends down past the sequence's
    // own bytes and work: the run ends at the same instruction, with the
    // same budget spent, whether the sequence was fused or not.
    for (const Sequence& s : Sequences()) {
        SequenceRun fused(s, false), apart(s, true);
        const uint64_t whole = fused.Run().spent;
        for (uint64_t cut = 1; cut <= 24 && cut < whole; ++cut) {
            SCOPED_TRACE(s.what + ", budget " + std::to_string(whole - cut));
            ExpectSame(fused.Run(whole - cut), apart.Run(whole - cut));
        }
    }
}

TEST(QuickeningTest, LoadAndReturnAtTheEnd)
{
    // LOAD a; RETV is the whole tail of a function.
    const Sequence s{"load and return", Fused::kReturnLocal, [](GSAsm& a) { a.Op(LOAD, 2).Label("inner"); }};
    const Result r = SequenceRun(s, false).Run();
    EXPECT_EQ(r.first, Fused::kReturnLocal);
    EXPECT_EQ(r.value, -3);
}

TEST(QuickeningTest, AppendingInPlaceKeepsTheText)
{
    // The string grows in place and is the one the local holds; its text
    // is what a new string would have held, run after run.
    const Sequence s{"append and read", Fused::kAppendLocal, [](GSAsm& a) {
                         a.Op(LOADO, 8).Label("inner").Op(PUSHS, 2).Op(SCAT).Op(POPLO, 8);
                         a.Op(LOADO, 8).Op(PUSHS, 2).Op(SCAT).Op(POPLO, 8);
                         a.Op(LOADO, 8).Int(int32_t(std::string(kLongText).size()) + 20).Op(SGETC);
                     }};
    SequenceRun fused(s, false), apart(s, true);
    for (int run = 0; run < 3; ++run) {
        const Result f = fused.Run(), a = apart.Run();
        EXPECT_EQ(f.first, Fused::kAppendLocal);
        EXPECT_EQ(f.value, kAppended[0]);
        ExpectSame(f, a);
    }
}
