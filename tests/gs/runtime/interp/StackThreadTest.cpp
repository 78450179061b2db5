// The value stack and the thread record: frames, returns, overflow, the
// depth checks at entries, nested runs, message queues and wake-ups.
#include <gtest/gtest.h>

#include "gs/runtime/ScriptWorld.h"

using namespace GSRuntime;
using namespace gsop;

namespace {

// T with the given methods (each taking no arguments and returning int,
// unless said otherwise), in a world; the object made.
struct Methods {
    ScriptWorld w;
    GSProgram p{"t.gs", 0x7E57, 0x1, &SystemProgram()};
    GSProgram::Class* t = nullptr;
    GSObject* object = nullptr;

    Methods() { t = &p.AddClass("T"); }
    GSProgram::Method& Add(const char* name, const GSAsm& code, const char* returns = "int")
    {
        return p.AddMethod(*t, name, returns, {}, code);
    }
    bool Load()
    {
        GSLibrary* lib = w.Load(p);
        object = lib ? w.Make(w.Class(lib, "T")) : nullptr;
        return object != nullptr;
    }
    GSFunction& Function(const char* signature) { return *object->Instance()->cls->OwnFunction(signature); }
    GSScriptInstance& Instance() { return *object->Instance(); }
};

}  // namespace

TEST(StackTest, AFrameThatDoesNotFitLogsTheFrames)
{
    Methods m;
    m.Add("Outer", GSAsm().Op(PUSH0).Op(RETV));
    m.Add("Big", GSAsm().Op(PUSH0).Op(RETV)).maxStack = 100;
    ASSERT_TRUE(m.Load());
    GSStack stack;
    stack.PushInstance(m.object->GetInstance(), true);
    ASSERT_TRUE(stack.Call(m.Function("$int@T::Outer()"), 0));
    while (stack.Used() < GSStack::kThreadSlots - 50)
        stack.Push(0);
    stack.PushInstance(m.object->GetInstance(), true);
    m.w.log.Take();
    EXPECT_FALSE(stack.Call(m.Function("$int@T::Big()"), 0));
    EXPECT_EQ(m.w.log.Take(), (std::vector<std::string>{"GSStack overflow...", "function $int@T::Outer()"}));
    stack.Clear();
    EXPECT_EQ(m.Instance().refCount, 1u);
}

TEST(StackTest, ReturnsCheckTheDistanceBeforeReleasing)
{
    Methods m;
    m.Add("F", GSAsm().Op(PUSH0).Op(RETV)).objectLocals = {1};
    m.t->methods.back().locals = 1;
    ASSERT_TRUE(m.Load());
    GSStack stack;
    stack.PushInstance(m.object->GetInstance(), true);
    ASSERT_TRUE(stack.Call(m.Function("$int@T::F()"), 0));
    GSSlot* locals = GSStack::RecordLocals(stack.frame);
    locals[1] = (new GSString(&m.w.Context(), "local"))->Reference();
    const GSSlot me = locals[0];

    // Two values above the record: neither pop may release anything.
    stack.Push(1);
    stack.Push(2);
    m.w.log.Take();
    EXPECT_FALSE(stack.ReturnValue(false));
    EXPECT_EQ(m.w.log.Take(), std::vector<std::string>{"GSStack::ReturnValue> diff=5"});
    EXPECT_FALSE(stack.Pop());
    EXPECT_EQ(locals[0], me);
    EXPECT_NE(locals[1], 0);
    EXPECT_EQ(m.Instance().refCount, 2u);

    // The unwinding then releases each once.
    const uint32_t before = m.w.Context().Tracked().Count();
    stack.Clear();
    EXPECT_EQ(m.Instance().refCount, 1u);
    EXPECT_EQ(m.w.Context().Tracked().Count(), before - 1);
}

TEST(StackTest, ReturnValueTakesTheOneValueOrAMissingOne)
{
    Methods m;
    m.Add("F", GSAsm().Op(PUSH0).Op(RETV));
    ASSERT_TRUE(m.Load());
    const struct {
        int pushed;
        bool allowMissing;
        bool ok;
        GSSlot value;
    } cases[] = {{1, false, true, 9}, {0, true, true, 0}, {0, false, false, 0}, {2, true, false, 0}};
    for (const auto& c : cases) {
        GSStack stack;
        stack.PushInt(77);
        stack.PushInstance(m.object->GetInstance(), true);
        ASSERT_TRUE(stack.Call(m.Function("$int@T::F()"), 12));
        for (int i = 0; i < c.pushed; ++i)
            stack.PushInt(9);
        EXPECT_EQ(stack.ReturnValue(c.allowMissing), c.ok);
        if (c.ok) {
            EXPECT_EQ(stack.Used(), 2);
            EXPECT_EQ(*stack.top, c.value);
            EXPECT_EQ(stack.returnOffset, 12u);
            EXPECT_EQ(stack.frame, nullptr);
        }
        stack.Clear();
    }
    EXPECT_EQ(m.Instance().refCount, 1u);
}

TEST(StackTest, ClearReleasesEveryFramesReferencesOnce)
{
    Methods m;
    GSProgram::Method& f = m.Add("F", GSAsm().Op(PUSH0).Op(RETV));
    f.locals = 2;
    f.objectLocals = {1, 2};
    ASSERT_TRUE(m.Load());
    GSStack stack;
    std::vector<GSString*> strings;
    for (int frame = 0; frame < 3; ++frame) {
        stack.PushInstance(m.object->GetInstance(), true);
        ASSERT_TRUE(stack.Call(m.Function("$int@T::F()"), 0));
        for (int local = 1; local <= 2; ++local) {
            auto* s = new GSString(&m.w.Context(), "s");
            GSStack::RecordLocals(stack.frame)[local] = s->Reference();
            strings.push_back(s);
        }
        stack.PushInstance(strings.back()->GetInstance(), true);  // an operand left behind
    }
    EXPECT_EQ(m.Instance().refCount, 4u);
    const uint32_t before = m.w.Context().Tracked().Count();
    stack.Clear();
    EXPECT_EQ(m.Instance().refCount, 1u);
    EXPECT_EQ(m.w.Context().Tracked().Count(), before - 6);
    EXPECT_EQ(stack.Used(), 0);
    EXPECT_EQ(stack.frame, nullptr);
}

// SWAP used the slot above the top as scratch, which is past the stack when
// it is full: it swaps in registers, and the verifier counts no scratch.
TEST(StackTest, SwapAtAFullStack)
{
    Methods m;
    m.Add("F", GSAsm().Int(1).Int(2).Op(SWAP).Op(SUB).Op(RETV)).maxStack = 2;
    ASSERT_TRUE(m.Load());
    GSThread thread(nullptr, GSThread::kStaticThread);
    // The frame adds 4 slots and the code 2: the last of them is the
    // stack's last slot.
    while (thread.stack.Used() < GSStack::kThreadSlots - 7)
        thread.stack.Push(0);
    thread.stack.PushInstance(m.object->GetInstance(), true);
    ASSERT_TRUE(thread.stack.Call(m.Function("$int@T::F()"), 0));
    EXPECT_EQ(thread.Execute(0.0f), ER_Done);
    EXPECT_EQ(*thread.stack.top, 1);
}

// Nothing checked a push: the depths the verifier measured are now checked
// at every place a run enters, so a program that outgrows its stack, or
// pops below its frame, ends instead of writing past it.
TEST(StackTest, DepthsAreCheckedWhereRunsEnter)
{
    Methods m;
    m.Add("Grow", GSAsm().Label("l").Op(PUSH0).Jump(JMP, "l"));
    m.Add("Nothing", GSAsm().Op(RET), "void");
    // Expects a value that the void call does not leave.
    m.Add("PopsBelow", GSAsm().Op(LOADO, 0).Call(CALL, 0, 1).Op(POP).Op(PUSH0).Op(RETV));
    // Declares too little room for its code.
    m.Add("Small", GSAsm().Op(PUSH0).Op(PUSH0).Op(PUSH0).Op(ADD).Op(ADD).Op(RETV)).maxStack = 0;
    ASSERT_TRUE(m.Load());
    const struct {
        const char* signature;
        int32_t filler;
        GSExitCode code;
    } cases[] = {
        {"$int@T::Grow()", 0, ER_StackOverflow},
        {"$int@T::PopsBelow()", 0, ER_StackReturnError},
        {"$int@T::Small()", GSStack::kThreadSlots - 7, ER_StackOverflow},
        {"$int@T::Small()", 0, ER_Done},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.signature);
        GSThread thread(nullptr, GSThread::kStaticThread);
        while (thread.stack.Used() < c.filler)
            thread.stack.Push(0);
        thread.stack.PushInstance(m.object->GetInstance(), true);
        ASSERT_TRUE(thread.stack.Call(m.Function(c.signature), 0));
        EXPECT_EQ(thread.Execute(0.0f), c.code);
    }
    EXPECT_EQ(m.Instance().refCount, 1u);
}

TEST(ThreadTest, NestedRunsSetTheFramesAside)
{
    Methods m;
    m.Add("F", GSAsm().Int(5).Op(RETV));
    ASSERT_TRUE(m.Load());
    GSThread thread(nullptr, GSThread::kStaticThread);
    thread.stack.PushInt(1);
    thread.stack.PushInstance(m.object->GetInstance(), true);
    ASSERT_TRUE(thread.stack.Call(m.Function("$int@T::F()"), 3));
    thread.resumeOffset = 2;
    thread.state = GSThread::kBlocked;
    GSSlot* const frame = thread.stack.frame;
    GSSlot* const top = thread.stack.top;

    GSThread::SavedRun saved;
    ASSERT_TRUE(thread.SetAside(saved));
    EXPECT_EQ(thread.stack.frame, nullptr);
    EXPECT_EQ(thread.stack.top, top + 1);
    EXPECT_EQ(*thread.stack.top, 0);
    thread.stack.PushInstance(m.object->GetInstance(), true);
    ASSERT_TRUE(thread.stack.Call(m.Function("$int@T::F()"), 0));
    EXPECT_EQ(thread.Execute(0.0f), ER_Done);
    EXPECT_EQ(*thread.stack.top, 5);
    thread.Restore(saved);
    EXPECT_EQ(thread.stack.frame, frame);
    EXPECT_EQ(thread.stack.top, top);
    EXPECT_EQ(thread.state, GSThread::kBlocked);
    EXPECT_EQ(thread.resumeOffset, 2u);

    // No room for the empty slot: nothing is set aside.
    while (thread.stack.HasRoom(1))
        thread.stack.Push(0);
    EXPECT_FALSE(thread.SetAside(saved));
    thread.stack.Clear();
}

TEST(ThreadTest, EveryExitCodeHasItsName)
{
    const char* const names[] = {
        "ER_Done",           "ER_Blocked",          "ER_IllegalInstruction", "ER_DivideByZero",
        "ER_NullArrayReference", "ER_ArrayOutOfBounds", "ER_ArrayRangeError",  "ER_NullStringReference",
        "ER_StringOutOfBounds", "ER_NullReference",  "ER_ClassCreateError",   "ER_NativeCallError",
        "ER_StackOverflow",  "ER_NoStackFrame",     "ER_ThreadError",        "ER_StackReturnError",
        "ER_Exception",      "ER_LinkError",        "ER_Timeout",
    };
    ASSERT_EQ(std::size(names), kExitCodeCount);
    for (uint32_t code = 0; code < kExitCodeCount; ++code)
        EXPECT_STREQ(ExitCodeName(GSExitCode(code)), names[code]);
}

TEST(ThreadTest, ARunWithoutAFrame)
{
    LogCapture log;
    GSThread thread(nullptr, GSThread::kStaticThread);
    EXPECT_EQ(thread.Execute(0.0f), ER_NoStackFrame);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"Thread Exception: ER_NoStackFrame, line -1, file ",
                                                    "Stack Dump..."}));
    EXPECT_EQ(thread.state, GSThread::kEnded);
}

namespace {

// A game object of class G (no methods), attached, with a thread that
// waits in the clauses given.
struct Waiting {
    ScriptWorld w;
    GSGameObject* object = nullptr;
    GSThread* thread = nullptr;

    explicit Waiting(const std::vector<GSThread::Block>& clauses)
    {
        GSProgram p("t.gs", 0x7E57, 0x1, &SystemProgram());
        p.AddClass("G", {"GameObject"});
        GSLibrary* lib = w.Load(p);
        object = static_cast<GSGameObject*>(w.Make(w.Class(lib, "G")));
        thread = object->NewThread();
        thread->clauses = clauses;
        thread->state = GSThread::kBlocked;
    }
    GSMessage Message(const char* major, const char* minor)
    {
        return GSMessage{w.Router().Intern(major), w.Router().Intern(minor), object->Id(), object->Id(), 0};
    }
    uint16_t Id(const char* name) { return w.Router().Intern(name); }
};

}  // namespace

TEST(ThreadTest, AMessageWakesAThreadWaitingForIt)
{
    const struct {
        const char* clauseMinor;
        const char* major;
        const char* minor;
        bool wakes;
    } cases[] = {
        {"", "Ping", "anything", true}, {"x", "Ping", "x", true}, {"x", "Ping", "y", false},
        {"", "Pong", "x", false},
    };
    for (const auto& c : cases) {
        Waiting wt({});
        wt.thread->clauses = {{wt.Id("Ping"), wt.Id(c.clauseMinor), 17}};
        EXPECT_EQ(wt.thread->QueueMessage(wt.Message(c.major, c.minor), true), c.wakes);
        EXPECT_EQ(wt.thread->state, c.wakes ? GSThread::kRunning : GSThread::kBlocked);
        if (!c.wakes)
            continue;
        EXPECT_EQ(wt.thread->resumeOffset, 17u);
        // The Message object, with its texts and its objects as GameObjects.
        ASSERT_TRUE(IsReference(*wt.thread->stack.top));
        GSSlot* message = ReferencePart(*wt.thread->stack.top);
        EXPECT_STREQ(GSScriptInstance::OfPart(message)->cls->name, "Message");
        EXPECT_EQ(GSString::OfPart(ReferencePart(message[2]))->Str(), c.major);
        EXPECT_EQ(GSString::OfPart(ReferencePart(message[3]))->Str(), c.minor);
        EXPECT_EQ(ReferencePart(message[4]), GSObject::CastToClass(wt.object->GetInstance(), wt.w.Machine().GetGameObjectClass()));
        EXPECT_EQ(message[5], message[4]);
    }
}

TEST(ThreadTest, TheQueueHolds48MessagesAndCountsTheDropped)
{
    Waiting wt({});
    wt.thread->state = GSThread::kRunning;
    wt.thread->clauses = {{wt.Id("Ping"), GSRouter::kAnyMinor, 0}};
    EXPECT_FALSE(wt.thread->QueueMessage(wt.Message("Pong", ""), true)) << "no clause matches";
    EXPECT_TRUE(wt.thread->QueueMessage(wt.Message("Ping", ""), false)) << "a test only";
    EXPECT_TRUE(wt.thread->queue.empty());
    for (int i = 0; i < 48; ++i)
        EXPECT_TRUE(wt.thread->QueueMessage(wt.Message("Ping", ""), true));
    EXPECT_EQ(wt.thread->droppedMessages, 0u);
    EXPECT_TRUE(wt.thread->QueueMessage(wt.Message("Ping", ""), true));
    EXPECT_EQ(wt.thread->queue.size(), 48u);
    EXPECT_EQ(wt.thread->droppedMessages, 1u);
}

TEST(ThreadTest, WakingFromTheQueue)
{
    Waiting wt({});
    wt.thread->state = GSThread::kRunning;
    wt.thread->clauses = {{wt.Id("A"), GSRouter::kAnyMinor, 0}, {wt.Id("B"), wt.Id("b"), 0}};
    for (const char* major : {"A", "B", "A"})
        ASSERT_TRUE(wt.thread->QueueMessage(wt.Message(major, "b"), true));
    // The next wait listens for B only: the first B wakes it, the A's go.
    wt.thread->clauses = {{wt.Id("B"), wt.Id("b"), 9}};
    wt.thread->state = GSThread::kBlocked;
    EXPECT_TRUE(wt.thread->WakeFromQueue());
    EXPECT_EQ(wt.thread->resumeOffset, 9u);
    EXPECT_TRUE(wt.thread->queue.empty());

    // A later matching message stays queued, in order.
    Waiting again({});
    again.thread->state = GSThread::kRunning;
    again.thread->clauses = {{again.Id("B"), GSRouter::kAnyMinor, 0}};
    for (const char* minor : {"1", "2", "3"})
        again.thread->QueueMessage(again.Message("B", minor), true);
    again.thread->state = GSThread::kBlocked;
    EXPECT_TRUE(again.thread->WakeFromQueue());
    ASSERT_EQ(again.thread->queue.size(), 2u);
    EXPECT_EQ(again.thread->queue[0]->minor, again.Id("2"));
    EXPECT_EQ(again.thread->queue[1]->minor, again.Id("3"));
}

TEST(ThreadTest, ThreadsWithoutRouterOrContextTakeNoMessages)
{
    GSThread stat(nullptr, GSThread::kStaticThread);
    stat.clauses = {{100, GSRouter::kAnyMinor, 0}};
    EXPECT_FALSE(stat.QueueMessage(GSMessage{100, 1, 0, 0, 0}, true));
    Waiting wt({});
    wt.w.Router().RemoveNode(*wt.object);
    wt.thread->clauses = {{wt.Id("A"), GSRouter::kAnyMinor, 0}};
    EXPECT_FALSE(wt.thread->QueueMessage(GSMessage{wt.Id("A"), 1, 0, 0, 0}, true));
}
