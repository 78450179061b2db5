// Scanning, parsing, checking and compiling GS source beside a yardstick
// measured in the same run:
// - a generated program of 50,000 lines, scanned and parsed into its syntax
//   tree in memory, and also checked (symbols entered, every expression
//   typed and folded), against luac5.4 -p (run as a child process) on the
//   same program written in Lua, line for line; goals: as many source lines
//   per second as luac for the parse, 1.5 times as many with the check.
// - the same program compiled to a ".gsl" file in this process, and by the
//   whole gsc program run as a child process, against luac5.4 -o writing
//   its bytecode file; goal: as many lines per second as luac, both ways.
// - the whole gsc program on a program twice as long: the time grows in
//   proportion, so about twice as long.
// - one function of 20,000 statements against 20 functions of 1,000: list
//   building is linear, so within 2x of each other.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchSupport.h"
#include "RatioReporter.h"
#include "gs/compiler/check/Checker.h"
#include "gs/compiler/driver/Compiler.h"
#include "gs/compiler/parse/Parser.h"
#include "gs/compiler/parse/SourceContext.h"
#include "gs/compiler/scan/Scanner.h"
#include "gs/compiler/symbols/GSSymbolTable.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kFunctionsPerClass = 100;
constexpr int kLinesPerFunction = 10;
constexpr int kTargetLines = 50000;

struct Program {
    std::string text;
    size_t lines = 0;
};

size_t CountLines(const std::string& text) { return size_t(std::count(text.begin(), text.end(), '\n')); }

// The same program in both languages: classes of functions, each function
// ten lines of declarations, a counted loop with an if/else, a while loop
// and a return with a call.
Program MakeGsProgram(int targetLines)
{
    Program p;
    const int functions = (targetLines / (kLinesPerFunction * kFunctionsPerClass + 2)) * kFunctionsPerClass;
    for (int f = 0; f < functions; ++f) {
        const std::string n = std::to_string(f);
        if (f % kFunctionsPerClass == 0)
            p.text += "class C" + n + " {\n";
        p.text += "  int F" + n + "(int a, int b) {\n"
                  "    int x = a * 2 + b, i;\n"
                  "    string s = \"value \" + a;\n"
                  "    for (i = 0; i < a; i++) {\n"
                  "      if (x > 100 and b != 0) x = x - b;\n"
                  "      else x = x + i * 3;\n"
                  "    }\n"
                  "    while (x > 10) x = x / 2;\n"
                  "    return x + F" + n + "(b, a - 1);\n"
                  "  }\n";
        if (f % kFunctionsPerClass == kFunctionsPerClass - 1)
            p.text += "};\n";
    }
    p.lines = CountLines(p.text);
    return p;
}

const Program& GsProgram()
{
    static const Program program = MakeGsProgram(kTargetLines);
    return program;
}

// The program twice as long.
const Program& LongGsProgram()
{
    static const Program program = MakeGsProgram(2 * kTargetLines);
    return program;
}

const Program& LuaProgram()
{
    static const Program program = [] {
        Program p;
        const int functions = (kTargetLines / (kLinesPerFunction * kFunctionsPerClass + 2)) * kFunctionsPerClass;
        for (int f = 0; f < functions; ++f) {
            const std::string n = std::to_string(f);
            std::string owner = std::to_string(f - f % kFunctionsPerClass);
            owner.insert(owner.begin(), 'C');
            if (f % kFunctionsPerClass == 0)
                p.text += owner + " = {}\n";
            p.text += "function " + owner + ".F" + n + "(a, b)\n"
                      "  local x, i = a * 2 + b, 0\n"
                      "  local s = \"value \" .. a\n"
                      "  for i = 0, a - 1 do\n"
                      "    if x > 100 and b ~= 0 then x = x - b\n"
                      "    else x = x + i * 3 end\n"
                      "  end\n"
                      "  while x > 10 do x = x // 2 end\n"
                      "  return x + " + owner + ".F" + n + "(b, a - 1)\n"
                      "end\n";
            if (f % kFunctionsPerClass == kFunctionsPerClass - 1)
                p.text += "-- end of " + owner + "\n";
        }
        p.lines = CountLines(p.text);
        return p;
    }();
    return program;
}

// `statements` lines "x = x + 1;" in `functions` functions of one class.
std::string Statements(int functions, int statements)
{
    std::string text = "class Long {\n";
    for (int f = 0; f < functions; ++f) {
        text += "  void F" + std::to_string(f) + "() {\n    int x;\n";
        for (int s = 0; s < statements / functions; ++s)
            text += "    x = x + 1;\n";
        text += "  }\n";
    }
    return text + "};\n";
}

const std::string& OneLongFunction()
{
    static const std::string text = Statements(1, 20000);
    return text;
}

const std::string& TwentyFunctions()
{
    static const std::string text = Statements(20, 20000);
    return text;
}

const std::string& BenchFolder() { return benchsupport::OwnTempFolder("gs-parse-bench"); }

std::string LuaFile()
{
    static const std::string path = [] {
        std::string file = BenchFolder() + "/program.lua";
        std::ofstream(file, std::ios::binary) << LuaProgram().text;
        return file;
    }();
    return path;
}

// The GS program as a file beside the Lua one.
std::string GsFile()
{
    static const std::string path = [] {
        std::string file = BenchFolder() + "/program.gs";
        std::ofstream(file, std::ios::binary) << GsProgram().text;
        return file;
    }();
    return path;
}

std::string LongGsFile()
{
    static const std::string path = [] {
        std::string file = BenchFolder() + "/long.gs";
        std::ofstream(file, std::ios::binary) << LongGsProgram().text;
        return file;
    }();
    return path;
}

// The gsc built beside this program.
const std::string& Gsc()
{
    static const std::string path = (fs::read_symlink("/proc/self/exe").parent_path() / "gsc").string();
    return path;
}

// Compiles the GS file to "program.gsl" beside it; the number of errors.
int CompileFile(const std::string& file)
{
    return GSCompiler::CompileScriptFile(file, nullptr, GSCompiler::IncludePathList(), nullptr);
}

// Scans and parses the text into a fresh context; the parser's result.
int ParseText(const std::string& text)
{
    GSCompiler::SourceContext context;
    context.Init(nullptr, nullptr);
    GSCompiler::Scanner scanner(text.data(), static_cast<uint32_t>(text.size()));
    GSCompiler::ParseScope scope(scanner, context);
    return GSCompiler::ParseSource();
}

// Scans, parses and checks the text as the one file of a compile; the
// number of errors.
int CheckText(const std::string& text)
{
    GSCompiler::GSSymbolTable symbols;
    GSCompiler::SourceContext context;
    context.Init(&symbols, nullptr);
    context.SetFileName("program.gs");
    {
        GSCompiler::Scanner scanner(text.data(), static_cast<uint32_t>(text.size()));
        GSCompiler::ParseScope scope(scanner, context);
        if (GSCompiler::ParseSource() != 0)
            return 1;
    }
    GSCompiler::GSDependentSymbol* file = symbols.CreateDependentSymbol("program.gs");
    if (!file || !symbols.Enter(*file))
        return 1;
    symbols.SetCurrentFile(file);
    symbols.SetCurrentContext(&context);
    return GSCompiler::CheckFile(context, symbols, false);
}

// A program's exit code, or -1 when it did not run; its output goes to
// /dev/null.
int RunQuietly(const char* const* argv)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// luac's exit code, or -1 when it did not run: with -p it parses only, with
// -o it writes the bytecode file.
int RunLuac(const std::string& file, bool write = false)
{
    const std::string out = file + "c";
    const char* parse[] = {"luac5.4", "-p", file.c_str(), nullptr};
    const char* compile[] = {"luac5.4", "-o", out.c_str(), file.c_str(), nullptr};
    return RunQuietly(write ? compile : parse);
}

// gsc's exit code (its error count), or -1 when it did not run; it writes
// the ".gsl" beside the file.
int RunGsc(const std::string& file)
{
    const char* argv[] = {Gsc().c_str(), "-s", file.c_str(), nullptr};
    return RunQuietly(argv);
}

void BM_GsScanParse(benchmark::State& state)
{
    const Program& p = GsProgram();
    for (auto _ : state) {
        if (ParseText(p.text) != 0)
            state.SkipWithError("the program does not parse");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(p.text.size()));
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(p.lines));
}

void BM_GsScanParseCheck(benchmark::State& state)
{
    const Program& p = GsProgram();
    for (auto _ : state) {
        if (CheckText(p.text) != 0)
            state.SkipWithError("the program does not check");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(p.text.size()));
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(p.lines));
}

void BM_LuacParse(benchmark::State& state)
{
    const std::string file = LuaFile();
    for (auto _ : state) {
        if (RunLuac(file) != 0)
            state.SkipWithError("luac5.4 -p failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(LuaProgram().text.size()));
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(LuaProgram().lines));
}

void BM_GsCompileToLibrary(benchmark::State& state)
{
    const std::string file = GsFile();
    for (auto _ : state) {
        if (CompileFile(file) != 0)
            state.SkipWithError("the program does not compile");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(GsProgram().text.size()));
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(GsProgram().lines));
}

void BM_LuacCompile(benchmark::State& state)
{
    const std::string file = LuaFile();
    for (auto _ : state) {
        if (RunLuac(file, true) != 0)
            state.SkipWithError("luac5.4 -o failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(LuaProgram().text.size()));
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(LuaProgram().lines));
}

void BM_GscProcess(benchmark::State& state)
{
    const std::string file = GsFile();
    for (auto _ : state) {
        if (RunGsc(file) != 0)
            state.SkipWithError("gsc failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(GsProgram().text.size()));
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(GsProgram().lines));
}

void BM_GscProcessLong(benchmark::State& state)
{
    const std::string file = LongGsFile();
    for (auto _ : state) {
        if (RunGsc(file) != 0)
            state.SkipWithError("gsc failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(LongGsProgram().text.size()));
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(LongGsProgram().lines));
}

void BM_GsOneLongFunction(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(ParseText(OneLongFunction()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(OneLongFunction().size()));
}

void BM_GsTwentyFunctions(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(ParseText(TwentyFunctions()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(TwentyFunctions().size()));
}

BENCHMARK(BM_GsScanParse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GsScanParseCheck)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LuacParse)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GsCompileToLibrary)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LuacCompile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GscProcess)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GscProcessLong)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GsOneLongFunction)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GsTwentyFunctions)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (ParseText(GsProgram().text) != 0 || ParseText(OneLongFunction()) != 0) {
        std::fprintf(stderr, "the generated GS programs do not parse\n");
        return 1;
    }
    if (CheckText(GsProgram().text) != 0) {
        std::fprintf(stderr, "the generated GS program does not check\n");
        return 1;
    }
    if (CompileFile(GsFile()) != 0) {
        std::fprintf(stderr, "the generated GS program does not compile\n");
        return 1;
    }
    if (RunGsc(GsFile()) != 0 || RunGsc(LongGsFile()) != 0) {
        std::fprintf(stderr, "%s does not run or does not compile the generated GS programs\n", Gsc().c_str());
        return 1;
    }
    if (RunLuac(LuaFile()) != 0 || RunLuac(LuaFile(), true) != 0) {
        std::fprintf(stderr, "luac5.4 does not run or refuses the Lua program\n");
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    // Source lines per second, from the byte throughput.
    const auto linesPerSecond = [](double bytesPerSecond, const Program& p) {
        return bytesPerSecond * double(p.lines) / double(p.text.size());
    };
    const double gs = linesPerSecond(reporter.BytesPerSecondOf("BM_GsScanParse"), GsProgram());
    const double checked = linesPerSecond(reporter.BytesPerSecondOf("BM_GsScanParseCheck"), GsProgram());
    const double lua = linesPerSecond(reporter.BytesPerSecondOf("BM_LuacParse"), LuaProgram());
    std::printf("\nGS program: %zu lines; Lua program: %zu lines\n", GsProgram().lines, LuaProgram().lines);
    std::printf("  GS scan + parse: %.0f lines/s; luac5.4 -p: %.0f lines/s\n", gs, lua);
    std::printf("  GS lines/s / luac lines/s: %.3f (goal >= 1)\n", lua > 0 ? gs / lua : 0.0);
    std::printf("  GS scan + parse + check: %.0f lines/s\n", checked);
    std::printf("  GS checked lines/s / luac lines/s: %.3f (goal >= 1.5)\n", lua > 0 ? checked / lua : 0.0);
    const double compiled = linesPerSecond(reporter.BytesPerSecondOf("BM_GsCompileToLibrary"), GsProgram());
    const double luaCompiled = linesPerSecond(reporter.BytesPerSecondOf("BM_LuacCompile"), LuaProgram());
    std::printf("  GS compile to .gsl: %.0f lines/s; luac5.4 -o: %.0f lines/s\n", compiled, luaCompiled);
    std::printf("  GS compiled lines/s / luac -o lines/s: %.3f (goal >= 1)\n",
                luaCompiled > 0 ? compiled / luaCompiled : 0.0);
    const double process = linesPerSecond(reporter.BytesPerSecondOf("BM_GscProcess"), GsProgram());
    std::printf("  whole gsc process: %.0f lines/s; whole luac5.4 -o process: %.0f lines/s\n", process,
                luaCompiled);
    std::printf("  whole gsc lines/s / whole luac -o lines/s: %.3f (goal >= 1)\n",
                luaCompiled > 0 ? process / luaCompiled : 0.0);
    const double shortBytes = reporter.BytesPerSecondOf("BM_GscProcess");
    const double longBytes = reporter.BytesPerSecondOf("BM_GscProcessLong");
    std::printf("  whole gsc process, a program of %zu lines / one of %zu lines, time: %.3f (goal about 2)\n",
                LongGsProgram().lines, GsProgram().lines,
                shortBytes > 0 && longBytes > 0 ? (double(LongGsProgram().text.size()) / longBytes) /
                                                      (double(GsProgram().text.size()) / shortBytes)
                                                : 0.0);
    const double one = reporter.BytesPerSecondOf("BM_GsOneLongFunction");
    const double twenty = reporter.BytesPerSecondOf("BM_GsTwentyFunctions");
    std::printf("  one function of 20,000 statements / 20 functions, time: %.3f (goal <= 2)\n",
                one > 0 && twenty > 0 ? (double(OneLongFunction().size()) / one) /
                                            (double(TwentyFunctions().size()) / twenty)
                                      : 0.0);
    return 0;
}
