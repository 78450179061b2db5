// The script interpreter beside Lua 5.4 running the same programs, in the
// same run. The GS programs are hand-assembled the way the compiler emits
// them (conditions as compare, test and JZ; "i = i + 1" as LOAD, PUSH1,
// ADD, POPL); the Lua ones are plain functions with local variables and
// while loops spelled out the same way.
//   fib(30), recursive                        goal: GS time / Lua time <= 0.8
//   a 10,000,000-iteration integer add loop   goal: <= 1.0
//   array fill and sum (1,000,000 elements)   goal: <= 2.0
//   virtual calls (1,000,000 through a base)  goal: <= 2.0
//   float arithmetic (1,000,000 iterations)   goal: <= 2.0
//   string building (20,000 appends)          goal: <= 2.0
// The jump budget is raised for the runs (a test-only setting).
#include <benchmark/benchmark.h>

#include <lua.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "gs/runtime/interp/RunState.h"
#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/objects/GSContext.h"
#include "gs/runtime/objects/GSObject.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/runtime/router/GSRouter.h"
#include "GSBenchMachine.h"
#include "support/GSProgramBuilder.h"

namespace {

using namespace GSRuntime;
using namespace gsop;
using gsbench::GSBenchMachine;


constexpr int32_t kFib = 30;
constexpr int32_t kLoop = 10000000;
constexpr int32_t kArray = 1000000;
constexpr int32_t kCalls = 1000000;
constexpr int32_t kFloats = 1000000;
constexpr int32_t kAppends = 20000;

// while (i < n) { BODY; i = i + 1; } with i in local `i`, n in local `n`.
GSAsm& While(GSAsm& a, uint16_t i, uint16_t n, const std::string& name, const std::function<void(GSAsm&)>& body)
{
    a.Op(PUSH0).Op(POPL, i);
    a.Label(name).Op(LOAD, i).Op(LOAD, n).Op(ICMP).Op(LTZ).Jump(JZ, name + ".end");
    body(a);
    a.Op(LOAD, i).Op(PUSH1).Op(ADD).Op(POPL, i).Jump(JMP, name).Label(name + ".end");
    return a;
}

GSProgram Programs()
{
    GSProgram p("bench.gs", 0xBE1C, 0x1, &SystemProgram());
    GSProgram::Class& a = p.AddClass("A");
    p.AddMethod(a, "Get", "int", {}, GSAsm().Op(PUSH1).Op(RETV));
    GSProgram::Class& b = p.AddClass("B", {"A"});
    p.AddMethod(b, "Get", "int", {}, GSAsm().Int(2).Op(RETV));
    GSProgram::Class& t = p.AddClass("T");
    const uint16_t fibSlot = 0;
    // int Fib(int n) { if (n < 2) return n; return Fib(n - 1) + Fib(n - 2); }
    p.AddMethod(t, "Fib", "int", {"int"},
                GSAsm()
                    .Op(LOAD, 1).Int(2).Op(ICMP).Op(LTZ).Jump(JZ, "else")
                    .Op(LOAD, 1).Op(RETV)
                    .Label("else")
                    .Op(LOADO, 0).Op(LOAD, 1).Op(PUSH1).Op(SUB).Call(CALL, -1, fibSlot)
                    .Op(LOADO, 0).Op(LOAD, 1).Int(2).Op(SUB).Call(CALL, -1, fibSlot)
                    .Op(ADD).Op(RETV));
    // int Loop(int n) { int s = 0; int i = 0; while (i < n) { s = s + i; i = i + 1; } return s; }
    {
        GSAsm code;
        code.Op(PUSH0).Op(POPL, 2);
        While(code, 3, 1, "loop", [](GSAsm& x) { x.Op(LOAD, 2).Op(LOAD, 3).Op(ADD).Op(POPL, 2); });
        code.Op(LOAD, 2).Op(RETV);
        p.AddMethod(t, "Loop", "int", {"int"}, code).locals = 2;
    }
    // int Array(int n) { int[] a = new int[n]; fill a[i] = i; sum them }
    {
        GSAsm code;
        code.Op(LOAD, 1).Op(NEWARR).Op(POPLO, 2).Op(PUSH0).Op(POPL, 3);
        While(code, 4, 1, "fill", [](GSAsm& x) { x.Op(LOADO, 2).Op(LOAD, 4).Op(LOAD, 4).Op(APOP); });
        While(code, 4, 1, "sum", [](GSAsm& x) { x.Op(LOAD, 3).Op(LOADO, 2).Op(LOAD, 4).Op(AGET).Op(ADD).Op(POPL, 3); });
        code.Op(LOAD, 3).Op(RETV);
        GSProgram::Method& m = p.AddMethod(t, "Array", "int", {"int"}, code);
        m.locals = 3;
        m.objectLocals = {2};
    }
    // int Calls(int n) { A o = new B(); int s = 0; while (i < n) { s = s + o.Get(); ... } }
    {
        GSAsm code;
        code.Op(NEWOBJ, uint16_t(p.Ref("B"))).Op(CAST, uint16_t(p.Ref("A"))).Op(POPLO, 2).Op(PUSH0).Op(POPL, 3);
        const uint16_t get = uint16_t(p.Slot("A", "Get"));
        While(code, 4, 1, "calls", [get](GSAsm& x) {
            x.Op(LOAD, 3).Op(LOADO, 2).Call(CALL, 0, get).Op(ADD).Op(POPL, 3);
        });
        code.Op(LOAD, 3).Op(RETV);
        GSProgram::Method& m = p.AddMethod(t, "Calls", "int", {"int"}, code);
        m.locals = 3;
        m.objectLocals = {2};
    }
    // float Floats(int n) { float x = 0.0; while (i < n) { x = x * 0.999 + 1.0; ... } return x; }
    {
        GSAsm code;
        code.Op(PUSH0).Op(POPL, 2);
        While(code, 3, 1, "floats", [](GSAsm& x) {
            x.Op(LOAD, 2).Float(0.999f).Op(FMUL).Float(1.0f).Op(FADD).Op(POPL, 2);
        });
        code.Op(LOAD, 2).Op(RETV);
        p.AddMethod(t, "Floats", "float", {"int"}, code).locals = 2;
    }
    // int Build(int n) { string s = ""; while (i < n) { s = s + "ab"; ... } return s.size(); }
    {
        GSAsm code;
        const uint16_t ab = uint16_t(p.Str("ab"));
        code.Op(NEWSTR).Op(POPLO, 2);
        While(code, 3, 1, "build", [ab](GSAsm& x) { x.Op(LOADO, 2).Op(PUSHS, ab).Op(SCAT).Op(POPLO, 2); });
        code.Op(LOADO, 2).Op(SSIZE).Op(RETV);
        GSProgram::Method& m = p.AddMethod(t, "Build", "int", {"int"}, code);
        m.locals = 2;
        m.objectLocals = {2};
    }
    return p;
}

const char* const kLuaPrograms = R"(
local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end
Fib = fib
function Loop(n) local s = 0 local i = 0 while i < n do s = s + i i = i + 1 end return s end
function Array(n)
  local a = {} local s = 0 local i = 0
  while i < n do a[i + 1] = i i = i + 1 end
  i = 0 while i < n do s = s + a[i + 1] i = i + 1 end
  return s
end
local A = {} A.__index = A
function A:get() return 1 end
local B = setmetatable({}, {__index = A}) B.__index = B
function B:get() return 2 end
function Calls(n)
  local o = setmetatable({}, B) local s = 0 local i = 0
  while i < n do s = s + o:get() i = i + 1 end
  return s
end
function Floats(n) local x = 0.0 local i = 0 while i < n do x = x * 0.999 + 1.0 i = i + 1 end return x end
function Build(n) local s = "" local i = 0 while i < n do s = s .. "ab" i = i + 1 end return #s end
)";

// The GS side: a machine of its own with the system library and the
// programs, a context with a router, and T's object.
struct GS {
    GSBenchMachine base{"gs-interp-bench", Programs().Build()};
    GSMachine* machine = base.machine.get();
    GSContext* context = base.context.get();
    GSClass* cls = base.Class("T");
    std::unique_ptr<GSObject> object = std::make_unique<GSObject>();

    GS()
    {
        if (!object->AttachClass(cls, context))
            std::abort();
    }
    ~GS() { object.reset(); }

    intptr_t Call(const char* signature, int32_t n)
    {
        intptr_t result = 0;
        const intptr_t args[] = {n};
        if (!machine->CallFunction(context, cls, object->GetInstance(), signature, &result, args))
            std::abort();
        return result;
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
    }
    ~Lua() { lua_close(L); }
    double Call(const char* name, int32_t n)
    {
        lua_getglobal(L, name);
        lua_pushinteger(L, n);
        if (lua_pcall(L, 1, 1, 0) != LUA_OK)
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

struct Case {
    const char* name;
    const char* signature;
    const char* lua;
    int32_t n;
    double goal;
};

const Case kCases[] = {
    {"fib(30)", "$int@T::Fib(int)", "Fib", kFib, 0.8},
    {"add loop", "$int@T::Loop(int)", "Loop", kLoop, 1.0},
    {"array fill and sum", "$int@T::Array(int)", "Array", kArray, 2.0},
    {"virtual calls", "$int@T::Calls(int)", "Calls", kCalls, 2.0},
    {"floats", "$float@T::Floats(int)", "Floats", kFloats, 2.0},
    {"string building", "$int@T::Build(int)", "Build", kAppends, 2.0},
};

void BM_GS(benchmark::State& state, const Case* c)
{
    GS& gs = TheGS();
    for (auto _ : state)
        benchmark::DoNotOptimize(gs.Call(c->signature, c->n));
}

void BM_Lua(benchmark::State& state, const Case* c)
{
    Lua& lua = TheLua();
    for (auto _ : state)
        benchmark::DoNotOptimize(lua.Call(c->lua, c->n));
}

// Remembers each benchmark's time per iteration, for the ratios: wall
// time, and the processor time that a loaded machine disturbs less.
class TimeReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;
    std::map<std::string, double> cpuSeconds;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Iteration || r.aggregate_name == "median") {
                seconds[r.run_name.function_name] = r.GetAdjustedRealTime();
                cpuSeconds[r.run_name.function_name] = r.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv)
{
    // The results agree before anything is timed.
    for (const Case& c : kCases) {
        const intptr_t gs = TheGS().Call(c.signature, c.n);
        const double lua = TheLua().Call(c.lua, c.n);
        const double ours = c.signature[1] == 'f' ? double(SlotFloat(gs)) : double(int32_t(gs));
        const double theirs = c.signature[1] == 'f' ? lua : double(int32_t(int64_t(lua)));
        if (std::abs(ours - theirs) > 1e-2 * std::max(1.0, std::abs(theirs))) {
            std::fprintf(stderr, "%s: GS gives %f, Lua %f\n", c.name, ours, theirs);
            return 1;
        }
    }
    for (const Case& c : kCases) {
        benchmark::RegisterBenchmark((std::string("GS/") + c.name).c_str(), BM_GS, &c)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("Lua/") + c.name).c_str(), BM_Lua, &c)->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nGS time / Lua time (wall, processor):\n");
    for (const Case& c : kCases) {
        const double gs = reporter.seconds[std::string("GS/") + c.name];
        const double lua = reporter.seconds[std::string("Lua/") + c.name];
        const double gsCpu = reporter.cpuSeconds[std::string("GS/") + c.name];
        const double luaCpu = reporter.cpuSeconds[std::string("Lua/") + c.name];
        std::printf("  %-20s %.3f  %.3f (goal <= %.1f)\n", c.name, lua > 0 ? gs / lua : 0.0,
                    luaCpu > 0 ? gsCpu / luaCpu : 0.0, c.goal);
    }
    return 0;
}
