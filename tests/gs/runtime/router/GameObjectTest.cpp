// Game objects through their natives, run as hand-assembled scripts: sends
// and posts, handlers and sniffing, sleeping, waits and thread starts
// through the router's step, the Router natives, and the stack dumps.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gs/runtime/ScriptWorld.h"
#include "gs/runtime/registry/GSNativeFunction.h"

using namespace GSRuntime;
using namespace gsop;

#define C(body) [](GSProgram & p) { (void)p; return GSAsm() body; }

namespace {

uint16_t Text(GSProgram& p, const char* text) { return uint16_t(p.Str(text)); }
uint16_t Slot(GSProgram& p, const char* method) { return uint16_t(p.Slot("G", method)); }

// GSAsm of "me.Native(args)" pieces.
GSAsm& Send(GSAsm& a, GSProgram& p, uint16_t target, const char* major, const char* minor)
{
    return a.Op(LOADO, 0).Op(LOADO, target).Op(PUSHS, Text(p, major)).Op(PUSHS, Text(p, minor))
        .Call(CALLN, -3, Slot(p, "SendMessage"));
}

// G isclass GameObject, own fields count (int) and last (string):
//   int Run(GameObject other)            the case's code
//   void Handle(GameObject t)             t.AddHandler: Ping, any minor, OnMsg
//   void HandleGrow / HandleDrop (t)      the same with OnGrow / OnDrop
//   void SniffOn(GameObject t)            sniff t's Ping messages
//   void Send(GameObject t)               SendMessage(t, "Ping", "x")
//   void OnMsg(Message m)                 count + 1, last = m.minor
//   void OnGrow(Message m)                adds OnMsg for Ping on itself
//   void OnDrop(Message m)                stops sniffing the message's destination
//   thread Sleeper()                      sleeps 0.25 s, then count + 1
// S isclass GameObject is secured; P is a plain class.
GSProgram Program(const CodeMaker& run)
{
    GSProgram p("t.gs", 0x7E57, 0x1, &SystemProgram());
    p.AddClass("S", {"GameObject"}).flags = GSClass::kFlagSecured;
    p.AddClass("P");
    GSProgram::Class& g = p.AddClass("G", {"GameObject"});
    g.fields = 2;
    g.referenceFields = {1};
    const uint16_t count = uint16_t(p.Field("G", 0)), last = uint16_t(p.Field("G", 1));
    const auto add = [&](const char* name, const std::vector<std::string>& params, const GSAsm& code,
                         uint32_t flags = 1) -> GSProgram::Method& {
        GSProgram::Method& m = p.AddMethod(g, name, "void", params, code);
        m.flags = flags;
        return m;
    };
    p.AddMethod(g, "Run", "int", {"GameObject"}, run(p)).locals = 2;
    const auto handle = [&](const char* handler) {
        return GSAsm().Op(LOADO, 0).Op(LOADO, 1).Op(PUSHS, Text(p, "Ping")).Op(PUSHS, Text(p, ""))
            .Op(PUSHS, Text(p, handler)).Call(CALLN, -4, Slot(p, "AddHandler")).Op(RET);
    };
    add("Handle", {"GameObject"}, handle("OnMsg"));
    add("HandleGrow", {"GameObject"}, handle("OnGrow"));
    add("HandleDrop", {"GameObject"}, handle("OnDrop"));
    add("SniffOn", {"GameObject"}, GSAsm().Op(LOADO, 0).Op(LOADO, 1).Op(PUSHS, Text(p, "Ping")).Op(PUSHS, Text(p, ""))
                                       .Op(PUSH1).Call(CALLN, -4, Slot(p, "Sniff")).Op(RET));
    {
        GSAsm a;
        add("Send", {"GameObject"}, Send(a, p, 1, "Ping", "x").Op(RET));
    }
    add("OnMsg", {"Message"},
        GSAsm().Op(GETM, count).Op(PUSH1).Op(ADD).Op(POPM, count).Op(LOADO, 1).Op(GETFO, 3).Op(POPMO, last).Op(RET));
    add("OnGrow", {"Message"}, GSAsm().Op(LOADO, 0).Op(LOADO, 0).Op(PUSHS, Text(p, "Ping")).Op(PUSHS, Text(p, ""))
                                   .Op(PUSHS, Text(p, "OnMsg")).Call(CALLN, -4, Slot(p, "AddHandler")).Op(RET));
    add("OnDrop", {"Message"}, GSAsm().Op(LOADO, 0).Op(LOADO, 1).Op(GETFO, 5).Op(PUSHS, Text(p, "Ping"))
                                   .Op(PUSHS, Text(p, "")).Op(PUSH0).Call(CALLN, -4, Slot(p, "Sniff")).Op(RET));
    const auto bump = [&](GSAsm& a, int32_t by) -> GSAsm& {
        return a.Op(GETM, count).Int(by).Op(ADD).Op(POPM, count);
    };
    {
        GSAsm a;
        a.Op(LOADO, 0).Float(0.25f).Call(CALLN, -1, Slot(p, "Sleep"));
        add("Sleeper", {}, bump(a, 1).Op(RET), 1 | 16);
    }
    return p;
}

// A game object with a name, which plain game objects have not.
class NamedGameObject : public GSGameObject {
public:
    explicit NamedGameObject(std::string text) : name(std::move(text)) {}
    const char* GetName() const override { return name.c_str(); }
    std::string name;
};

struct Game {
    explicit Game(const CodeMaker& run = C(.Op(PUSH0).Op(RETV))) : p(Program(run))
    {
        lib = w.Load(p);
        EXPECT_NE(lib, nullptr) << ::testing::PrintToString(w.log.Take());
        a = Make("G");
        b = Make("G");
        w.log.Take();
    }
    GSGameObject* Make(const char* cls) { return static_cast<GSGameObject*>(w.Make(w.Class(lib, cls))); }

    struct Result {
        GSExitCode code = ER_Done;
        int32_t value = 0;
        std::vector<std::string> log;
    };
    // Runs G's function on the object with the other object as its
    // argument: on a thread of the object, or on a static thread.
    Result Call(GSObject* on, const std::string& signature, GSObject* other, bool onStatic = false)
    {
        Result r;
        GSFunction* f = on->Instance()->cls->OwnFunction(signature.c_str());
        EXPECT_NE(f, nullptr) << signature;
        if (!f)
            return r;
        GSThread mine(nullptr, GSThread::kStaticThread);
        GSThread* thread = onStatic ? &mine : static_cast<GSGameObject*>(on)->NewThread();
        thread->stack.PushInstance(on->GetInstance(), true);
        thread->stack.PushInstance(other ? other->GetInstance() : nullptr, true);
        thread->stack.Call(*f, 0);
        r.code = thread->Execute(0.0f);
        if (r.code == ER_Done && f->returnType)
            r.value = SlotInt(*thread->stack.top);
        if (!onStatic && r.code != ER_Blocked)
            static_cast<GSGameObject*>(on)->DeleteThread(*thread);
        r.log = w.log.Take();
        return r;
    }
    Result Run(GSObject* on, GSObject* other, bool onStatic = false)
    {
        return Call(on, "$int@G::Run(GameObject)", other, onStatic);
    }
    void Do(GSObject* on, const char* method, GSObject* other)
    {
        const Result r = Call(on, std::string("$void@G::") + method + "(GameObject)", other, true);
        EXPECT_EQ(r.code, ER_Done) << method << ::testing::PrintToString(r.log);
    }
    // Starts G's thread function on the object.
    void Start(GSGameObject* on, const char* signature, GSObject* other = nullptr)
    {
        std::vector<intptr_t> args;
        if (other)
            args.push_back(reinterpret_cast<intptr_t>(other->GetInstance()));
        EXPECT_TRUE(w.Machine().CallFunction(&w.Context(), on->Instance()->cls, on->GetInstance(), signature,
                                             nullptr, args))
            << signature;
    }
    int32_t Count(GSGameObject* g) { return SlotInt(g->GetInstance()[p.Field("G", 0)]); }

    ScriptWorld w;
    GSProgram p;
    GSLibrary* lib = nullptr;
    GSGameObject* a = nullptr;
    GSGameObject* b = nullptr;
};

struct NativeCase {
    const char* what;
    CodeMaker code;
    bool onStatic;
    GSExitCode exit;
    std::vector<std::string> log;                      // the run's lines
    std::function<void(Game&)> check = [](Game&) {};  // after the run
};

// A native's report names the file of its own frame's function: the system
// library's, for GameObject's natives.
std::vector<std::string> ExceptionLines(const std::string& report)
{
    return {report + " (file gs.gs)", "Thread Exception: ER_Exception, line 1, file t.gs", "Stack Dump...",
            "function $int@G::Run(GameObject), line -1"};
}

void RunNativeCases(const std::vector<NativeCase>& cases)
{
    for (const NativeCase& c : cases) {
        SCOPED_TRACE(c.what);
        Game g(c.code);
        const Game::Result r = g.Run(g.a, g.b, c.onStatic);
        EXPECT_EQ(r.code, c.exit) << ExitCodeName(r.code);
        EXPECT_EQ(r.log, c.log);
        c.check(g);
    }
}

}  // namespace

TEST(GameObjectTest, SendAndPost)
{
    RunNativeCases({
        {"a send from the static thread", C(.Op(LOADO, 0).Op(LOADO, 1).Op(PUSHS, Text(p, "Ping")).Op(PUSHS, Text(p, ""))
                                                .Call(CALLN, -3, Slot(p, "SendMessage")).Op(PUSH1).Op(RETV)),
         true, ER_Exception, ExceptionLines("Static Thread cannot call SendMessage")},
        {"a send with a null minor", C(.Op(LOADO, 0).Op(LOADO, 1).Op(PUSHS, Text(p, "Ping")).Op(PUSH0)
                                          .Call(CALLN, -3, Slot(p, "SendMessage")).Op(PUSH1).Op(RETV)),
         false, ER_Exception, ExceptionLines("GameObject::SendMessage() illegal major or minor string")},
        {"a post with a null major", C(.Op(LOADO, 0).Op(LOADO, 1).Op(PUSH0).Op(PUSHS, Text(p, "")).Float(1.0f)
                                          .Call(CALLN, -4, Slot(p, "PostMessage")).Op(PUSH1).Op(RETV)),
         true, ER_Exception, ExceptionLines("GameObject::PostMessage() illegal major or minor string")},
        {"a post of 0.25 s from the static thread is due 250 ms on",
         C(.Op(LOADO, 0).Op(LOADO, 1).Op(PUSHS, Text(p, "Ping")).Op(PUSHS, Text(p, "x")).Float(0.25f)
               .Call(CALLN, -4, Slot(p, "PostMessage")).Op(PUSH1).Op(RETV)),
         true, ER_Done, {}, [](Game& g) {
             ASSERT_EQ(g.w.Router().DelayedCount(), 1u);
             const GSMessage m = g.w.Router().Delayed().front();
             EXPECT_EQ(m.delay, (g.w.Router().Clock() + 250) | GSMessage::kPooled);
             EXPECT_EQ(m.source, g.a->Id());
             EXPECT_EQ(m.destination, g.b->Id());
             EXPECT_STREQ(g.w.Router().Text(m.major), "Ping");
         }},
        {"a post of 0 s goes on the immediate queue; to null, to every subscriber",
         C(.Op(LOADO, 0).Op(PUSH0).Op(PUSHS, Text(p, "Ping")).Op(PUSHS, Text(p, "x")).Float(0.0f)
               .Call(CALLN, -4, Slot(p, "PostMessage")).Op(PUSH1).Op(RETV)),
         false, ER_Done, {}, [](Game& g) {
             EXPECT_EQ(g.w.Router().ImmediateCount(), 1u);
             g.Do(g.b, "Handle", g.b);
             g.w.Router().Step(0.1f);
             EXPECT_EQ(g.Count(g.b), 1);
             EXPECT_EQ(g.Count(g.a), 0) << "not subscribed";
         }},
    });
}

// Seconds times 1000 become a delay the field can hold: NaN and negative
// delays are none, huge ones the longest.
TEST(GameObjectTest, PostDelaysAreClamped)
{
    const struct {
        float seconds;
        bool immediate;
        uint32_t delay;
    } cases[] = {
        {-1.0f, true, 0}, {NAN, true, 0}, {-INFINITY, true, 0}, {0.0009f, true, 0},
        {1.5f, false, 1500}, {1e30f, false, GSMessage::kDelayMask}, {INFINITY, false, GSMessage::kDelayMask},
    };
    for (const auto& c : cases) {
        for (const bool router : {false, true}) {
            SCOPED_TRACE(std::to_string(c.seconds) + (router ? " Router.PostMessage" : " GameObject.PostMessage"));
            const float seconds = c.seconds;
            Game g([seconds, router](GSProgram& p) {
                GSAsm a;
                if (router)
                    a.Op(STATIC, uint16_t(p.Ref("Router"))).Op(LOADO, 0).Call(CALLN, 0, Slot(p, "GetId"))
                        .Op(LOADO, 1).Call(CALLN, 0, Slot(p, "GetId"));
                else
                    a.Op(LOADO, 0).Op(LOADO, 1);
                a.Op(PUSHS, Text(p, "Ping")).Op(PUSHS, Text(p, "")).Float(seconds);
                if (router)
                    a.Call(CALLN, -5, uint16_t(p.Slot("Router", "PostMessage")));
                else
                    a.Call(CALLN, -4, Slot(p, "PostMessage"));
                return a.Op(PUSH1).Op(RETV);
            });
            g.w.Router().Step(1.0f);
            ASSERT_EQ(g.Run(g.a, g.b, true).code, ER_Done);
            EXPECT_EQ(g.w.Router().ImmediateCount(), c.immediate ? 1u : 0u);
            if (!c.immediate) {
                ASSERT_EQ(g.w.Router().DelayedCount(), 1u);
                const GSMessage m = g.w.Router().Delayed().front();
                EXPECT_EQ(m.delay & GSMessage::kDelayMask, (1000 + c.delay) & GSMessage::kDelayMask);
                EXPECT_EQ(m.source, g.a->Id());
                EXPECT_EQ(m.destination, g.b->Id());
            }
        }
    }
}

// With every 16-bit id given, a new name is refused, and the send or post
// that needs it raises its exception.
TEST(GameObjectTest, NamesRunningOutRaiseTheIllegalStringException)
{
    Game g;
    for (uint32_t i = 0; g.w.Router().Intern("filler " + std::to_string(i)) != 0; ++i) {
    }
    Game::Result r = g.Call(g.a, "$void@G::Send(GameObject)", g.b);
    EXPECT_EQ(r.code, ER_Exception);
    EXPECT_EQ(r.log.front(), "GameObject::SendMessage() illegal major or minor string (file gs.gs)");
    EXPECT_EQ(g.w.Router().ImmediateCount(), 0u);
}

TEST(GameObjectTest, HandlersSniffingAndTheirFaults)
{
    RunNativeCases({
        {"AddHandler on null", C(.Op(LOADO, 0).Op(PUSH0).Op(PUSHS, Text(p, "Ping")).Op(PUSHS, Text(p, ""))
                                     .Op(PUSHS, Text(p, "OnMsg")).Call(CALLN, -4, Slot(p, "AddHandler")).Op(PUSH1)
                                     .Op(RETV)),
         true, ER_Exception, ExceptionLines("target object is null for GameObject::AddHandler()")},
        {"AddHandler on a plain object",
         C(.Op(LOADO, 0).Op(NEWOBJ, uint16_t(p.Ref("P"))).Op(PUSHS, Text(p, "Ping")).Op(PUSHS, Text(p, ""))
               .Op(PUSHS, Text(p, "OnMsg")).Call(CALLN, -4, Slot(p, "AddHandler")).Op(PUSH1).Op(RETV)),
         true, ER_Exception, ExceptionLines("target object is wrong type for GameObject::AddHandler()")},
        {"Sniff without a major", C(.Op(LOADO, 0).Op(LOADO, 1).Op(PUSH0).Op(PUSHS, Text(p, "")).Op(PUSH1)
                                        .Call(CALLN, -4, Slot(p, "Sniff")).Op(PUSH1).Op(RETV)),
         true, ER_Exception, ExceptionLines("major type is null for GameObject::Sniff()")},
        {"AddHandler of a method the class has not", C(.Op(LOADO, 0).Op(LOADO, 1).Op(PUSHS, Text(p, "Ping"))
                                                           .Op(PUSHS, Text(p, "")).Op(PUSHS, Text(p, "Nothing"))
                                                           .Call(CALLN, -4, Slot(p, "AddHandler")).Op(PUSH1).Op(RETV)),
         true, ER_Done, {}, [](Game& g) { EXPECT_TRUE(g.b->Handlers().empty()); }},
        {"AddHandler subscribes the target", C(.Op(LOADO, 0).Op(LOADO, 1).Op(PUSHS, Text(p, "Ping"))
                                                   .Op(PUSHS, Text(p, "")).Op(PUSHS, Text(p, "OnMsg"))
                                                   .Call(CALLN, -4, Slot(p, "AddHandler")).Op(PUSH1).Op(RETV)),
         true, ER_Done, {}, [](Game& g) {
             EXPECT_EQ(g.w.Router().Subscriptions(*g.b, g.w.Router().Intern("Ping")), 1u);
             EXPECT_EQ(g.b->Handlers().size(), 1u);
         }},
    });
}

// Handlers run scripts that may change the handler list under the walk:
// a handler added during a delivery waits for the next message, and a
// handler taken away is not run.
TEST(GameObjectTest, HandlersChangingHandlersDuringADelivery)
{
    Game g;
    for (int i = 0; i < 8; ++i)
        g.Do(g.b, "HandleGrow", g.b);  // each adds an OnMsg on b
    ASSERT_EQ(g.Call(g.a, "$void@G::Send(GameObject)", g.b).code, ER_Done);
    EXPECT_EQ(g.Count(g.b), 0);
    EXPECT_EQ(g.b->Handlers().size(), 16u);
    ASSERT_EQ(g.Call(g.a, "$void@G::Send(GameObject)", g.b).code, ER_Done);
    EXPECT_EQ(g.Count(g.b), 8);

    // a's OnDrop, first in b's list, stops a's sniffing of b before the
    // sniff handler's turn.
    Game d;
    d.Do(d.a, "Handle", d.a);
    d.Do(d.a, "HandleDrop", d.b);
    d.Do(d.a, "SniffOn", d.b);
    ASSERT_EQ(d.Call(d.a, "$void@G::Send(GameObject)", d.b).code, ER_Done);
    EXPECT_EQ(d.Count(d.a), 0);
    EXPECT_EQ(d.b->Handlers().size(), 1u);
}

TEST(GameObjectTest, TheDestroyMajor)
{
    Game g;
    GSMessage destroy{GSRouter::kDestroy, GSRouter::kAnyMinor, 0, g.a->Id(), 0};
    g.w.Router().DeliverMessage(destroy);
    EXPECT_TRUE(g.a->flags & GSNode::kDestroyRequested) << "nothing took it";
}

TEST(GameObjectTest, SleepIdNameAndWarnings)
{
    RunNativeCases({
        {"a thread sleeps", C(.Op(LOADO, 0).Float(0.5f).Call(CALLN, -1, Slot(p, "Sleep")).Op(PUSH1).Op(RETV)), false,
         ER_Blocked, {}, [](Game& g) {
             auto* thread = static_cast<GSThread*>(g.a->Threads().First());
             ASSERT_NE(thread, nullptr);
             EXPECT_EQ(thread->state, GSThread::kBlocked);
             EXPECT_FLOAT_EQ(thread->timer, 0.5f);
         }},
        {"the static thread does not", C(.Op(LOADO, 0).Float(0.5f).Call(CALLN, -1, Slot(p, "Sleep")).Op(PUSH1).Op(RETV)),
         true, ER_Done, {}},
        {"nor a millionth of a second", C(.Op(LOADO, 0).Float(0.000001f).Call(CALLN, -1, Slot(p, "Sleep")).Op(PUSH1)
                                              .Op(RETV)),
         false, ER_Done, {}},
        {"the id", C(.Op(LOADO, 1).Call(CALLN, 0, Slot(p, "GetId")).Op(RETV)), true, ER_Done, {},
         [](Game& g) { EXPECT_EQ(g.Run(g.a, g.b, true).value, int32_t(g.b->Id())); }},
        {"no name", C(.Op(LOADO, 0).Call(CALLN, 0, Slot(p, "GetName")).Op(ISNULL).Op(RETV)), true, ER_Done, {},
         [](Game& g) { EXPECT_EQ(g.Run(g.a, g.b, true).value, 1); }},
        {"a warning goes on", C(.Op(LOADO, 0).Op(PUSHS, Text(p, "careful")).Call(CALLN, -1, Slot(p, "Exception"))
                                    .Int(5).Op(RETV)),
         false, ER_Done, {"careful (file gs.gs)"}},
    });
}

TEST(GameObjectTest, AGameObjectNativeOnAPlainObjectFails)
{
    Game g(C(.Op(LOADO, 0).Call(CALLN, 0, Slot(p, "GetId")).Op(RETV)));
    GSObject plain;
    ASSERT_TRUE(plain.AttachClass(g.w.Class(g.lib, "G"), &g.w.Context()));
    EXPECT_EQ(g.Run(&plain, nullptr, true).code, ER_NativeCallError);
}

TEST(GameObjectTest, ClearMessagesNative)
{
    Game g(C(.Op(LOADO, 0).Op(PUSHS, Text(p, "Ping")).Op(PUSHS, Text(p, "")).Call(CALLN, -2, Slot(p, "ClearMessages"))
               .Op(PUSH1).Op(RETV)));
    GSRouter& router = g.w.Router();
    for (GSGameObject* to : {g.a, g.a, g.b})
        router.PostMessage(GSMessage{router.Intern("Ping"), router.Intern("x"), 0, to->Id(), 100});
    const Game::Result r = g.Run(g.a, nullptr, true);
    EXPECT_EQ(r.code, ER_Done);
    char line[128];
    std::snprintf(line, sizeof line, "2 queued router messages cleared for %04d '', message Ping, ", int(g.a->Id()));
    EXPECT_EQ(r.log, std::vector<std::string>{line});
    EXPECT_EQ(router.DelayedCount(), 1u);
}

TEST(GameObjectTest, TheStackDumpPair)
{
    Game g;
    g.Start(g.b, "$void@G::Sleeper()");
    g.w.Router().Step(0.1f);
    ASSERT_EQ(g.b->Threads().Count(), 1u);
    g.w.log.Take();
    char header[128];
    std::snprintf(header, sizeof header, "*** STACK DUMP OF THREAD 0 ON GAME OBJECT , id %d ***", int(g.b->Id()));
    const std::vector<std::string> dump = {header, "function $void@G::Sleeper(), line -1"};

    GSMessage toB{GSRouter::kDebug, GSRouter::kDumpStacks, 0, g.b->Id(), 0};
    g.w.Router().DeliverMessage(toB);
    EXPECT_EQ(g.w.log.Take(), dump);
    GSMessage toA{GSRouter::kDebug, GSRouter::kDumpStacks, 0, g.a->Id(), 0};
    g.w.Router().DeliverMessage(toA);
    EXPECT_TRUE(g.w.log.Take().empty()) << "a has no threads";
    GSMessage all{GSRouter::kDebug, GSRouter::kDumpStacks, 0, 0, 0};
    g.w.Router().DeliverMessage(all);
    std::vector<std::string> everything = {"*** DUMPING ALL THREAD STACKS ***"};
    everything.insert(everything.end(), dump.begin(), dump.end());
    EXPECT_EQ(g.w.log.Take(), everything);
    EXPECT_EQ(g.Count(g.b), 0) << "consumed, not delivered";
}

TEST(GameObjectTest, RouterNatives)
{
    const uint16_t kById = 0, kForeign = 1, kByName = 2, kInfo = 3;
    const auto lookup = [](uint16_t slot, bool byName) {
        return [slot, byName](GSProgram& p) {
            GSAsm a;
            a.Op(STATIC, uint16_t(p.Ref("Router")));
            if (byName)
                a.Op(PUSHS, Text(p, "Named"));
            else
                a.Op(LOADO, 1).Call(CALLN, 0, Slot(p, "GetId"));
            return a.Call(CALLN, -1, slot).Op(NOTNULL).Op(RETV);
        };
    };
    struct Found {
        const char* what;
        uint16_t slot;
        bool byName;
        const char* cls;  // the class of the object looked for
        int32_t found;
    } cases[] = {
        {"by id", kById, false, "G", 1},
        {"by id: secured classes are not given", kById, false, "S", 0},
        {"by name: secured or not", kByName, true, "S", 1},
        {"foreign: this context counts too", kForeign, false, "G", 1},
        {"foreign: not secured ones", kForeign, false, "S", 0},
    };
    for (const Found& c : cases) {
        SCOPED_TRACE(c.what);
        Game g(lookup(c.slot, c.byName));
        NamedGameObject named("Named");
        ASSERT_TRUE(named.AttachClass(g.w.Class(g.lib, c.cls), &g.w.Context()));
        g.w.Router().AddNode(named);
        const Game::Result r = g.Run(g.a, &named, true);
        EXPECT_EQ(r.code, ER_Done);
        EXPECT_EQ(r.value, c.found);
    }

    // Another context's object, unless its router keeps out of it.
    Game g(lookup(kForeign, false));
    GSContext other(&g.w.Machine());
    other.SetRouter(std::make_unique<GSRouter>(&other));
    GSGameObject far;
    ASSERT_TRUE(far.AttachClass(g.w.Class(g.lib, "G"), &other));
    other.Router()->AddNode(far);
    EXPECT_EQ(g.Run(g.a, &far, true).value, 1);
    other.Router()->hiddenFromForeignLookup = true;
    EXPECT_EQ(g.Run(g.a, &far, true).value, 0);
    Game local(lookup(kById, false));
    GSGameObject farToo;
    ASSERT_TRUE(farToo.AttachClass(g.w.Class(g.lib, "G"), &other));
    other.Router()->AddNode(farToo);
    EXPECT_EQ(local.Run(local.a, &farToo, true).value, 0) << "GetGameObject(int) looks in its own context";
    other.Router()->RemoveNode(far);
    other.Router()->RemoveNode(farToo);

    Game info(C(.Op(STATIC, uint16_t(p.Ref("Router"))).Call(CALLN, 0, kInfo).Op(PUSH1).Op(RETV)));
    const Game::Result r = info.Run(info.a, nullptr, true);
    ASSERT_EQ(r.log.size(), 8u);
    EXPECT_EQ(r.log[0], "ROUTER INFO\n===========");
    EXPECT_EQ(r.log[1], "2 Node(s)");
}

// A native's exception names the line of its call, not the line the code
// after the call comes from.
TEST(GameObjectTest, ANativesExceptionNamesTheLineOfItsCall)
{
    Game g(C(.Line(3).Op(LOADO, 0).Op(LOADO, 1).Op(PUSHS, Text(p, "Ping")).Op(PUSHS, Text(p, ""))
               .Call(CALLN, -3, Slot(p, "SendMessage")).Line(4).Op(PUSH1).Op(RETV)));
    const Game::Result r = g.Run(g.a, g.b, true);
    EXPECT_EQ(r.code, ER_Exception);
    ASSERT_GE(r.log.size(), 2u);
    EXPECT_EQ(r.log[1], "Thread Exception: ER_Exception, line 3, file t.gs");
}
