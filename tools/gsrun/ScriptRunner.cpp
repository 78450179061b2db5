#include "gsrun/ScriptRunner.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string_view>
#include <utility>

#include "gs/compiler/driver/CompileSession.h"
#include "gs/compiler/driver/Compiler.h"
#include "gs/compiler/driver/IncludePathList.h"
#include "gs/compiler/image/LibraryWriter.h"
#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/natives/NativeParams.h"
#include "gs/runtime/objects/GSContext.h"
#include "gs/runtime/objects/GSGameObject.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/runtime/registry/GSNativeFunction.h"
#include "gs/runtime/router/GSRouter.h"
#include "gs/support/ByteBuffer.h"
#include "gs/support/ScriptLogHook.h"

using namespace GSRuntime;
namespace fs = std::filesystem;

namespace {

// Where the lines of the run in progress go; null between runs.
const ScriptRunner::Emit* g_emit = nullptr;

void EmitLogLine(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    char small[1024];
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(small, sizeof small, fmt, args);
    std::string text;
    if (n >= 0 && size_t(n) < sizeof small) {
        text = small;
    } else if (n >= 0) {
        text.resize(size_t(n) + 1);
        std::vsnprintf(text.data(), text.size(), fmt, again);
        text.pop_back();
    }
    va_end(again);
    va_end(args);
    if (g_emit)
        (*g_emit)(RunnerLine{RunnerLine::kLog, text});
}

void Print(GSContext*, GSThread& thread)
{
    const GSString* text = StringParam(thread, 1);
    const std::string line = text ? text->Str() : "null";
    if (g_emit)
        (*g_emit)(RunnerLine{RunnerLine::kPrinted, line});
    else
        std::printf("%s\n", line.c_str());
}

std::string Escaped(std::string_view message)
{
    std::string text;
    for (char c : message) {
        if (c == '\n')
            text += "\\n";
        else
            text += c;
    }
    return text;
}

// The file of one compile's library, made anew in the temporary folder
// under a name of its own and removed with it. The library is the run's
// alone and goes when the run does, so it is written without waiting for
// the disk.
class TemporaryLibrary {
public:
    explicit TemporaryLibrary(const std::string& libraryName)
    {
        const char* tmp = std::getenv("TMPDIR");
        folder_ = tmp && *tmp ? tmp : "/tmp";
        std::string path = folder_ + "/gsrun.XXXXXX." + libraryName;
        fd_ = ::mkstemps(path.data(), int(libraryName.size()) + 1);
        if (fd_ >= 0)
            name_ = path.substr(folder_.size() + 1);
    }
    ~TemporaryLibrary()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (!name_.empty())
            ::unlink((folder_ + "/" + name_).c_str());
    }
    TemporaryLibrary(const TemporaryLibrary&) = delete;
    TemporaryLibrary& operator=(const TemporaryLibrary&) = delete;

    bool Made() const noexcept { return !name_.empty(); }
    const std::string& Folder() const noexcept { return folder_; }
    const std::string& Name() const noexcept { return name_; }

    // The whole image, once; false when it could not all be written.
    bool Write(const uint8_t* data, size_t size)
    {
        while (size > 0) {
            const ssize_t n = ::write(fd_, data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            data += n;
            size -= size_t(n);
        }
        return ::close(std::exchange(fd_, -1)) == 0;
    }

private:
    std::string folder_;
    std::string name_;
    int fd_ = -1;
};

// Compiles the named source into the library file; the compile's error
// count (1 when the library cannot be written, with a message as the
// compiler gives).
int32_t CompileInto(TemporaryLibrary& library, const std::string& source, GSCompiler::CompileSession& sink)
{
    GSCompiler::CompilerState state;
    const int32_t errors = GSCompiler::CompileProgram(source, state, &sink);
    if (errors != 0)
        return errors;
    Utils::ByteBuffer image;
    if (!image.Init(64 * 1024) || !GSCompiler::WriteLibraryImage(image, state, &sink, source)) {
        sink.AddMessage("Internal Compiler Error.\n");
        return 1;
    }
    if (!library.Write(image.Data(), image.Size())) {
        sink.AddMessage("Unable to write output file.\n");
        return 1;
    }
    return 0;
}

// Sends the lines of one run to its emitter, script-log lines included,
// until it ends.
class RunScope {
public:
    explicit RunScope(const ScriptRunner::Emit& emit) : previous_(ScriptLogHook), previousEmit_(g_emit)
    {
        g_emit = &emit;
        ScriptLogHook = &EmitLogLine;
    }
    ~RunScope()
    {
        g_emit = previousEmit_;
        ScriptLogHook = previous_;
    }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

private:
    ScriptLogFunction previous_;
    const ScriptRunner::Emit* previousEmit_;
};

// Follows the script log of a run for thread exceptions: the exception
// line, then "Stack Dump..." and one "function NAME, line N" line per
// frame, innermost first, so that the last frame is the thread's own.
class ThreadFailureWatch {
public:
    void See(const std::string& line)
    {
        static constexpr std::string_view kException = "Thread Exception: ";
        static constexpr std::string_view kFrame = "function ";
        if (line.compare(0, kException.size(), kException) == 0) {
            Finish();
            pending_ = line.substr(kException.size());
            inDump_ = false;
            return;
        }
        if (pending_.empty())
            return;
        if (!inDump_ && line == "Stack Dump...") {
            inDump_ = true;
            return;
        }
        const size_t comma = line.rfind(", line ");
        if (inDump_ && line.compare(0, kFrame.size(), kFrame) == 0 && comma != std::string::npos) {
            function_ = line.substr(kFrame.size(), comma - kFrame.size());
            return;
        }
        Finish();
    }

    std::vector<std::string> Done()
    {
        Finish();
        return std::move(failures_);
    }

private:
    void Finish()
    {
        if (!pending_.empty())
            failures_.push_back("thread " + (function_.empty() ? std::string("?") : function_) + " ended with " +
                                pending_);
        pending_.clear();
        function_.clear();
        inDump_ = false;
    }

    std::string pending_;  // the exception's text, until its dump has been read
    std::string function_;
    bool inDump_ = false;
    std::vector<std::string> failures_;
};

std::string Shown(const RunnerLine& line)
{
    switch (line.kind) {
    case RunnerLine::kLog:
        return "log \"" + line.text + "\"";
    case RunnerLine::kCompile:
        return "compile \"" + line.text + "\"";
    case RunnerLine::kPrinted:
        break;
    }
    return "\"" + line.text + "\"";
}

}  // namespace

ScriptRunner::ScriptRunner(GSMachine& machine, std::string dataRoot) : machine_(machine), dataRoot_(std::move(dataRoot))
{
}

void ScriptRunner::RegisterPrint(GSMachine& machine)
{
    machine.AddNative(
        std::make_unique<GSCNativeFunction>(Nyx::PString("Out"), Nyx::PString("$void@Out::Print(string)"), &Print));
}

ScriptRunner::Outcome ScriptRunner::Run(const std::string& file, const Emit& emit)
{
    ThreadFailureWatch failures;
    const Emit watched = [&](const RunnerLine& line) {
        if (line.kind == RunnerLine::kLog)
            failures.See(line.text);
        emit(line);
    };
    RunScope scope(watched);
    const fs::path path(file);
    const std::string name = path.filename().string();
    const std::string libraryName = path.stem().string() + ".gsl";

    // The file's folder first, then the data root's scripts, then the
    // runner's own.
    GSCompiler::IncludePathList& includes = GSCompiler::IncludePathList::Global();
    includes.Clear();
    includes.Append(Nyx::File::Path(path.parent_path().empty() ? std::string("./") : path.parent_path().string() + "/"));
    includes.Append(Nyx::File::Path(dataRoot_ + "/scripts/"));
    includes.Append(Nyx::File::Path(dataRoot_ + "/" + kRunnerFolder + "/"));
    TemporaryLibrary temporary(libraryName);
    if (!temporary.Made())
        return {false, false, "no temporary file", {}};
    GSCompiler::CompileSession sink;
    const int32_t errors = CompileInto(temporary, name, sink);
    includes.Clear();
    while (const char* line = sink.TakeLine())
        emit(RunnerLine{RunnerLine::kCompile, Escaped(line)});
    if (errors != 0)
        return {false, false, "the compile failed", {}};

    LibraryId id;
    if (!machine_.AddLibrary(Nyx::PString(), temporary.Folder(), temporary.Name(), &id))
        return {true, false, "the library was not added", {}};
    GSLibrary* library = machine_.LoadLibrary(id);
    GSClass* cls = library ? library->FindClass("Test") : nullptr;
    if (!library)
        return {true, false, "the library did not load", {}};
    if (!cls)
        return {true, false, "no class Test", {}};

    Outcome outcome;
    outcome.compiled = true;
    GSContext context(&machine_);
    context.SetRouter(std::make_unique<GSRouter>(&context));
    GSRouter& router = *context.Router();
    std::unique_ptr<GSObject> test(cls->gameObjectClass ? new GSGameObject : new GSObject);
    if (!test->AttachClass(cls, &context)) {
        outcome.reason = "Test could not be made";
    } else {
        if (cls->gameObjectClass)
            router.AddNode(*static_cast<GSGameObject*>(test.get()));
        if (!machine_.CallFunction(&context, cls, test->GetInstance(), "$void@Test::Main()", nullptr, {})) {
            outcome.reason = "Main failed";
        } else {
            for (int steps = 0; steps < kMaxSteps && !router.Settled(); ++steps)
                router.Step(kStep);
            outcome.ok = router.Settled();
            if (!outcome.ok)
                outcome.reason = "it did not settle in " + std::to_string(kMaxSteps) + " steps";
        }
    }
    // What the teardown logs belongs to no script.
    ScriptLogHook = nullptr;
    test.reset();
    outcome.threadFailures = failures.Done();
    return outcome;
}

std::vector<RunnerLine> ScriptRunner::Expectations(const std::string& file)
{
    static const struct {
        const char* prefix;
        RunnerLine::Kind kind;
    } kPrefixes[] = {
        {"// expect: ", RunnerLine::kPrinted},
        {"// expect log: ", RunnerLine::kLog},
        {"// expect compile: ", RunnerLine::kCompile},
    };
    std::vector<RunnerLine> expected;
    std::ifstream in(file, std::ios::binary);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos)
            continue;
        for (const auto& p : kPrefixes) {
            if (line.compare(start, std::string_view(p.prefix).size(), p.prefix) == 0) {
                expected.push_back(RunnerLine{p.kind, line.substr(start + std::string_view(p.prefix).size()), number});
                break;
            }
        }
    }
    return expected;
}

bool ScriptRunner::Test(const std::string& file, std::string& failure)
{
    const std::vector<RunnerLine> expected = Expectations(file);
    std::vector<RunnerLine> got;
    const Outcome outcome = Run(file, [&got](const RunnerLine& line) { got.push_back(line); });
    for (size_t i = 0; i < std::max(expected.size(), got.size()); ++i) {
        if (i >= got.size()) {
            failure = "line " + std::to_string(expected[i].source) + ": expected " + Shown(expected[i]) +
                      ", got nothing more";
            return false;
        }
        if (i >= expected.size()) {
            failure = "unexpected " + Shown(got[i]) +
                      (expected.empty() ? std::string() : " after line " + std::to_string(expected.back().source));
            return false;
        }
        if (got[i].kind != expected[i].kind || got[i].text != expected[i].text) {
            failure = "line " + std::to_string(expected[i].source) + ": expected " + Shown(expected[i]) + ", got " +
                      Shown(got[i]);
            return false;
        }
    }
    // A failed compile is what a file expecting compile messages is about.
    bool compileExpected = false;
    for (const RunnerLine& e : expected)
        compileExpected = compileExpected || e.kind == RunnerLine::kCompile;
    if (compileExpected) {
        if (outcome.compiled) {
            failure = "the compile did not fail";
            return false;
        }
        return true;
    }
    if (!outcome.ok) {
        failure = outcome.reason;
        return false;
    }
    return true;
}

std::vector<std::string> ScriptRunner::Files(const std::string& path)
{
    std::error_code error;
    if (!fs::is_directory(path, error))
        return {path};
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(path, error)) {
        if (entry.is_regular_file() && entry.path().extension() == ".gs")
            files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}
