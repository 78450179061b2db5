// Loading script libraries and the scrambled script form, each beside a
// yardstick measured in the same run:
// - 200 ".gsl" libraries of about 1 MB, registered and loaded (read, checked,
//   verified, linked) by a fresh script machine, against Lua 5.4 loading 200
//   precompiled chunks of the same size from files (read and undumped);
//   goal: at most 3x Lua's time.
// - ".gse" pack and unpack of 1 MB of script text (file read included),
//   against zlib level 6 compress and inflate of the same text after the
//   same read; goal: at most 3x zlib's time each way.
// Throughput is counted in library or text bytes.
#include <benchmark/benchmark.h>

#include <lua.hpp>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "RatioReporter.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/support/store/ScriptFileStore.h"
#include "support/GSLibraryBuilder.h"

namespace {

namespace fs = std::filesystem;

constexpr int kLibraries = 200;
constexpr size_t kLibrarySize = 1u << 20;
constexpr size_t kTextSize = 1u << 20;

std::string Folder() { return benchsupport::OwnTempFolder("gs-library-bench"); }

void WriteFile(const std::string& path, const void* data, size_t size)
{
    std::ofstream(path, std::ios::binary).write(static_cast<const char*>(data), std::streamsize(size));
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A library of classes whose functions do integer and string work, with
// line tables, as compiled scripts have them, grown to about 1 MB.
std::vector<uint8_t> GslImage(uint32_t index)
{
    GSLibraryBuilder b("lib" + std::to_string(index) + ".gs", index + 1, 0x600D);
    for (int k = 0; k < 300; ++k)
        b.Str("message text " + std::to_string(k));
    std::mt19937 rng(index);
    // Each class adds about 20 KB: the image is measured every ten.
    for (int c = 0; c % 10 != 0 || b.Build().size() < kLibrarySize; ++c) {
        std::string name = "Class" + std::to_string(c);
        std::vector<std::string> methods;
        for (int m = 0; m < 20; ++m)
            methods.push_back("$int@" + name + "::Method" + std::to_string(m) + "(int,string)");
        size_t at = b.AddClass(name, methods);
        for (int m = 0; m < 20; ++m) {
            GSLibraryBuilder::Function& f = b.classes[at].functions[m];
            f.parameters = 3;
            f.locals = 3;
            f.returnType = 2;
            f.objectLocals = {2};
            CodeBytes code;
            f.lines.clear();
            for (int s = 0; s < 20; ++s) {
                f.lines.push_back({code.Size(), uint32_t(s + 1)});
                code.Op(31).U16(1).Op(30).U32(rng()).Op(0).Op(33).U16(3);
                code.Op(73).U16(uint16_t(rng() % 300)).Op(38);
                code.Op(31).U16(3).Op(44).U32(0).Op(103).U16(2).Op(37);
            }
            // The branches go to the next statement.
            for (uint32_t at2 = 0, s = 0; s < 20; ++s) {
                uint32_t branch = at2 + 3 + 5 + 1 + 3 + 3 + 1 + 3 + 1;
                uint32_t next = branch + 4 + 3 + 1;
                for (int i = 0; i < 4; ++i)
                    code.bytes[branch + i] = uint8_t(next >> (8 * i));
                at2 = next;
            }
            code.Op(31).U16(3).Op(110);
            f.code = code.bytes;
            f.maxStack = 3;
        }
    }
    return b.Build();
}

// A Lua chunk of many small functions doing the same kind of work,
// precompiled and grown to about 1 MB.
std::string LuaChunk(uint32_t index)
{
    std::string bytecode;
    for (int functions = 2000;; functions += functions / 2) {
        std::string source = "local M = {}\n";
        for (int k = 0; k < functions; ++k) {
            source += "function M.f" + std::to_string(k) + "(a, s)\n  local x = 0\n";
            for (int s = 0; s < 6; ++s)
                source += "  x = a + " + std::to_string(index * 7919 + k * 31 + s) + "\n  local t = \"message text " +
                          std::to_string((k + s) % 300) + "\"\n  if x ~= 0 then s = t end\n";
            source += "  return x\nend\n";
        }
        source += "return M\n";
        lua_State* L = luaL_newstate();
        if (luaL_loadbuffer(L, source.data(), source.size(), "chunk") != LUA_OK)
            std::abort();
        bytecode.clear();
        lua_dump(
            L,
            [](lua_State*, const void* p, size_t n, void* ud) {
                static_cast<std::string*>(ud)->append(static_cast<const char*>(p), n);
                return 0;
            },
            &bytecode, 1);
        lua_close(L);
        if (bytecode.size() >= kLibrarySize)
            return bytecode;
    }
}

struct Files {
    std::vector<std::string> lua;
    size_t gslBytes = 0;
    size_t luaBytes = 0;
};

const Files& LibraryFiles()
{
    static const Files files = [] {
        Files f;
        fs::create_directories(Folder() + "/gsl");
        for (int i = 0; i < kLibraries; ++i) {
            std::vector<uint8_t> image = GslImage(uint32_t(i));
            WriteFile(Folder() + "/gsl/lib" + std::to_string(i) + ".gsl", image.data(), image.size());
            f.gslBytes += image.size();
            std::string chunk = LuaChunk(uint32_t(i));
            f.lua.push_back(Folder() + "/chunk" + std::to_string(i) + ".luac");
            WriteFile(f.lua.back(), chunk.data(), chunk.size());
            f.luaBytes += chunk.size();
        }
        return f;
    }();
    return files;
}

bool LoadAllGsl()
{
    GSMachine machine;
    machine.RegisterBuiltinNatives();
    if (!machine.AddLibraryFolder(Nyx::PString(Folder() + "/gsl")))
        return false;
    bool ok = true;
    for (int i = 0; i < kLibraries; ++i)
        ok = machine.GetLibrary("lib" + std::to_string(i) + ".gsl") != nullptr && ok;
    return ok;
}

void BM_GslLoad(benchmark::State& state)
{
    const Files& files = LibraryFiles();
    for (auto _ : state) {
        if (!LoadAllGsl())
            state.SkipWithError("a library did not load");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(files.gslBytes));
}

void BM_LuaLoad(benchmark::State& state)
{
    const Files& files = LibraryFiles();
    for (auto _ : state) {
        lua_State* L = luaL_newstate();
        for (const std::string& path : files.lua) {
            if (luaL_loadfilex(L, path.c_str(), "b") != LUA_OK)
                state.SkipWithError("a chunk did not load");
            lua_pop(L, 1);
        }
        lua_close(L);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(files.luaBytes));
}

// Script text as scripts are written: classes, handlers, messages.
const std::string& ScriptText()
{
    static const std::string text = [] {
        std::mt19937 rng(3);
        static const char* const kWords[] = {"Train", "Signal", "Junction", "Station", "Vehicle", "Message",
                                             "Sleep", "PostMessage", "GetName", "Driver", "Timetable"};
        std::string s = "include \"gs.gs\";\n\n";
        for (int c = 0; s.size() < kTextSize; ++c) {
            std::string cls = std::string(kWords[rng() % 11]) + std::to_string(c);
            s += "class " + cls + " isclass GameObject\n{\n  int count;\n  string name;\n\n";
            for (int m = 0; m < 6; ++m) {
                s += "  void " + std::string(kWords[rng() % 11]) + "Handler" + std::to_string(m) +
                     "(Message msg)\n  {\n    count = count + " + std::to_string(rng() % 100) + ";\n";
                s += "    if (msg.minor == \"" + std::string(kWords[rng() % 11]) + "\")\n      PostMessage(me, \"" +
                     kWords[rng() % 11] + "\", \"Update\", " + std::to_string(rng() % 10) + ".0);\n  }\n\n";
            }
            s += "};\n\n";
        }
        s.resize(kTextSize);
        return s;
    }();
    return text;
}

void TextFiles()
{
    static const bool made = [] {
        WriteFile(Folder() + "/text.gs", ScriptText().data(), ScriptText().size());
        ScriptFileStore store;
        if (!store.Open(Nyx::PString(), Nyx::File::Path(Folder() + "/text.gs")) ||
            !store.Save(Nyx::PString(), Nyx::File::Path(Folder() + "/text.gse")))
            std::abort();
        uLongf n = compressBound(ScriptText().size());
        std::vector<uint8_t> packed(n);
        compress2(packed.data(), &n, reinterpret_cast<const Bytef*>(ScriptText().data()), ScriptText().size(), 6);
        WriteFile(Folder() + "/text.z", packed.data(), n);
        return true;
    }();
    (void)made;
}

void BM_GsePack(benchmark::State& state)
{
    TextFiles();
    for (auto _ : state) {
        ScriptFileStore store;
        if (!store.Open(Nyx::PString(), Nyx::File::Path(Folder() + "/text.gs")) || !store.Pack())
            state.SkipWithError("pack failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kTextSize));
}

void BM_GseUnpack(benchmark::State& state)
{
    TextFiles();
    for (auto _ : state) {
        ScriptFileStore store;
        if (!store.Open(Nyx::PString(), Nyx::File::Path(Folder() + "/text.gse")) || !store.GetText())
            state.SkipWithError("unpack failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kTextSize));
}

void BM_ZlibPack(benchmark::State& state)
{
    TextFiles();
    std::vector<uint8_t> out(compressBound(kTextSize));
    for (auto _ : state) {
        std::string text = ReadFile(Folder() + "/text.gs");
        uLongf n = out.size();
        benchmark::DoNotOptimize(compress2(out.data(), &n, reinterpret_cast<const Bytef*>(text.data()), text.size(), 6));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kTextSize));
}

void BM_ZlibUnpack(benchmark::State& state)
{
    TextFiles();
    std::vector<uint8_t> out(kTextSize);
    for (auto _ : state) {
        std::string packed = ReadFile(Folder() + "/text.z");
        uLongf n = out.size();
        benchmark::DoNotOptimize(uncompress(out.data(), &n, reinterpret_cast<const Bytef*>(packed.data()), packed.size()));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kTextSize));
}

BENCHMARK(BM_GslLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LuaLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GsePack)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibPack)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GseUnpack)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibUnpack)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    const Files& files = LibraryFiles();
    if (!LoadAllGsl()) {
        std::fprintf(stderr, "the generated libraries do not load\n");
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    // Time per run relative to the yardstick's, from the throughputs.
    const auto timeRatio = [](double ours, double theirs, double oursBytes, double theirsBytes) {
        return ours > 0 && theirs > 0 ? (oursBytes / ours) / (theirsBytes / theirs) : 0.0;
    };
    std::printf("\n%d libraries: .gsl %.1f MB, Lua chunks %.1f MB\n", kLibraries, files.gslBytes / 1048576.0,
                files.luaBytes / 1048576.0);
    std::printf("  .gsl load time / Lua chunk load time:  %.3f (goal <= 3)\n",
                timeRatio(reporter.BytesPerSecondOf("BM_GslLoad"), reporter.BytesPerSecondOf("BM_LuaLoad"),
                          double(files.gslBytes), double(files.luaBytes)));
    std::printf("  .gse pack time / zlib-6 compress time: %.3f (goal <= 3)\n",
                timeRatio(reporter.BytesPerSecondOf("BM_GsePack"), reporter.BytesPerSecondOf("BM_ZlibPack"), kTextSize,
                          kTextSize));
    std::printf("  .gse unpack time / zlib-6 inflate time: %.3f (goal <= 3)\n",
                timeRatio(reporter.BytesPerSecondOf("BM_GseUnpack"), reporter.BytesPerSecondOf("BM_ZlibUnpack"),
                          kTextSize, kTextSize));
    return 0;
}
