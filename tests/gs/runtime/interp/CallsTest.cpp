// Calls, natives, inherited calls, thread starts and waits, and the exits
// and log lines of a failing run.
#include <gtest/gtest.h>

#include "gs/runtime/ScriptWorld.h"
#include "gs/runtime/interp/RunState.h"
#include "gs/runtime/registry/GSNativeFunction.h"

using namespace GSRuntime;
using namespace gsop;

#define C(body) [](GSProgram & p) { (void)p; return GSAsm() body; }

namespace {

// A isclass GSObject: Twice(int), Name(), Fib(int), Loop(), Deep(); B isclass
// A overrides Name() (and calls the inherited one); P is plain; G isclass
// GameObject with a thread method Work(int); T's Run is the snippet.
GSProgram Calls(const CodeMaker& code, const std::string& returns)
{
    GSProgram p("t.gs", 0x7E57, 0x1, &SystemProgram());
    GSProgram::Class& a = p.AddClass("A", {"GSObject"});
    p.AddMethod(a, "Twice", "int", {"int"}, GSAsm().Op(LOAD, 1).Int(2).Op(MUL).Op(RETV));
    p.AddMethod(a, "Name", "string", {}, GSAsm().Op(PUSHS, uint16_t(p.Str("A"))).Op(RETO));
    const uint16_t fib = uint16_t(p.Slot("GSObject", "GetGSClassName") + 3);  // A's own third function
    p.AddMethod(a, "Fib", "int", {"int"},
                GSAsm()
                    .Line(10).Op(LOAD, 1).Int(2).Op(ICMP).Jump(JGEZ, "recurse")
                    .Line(11).Op(LOAD, 1).Op(RETV)
                    .Label("recurse").Line(12).Op(LOADO, 0).Op(LOAD, 1).Op(DEC).Call(CALL, -1, fib)
                    .Op(LOADO, 0).Op(LOAD, 1).Int(2).Op(SUB).Call(CALL, -1, fib).Op(ADD).Op(RETV));
    const uint16_t deep = uint16_t(fib + 1);
    p.AddMethod(a, "Deep", "void", {}, GSAsm().Op(LOADO, 0).Call(CALL, 0, deep).Op(RET));
    GSProgram::Class& b = p.AddClass("B", {"A"});
    p.AddMethod(b, "Name", "string", {},
                GSAsm().Op(LOADO, 0).Op(INHERITED, 0).Op(PUSHS, uint16_t(p.Str("+B"))).Op(SCAT).Op(RETO));
    p.AddClass("P");
    GSProgram::Class& g = p.AddClass("G", {"GameObject"});
    p.AddMethod(g, "Work", "void", {"int"}, GSAsm().Op(RET)).flags = 1 | 16;
    GSProgram::Class& t = p.AddClass("T", {"GSObject"});
    GSProgram::Method& m = p.AddMethod(t, "Run", returns, {}, code(p));
    m.locals = 4;
    m.objectLocals = {3, 4};
    return p;
}

void RunCallSnippets(const std::vector<SnippetCase>& cases) { RunSnippets(cases, Calls); }

}  // namespace

TEST(CallsTest, ScriptAndNativeCalls)
{
    RunCallSnippets({
        IntCase("call with an argument",
                C(.Op(NEWOBJ, p.Ref("A")).Int(21).Call(CALL, -1, uint16_t(p.Slot("A", "Twice"))).Op(RETV)), 42),
        IntCase("recursion", C(.Op(NEWOBJ, p.Ref("A")).Int(10).Call(CALL, -1, uint16_t(p.Slot("A", "Fib"))).Op(RETV)),
                55),
        TextCase("a virtual call through a base view",
                 C(.Op(NEWOBJ, p.Ref("B")).Op(CAST, p.Ref("A")).Call(CALL, 0, uint16_t(p.Slot("A", "Name"))).Op(RETO)),
                 "A+B"),
        TextCase("native 1 names the object's class",
                 C(.Op(NEWOBJ, p.Ref("B")).Call(CALLN, 0, uint16_t(p.Slot("B", "GetGSClassName"))).Op(RETO)), "B"),
        TextCase("native 1 through a base view",
                 C(.Op(NEWOBJ, p.Ref("B")).Op(CAST, p.Ref("GSObject")).Call(CALLN, 0, 0).Op(RETO)), "B"),
        ExitCase("a call on null", C(.Op(PUSH0).Call(CALL, 0, 0).Op(PUSH0).Op(RETV)), ER_NullReference),
        ExitCase("a method slot past the target's table", C(.Op(NEWOBJ, p.Ref("P")).Call(CALL, 0, 0).Op(PUSH0).Op(RETV)),
                 ER_IllegalInstruction),
        ExitCase("too few arguments for the method",
                 C(.Op(NEWOBJ, p.Ref("A")).Call(CALL, 0, uint16_t(p.Slot("A", "Twice"))).Op(RETV)),
                 ER_IllegalInstruction),
        ExitCase("a native slot called as a script method",
                 C(.Op(NEWOBJ, p.Ref("A")).Call(CALL, 0, 0).Op(RETO)), ER_IllegalInstruction),
        IntCase("a game object's native: made in a context with a router, it has an id",
                C(.Op(NEWOBJ, p.Ref("G")).Call(CALLN, 0, uint16_t(p.Slot("G", "GetId"))).Op(GTZ).Op(RETV)), 1),
        ExitCase("a call on an array", C(.Op(PUSH1).Op(NEWARR).Call(CALL, 0, 0).Op(PUSH0).Op(RETV)),
                 ER_IllegalInstruction),
        ExitCase("runaway recursion", C(.Op(NEWOBJ, p.Ref("A")).Call(CALL, 0, uint16_t(p.Slot("A", "Deep")))
                                          .Op(PUSH0).Op(RETV)),
                 ER_StackOverflow),
    });
}

TEST(CallsTest, ThreadStarts)
{
    RunCallSnippets({
        // The new thread keeps its object.
        LeavesBehind(IntCase("a game object takes a new thread",
                             C(.Op(NEWOBJ, p.Ref("G")).Op(POPLO, 3).Op(LOADO, 3).Int(5)
                                   .Call(CALLT, -1, uint16_t(p.Slot("G", "Work"))).Int(1).Op(RETV)),
                             1),
                     1),
        ExitCase("a plain object takes none",
                 C(.Op(NEWOBJ, p.Ref("A")).Int(5).Call(CALLT, -1, uint16_t(p.Slot("A", "Twice"))).Op(PUSH0).Op(RETV)),
                 ER_ThreadError),
        ExitCase("null takes none", C(.Op(PUSH0).Int(5).Call(CALLT, -1, 0).Op(PUSH0).Op(RETV)), ER_NullReference),
    });
}

TEST(CallsTest, TheSixtyFifthThreadIsRefused)
{
    ScriptWorld w;
    GSProgram p("t.gs", 0x7E57, 0x1, &SystemProgram());
    GSProgram::Class& g = p.AddClass("G", {"GameObject"});
    p.AddMethod(g, "Work", "void", {}, GSAsm().Op(RET)).flags = 1 | 16;
    GSAsm spawn;
    for (uint32_t i = 0; i <= GSGameObject::kMaxThreads; ++i)
        spawn.Op(LOADO, 0).Call(CALLT, 0, uint16_t(p.Slot("G", "Work")));
    p.AddMethod(g, "Spawn", "void", {}, spawn.Op(RET));
    GSLibrary* lib = w.Load(p);
    ASSERT_NE(lib, nullptr);
    auto* go = static_cast<GSGameObject*>(w.Make(w.Class(lib, "G")));
    EXPECT_EQ(w.Run(go, "$void@G::Spawn()").code, ER_ThreadError);
    EXPECT_EQ(go->Threads().Count(), GSGameObject::kMaxThreads);
    // Each thread holds the object as its "me".
    EXPECT_EQ(go->Instance()->refCount, 1u + GSGameObject::kMaxThreads);
    go->ClearThreads();
    EXPECT_EQ(go->Instance()->refCount, 1u);
}

// A call on the caller's own object borrows the caller's count for "me":
// the object lives on, and goes when the last frame holding it returns,
// also when the callee drops the last reference from outside.
TEST(CallsTest, ACallOnMeOutlivesTheLastReferenceFromOutside)
{
    ScriptWorld w;
    GSProgram p("t.gs", 0x7E57, 0x1, &SystemProgram());
    GSProgram::Class& a = p.AddClass("A");
    a.fields = 1;
    GSProgram::Class& t = p.AddClass("T");
    t.fields = 1;
    t.referenceFields = {0};
    const uint16_t aField = uint16_t(p.Field("A", 0)), tField = uint16_t(p.Field("T", 0));
    // int Inner(T t, int n): t's field lets go of this object, which then
    // writes its own field, calls itself, and reads the field back.
    p.AddMethod(a, "Inner", "int", {"T", "int"},
                GSAsm().Op(LOADO, 1).Op(PUSH0).Op(POPFO, tField).Int(5).Op(POPM, aField)
                    .Op(LOADO, 0).Op(LOAD, 2).Call(CALL, -1, 1).Op(GETM, aField).Op(ADD).Op(RETV));
    p.AddMethod(a, "Twice", "int", {"int"}, GSAsm().Op(LOAD, 1).Int(2).Op(MUL).Op(RETV));
    // int Outer(T t, int n) { return Inner(t, n); }
    p.AddMethod(a, "Outer", "int", {"T", "int"},
                GSAsm().Op(LOADO, 0).Op(LOADO, 1).Op(LOAD, 2).Call(CALL, -2, 0).Op(RETV));
    // int Run() { field = new A(); int r = field.Outer(me, 20); return r + (field == null); }
    p.AddMethod(t, "Run", "int", {},
                GSAsm().Op(NEWOBJ, uint16_t(p.Ref("A"))).Op(POPMO, tField).Op(GETMO, tField).Op(LOADO, 0).Int(20)
                    .Call(CALL, -2, uint16_t(p.Slot("A", "Outer"))).Op(GETMO, tField).Op(ISNULL).Op(ADD).Op(RETV));
    ASSERT_EQ(p.Slot("A", "Twice"), 1u);
    GSLibrary* lib = w.Load(p);
    ASSERT_NE(lib, nullptr);
    GSObject* o = w.Make(w.Class(lib, "T"));
    ASSERT_NE(o, nullptr);
    const uint32_t tracked = w.Context().Tracked().Count();
    for (int run = 0; run < 2; ++run) {
        const ScriptRun r = w.Run(o, "$int@T::Run()");
        EXPECT_EQ(r.code, ER_Done) << ExitCodeName(r.code);
        EXPECT_EQ(r.value, 2 * 20 + 5 + 1);
        EXPECT_EQ(w.Context().Tracked().Count(), tracked) << "the object went with the last frame holding it";
        EXPECT_EQ(o->Instance()->refCount, 1u);
    }
}

TEST(CallsTest, InheritedCalls)
{
    RunCallSnippets({
        TextCase("inherited runs the base's function on its part",
                 C(.Op(NEWOBJ, p.Ref("B")).Call(CALL, 0, uint16_t(p.Slot("B", "Name"))).Op(RETO)), "A+B"),
        ExitCase("a function without one", C(.Op(LOADO, 0).Op(INHERITED, 0).Op(PUSH0).Op(RETV)), ER_NullReference),
    });
}

namespace {

// Natives of the test class T, registered before the program loads.
void Raise(GSContext*, GSThread& thread) { thread.RaiseException("T.Boom> it went", false); }
void Warn(GSContext*, GSThread& thread) { thread.RaiseException("T.Warn> careful", true); }
void Nap(GSContext*, GSThread& thread)
{
    thread.state = GSThread::kBlocked;
    thread.timer = 0.5f;
}
void PushTwo(GSContext*, GSThread& thread)
{
    thread.stack.PushInt(1);
    thread.stack.PushInt(2);
}
void PushNone(GSContext*, GSThread&) {}

GSProgram WithNatives(const CodeMaker& code, const std::string& returns)
{
    GSProgram p("t.gs", 0x7E57, 0x1, &SystemProgram());
    GSProgram::Class& t = p.AddClass("T");
    p.AddNative(t, "Boom", "void", {});
    p.AddNative(t, "Warn", "void", {});
    p.AddNative(t, "Nap", "void", {});
    p.AddNative(t, "Two", "int", {});
    p.AddNative(t, "None", "int", {});
    GSProgram::Method& m = p.AddMethod(t, "Run", returns, {}, code(p));
    m.locals = 4;
    m.objectLocals = {3, 4};
    return p;
}

void BindNatives(GSMachine& machine)
{
    const std::pair<const char*, GSCNativeFunction::Handler> natives[] = {
        {"$void@T::Boom()", &Raise}, {"$void@T::Warn()", &Warn}, {"$void@T::Nap()", &Nap},
        {"$int@T::Two()", &PushTwo}, {"$int@T::None()", &PushNone},
    };
    for (const auto& [signature, handler] : natives)
        machine.AddNative(std::make_unique<GSCNativeFunction>(Nyx::PString("T"), Nyx::PString(signature), handler));
}

struct NativeRun {
    ScriptWorld w;
    GSObject* t = nullptr;
    std::unique_ptr<GSThread> thread;
    GSExitCode code = ER_Done;

    explicit NativeRun(const CodeMaker& code)
    {
        BindNatives(w.Machine());
        GSProgram p = WithNatives(code, "int");
        GSLibrary* lib = w.Load(p);
        t = w.Make(w.Class(lib, "T"));
        thread = std::make_unique<GSThread>(nullptr, GSThread::kStaticThread);
        thread->stack.PushInstance(t->GetInstance(), true);
        thread->stack.Call(*t->Instance()->cls->OwnFunction("$int@T::Run()"), 0);
    }
};

}  // namespace

TEST(CallsTest, NativesThatFailBlockOrWarn)
{
    {
        NativeRun r(C(.Line(4).Op(LOADO, 0).Call(CALLN, 0, 0).Op(PUSH0).Op(RETV)));
        r.w.log.Take();
        EXPECT_EQ(r.thread->Execute(0.0f), ER_Exception);
        EXPECT_EQ(r.w.log.Take(), (std::vector<std::string>{"T.Boom> it went (file t.gs)",
                                                             "Thread Exception: ER_Exception, line 4, file t.gs",
                                                             "Stack Dump...", "function $int@T::Run(), line -1"}));
        EXPECT_EQ(r.thread->state, GSThread::kEnded);
    }
    {
        NativeRun r(C(.Op(LOADO, 0).Call(CALLN, 0, 1).Int(3).Op(RETV)));
        r.w.log.Take();
        EXPECT_EQ(r.thread->Execute(0.0f), ER_Done);
        EXPECT_EQ(r.w.log.Take(), std::vector<std::string>{"T.Warn> careful (file t.gs)"});
    }
    {
        // A native that blocks: the thread sleeps, then goes on after the call.
        NativeRun r(C(.Op(LOADO, 0).Call(CALLN, 0, 2).Int(3).Op(RETV)));
        EXPECT_EQ(r.thread->Execute(0.0f), ER_Blocked);
        EXPECT_EQ(r.thread->resumeOffset, 8u);
        EXPECT_EQ(r.thread->Execute(0.2f), ER_Blocked);
        EXPECT_FLOAT_EQ(r.thread->timer, 0.3f);
        EXPECT_EQ(r.thread->Execute(0.5f), ER_Done);
        EXPECT_EQ(*r.thread->stack.top, 3);
    }
    {
        // Waiting for a message (timer 0.0): blocked whatever the time.
        NativeRun r(C(.Op(LOADO, 0).Call(CALLN, 0, 2).Int(3).Op(RETV)));
        r.thread->state = GSThread::kBlocked;
        r.thread->timer = 0.0f;
        EXPECT_EQ(r.thread->Execute(100.0f), ER_Blocked);
    }
    {
        // A native that pushes nothing for a value gives 0; one that pushes
        // two fails its return.
        NativeRun none(C(.Op(LOADO, 0).Call(CALLN, 0, 4).Op(RETV)));
        EXPECT_EQ(none.thread->Execute(0.0f), ER_Done);
        EXPECT_EQ(*none.thread->stack.top, 0);
        NativeRun two(C(.Op(LOADO, 0).Call(CALLN, 0, 3).Op(RETV)));
        two.w.log.Take();
        EXPECT_EQ(two.thread->Execute(0.0f), ER_StackReturnError);
        EXPECT_EQ(two.w.log.Take().front(), "GSStack::ReturnValue> diff=5");
    }
}

TEST(CallsTest, ExceptionLinesNameTheCodeLineAndFile)
{
    ScriptWorld w;
    GSProgram p = Calls(C(.Line(7).Op(NEWOBJ, p.Ref("B")).Line(8).Int(3).Line(9)
                              .Call(CALL, -1, uint16_t(p.Slot("A", "Twice"))).Op(PUSH0).Op(DIV).Op(RETV)),
                        "int");
    GSLibrary* lib = w.Load(p);
    ASSERT_NE(lib, nullptr);
    GSObject* t = w.Make(w.Class(lib, "T"));
    w.log.Take();
    EXPECT_EQ(w.Run(t, "$int@T::Run()").code, ER_DivideByZero);
    EXPECT_EQ(w.log.Take(), (std::vector<std::string>{"Thread Exception: ER_DivideByZero, line 9, file t.gs",
                                                       "Stack Dump...", "function $int@T::Run(), line -1"}));
}

TEST(CallsTest, TheStackDumpGivesEachOuterFramesCallLine)
{
    ScriptWorld w;
    GSProgram p("t.gs", 0x7E57, 0x1, &SystemProgram());
    GSProgram::Class& t = p.AddClass("T");
    p.AddMethod(t, "Inner", "int", {}, GSAsm().Line(30).Op(PUSH1).Line(31).Op(PUSH0).Op(DIV).Op(RETV));
    p.AddMethod(t, "Middle", "int", {}, GSAsm().Line(20).Op(LOADO, 0).Line(21).Call(CALL, 0, 0).Op(RETV));
    p.AddMethod(t, "Run", "int", {}, GSAsm().Line(10).Op(LOADO, 0).Line(11).Call(CALL, 0, 1).Op(RETV));
    GSLibrary* lib = w.Load(p);
    ASSERT_NE(lib, nullptr);
    GSObject* o = w.Make(w.Class(lib, "T"));
    w.log.Take();
    EXPECT_EQ(w.Run(o, "$int@T::Run()").code, ER_DivideByZero);
    EXPECT_EQ(w.log.Take(),
              (std::vector<std::string>{"Thread Exception: ER_DivideByZero, line 31, file t.gs", "Stack Dump...",
                                        "function $int@T::Inner(), line -1", "function $int@T::Middle(), line 21",
                                        "function $int@T::Run(), line 11"}));
    EXPECT_EQ(o->Instance()->refCount, 1u) << "every frame's me released once";
}

TEST(CallsTest, TheExceptionLineIsCutAt511Characters)
{
    ScriptWorld w;
    const std::string name(600, 'n');
    GSProgram p(name, 0x7E57, 0x1, &SystemProgram());
    GSProgram::Class& t = p.AddClass("T");
    p.AddMethod(t, "Run", "int", {}, GSAsm().Op(PUSH1).Op(PUSH0).Op(DIV).Op(RETV));
    GSLibrary* lib = w.Load(p);
    ASSERT_NE(lib, nullptr);
    GSObject* o = w.Make(w.Class(lib, "T"));
    w.log.Take();
    EXPECT_EQ(w.Run(o, "$int@T::Run()").code, ER_DivideByZero);
    const std::string line = w.log.Take().front();
    EXPECT_EQ(line.size(), 511u);
    EXPECT_EQ(line.substr(0, 55), "Thread Exception: ER_DivideByZero, line 1, file nnnnnnn");
}

TEST(CallsTest, TheJumpBudget)
{
    RunCallSnippets({ExitCase("a loop of jumps", C(.Label("l").Jump(JMP, "l")), ER_Timeout)});

    LimitsGuard guard;
    RunLimits().jumpBudget = 100;
    // A taken jump counts the bytes from the last one up to its own opcode.
    const auto straight = [](int pairs) {
        return [pairs](GSProgram&) {
            GSAsm a;
            for (int i = 0; i < pairs; ++i)
                a.Op(PUSH0).Op(POP);
            return a.Jump(JMP, "end").Label("end").Op(PUSH1).Op(RETV);
        };
    };
    RunCallSnippets({
        IntCase("99 bytes", straight(49), 1),
        ExitCase("101 bytes", straight(50), ER_Timeout),
        // Calls and returns are taken jumps too.
        ExitCase("calls count", C(.Op(NEWOBJ, p.Ref("A")).Int(10).Call(CALL, -1, uint16_t(p.Slot("A", "Fib"))).Op(RETV)),
                 ER_Timeout),
    });
}

TEST(CallsTest, WaitNeedsAnAttachedGameObjectsThread)
{
    ScriptWorld w;
    GSProgram p("t.gs", 0x7E57, 0x1, &SystemProgram());
    GSProgram::Class& g = p.AddClass("G", {"GameObject"});
    const uint16_t major = uint16_t(p.Str("Ping")), minor = uint16_t(p.Str(""));
    p.AddMethod(g, "Wait", "int", {},
                GSAsm().Op(WAIT).U16(1).U16(major).U16(minor).Target("on").Label("on").Op(POPO).Int(7).Op(RETV));
    GSLibrary* lib = w.Load(p);
    ASSERT_NE(lib, nullptr);
    auto* go = static_cast<GSGameObject*>(w.Make(w.Class(lib, "G")));
    GSFunction* wait = go->Instance()->cls->OwnFunction("$int@G::Wait()");

    // On the static thread: no.
    GSThread stat(nullptr, GSThread::kStaticThread);
    stat.stack.PushInstance(go->GetInstance(), true);
    stat.stack.Call(*wait, 0);
    EXPECT_EQ(stat.Execute(0.0f), ER_ThreadError);

    // On a thread of a game object without a router: no.
    GSGameObject detached;
    ASSERT_TRUE(detached.AttachClass(w.Class(lib, "G"), &w.Context()));
    GSThread* lone = detached.NewThread();
    lone->stack.PushInstance(detached.GetInstance(), true);
    lone->stack.Call(*wait, 0);
    EXPECT_EQ(lone->Execute(0.0f), ER_ThreadError);

    // On its own thread: it blocks with the clause subscribed, and a message
    // wakes it with the Message object pushed.
    GSThread* thread = go->NewThread();
    thread->stack.PushInstance(go->GetInstance(), true);
    thread->stack.Call(*wait, 0);
    EXPECT_EQ(thread->Execute(0.0f), ER_Blocked);
    const uint16_t ping = w.Router().Intern("Ping");
    EXPECT_EQ(w.Router().Subscriptions(*go, ping), 1u);
    EXPECT_EQ(thread->Execute(1.0f), ER_Blocked) << "a waiting thread does not run";
    EXPECT_FALSE(thread->QueueMessage(GSMessage{uint16_t(ping + 1), 1, go->Id(), go->Id(), 0}, true));
    EXPECT_TRUE(thread->QueueMessage(GSMessage{ping, w.Router().Intern("any"), go->Id(), go->Id(), 0}, true));
    EXPECT_EQ(thread->state, GSThread::kRunning);
    EXPECT_EQ(thread->Execute(0.0f), ER_Done);
    EXPECT_EQ(*thread->stack.top, 7);
    EXPECT_EQ(w.Router().Subscriptions(*go, ping), 0u) << "the next run drops the clauses";
}

// The verifier refuses opcodes past the instruction set, so only a changed
// image could hold one: the dispatch table still ends the thread there.
TEST(CallsTest, AnOpcodePastTheSetEndsTheThread)
{
    ScriptWorld w;
    GSProgram p("t.gs", 0x7E57, 0x1, &SystemProgram());
    GSProgram::Class& t = p.AddClass("T");
    p.AddMethod(t, "Run", "int", {}, GSAsm().Line(3).Op(PUSH1).Line(4).Op(NEG).Op(RETV));
    GSLibrary* lib = w.Load(p);
    ASSERT_NE(lib, nullptr);
    GSObject* o = w.Make(w.Class(lib, "T"));
    const_cast<uint8_t*>(o->Instance()->cls->OwnFunction("$int@T::Run()")->code)[1] = 200;
    w.log.Take();
    EXPECT_EQ(w.Run(o, "$int@T::Run()").code, ER_IllegalInstruction);
    EXPECT_EQ(w.log.Take(), (std::vector<std::string>{"Thread Exception: ER_IllegalInstruction, line 4, file t.gs",
                                                       "Stack Dump...", "function $int@T::Run(), line -1"}));
}

// Runs nested in a run (constructors here) spend the outer run's budget.
TEST(CallsTest, NestedRunsShareTheBudget)
{
    LimitsGuard guard;
    RunLimits().jumpBudget = 100;
    const auto program = [](int outer, int inner) {
        return [outer, inner](const CodeMaker&, const std::string&) {
            GSProgram p("t.gs", 0x7E57, 0x1, &SystemProgram());
            GSProgram::Class& made = p.AddClass("Made");
            GSAsm init;
            for (int i = 0; i < inner; ++i)
                init.Op(PUSH0).Op(POP);
            made.init = init.Jump(JMP, "end").Label("end").Op(RET).Bytes();
            GSProgram::Class& t = p.AddClass("T");
            GSAsm run;
            for (int i = 0; i < outer; ++i)
                run.Op(PUSH0).Op(POP);
            run.Jump(JMP, "go").Label("go").Op(NEWOBJ, uint16_t(p.Ref("Made"))).Op(POPO).Jump(JMP, "end").Label("end")
                .Op(PUSH1).Op(RETV);
            p.AddMethod(t, "Run", "int", {}, run);
            return p;
        };
    };
    // 61 bytes before the object is made and 61 in its constructor: each
    // fits 100 bytes, both do not.
    RunSnippets({IntCase("the outer run's alone", nullptr, 1)}, program(30, 0));
    RunSnippets({IntCase("the constructor's alone", nullptr, 1)}, program(0, 30));
    RunSnippets({ExitCase("together", nullptr, ER_ClassCreateError)}, program(30, 30));
}
