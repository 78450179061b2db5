// The jump budget pays for work as well as for code: every instruction and
// native that allocates, fills, copies or compares in proportion to a size
// the script controls spends budget in proportion to that size, so a loop
// of them ends with ER_Timeout after a number of passes that the work, not
// the few bytes of the loop's code, decides; and the largest single
// allocation or copy the limits allow still fits a run of its own.
#include <gtest/gtest.h>

#include "gs/runtime/ScriptWorld.h"

using namespace GSRuntime;
using namespace gsop;

namespace {

// Operands of 64 KiB of text or 8 Ki elements (of 8 bytes) cost as many
// units each time they are made, copied or compared, a thousand passes'
// worth of a budget.
constexpr int32_t kBytes = 0x10000;
constexpr int32_t kElements = 0x2000;
constexpr uint64_t kBudget = ByteWork(kBytes) * 1024;

// Locals 3 and 4 (references) receive the operands; local 1 and 2 are free.
using Setup = GSAsm& (*)(GSAsm&, GSProgram&);

GSAsm& Texts(GSAsm& a, GSProgram& p)
{
    return a.Op(PUSHS, uint16_t(p.Str(std::string(kBytes, 'a')))).Op(POPLO, 3).Op(LOADO, 3).Op(SCOPY).Op(POPLO, 4);
}
GSAsm& Words(GSAsm& a, GSProgram& p)
{
    std::string words;
    while (words.size() < size_t(kBytes))
        words += "word ";
    return a.Op(PUSHS, uint16_t(p.Str(words))).Op(POPLO, 3);
}
GSAsm& Elements(GSAsm& a, GSProgram&)
{
    return a.Int(kElements).Op(NEWARR).Op(POPLO, 3);
}
GSAsm& Nothing(GSAsm& a, GSProgram&) { return a; }

struct WorkCase {
    const char* what;
    Setup setup;
    // One pass of the work, leaving the stack as it found it.
    GSAsm (*work)(GSProgram&);
    uint64_t units;  // what one pass is charged, besides its code
};

// T counts its passes in field word 2 and runs "Run" until the budget ends
// it; Big is a class of kElements words; Str has the natives.
GSProgram Loop(const WorkCase& c)
{
    GSProgram p("t.gs", 0x7E57, 0x1, &SystemProgram());
    GSProgram::Class& str = p.AddClass("Str");
    str.flags = GSClass::kFlagStatic;
    p.AddNative(str, "ToUpper", "void", {"string"});
    p.AddNative(str, "Tokens", "string[]", {"string", "string"});
    p.AddNative(str, "Find", "int", {"string", "string", "int"});
    GSProgram::Class& big = p.AddClass("Big");
    big.fields = kElements - 5;
    GSProgram::Class& t = p.AddClass("T");
    t.fields = 1;
    GSAsm code;
    c.setup(code, p);
    const uint16_t passes = uint16_t(p.Field("T", 0));
    code.Label("pass").Op(GETM, passes).Op(PUSH1).Op(ADD).Op(POPM, passes);
    const GSAsm work = c.work(p);
    const std::vector<uint8_t> bytes = work.Bytes();
    for (uint8_t b : bytes)
        code.Op(b);
    code.Jump(JMP, "pass");
    GSProgram::Method& run = p.AddMethod(t, "Run", "int", {}, code);
    run.locals = 4;
    run.objectLocals = {3, 4};
    return p;
}

GSAsm Str(GSProgram& p) { return GSAsm().Op(STATIC, uint16_t(p.Ref("Str"))); }

}  // namespace

TEST(WorkBudgetTest, ALoopOfWorkEndsAfterThePassesItsWorkPaysFor)
{
    LimitsGuard guard;
    RunLimits().jumpBudget = kBudget;
    const uint64_t text = ByteWork(kBytes), array = ElementWork(kElements);
    const WorkCase cases[] = {
        {"a new plain array", Nothing, [](GSProgram&) { return GSAsm().Int(kElements).Op(NEWARR).Op(POPO); }, array},
        {"a new reference array", Nothing, [](GSProgram&) { return GSAsm().Int(kElements).Op(NEWARRO).Op(POPO); },
         array},
        {"an array copy", Elements, [](GSProgram&) { return GSAsm().Op(LOADO, 3).Op(ACOPY).Op(POPO); }, array},
        {"an element set past the end of a plain array", Nothing,
         [](GSProgram&) { return GSAsm().Op(PUSH0).Op(NEWARR).Int(kElements - 1).Op(PUSH1).Op(APOP); }, array},
        {"an element set past the end of a reference array", Nothing,
         [](GSProgram&) { return GSAsm().Op(PUSH0).Op(NEWARRO).Int(kElements - 1).Op(PUSH0).Op(APOPO); }, array},
        {"a range of an array", Elements,
         [](GSProgram&) { return GSAsm().Op(LOADO, 3).Int(-1).Op(PUSH0).Op(RGET).Op(POPO); }, array},
        {"an array range replaced", Elements,
         [](GSProgram&) { return GSAsm().Op(PUSH0).Op(NEWARR).Op(PUSH0).Op(PUSH0).Op(LOADO, 3).Op(RPOP); }, array},
        {"a string constant", Nothing,
         [](GSProgram& p) { return GSAsm().Op(PUSHS, uint16_t(p.Str(std::string(kBytes, 'c')))).Op(POPO); }, text},
        {"a string copy", Texts, [](GSProgram&) { return GSAsm().Op(LOADO, 3).Op(SCOPY).Op(POPO); }, text},
        {"a character set past the end of a string", Nothing,
         [](GSProgram&) { return GSAsm().Op(NEWSTR).Int(kBytes - 1).Int('x').Op(SPOPC); }, text},
        {"a range of a string", Texts,
         [](GSProgram&) { return GSAsm().Op(LOADO, 3).Int(-1).Op(PUSH0).Op(SGETR).Op(POPO); }, text},
        {"a string range replaced", Texts,
         [](GSProgram&) { return GSAsm().Op(NEWSTR).Op(PUSH0).Op(PUSH0).Op(LOADO, 3).Op(SPOPR); }, text},
        {"two strings compared", Texts,
         [](GSProgram&) { return GSAsm().Op(LOADO, 3).Op(LOADO, 4).Op(SCMP).Op(POP); }, text},
        {"two strings joined", Texts,
         [](GSProgram&) { return GSAsm().Op(LOADO, 3).Op(LOADO, 4).Op(SCAT).Op(POPO); }, 2 * text},
        {"a new object of a large class", Nothing,
         [](GSProgram& p) { return GSAsm().Op(NEWOBJ, uint16_t(p.Ref("Big"))).Op(POPO); }, array},
        {"Str.ToUpper", Texts,
         [](GSProgram& p) { return Str(p).Op(LOADO, 3).Call(CALLN, -1, uint16_t(p.Slot("Str", "ToUpper"))); }, text},
        {"Str.Find", Texts,
         [](GSProgram& p) {
             return Str(p).Op(LOADO, 3).Op(LOADO, 4).Op(PUSH0).Call(CALLN, -3, uint16_t(p.Slot("Str", "Find"))).Op(POP);
         },
         2 * text},
        // The text's pass, and an element for each of its 13108 words,
        // charged by blocks of 64.
        {"Str.Tokens", Words,
         [](GSProgram& p) {
             return Str(p).Op(LOADO, 3).Op(PUSH0).Call(CALLN, -2, uint16_t(p.Slot("Str", "Tokens"))).Op(POPO);
         },
         text + 205 * ElementWork(64)},
    };
    for (const WorkCase& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptWorld w;
        GSProgram p = Loop(c);
        GSLibrary* lib = w.Load(p);
        ASSERT_NE(lib, nullptr) << ::testing::PrintToString(w.log.Take());
        GSObject* o = w.Make(w.Class(lib, "T"));
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(w.Run(o, "$int@T::Run()").code, ER_Timeout);
        // A pass also runs its few bytes of code, and the operands were
        // paid for once: a little less than the work alone allows.
        const uint64_t passes = uint64_t(SlotInt(o->Instance()->Fields()[p.Field("T", 0)]));
        EXPECT_LE(passes, kBudget / c.units + 1);
        EXPECT_GE(passes, kBudget / c.units * 3 / 4);
    }
}

#define C(body) [](GSProgram & p) { (void)p; return GSAsm() body; }

// Under the limits every run keeps to, the largest array, and the longest
// string made, copied and joined from halves, each fit a run of their own.
TEST(WorkBudgetTest, TheLargestSingleAllocationOrCopyFitsARun)
{
    constexpr int32_t kMostElements = GSRunLimits::kMaxArrayElements;
    constexpr int32_t kMostBytes = int32_t(GSRunLimits::kMaxStringBytes);
    RunSnippets({
        IntCase("the largest plain array", C(.Int(kMostElements).Op(NEWARR).Op(ASIZE).Op(RETV)), kMostElements),
        IntCase("the largest reference array", C(.Int(kMostElements).Op(NEWARRO).Op(ASIZE).Op(RETV)), kMostElements),
        IntCase("the longest string, copied",
                C(.Op(NEWSTR).Op(POPLO, 3).Op(LOADO, 3).Int(kMostBytes - 1).Int('x').Op(SPOPC)
                      .Op(LOADO, 3).Op(SCOPY).Op(SSIZE).Op(RETV)),
                kMostBytes),
        IntCase("the longest string, joined from halves",
                C(.Op(NEWSTR).Op(POPLO, 3).Op(LOADO, 3).Int(kMostBytes / 2 - 1).Int('x').Op(SPOPC)
                      .Op(LOADO, 3).Op(LOADO, 3).Op(SCAT).Op(SSIZE).Op(RETV)),
                kMostBytes),
    });
}
