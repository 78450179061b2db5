// A script world for the runtime's tests: a machine with the system
// library registered, a context with a router, test programs loaded from a
// temporary folder, objects made in the context, and runs of one function
// on a thread of the test's own, with the exit code and the value left.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "gs/runtime/RuntimeTestSupport.h"
#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/objects/GSArray.h"
#include "gs/runtime/objects/GSContext.h"
#include "gs/runtime/objects/GSGameObject.h"
#include "gs/runtime/objects/GSString.h"
#include "gs/runtime/router/GSRouter.h"
#include "support/GSProgramBuilder.h"

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
        if (run.code == GSRuntime::ER_Done && f->returnType)
            Describe(*thread.stack.top, run);
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

// A program with one class "T" (fields as given) whose method "Run" has
// the code; parameters and the return type as given.
inline GSProgram OneMethod(const GSAsm& code, const std::string& returns = "int",
                           const std::vector<std::string>& params = {}, uint32_t fields = 4,
                           const std::vector<uint32_t>& referenceFields = {})
{
    GSProgram p("t.gs", 0x7E57, 0x1, &SystemProgram());
    GSProgram::Class& c = p.AddClass("T");
    c.fields = fields;
    c.referenceFields = referenceFields;
    p.AddMethod(c, "Run", returns, params, code).locals = 4;
    return p;
}
