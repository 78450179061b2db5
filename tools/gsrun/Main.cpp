// gsrun: the project's script runner. Runs its actions in order against the
// process's script machine:
//   add FILE     register one library file   "add FILE: ok" / "add FILE: refused"
//   folder DIR   register every "*.gsl" in DIR   "folder DIR: ok" / "folder DIR: failed"
//   load NAME    load and link a library by name   "load NAME: ok" / "load NAME: failed"
//   call LIB CLASS SIGNATURE [ARG...]
//                make an object of CLASS from library LIB in the runner's
//                context (a game object on its router when CLASS derives
//                from GameObject) and call the function SIGNATURE on it,
//                one ARG per parameter: "call SIGNATURE: " and the result
//                (int, "true"/"false", float "%f", a string's text or
//                "null", "done" for void; an object's class name), or
//                "call SIGNATURE: failed"; the object lives on until the
//                runner ends, so that the threads it starts can run
//   pump SECONDS steps the runner's router in steps of 0.1 s
//                "pump SECONDS: ok" / "pump SECONDS: failed" (no number)
//   run FILE     compile FILE (includes from its folder, then the data
//                root's "scripts" and "gsrun"), make its class Test and
//                run Main, then step until nothing is left to do
//                (ScriptRunner.h): the lines it prints, log lines as
//                always, compile messages as "compile: " + message; then,
//                for each thread that a thread exception ended, "run
//                FILE: thread FUNCTION ended with CODE, line N, file
//                NAME"; then "run FILE: ok", or "run FILE: failed" (a
//                thread that ended so fails the run)
//   test PATH... (the rest of the command line) run each file, or each
//                ".gs" of a folder, and compare its lines with its
//                expectations: "PASS FILE" or "FAIL FILE: " and the first
//                difference
// Every script-log line prints as "log: " + the line, when it is logged.
// Before the actions it registers the libraries of the data root (the
// folder above the one holding this program): its "libraries" folder and
// the runner's own "gsrun" folder, each when it is there.
// "$void@Out::Print(string)" is bound for the scripts before anything loads.
//
// Exit codes: 0 when every action succeeded (every test passed), 1
// otherwise, 2 for a wrong command line.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/objects/GSArray.h"
#include "gs/runtime/objects/GSContext.h"
#include "gs/runtime/objects/GSGameObject.h"
#include "gs/runtime/objects/GSString.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/runtime/router/GSRouter.h"
#include "gs/support/ScriptLogHook.h"
#include "gsrun/ScriptRunner.h"
#include "nyx/files/File.h"

using namespace GSRuntime;

namespace {

void PrintLogLine(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    std::fputs("log: ", stdout);
    std::vfprintf(stdout, fmt, args);
    std::fputc('\n', stdout);
    va_end(args);
}

int Usage()
{
    std::fputs("usage: gsrun ACTION...\n"
               "actions: add FILE | folder DIR | load NAME | call LIB CLASS SIGNATURE [ARG...] | pump SECONDS |\n"
               "         run FILE | test PATH...\n",
               stderr);
    return 2;
}

std::string ProgramFolder()
{
    std::string buf(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0 || size_t(n) >= buf.size())
        return {};
    buf.resize(size_t(n));
    return std::string(Nyx::File::Path(buf).Folder());
}

// The folder above the one holding this program; empty when unknown.
std::string DataRoot()
{
    const std::string folder = ProgramFolder();
    return folder.empty() ? folder : folder + "..";
}

void RegisterDataRootLibraries(GSMachine& machine, const std::string& root)
{
    if (root.empty())
        return;
    for (const std::string& folder : {root + "/libraries", root + "/" + ScriptRunner::kRunnerFolder}) {
        if (Nyx::File::IsFolder(Nyx::File::Path(folder)))
            machine.AddLibraryFolder(Nyx::PString(folder));
    }
}

void PrintRunnerLine(const RunnerLine& line)
{
    switch (line.kind) {
    case RunnerLine::kPrinted:
        std::printf("%s\n", line.text.c_str());
        break;
    case RunnerLine::kLog:
        std::printf("log: %s\n", line.text.c_str());
        break;
    case RunnerLine::kCompile:
        std::printf("compile: %s\n", line.text.c_str());
        break;
    }
}

bool RunFile(ScriptRunner& runner, const char* file)
{
    const ScriptRunner::Outcome outcome = runner.Run(file, &PrintRunnerLine);
    for (const std::string& failure : outcome.threadFailures)
        std::printf("run %s: %s\n", file, failure.c_str());
    const bool ok = outcome.ok && outcome.threadFailures.empty();
    std::printf("run %s: %s\n", file, ok ? "ok" : "failed");
    return ok;
}

bool TestPaths(ScriptRunner& runner, const std::vector<const char*>& paths)
{
    bool all = true;
    for (const char* path : paths) {
        for (const std::string& file : ScriptRunner::Files(path)) {
            std::string failure;
            if (runner.Test(file, failure)) {
                std::printf("PASS %s\n", file.c_str());
            } else {
                std::printf("FAIL %s: %s\n", file.c_str(), failure.c_str());
                all = false;
            }
            std::fflush(stdout);
        }
    }
    return all;
}

// "$int@C::F(int,string)": the return type and the parameter types; false
// for a text that is no signature.
bool SplitSignature(std::string_view signature, std::string& returns, std::vector<std::string>& params)
{
    const size_t at = signature.find('@');
    const size_t open = signature.find('(');
    const size_t close = signature.rfind(')');
    if (signature.empty() || signature[0] != '$' || at == std::string_view::npos || open == std::string_view::npos ||
        close == std::string_view::npos || open < at || close < open || close + 1 != signature.size())
        return false;
    returns = signature.substr(1, at - 1);
    params.clear();
    std::string_view list = signature.substr(open + 1, close - open - 1);
    while (!list.empty()) {
        const size_t comma = list.find(',');
        params.emplace_back(list.substr(0, comma));
        if (comma == std::string_view::npos)
            break;
        list.remove_prefix(comma + 1);
    }
    return true;
}

struct Action {
    std::string_view word;
    std::vector<const char*> operands;
};

// One word of an argument for a parameter of the type; false when the text
// does not fit the type. Strings are made in the context and listed.
bool ArgumentWord(const std::string& type, const char* text, GSContext& context, std::vector<GSString*>& strings,
                  intptr_t& word)
{
    char* end = nullptr;
    errno = 0;
    if (type == "int") {
        const long v = std::strtol(text, &end, 10);
        word = int32_t(v);
        return *text && !*end && errno == 0 && v >= INT32_MIN && v <= INT32_MAX;
    }
    if (type == "float") {
        word = FloatSlot(std::strtof(text, &end));
        return *text && !*end;
    }
    if (type == "bool") {
        word = std::string_view(text) == "true";
        return word || std::string_view(text) == "false";
    }
    if (type == "string") {
        strings.push_back(new GSString(&context, text));
        word = reinterpret_cast<intptr_t>(strings.back()->GetInstance());
        return true;
    }
    word = 0;
    return std::string_view(text) == "null";
}

std::string ResultText(const std::string& type, intptr_t result)
{
    char text[64];
    if (type == "void")
        return "done";
    if (type == "int") {
        std::snprintf(text, sizeof text, "%d", int32_t(result));
        return text;
    }
    if (type == "bool")
        return int32_t(result) ? "true" : "false";
    if (type == "float") {
        std::string wide(size_t(std::snprintf(nullptr, 0, "%f", double(SlotFloat(result)))) + 1, '\0');
        std::snprintf(wide.data(), wide.size(), "%f", double(SlotFloat(result)));
        wide.pop_back();
        return wide;
    }
    auto* view = reinterpret_cast<GSSlot*>(result);
    if (!view)
        return "null";
    std::string shown;
    if (GSString* s = GSString::OfPart(view))
        shown = s->Str();
    else if (GSArray* a = GSArray::OfPart(view))
        shown = "array of " + std::to_string(a->Count());
    else
        shown = GSScriptInstance::OfPart(view)->cls->name;
    ReleasePart(view);
    return shown;
}

bool Call(GSMachine& machine, GSContext& context, const Action& action,
          std::vector<std::unique_ptr<GSObject>>& objects)
{
    const char* signature = action.operands[2];
    GSLibrary* library = machine.GetLibrary(action.operands[0]);
    GSClass* cls = library ? library->FindClass(action.operands[1]) : nullptr;
    if (!cls)
        return false;
    std::unique_ptr<GSObject> object(cls->gameObjectClass ? new GSGameObject : new GSObject);
    if (!object->AttachClass(cls, &context))
        return false;
    if (cls->gameObjectClass)
        context.Router()->AddNode(*static_cast<GSGameObject*>(object.get()));

    std::string returns;
    std::vector<std::string> params;
    SplitSignature(signature, returns, params);
    std::vector<GSString*> strings;
    std::vector<intptr_t> args(params.size());
    bool ok = true;
    for (size_t i = 0; i < params.size() && ok; ++i)
        ok = ArgumentWord(params[i], action.operands[3 + i], context, strings, args[i]);
    intptr_t result = 0;
    ok = ok && machine.CallFunction(&context, cls, object->GetInstance(), signature, &result, args);
    for (GSString* s : strings)
        ReleasePart(s->GetInstance());
    if (ok)
        std::printf("call %s: %s\n", signature, ResultText(returns, result).c_str());
    objects.push_back(std::move(object));
    return ok;
}

constexpr float kPumpStep = 0.1f;

// The number of steps of a pump's seconds, or -1 for no number.
long PumpSteps(const char* text)
{
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    if (!*text || *end || !(seconds >= 0.0) || seconds > 1e6)
        return -1;
    return std::lround(seconds / double(kPumpStep));
}

bool Pump(GSRouter& router, const char* seconds)
{
    const long steps = PumpSteps(seconds);
    for (long i = 0; i < steps; ++i) {
        router.Step(kPumpStep);
        std::fflush(stdout);
    }
    return steps >= 0;
}

// The actions of the command line, or false for a wrong one.
bool ParseActions(int argc, char** argv, std::vector<Action>& actions)
{
    for (int i = 1; i < argc;) {
        Action action{argv[i++], {}};
        size_t operands = 1;
        if (action.word == "call") {
            std::string returns;
            std::vector<std::string> params;
            if (argc - i < 3 || !SplitSignature(argv[i + 2], returns, params))
                return false;
            operands = 3 + params.size();
        } else if (action.word == "test") {
            operands = size_t(std::max(argc - i, 1));
        } else if (action.word != "add" && action.word != "folder" && action.word != "load" &&
                   action.word != "pump" && action.word != "run") {
            return false;
        }
        if (size_t(argc - i) < operands)
            return false;
        for (size_t k = 0; k < operands; ++k)
            action.operands.push_back(argv[i++]);
        actions.push_back(action);
    }
    return !actions.empty();
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<Action> actions;
    if (!ParseActions(argc, argv, actions))
        return Usage();

    ScriptLogHook = PrintLogLine;
    GSMachine& machine = GSMachine::Get();
    ScriptRunner::RegisterPrint(machine);
    const std::string root = DataRoot();
    RegisterDataRootLibraries(machine, root);
    ScriptRunner runner(machine, root);
    GSContext context;
    context.SetRouter(std::make_unique<GSRouter>(&context));
    std::vector<std::unique_ptr<GSObject>> objects;

    bool allOk = true;
    for (const Action& action : actions) {
        const char* operand = action.operands[0];
        bool ok;
        if (action.word == "call") {
            ok = Call(machine, context, action, objects);
            if (!ok)
                std::printf("call %s: failed\n", action.operands[2]);
        } else if (action.word == "run") {
            ok = RunFile(runner, operand);
        } else if (action.word == "test") {
            ok = TestPaths(runner, action.operands);
        } else {
            const char* outcome;
            if (action.word == "add") {
                ok = machine.AddLibrary(Nyx::PString(), std::string_view(), operand);
                outcome = ok ? "ok" : "refused";
            } else if (action.word == "folder") {
                ok = machine.AddLibraryFolder(Nyx::PString(operand));
                outcome = ok ? "ok" : "failed";
            } else if (action.word == "pump") {
                ok = Pump(*context.Router(), operand);
                outcome = ok ? "ok" : "failed";
            } else {
                ok = machine.GetLibrary(operand) != nullptr;
                outcome = ok ? "ok" : "failed";
            }
            std::printf("%.*s %s: %s\n", int(action.word.size()), action.word.data(), operand, outcome);
        }
        allOk = allOk && ok;
        std::fflush(stdout);
    }
    // What the teardown logs belongs to no action.
    ScriptLogHook = nullptr;
    return allOk ? 0 : 1;
}
