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
    ScriptWorld() : context(&t.machine)
    {
        context.SetRouter(std::make_unique<GSRouter>(&context));
        AddImage(t.machine, dir, "gs.gsl", SystemLibraryImage());
    }
    ~ScriptWorld() { objects.clear(); }

    GSMachine& Machine() { return t.machine; }

    // Writes and loads a program; null when it does not load.
    GSRuntime::GSLibrary* Load(GSProgram& program, const std::string& file = "t.gsl")
    {
        AddImage(t.machine, dir, file, program.Build());
        return t.machine.GetLibrary(file);
    }
    GSRuntime::GSClass* Class(GSRuntime::GSLibrary* library, const char* name)
    {
        return library ? library->FindClass(name) : nullptr;
    }
    // An object of the class in the context, held by the world (a game
    // object on the router for game classes); null when it cannot be made.
    GSRuntime::GSObject* Make(GSRuntime::GSClass* cls)
    {
        if (!cls)
            return nullptr;
        std::unique_ptr<GSRuntime::GSObject> object;
        if (cls->gameObjectClass)
            object = std::make_unique<GSRuntime::GSGameObject>();
        else
            object = std::make_unique<GSRuntime::GSObject>();
        if (!object->AttachClass(cls, &context))
            return nullptr;
        if (cls->gameObjectClass)
            context.Router()->AddNode(*static_cast<GSRuntime::GSGameObject*>(object.get()));
        objects.push_back(std::move(object));
        return objects.back().get();
    }

    // Runs the class's own function `signature` on the object, with plain
    // arguments, on a static thread of its own.
    ScriptRun Run(GSRuntime::GSObject* object, const char* signature, const std::vector<int32_t>& args = {})
    {
        ScriptRun run;
        GSRuntime::GSScriptInstance* instance = object ? object->Instance() : nullptr;
        GSRuntime::GSFunction* f = instance ? instance->cls->OwnFunction(signature) : nullptr;
        EXPECT_NE(f, nullptr) << signature;
        if (!f)
            return run;
        GSRuntime::GSThread thread(nullptr, GSRuntime::GSThread::kStaticThread);
        thread.stack.PushInstance(object->GetInstance(), true);
        for (int32_t a : args)
            thread.stack.PushInt(a);
        EXPECT_TRUE(thread.stack.Call(*f, 0));
        run.code = thread.Execute(0.0f);
        if (run.code == GSRuntime::ER_Done) {
            // The outermost return ends the thread.
            EXPECT_EQ(thread.state, GSRuntime::GSThread::kEnded);
            if (f->returnType)
                Describe(*thread.stack.top, run);
        }
        return run;
    }

    GSRuntime::GSContext& Context() { return context; }
    GSRouter& Router() { return *context.Router(); }

    LogCapture log;
    TestMachine t;
    TempFolder dir;

private:
    static void Describe(GSRuntime::GSSlot value, ScriptRun& run)
    {
        using namespace GSRuntime;
        run.value = value;
        run.isNull = value == 0;
        if (!IsReference(value))
            return;
        GSSlot* part = ReferencePart(value);
        if (GSString* s = GSString::OfPart(part))
            run.text = s->Str();
        else if (GSArray* a = GSArray::OfPart(part))
            run.elements.assign(a->Elements(), a->Elements() + a->Count());
        else if (GSScriptInstance::OfPart(part)->cls)
            run.className = GSScriptInstance::OfPart(part)->cls->name;
        ReleaseReference(value);
        run.value = 0;
    }

    GSRuntime::GSContext context;
    std::vector<std::unique_ptr<GSRuntime::GSObject>> objects;
};

// A program with one class "T" with six own fields (words 2-7; 6 and 7
// hold references) whose method "Run" has the code, four locals after the
// parameters (3 and 4 hold references), and the return type given. The
// code is made from the program, so that it can name its strings and
// classes.
using CodeMaker = std::function<GSAsm(GSProgram&)>;

inline GSProgram OneMethod(const CodeMaker& code, const std::string& returns = "int",
                           const std::vector<std::string>& params = {})
{
    GSProgram p("t.gs", 0x7E57, 0x1, &SystemProgram());
    GSProgram::Class& c = p.AddClass("T");
    c.fields = 6;
    c.referenceFields = {4, 5};
    GSProgram::Method& m = p.AddMethod(c, "Run", returns, params, code(p));
    m.locals = 4;
    m.objectLocals = {uint32_t(params.size()) + 3, uint32_t(params.size()) + 4};
    return p;
}

// One snippet and what running it gives: the exit code and, when done, the
// value (an int, a float's bits, a string's text or an array's elements).
struct SnippetCase {
    SnippetCase(const char* name, CodeMaker maker, std::string type = "int",
                GSRuntime::GSExitCode code = GSRuntime::ER_Done, GSRuntime::GSSlot result = 0)
        : what(name), code(std::move(maker)), returns(std::move(type)), exit(code), value(result)
    {
    }

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

inline SnippetCase LeavesBehind(SnippetCase c, uint32_t values)
{
    c.leftBehind = values;
    return c;
}

inline SnippetCase IntCase(const char* what, CodeMaker code, int32_t value)
{
    return SnippetCase(what, std::move(code), "int", GSRuntime::ER_Done, value);
}
inline SnippetCase FloatCase(const char* what, CodeMaker code, float value)
{
    return SnippetCase(what, std::move(code), "float", GSRuntime::ER_Done, GSRuntime::FloatSlot(value));
}
inline SnippetCase ExitCase(const char* what, CodeMaker code, GSRuntime::GSExitCode exit)
{
    return SnippetCase(what, std::move(code), "int", exit);
}
inline SnippetCase TextCase(const char* what, CodeMaker code, std::string text)
{
    SnippetCase c(what, std::move(code), "string");
    c.text = std::move(text);
    return c;
}
inline SnippetCase NullCase(const char* what, CodeMaker code, const char* returns = "string")
{
    SnippetCase c(what, std::move(code), returns);
    c.isNull = true;
    return c;
}
inline SnippetCase ArrayCase(const char* what, CodeMaker code, std::vector<GSRuntime::GSSlot> elements)
{
    SnippetCase c(what, std::move(code), "int[]");
    c.elements = std::move(elements);
    return c;
}

using ProgramMaker = std::function<GSProgram(const CodeMaker&, const std::string& returns)>;

// Loads and runs each case in a world of its own; every case must load.
// After the run, the context holds what it held before (T's object).
inline void RunSnippets(const std::vector<SnippetCase>& cases,
                        const ProgramMaker& make = [](const CodeMaker& c, const std::string& r) {
                            return OneMethod(c, r);
                        })
{
    for (const SnippetCase& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptWorld w;
        GSProgram p = make(c.code, c.returns);
        GSRuntime::GSLibrary* lib = w.Load(p);
        ASSERT_NE(lib, nullptr) << ::testing::PrintToString(w.log.Take());
        GSRuntime::GSObject* o = w.Make(w.Class(lib, "T"));
        ASSERT_NE(o, nullptr);
        const uint32_t tracked = w.Context().Tracked().Count();
        const ScriptRun r = w.Run(o, ("$" + c.returns + "@T::Run()").c_str());
        EXPECT_EQ(r.code, c.exit) << GSRuntime::ExitCodeName(r.code);
        if (r.code == GSRuntime::ER_Done) {
            EXPECT_EQ(w.Context().Tracked().Count(), tracked + c.leftBehind) << "values left behind";
        }
        if (c.exit != GSRuntime::ER_Done)
            continue;
        if (c.isNull)
            EXPECT_TRUE(r.isNull);
        else if (c.returns == "string")
            EXPECT_EQ(r.text, c.text);
        else if (c.returns == "int[]")
            EXPECT_EQ(r.elements, c.elements);
        else
            EXPECT_EQ(r.value, c.value) << "float " << GSRuntime::SlotFloat(r.value);
    }
}
