// The script API's natives beside yardsticks measured in the same run:
//   a GS loop calling a trivial native (Soup.IsLocked) 10,000,000 times
//     beside Lua 5.4 calling a C function as often        goal: <= 1.5x Lua
//   a binding's Call beside a direct member-function call  goal: <= 3x
//   Soup set and get natives from GS beside the same TDBContainerTag calls
//     from C++                                             goal: <= 3x
//   10,000 AddKUID (a linear search per add, so quadratic by design)
//     beside a std::vector linear find                     goal: under 0.2 s
//   HTMLBuffer 10 MB in 16-byte appends beside std::string::append
//                                                          goal: <= 2x
// The ratios are printed after the table.
#include <benchmark/benchmark.h>

#include <lua.hpp>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "RatioReporter.h"
#include "config/kuid/KUIDRing.h"
#include "config/tree/TDBContainerTag.h"
#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/interp/RunState.h"
#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/objects/GSGameObject.h"
#include "gs/runtime/registry/GSNativeFunction.h"
#include "gs/runtime/router/GSRouter.h"
#include "scriptapi/context/KestroScriptContext.h"
#include "scriptapi/data/GSOHTMLBuffer.h"
#include "scriptapi/data/GSOSoup.h"
#include "scriptapi/support/ScriptApiMachine.h"

namespace {

using namespace GSRuntime;

constexpr int32_t kCalls = 10000000;
constexpr int32_t kSoupOps = 1000000;
constexpr int32_t kKUIDs = 10000;
constexpr size_t kHTMLBytes = 10 * 1024 * 1024;

const char* kProgram = R"(include "Kestro.gs"
class Test isclass KestroScriptBase {
  int Calls(Soup s, int n) {
    int i;
    for (i = 0; i < n; i++) s.IsLocked();
    return n;
  }
  int SetGet(Soup s, int n) {
    int i, sum = 0;
    for (i = 0; i < n; i++) {
      s.SetNamedTag("value", i);
      sum = sum + s.GetNamedTagAsInt("value");
    }
    return sum;
  }
  void Main(void) {}
};
)";

struct ScriptWorld {
    std::unique_ptr<KestroScriptContext> context;
    std::unique_ptr<GSGameObject> test;
    GSClass* cls = nullptr;
    GSOSoup* soup = nullptr;

    static ScriptWorld& Get()
    {
        static ScriptWorld* world = new ScriptWorld;
        return *world;
    }

    void Run(const char* signature, int32_t n)
    {
        intptr_t args[2] = {intptr_t(soup->GetInstance()), n};
        intptr_t result = 0;
        if (!scriptapitest::ScriptApiMachine::Get().machine.CallFunction(context.get(), cls, test->GetInstance(),
                                                                        signature, &result, args))
            std::abort();
    }

private:
    ScriptWorld()
    {
        auto& shared = scriptapitest::ScriptApiMachine::Get();
        if (!shared.ready)
            std::abort();
        const std::string source = shared.folder + "/native_bench.gs";
        std::ofstream(source) << kProgram;
        GSCompiler::IncludePathList& includes = GSCompiler::IncludePathList::Global();
        includes.Clear();
        includes.Append(Nyx::File::Path(scriptapitest::SystemScripts()));
        includes.Append(Nyx::File::Path(shared.folder + "/"));
        GSCompiler::CompileSession sink;
        if (GSCompiler::CompileToLibraryFile(&sink, "native_bench.gs", (shared.folder + "/native_bench.gsl").c_str()))
            std::abort();
        includes.Clear();
        LibraryId id;
        if (!shared.machine.AddLibrary(Nyx::PString(), shared.folder, "native_bench.gsl", &id))
            std::abort();
        GSLibrary* library = shared.machine.LoadLibrary(id);
        cls = library ? library->FindClass("Test") : nullptr;
        if (!cls)
            std::abort();
        context = std::make_unique<KestroScriptContext>(&shared.machine);
        context->SetRouter(std::make_unique<GSRouter>(context.get()));
        test = std::make_unique<GSGameObject>();
        if (!test->AttachClass(cls, context.get()))
            std::abort();
        soup = GSOSoup::Create(context.get());
        RunLimits().jumpBudget = uint64_t(1) << 62;
    }
};

void BM_GSNativeCalls(benchmark::State& state)
{
    ScriptWorld& world = ScriptWorld::Get();
    for (auto _ : state)
        world.Run("$int@Test::Calls(Soup,int)", kCalls);
    state.SetBytesProcessed(int64_t(state.iterations()) * kCalls);
}
BENCHMARK(BM_GSNativeCalls)->Unit(benchmark::kMillisecond);

int Nop(lua_State* L)
{
    lua_pushboolean(L, 0);
    return 1;
}

void BM_LuaCFunctionCalls(benchmark::State& state)
{
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    lua_register(L, "nop", &Nop);
    luaL_dostring(L, "function calls(n) local i = 0 while i < n do nop() i = i + 1 end return n end");
    for (auto _ : state) {
        lua_getglobal(L, "calls");
        lua_pushinteger(L, kCalls);
        lua_call(L, 1, 1);
        lua_pop(L, 1);
    }
    lua_close(L);
    state.SetBytesProcessed(int64_t(state.iterations()) * kCalls);
}
BENCHMARK(BM_LuaCFunctionCalls)->Unit(benchmark::kMillisecond);

// Call through the binding and directly, both with a handler that pushes
// one value which is then dropped.
void BM_BindingCall(benchmark::State& state)
{
    ScriptWorld& world = ScriptWorld::Get();
    GSCPPNativeFunction<GSOSoup> binding(Nyx::PString("Soup"), Nyx::PString("$bool@Soup::IsLocked()"),
                                         &GSOSoup::NativeIsLocked);
    GSThread thread(nullptr, GSThread::kStaticThread);
    GSObject* target = world.soup;
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i) {
            binding.Call(target, thread);
            thread.stack.top--;
        }
        benchmark::DoNotOptimize(target);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 1000);
}
BENCHMARK(BM_BindingCall);

void BM_DirectMemberCall(benchmark::State& state)
{
    ScriptWorld& world = ScriptWorld::Get();
    void (GSOSoup::*handler)(GSThread&) = &GSOSoup::NativeIsLocked;
    benchmark::DoNotOptimize(handler);
    GSThread thread(nullptr, GSThread::kStaticThread);
    GSOSoup* target = world.soup;
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i) {
            (target->*handler)(thread);
            thread.stack.top--;
        }
        benchmark::DoNotOptimize(target);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 1000);
}
BENCHMARK(BM_DirectMemberCall);

void BM_GSSoupSetGet(benchmark::State& state)
{
    ScriptWorld& world = ScriptWorld::Get();
    for (auto _ : state)
        world.Run("$int@Test::SetGet(Soup,int)", kSoupOps);
    state.SetBytesProcessed(int64_t(state.iterations()) * kSoupOps);
}
BENCHMARK(BM_GSSoupSetGet)->Unit(benchmark::kMillisecond);

void BM_CppSoupSetGet(benchmark::State& state)
{
    ChunkRef soup;
    for (auto _ : state) {
        int64_t sum = 0;
        for (int32_t i = 0; i < kSoupOps; ++i) {
            // The natives intern and lower-case the name on every call.
            const Nyx::PString name = Nyx::PStringCache::ToLower(Nyx::PString("value"));
            TDBContainerTag::SetInt(soup, name, i);
            sum += TDBContainerTag::GetInt(soup, Nyx::PStringCache::ToLower(Nyx::PString("value")), 0);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kSoupOps);
}
BENCHMARK(BM_CppSoupSetGet)->Unit(benchmark::kMillisecond);

// What AddKUID does per call: a find over the ring, then an append.
void BM_AddKUID(benchmark::State& state)
{
    for (auto _ : state) {
        KUIDRing ring;
        for (int32_t i = 0; i < kKUIDs; ++i) {
            const KUID kuid(1, i, 0);
            if (ring.Find(kuid) == ring.end())
                ring.Append(kuid);
        }
        benchmark::DoNotOptimize(ring.FirstBlock());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kKUIDs);
}
BENCHMARK(BM_AddKUID)->Unit(benchmark::kMillisecond);

void BM_VectorLinearFind(benchmark::State& state)
{
    for (auto _ : state) {
        std::vector<KUID> list;
        for (int32_t i = 0; i < kKUIDs; ++i) {
            const KUID kuid(1, i, 0);
            if (std::find(list.begin(), list.end(), kuid) == list.end())
                list.push_back(kuid);
        }
        benchmark::DoNotOptimize(list.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kKUIDs);
}
BENCHMARK(BM_VectorLinearFind)->Unit(benchmark::kMillisecond);

void BM_HTMLBufferAppend(benchmark::State& state)
{
    const char chunk[17] = "0123456789abcdef";
    for (auto _ : state) {
        HTMLBuffer buffer;
        for (size_t n = 0; n < kHTMLBytes; n += 16)
            buffer.Append(chunk, 16);
        benchmark::DoNotOptimize(buffer.Length());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kHTMLBytes));
}
BENCHMARK(BM_HTMLBufferAppend)->Unit(benchmark::kMillisecond);

void BM_StringAppend(benchmark::State& state)
{
    const char chunk[17] = "0123456789abcdef";
    for (auto _ : state) {
        std::string text;
        for (size_t n = 0; n < kHTMLBytes; n += 16)
            text.append(chunk, 16);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kHTMLBytes));
}
BENCHMARK(BM_StringAppend)->Unit(benchmark::kMillisecond);

void PrintRatio(const RatioReporter& r, const char* what, const char* ours, const char* yardstick, double goal)
{
    const double a = r.BytesPerSecondOf(ours), b = r.BytesPerSecondOf(yardstick);
    if (a > 0 && b > 0)
        std::printf("%-40s %6.2fx (goal <= %.1fx)\n", what, b / a, goal);
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    // The buffers of the append benches are large: kept on the heap and not
    // given back between iterations, both sides grow into memory already
    // mapped, whichever runs first, so the allocator's state does not pick
    // the winner.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintRatio(reporter, "GS native calls / Lua C calls", "BM_GSNativeCalls", "BM_LuaCFunctionCalls", 1.5);
    PrintRatio(reporter, "binding Call / direct member call", "BM_BindingCall", "BM_DirectMemberCall", 3.0);
    PrintRatio(reporter, "GS Soup set+get / C++ container ops", "BM_GSSoupSetGet", "BM_CppSoupSetGet", 3.0);
    PrintRatio(reporter, "HTMLBuffer appends / std::string", "BM_HTMLBufferAppend", "BM_StringAppend", 2.0);
    const double addRate = reporter.BytesPerSecondOf("BM_AddKUID");
    if (addRate > 0)
        std::printf("%-40s %6.3f s (goal < 0.2 s; quadratic by design)\n", "10,000 AddKUID", kKUIDs / addRate);
    benchmark::Shutdown();
    return 0;
}
