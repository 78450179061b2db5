// Calling script functions from native code by their signature strings.
#include <gtest/gtest.h>

#include "gs/runtime/ScriptWorld.h"
#include "gs/runtime/registry/GSNativeFunction.h"

using namespace GSRuntime;
using namespace gsop;

namespace {

// A: Add(int,int), Echo(string), Name() (overridden by B), Fail(), Work()
// (a thread function); B isclass A; G isclass GameObject with Work() too.
struct Callee {
    ScriptWorld w;
    GSProgram p{"t.gs", 0x7E57, 0x1, &SystemProgram()};
    GSLibrary* lib = nullptr;

    Callee()
    {
        GSProgram::Class& a = p.AddClass("A");
        p.AddMethod(a, "Add", "int", {"int", "int"}, GSAsm().Op(LOAD, 1).Op(LOAD, 2).Op(ADD).Op(RETV));
        p.AddMethod(a, "Echo", "string", {"string"},
                    GSAsm().Op(LOADO, 1).Op(PUSHS, uint16_t(p.Str("!"))).Op(SCAT).Op(RETO));
        p.AddMethod(a, "Name", "string", {}, GSAsm().Op(PUSHS, uint16_t(p.Str("A"))).Op(RETO));
        p.AddMethod(a, "Fail", "int", {}, GSAsm().Op(PUSH1).Op(PUSH0).Op(DIV).Op(RETV));
        p.AddMethod(a, "Work", "void", {}, GSAsm().Op(RET)).flags = 1 | 16;
        GSProgram::Class& b = p.AddClass("B", {"A"});
        p.AddMethod(b, "Name", "string", {}, GSAsm().Op(PUSHS, uint16_t(p.Str("B"))).Op(RETO));
        GSProgram::Class& g = p.AddClass("G", {"GameObject"});
        p.AddMethod(g, "Work", "void", {"int"}, GSAsm().Op(RET)).flags = 1 | 16;
        lib = w.Load(p);
    }
    bool Call(GSObject* o, const char* cls, const char* signature, intptr_t* result,
              std::vector<intptr_t> args = {}, GSContext* context = nullptr)
    {
        return w.Machine().CallFunction(context ? context : &w.Context(), w.Class(lib, cls), o->GetInstance(),
                                        signature, result, args);
    }
};

std::string TextOf(intptr_t view)
{
    GSString* s = GSString::OfPart(reinterpret_cast<GSSlot*>(view));
    std::string text = s ? s->Str() : "";
    ReleasePart(reinterpret_cast<GSSlot*>(view));
    return text;
}

}  // namespace

TEST(CallFunctionTest, ValuesArgumentsAndDispatch)
{
    Callee c;
    ASSERT_NE(c.lib, nullptr);
    GSObject* b = c.w.Make(c.w.Class(c.lib, "B"));
    intptr_t result = 0;
    EXPECT_TRUE(c.Call(b, "A", "$int@A::Add(int,int)", &result, {40, -2}));
    EXPECT_EQ(result, 38);
    // The most derived function runs, found through the named class.
    EXPECT_TRUE(c.Call(b, "A", "$string@A::Name()", &result));
    EXPECT_EQ(TextOf(result), "B");
    EXPECT_TRUE(c.Call(b, "B", "$int@A::Add(int,int)", &result, {1, 2}));
    EXPECT_EQ(result, 3);
    // A reference argument: the callee takes a count of its own.
    auto* text = new GSString(&c.w.Context(), "hi");
    EXPECT_TRUE(c.Call(b, "A", "$string@A::Echo(string)", &result, {intptr_t(text->GetInstance())}));
    EXPECT_EQ(TextOf(result), "hi!");
    EXPECT_EQ(text->Instance().refCount, 1u);
    ReleasePart(text->GetInstance());
    // A value nobody asked for is dropped.
    const uint32_t tracked = c.w.Context().Tracked().Count();
    EXPECT_TRUE(c.Call(b, "A", "$string@A::Name()", nullptr));
    EXPECT_EQ(c.w.Context().Tracked().Count(), tracked);
}

TEST(CallFunctionTest, CallsThatFail)
{
    Callee c;
    GSObject* a = c.w.Make(c.w.Class(c.lib, "A"));
    GSThread& machine = c.w.Machine().MachineThread();
    GSSlot* const top = machine.stack.top;
    intptr_t result = 0;
    GSContext noRouter(&c.w.Machine());
    const struct {
        const char* what;
        const char* signature;
        std::vector<intptr_t> args;
        GSContext* context;
    } cases[] = {
        {"no router", "$int@A::Add(int,int)", {1, 2}, &noRouter},
        {"unknown signature", "$int@A::Add(int)", {1}, nullptr},
        {"a function with no method slot", "::A()", {}, nullptr},
        {"too few arguments", "$int@A::Add(int,int)", {1}, nullptr},
        {"an exception", "$int@A::Fail()", {}, nullptr},
        {"a thread function of a plain object", "$void@A::Work()", {}, nullptr},
    };
    for (const auto& k : cases) {
        EXPECT_FALSE(c.Call(a, "A", k.signature, &result, k.args, k.context)) << k.what;
        EXPECT_EQ(machine.stack.top, top) << k.what;
        EXPECT_EQ(machine.stack.frame, nullptr) << k.what;
    }
    EXPECT_EQ(a->Instance()->refCount, 1u);
    // The exception was reported.
    bool reported = false;
    for (const std::string& line : c.w.log.Take())
        reported = reported || line == "Thread Exception: ER_DivideByZero, line 1, file t.gs";
    EXPECT_TRUE(reported);
}

TEST(CallFunctionTest, AThreadFunctionStartsAThreadOfTheGameObject)
{
    Callee c;
    auto* g = static_cast<GSGameObject*>(c.w.Make(c.w.Class(c.lib, "G")));
    EXPECT_TRUE(c.Call(g, "G", "$void@G::Work(int)", nullptr, {5}));
    ASSERT_EQ(g->Threads().Count(), 1u);
    auto* thread = static_cast<GSThread*>(g->Threads().First());
    ASSERT_NE(thread->stack.frame, nullptr);
    EXPECT_EQ(GSStack::RecordLocals(thread->stack.frame)[1], 5);
    EXPECT_EQ(thread->Execute(0.0f), ER_Done);
}

namespace {

// A native of T that calls T's Add through the machine while it runs on
// the machine thread itself.
GSMachine* g_machine = nullptr;
void CallBack(GSContext* context, GSThread& thread)
{
    GSSlot* me = ReferencePart(thread.stack.Local(0));
    intptr_t result = 0;
    GSScriptInstance* instance = GSScriptInstance::OfPart(me);
    if (g_machine->CallFunction(context, instance->cls, instance->Fields(), "$int@T::Add(int,int)", &result, std::vector<intptr_t>{20, 22}))
        thread.stack.PushInt(int32_t(result));
}

}  // namespace

TEST(CallFunctionTest, ANativeCallsBackIntoScriptsOnTheSameThread)
{
    ScriptWorld w;
    g_machine = &w.Machine();
    w.Machine().AddNative(std::make_unique<GSCNativeFunction>(Nyx::PString("T"), Nyx::PString("$int@T::Back()"), &CallBack));
    GSProgram p("t.gs", 0x7E57, 0x1, &SystemProgram());
    GSProgram::Class& t = p.AddClass("T");
    p.AddMethod(t, "Add", "int", {"int", "int"}, GSAsm().Op(LOAD, 1).Op(LOAD, 2).Op(ADD).Op(RETV));
    p.AddNative(t, "Back", "int", {});
    p.AddMethod(t, "Run", "int", {}, GSAsm().Op(LOADO, 0).Call(CALLN, 0, 1).Op(INC).Op(RETV));
    GSLibrary* lib = w.Load(p);
    ASSERT_NE(lib, nullptr);
    GSObject* o = w.Make(w.Class(lib, "T"));
    intptr_t result = 0;
    EXPECT_TRUE(w.Machine().CallFunction(&w.Context(), w.Class(lib, "T"), o->GetInstance(), "$int@T::Run()", &result, {}));
    EXPECT_EQ(result, 43);
    EXPECT_EQ(w.Machine().MachineThread().stack.frame, nullptr);
}
