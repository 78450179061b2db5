// A script world for the runtime's tests: a machine with the system
// library registered, a context with a router, test programs loaded from a
// temporary folder, objects made in the context, and runs of one function
// on a thread of the test's own, with the exit code and the value left.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gs/runtime/RuntimeTestSupport.h"
#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/interp/RunState.h"
#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/objects/GSArray.h"
#include "gs/runtime/objects/GSContext.h"
#include "gs/runtime/objects/GSGameObject.h"
#include "gs/runtime/objects/GSString.h"
#include "gs/runtime/router/GSRouter.h"
#include "support/GSProgramBuilder.h"

// Puts the run limits back when a test that changed them ends.
struct LimitsGuard {
    GSRuntime::GSRunLimits saved = GSRuntime::RunLimits();
    ~LimitsGuard() { GSRuntime::RunLimits() = saved; }
};

struct ScriptRun {
    GSRuntime::GSExitCode code = GSRuntime::ER_Done;
    GSRuntime::GSSlot value = 0;  // plain values only; references are described below
    bool isNull = false;
    std::string text;                   // a string's text
    std::vector<GSRuntime::GSSlot> elements;  // an array's elements
    std::string className;              // an object's class
};

class ScriptWorld {
public:
    ScriptWorld();
    ~ScriptWorld();

    GSMachine& Machine() { return t.machine; }

    // Writes and loads a program; null when it does not load.
    GSRuntime::GSLibrary* Load(GSProgram& program, const std::string& file = "t.gsl");
    GSRuntime::GSClass* Class(GSRuntime::GSLibrary* library, const char* name);
    // An object of the class in the context, held by the world (a game
    // object on the router for game classes); null when it cannot be made.
    GSRuntime::GSObject* Make(GSRuntime::GSClass* cls);

    // Runs the class's own function `signature` on the object, with plain
    // arguments, on a static thread of its own.
    ScriptRun Run(GSRuntime::GSObject* object, const char* signature, const std::vector<int32_t>& args = {});

    GSRuntime::GSContext& Context() { return context; }
    GSRouter& Router() { return *context.Router(); }

    LogCapture log;
    TestMachine t;
    TempFolder dir;

private:
    static void Describe(GSRuntime::GSSlot value, ScriptRun& run);

    GSRuntime::GSContext context;
    std::vector<std::unique_ptr<GSRuntime::GSObject>> objects;
};

// A program with one class "T" with six own fields (words 2-7; 6 and 7
// hold references) whose method "Run" has the code, four locals after the
// parameters (3 and 4 hold references), and the return type given. The
// code is made from the program, so that it can name its strings and
// classes.
using CodeMaker = std::function<GSAsm(GSProgram&)>;

GSProgram OneMethod(const CodeMaker& code, const std::string& returns = "int",
                    const std::vector<std::string>& params = {});

// One snippet and what running it gives: the exit code and, when done, the
// value (an int, a float's bits, a string's text or an array's elements).
struct SnippetCase {
    SnippetCase(const char* name, CodeMaker maker, std::string type = "int",
                GSRuntime::GSExitCode code = GSRuntime::ER_Done, GSRuntime::GSSlot result = 0);

    const char* what;
    CodeMaker code;
    std::string returns;
    GSRuntime::GSExitCode exit;
    GSRuntime::GSSlot value;
    std::string text;
    std::vector<GSRuntime::GSSlot> elements;
    bool isNull = false;
    // Values a plain instruction took without releasing: freed only when
    // the context ends.
    uint32_t leftBehind = 0;
};

SnippetCase LeavesBehind(SnippetCase c, uint32_t values);
SnippetCase IntCase(const char* what, CodeMaker code, int32_t value);
SnippetCase FloatCase(const char* what, CodeMaker code, float value);
SnippetCase ExitCase(const char* what, CodeMaker code, GSRuntime::GSExitCode exit);
SnippetCase TextCase(const char* what, CodeMaker code, std::string text);
SnippetCase NullCase(const char* what, CodeMaker code, const char* returns = "string");
SnippetCase ArrayCase(const char* what, CodeMaker code, std::vector<GSRuntime::GSSlot> elements);

using ProgramMaker = std::function<GSProgram(const CodeMaker&, const std::string& returns)>;

// Loads and runs each case in a world of its own; every case must load.
// After the run, the context holds what it held before (T's object). The
// program is OneMethod's unless a maker is given.
void RunSnippets(const std::vector<SnippetCase>& cases);
void RunSnippets(const std::vector<SnippetCase>& cases, const ProgramMaker& make);
