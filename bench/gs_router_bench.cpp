// The message router and the Str natives beside yardsticks run in the same
// program:
//   thread switches: two game objects ping-pong 10,000 times with
//     SendMessage and wait/on through the router's steps, beside two Lua 5.4
//     coroutines resumed in turn, each yielding a message record (major,
//     minor, source, destination) as each wake gives the script a Message
//     object                                              goal: GS / Lua <= 3
//     (and, for information, beside coroutines that yield a bare string)
//   posts: 10,000 delayed broadcasts to 8 subscribers delivered by one step,
//     and 10,000 immediate posts to single nodes, beside a
//     std::priority_queue of the same records with a std::set of
//     subscribers (a map by id for single nodes)           goal: <= 3
//   Str.Find and Str.Tokens called 10,000 times from a script over a
//     1.3 kB text, beside Lua's string.find (plain) and gmatch filling a
//     table                                                 goal: <= 2
// The GS programs are hand-assembled as the compiler emits them; the jump
// budget is raised for the runs (a test-only setting).
#include <benchmark/benchmark.h>

#include <lua.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <queue>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "gs/runtime/interp/RunState.h"
#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/objects/GSContext.h"
#include "gs/runtime/objects/GSGameObject.h"
#include "gs/runtime/objects/GSString.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/runtime/router/GSRouter.h"
#include "GSBenchMachine.h"
#include "support/GSProgramBuilder.h"

namespace {

using namespace GSRuntime;
using namespace gsop;
using gsbench::GSBenchMachine;


constexpr int32_t kRounds = 10000;
constexpr int32_t kMessages = 10000;
constexpr int kSubscribers = 8;
constexpr int32_t kCalls = 10000;

// G's field "count", as Programs lays it out.
uint16_t g_countWord = 0;

std::string Text()
{
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "word" + std::to_string(i) + " ";
    return text + "needle";
}

// G isclass GameObject (field count): Pinger and Ponger; T: Find and Tokens
// over Str, declared as the scripts declare it.
GSProgram Programs()
{
    GSProgram p("bench.gs", 0xBE2C, 0x1, &SystemProgram());
    GSProgram::Class& str = p.AddClass("Str");
    str.flags = GSClass::kFlagStatic;
    p.AddNative(str, "Tokens", "string[]", {"string", "string"});
    p.AddNative(str, "Find", "int", {"string", "string", "int"});
    const uint16_t tokens = 0, find = 1;

    GSProgram::Class& g = p.AddClass("G", {"GameObject"});
    g.fields = 1;
    const uint16_t count = uint16_t(p.Field("G", 0));
    g_countWord = count;
    const uint16_t send = uint16_t(p.Slot("G", "SendMessage"));
    const uint16_t ping = uint16_t(p.Str("Ping")), pong = uint16_t(p.Str("Pong")), any = uint16_t(p.Str(""));
    // while (count < n) { [send] wait on (major) { count++; [send] } }
    const auto player = [&](uint16_t sendFirst, uint16_t waitFor, uint16_t sendAfter) {
        GSAsm a;
        a.Label("top").Op(GETM, count).Op(LOAD, 2).Op(ICMP).Op(LTZ).Jump(JZ, "end");
        if (sendFirst != 0xFFFF)
            a.Op(LOADO, 0).Op(LOADO, 1).Op(PUSHS, sendFirst).Op(PUSHS, any).Call(CALLN, -3, send);
        a.Op(WAIT).U16(1).U16(waitFor).U16(any).Target("on").Label("on").Op(POPO);
        a.Op(GETM, count).Op(PUSH1).Op(ADD).Op(POPM, count);
        if (sendAfter != 0xFFFF)
            a.Op(LOADO, 0).Op(LOADO, 1).Op(PUSHS, sendAfter).Op(PUSHS, any).Call(CALLN, -3, send);
        return a.Jump(JMP, "top").Label("end").Op(RET);
    };
    p.AddMethod(g, "Pinger", "void", {"GameObject", "int"}, player(ping, pong, 0xFFFF)).flags = 1 | 16;
    p.AddMethod(g, "Ponger", "void", {"GameObject", "int"}, player(0xFFFF, ping, pong)).flags = 1 | 16;

    GSProgram::Class& t = p.AddClass("T");
    // int Find(string text, string needle, int n): the sum of n finds.
    {
        GSAsm a;
        a.Op(PUSH0).Op(POPL, 4).Op(PUSH0).Op(POPL, 5);
        a.Label("top").Op(LOAD, 5).Op(LOAD, 3).Op(ICMP).Op(LTZ).Jump(JZ, "end");
        a.Op(LOAD, 4).Op(STATIC, uint16_t(p.Ref("Str"))).Op(LOADO, 1).Op(LOADO, 2).Op(PUSH0).Call(CALLN, -3, find);
        a.Op(ADD).Op(POPL, 4).Op(LOAD, 5).Op(PUSH1).Op(ADD).Op(POPL, 5).Jump(JMP, "top");
        a.Label("end").Op(LOAD, 4).Op(RETV);
        p.AddMethod(t, "Find", "int", {"string", "string", "int"}, a).locals = 2;
    }
    // int Tokens(string text, int n): the sum of n token counts.
    {
        GSAsm a;
        a.Op(PUSH0).Op(POPL, 3).Op(PUSH0).Op(POPL, 4);
        a.Label("top").Op(LOAD, 4).Op(LOAD, 2).Op(ICMP).Op(LTZ).Jump(JZ, "end");
        a.Op(LOAD, 3).Op(STATIC, uint16_t(p.Ref("Str"))).Op(LOADO, 1).Op(PUSHS, uint16_t(p.Str(" ")))
            .Call(CALLN, -2, tokens).Op(ASIZE);
        a.Op(ADD).Op(POPL, 3).Op(LOAD, 4).Op(PUSH1).Op(ADD).Op(POPL, 4).Jump(JMP, "top");
        a.Label("end").Op(LOAD, 3).Op(RETV);
        p.AddMethod(t, "Tokens", "int", {"string", "int"}, a).locals = 2;
    }
    return p;
}

const char* const kLuaPrograms = R"(
function PingPong(n)
  local received = 0
  local A, B = {}, {}
  local a = coroutine.wrap(function(m)
    while true do
      received = received + 1
      m = coroutine.yield({major = "Ping", minor = "", source = A, destination = B})
    end
  end)
  local b = coroutine.wrap(function(m)
    while true do
      received = received + 1
      m = coroutine.yield({major = "Pong", minor = "", source = B, destination = A})
    end
  end)
  local m = {major = "Ping", minor = "", source = A, destination = B}
  local i = 0
  while i < n do m = b(m) m = a(m) i = i + 1 end
  return received
end
function BarePingPong(n)
  local received = 0
  local a = coroutine.wrap(function(m) while true do received = received + 1 m = coroutine.yield("Ping") end end)
  local b = coroutine.wrap(function(m) while true do received = received + 1 m = coroutine.yield("Pong") end end)
  local m = "Ping"
  local i = 0
  while i < n do m = b(m) m = a(m) i = i + 1 end
  return received
end
function Find(text, needle, n)
  local s = 0 local i = 0
  while i < n do s = s + string.find(text, needle, 1, true) i = i + 1 end
  return s
end
function Tokens(text, n)
  local s = 0 local i = 0
  while i < n do
    local t = {}
    for w in string.gmatch(text, "[^ ]+") do t[#t + 1] = w end
    s = s + #t i = i + 1
  end
  return s
end
)";

// The GS side: a machine of its own with the system library and the
// programs, a context with a router, two game objects and T's object.
struct GS {
    GSBenchMachine base{"gs-router-bench", Programs().Build()};
    GSMachine* machine = base.machine.get();
    GSContext* context = base.context.get();
    GSClass* g = base.Class("G");
    GSClass* tc = base.Class("T");
    std::unique_ptr<GSGameObject> a, b;
    std::unique_ptr<GSObject> t;
    GSString* text = nullptr;
    GSString* needle = nullptr;

    GS()
    {
        a = std::make_unique<GSGameObject>();
        b = std::make_unique<GSGameObject>();
        t = std::make_unique<GSObject>();
        if (!a->AttachClass(g, context) || !b->AttachClass(g, context) || !t->AttachClass(tc, context))
            std::abort();
        context->Router()->AddNode(*a);
        context->Router()->AddNode(*b);
        context->Router()->Step(0.0f);
        text = new GSString(context, Text());
        needle = new GSString(context, "needle");
    }
    ~GS()
    {
        ReleasePart(text->GetInstance());
        ReleasePart(needle->GetInstance());
        a.reset();
        b.reset();
        t.reset();
    }
    void Start(GSGameObject& on, GSGameObject& other, const char* signature, int32_t n)
    {
        const intptr_t args[] = {reinterpret_cast<intptr_t>(other.GetInstance()), n};
        if (!machine->CallFunction(context, g, on.GetInstance(), signature, nullptr, args))
            std::abort();
    }
    // Rounds of Ping and Pong; the number of messages received.
    int32_t PingPong(int32_t n)
    {
        a->GetInstance()[g_countWord] = 0;
        b->GetInstance()[g_countWord] = 0;
        Start(*b, *a, "$void@G::Ponger(GameObject,int)", n);
        Start(*a, *b, "$void@G::Pinger(GameObject,int)", n);
        GSRouter& router = *context->Router();
        while (!router.Settled())
            router.Step(0.0f);
        return int32_t(a->GetInstance()[g_countWord] + b->GetInstance()[g_countWord]);
    }
    intptr_t Call(const char* signature, std::vector<intptr_t> args)
    {
        intptr_t result = 0;
        if (!machine->CallFunction(context, tc, t->GetInstance(), signature, &result, args))
            std::abort();
        return result;
    }
    int32_t Find(int32_t n)
    {
        return int32_t(Call("$int@T::Find(string,string,int)",
                            {reinterpret_cast<intptr_t>(text->GetInstance()),
                             reinterpret_cast<intptr_t>(needle->GetInstance()), n}));
    }
    int32_t Tokens(int32_t n)
    {
        return int32_t(Call("$int@T::Tokens(string,int)", {reinterpret_cast<intptr_t>(text->GetInstance()), n}));
    }
};

GS& TheGS()
{
    static GS gs;
    return gs;
}

struct Lua {
    lua_State* L;
    Lua() : L(luaL_newstate())
    {
        luaL_openlibs(L);
        if (luaL_dostring(L, kLuaPrograms) != LUA_OK)
            std::abort();
        lua_pushstring(L, Text().c_str());
        lua_setglobal(L, "text");
    }
    ~Lua() { lua_close(L); }
    double Call(const char* name, int32_t n, bool withText, bool withNeedle)
    {
        lua_getglobal(L, name);
        int args = 1;
        if (withText) {
            lua_getglobal(L, "text");
            ++args;
        }
        if (withNeedle) {
            lua_pushstring(L, "needle");
            ++args;
        }
        lua_pushinteger(L, n);
        if (lua_pcall(L, args, 1, 0) != LUA_OK)
            std::abort();
        const double v = lua_tonumber(L, -1);
        lua_pop(L, 1);
        return v;
    }
};

Lua& TheLua()
{
    static Lua lua;
    return lua;
}

// The router's posts and sends: counting nodes, 8 of them subscribed to
// one major.
struct Sink : GSNode {
    uint64_t got = 0;
    void HandleMessage(GSMessage& m) override { got += m.minor; }
};

struct Routing {
    GSRouter router{nullptr};
    std::vector<std::unique_ptr<Sink>> sinks;
    uint16_t user;
    Routing()
    {
        user = router.Intern("User");
        for (int i = 0; i < kSubscribers; ++i) {
            sinks.push_back(std::make_unique<Sink>());
            router.AddNode(*sinks.back());
            router.Subscribe(*sinks.back(), user);
        }
    }
    uint64_t Got() const
    {
        uint64_t got = 0;
        for (const auto& s : sinks)
            got += s->got;
        return got;
    }
};

// The yardstick: the same records in a std::priority_queue by due time and
// posting order, delivered to a std::set of subscribers or to the node of
// an id.
struct Record {
    uint64_t due;
    uint64_t serial;
    GSMessage message;
    bool operator>(const Record& o) const { return due != o.due ? due > o.due : serial > o.serial; }
};

struct PlainNode {
    virtual ~PlainNode() = default;
    virtual void Handle(const GSMessage& m) { got += m.minor; }
    uint64_t got = 0;
};

struct Yardstick {
    std::priority_queue<Record, std::vector<Record>, std::greater<>> queue;
    std::vector<std::unique_ptr<PlainNode>> nodes;
    std::set<PlainNode*> subscribers;
    std::unordered_map<uint32_t, PlainNode*> byId;
    uint64_t clock = 0, serial = 0;
    Yardstick()
    {
        for (int i = 0; i < kSubscribers; ++i) {
            nodes.push_back(std::make_unique<PlainNode>());
            subscribers.insert(nodes.back().get());
            byId[uint32_t(i + 1)] = nodes.back().get();
        }
    }
    void Post(const GSMessage& m) { queue.push(Record{clock + (m.delay & GSMessage::kDelayMask), serial++, m}); }
    void Step(uint64_t ms)
    {
        clock += ms;
        while (!queue.empty() && queue.top().due <= clock) {
            const GSMessage m = queue.top().message;
            queue.pop();
            if (m.destination == 0) {
                for (PlainNode* n : subscribers)
                    n->Handle(m);
            } else if (auto it = byId.find(m.destination); it != byId.end()) {
                it->second->Handle(m);
            }
        }
    }
};

void BM_GS_PingPong(benchmark::State& state)
{
    GS& gs = TheGS();
    for (auto _ : state)
        benchmark::DoNotOptimize(gs.PingPong(kRounds));
}

void BM_Lua_PingPong(benchmark::State& state)
{
    Lua& lua = TheLua();
    for (auto _ : state)
        benchmark::DoNotOptimize(lua.Call("PingPong", kRounds, false, false));
}

void BM_Lua_BarePingPong(benchmark::State& state)
{
    Lua& lua = TheLua();
    for (auto _ : state)
        benchmark::DoNotOptimize(lua.Call("BarePingPong", kRounds, false, false));
}

void BM_GS_Posts(benchmark::State& state)
{
    Routing r;
    for (auto _ : state) {
        for (int32_t i = 0; i < kMessages; ++i)
            r.router.PostMessage(GSMessage{r.user, uint16_t(i & 0xFF), 0, 0, uint32_t(1 + i % 16) | GSMessage::kPooled});
        r.router.Step(0.02f);
    }
    benchmark::DoNotOptimize(r.Got());
}

void BM_Yardstick_Posts(benchmark::State& state)
{
    Yardstick y;
    for (auto _ : state) {
        for (int32_t i = 0; i < kMessages; ++i)
            y.Post(GSMessage{100, uint16_t(i & 0xFF), 0, 0, uint32_t(1 + i % 16) | GSMessage::kPooled});
        y.Step(20);
    }
    benchmark::DoNotOptimize(y.nodes.front()->got);
}

void BM_GS_Sends(benchmark::State& state)
{
    Routing r;
    for (auto _ : state) {
        for (int32_t i = 0; i < kMessages; ++i)
            r.router.PostMessage(GSMessage{r.user, uint16_t(i & 0xFF), 0, r.sinks[size_t(i % kSubscribers)]->Id(),
                                           GSMessage::kPooled});
        r.router.Step(0.0f);
    }
    benchmark::DoNotOptimize(r.Got());
}

void BM_Yardstick_Sends(benchmark::State& state)
{
    Yardstick y;
    for (auto _ : state) {
        for (int32_t i = 0; i < kMessages; ++i)
            y.Post(GSMessage{100, uint16_t(i & 0xFF), 0, uint32_t(1 + i % kSubscribers), GSMessage::kPooled});
        y.Step(0);
    }
    benchmark::DoNotOptimize(y.nodes.front()->got);
}

void BM_GS_Find(benchmark::State& state)
{
    GS& gs = TheGS();
    for (auto _ : state)
        benchmark::DoNotOptimize(gs.Find(kCalls));
}

void BM_Lua_Find(benchmark::State& state)
{
    Lua& lua = TheLua();
    for (auto _ : state)
        benchmark::DoNotOptimize(lua.Call("Find", kCalls, true, true));
}

void BM_GS_Tokens(benchmark::State& state)
{
    GS& gs = TheGS();
    for (auto _ : state)
        benchmark::DoNotOptimize(gs.Tokens(kCalls / 10));
}

void BM_Lua_Tokens(benchmark::State& state)
{
    Lua& lua = TheLua();
    for (auto _ : state)
        benchmark::DoNotOptimize(lua.Call("Tokens", kCalls / 10, true, false));
}

// Remembers each benchmark's time per iteration, for the ratios.
class TimeReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Iteration || r.aggregate_name == "median")
                seconds[r.run_name.function_name] = r.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv)
{
    // The results agree before anything is timed.
    const int32_t received = TheGS().PingPong(kRounds);
    const double luaReceived = TheLua().Call("PingPong", kRounds, false, false);
    const double luaBare = TheLua().Call("BarePingPong", kRounds, false, false);
    const int32_t found = TheGS().Find(100);
    const double luaFound = TheLua().Call("Find", 100, true, true);
    const int32_t tokens = TheGS().Tokens(10);
    const double luaTokens = TheLua().Call("Tokens", 10, true, false);
    if (received != 2 * kRounds || double(received) != luaReceived || luaBare != luaReceived ||
        double(found + 100) != luaFound ||
        double(tokens) != luaTokens) {
        std::fprintf(stderr, "results differ: %d/%f %d/%f %d/%f\n", received, luaReceived, found, luaFound, tokens,
                     luaTokens);
        return 1;
    }
    const struct {
        const char* name;
        void (*gs)(benchmark::State&);
        void (*yardstick)(benchmark::State&);
        const char* against;
        double goal;
    } cases[] = {
        {"thread switches", BM_GS_PingPong, BM_Lua_PingPong, "Lua coroutines", 3.0},
        {"thread switches, bare", nullptr, BM_Lua_BarePingPong, "coroutines yielding strings", 0.0},
        {"delayed broadcasts", BM_GS_Posts, BM_Yardstick_Posts, "priority_queue and set", 3.0},
        {"immediate sends", BM_GS_Sends, BM_Yardstick_Sends, "priority_queue and map", 3.0},
        {"Str.Find", BM_GS_Find, BM_Lua_Find, "string.find", 2.0},
        {"Str.Tokens", BM_GS_Tokens, BM_Lua_Tokens, "gmatch", 2.0},
    };
    for (const auto& c : cases) {
        if (c.gs)
            benchmark::RegisterBenchmark((std::string("GS/") + c.name).c_str(), c.gs)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("Yardstick/") + c.name).c_str(), c.yardstick)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nGS time / yardstick time:\n");
    for (const auto& c : cases) {
        // The bare coroutines are measured against the same GS run.
        const double gs = reporter.seconds[std::string("GS/") + (c.gs ? c.name : "thread switches")];
        const double other = reporter.seconds[std::string("Yardstick/") + c.name];
        std::printf("  %-22s %.3f against %s", c.name, other > 0 ? gs / other : 0.0, c.against);
        if (c.goal > 0)
            std::printf(" (goal <= %.1f)", c.goal);
        std::printf("\n");
    }
    return 0;
}
