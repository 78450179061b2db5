#include "gs/runtime/ScriptWorld.h"

#include <gtest/gtest.h>

ScriptWorld::ScriptWorld() : context(&t.machine)
{
    context.SetRouter(std::make_unique<GSRouter>(&context));
    AddImage(t.machine, dir, "gs.gsl", SystemLibraryImage());
}

ScriptWorld::~ScriptWorld()
{
    objects.clear();
}

GSRuntime::GSLibrary* ScriptWorld::Load(GSProgram& program, const std::string& file)
{
    AddImage(t.machine, dir, file, program.Build());
    return t.machine.GetLibrary(file);
}

GSRuntime::GSClass* ScriptWorld::Class(GSRuntime::GSLibrary* library, const char* name)
{
    return library ? library->FindClass(name) : nullptr;
}

GSRuntime::GSObject* ScriptWorld::Make(GSRuntime::GSClass* cls)
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

ScriptRun ScriptWorld::Run(GSRuntime::GSObject* object, const char* signature,
                           const std::vector<int32_t>& args)
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

void ScriptWorld::Describe(GSRuntime::GSSlot value, ScriptRun& run)
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

GSProgram OneMethod(const CodeMaker& code, const std::string& returns, const std::vector<std::string>& params)
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

SnippetCase::SnippetCase(const char* name, CodeMaker maker, std::string type, GSRuntime::GSExitCode code,
                         GSRuntime::GSSlot result)
    : what(name), code(std::move(maker)), returns(std::move(type)), exit(code), value(result)
{
}

SnippetCase LeavesBehind(SnippetCase c, uint32_t values)
{
    c.leftBehind = values;
    return c;
}

SnippetCase IntCase(const char* what, CodeMaker code, int32_t value)
{
    return SnippetCase(what, std::move(code), "int", GSRuntime::ER_Done, value);
}

SnippetCase FloatCase(const char* what, CodeMaker code, float value)
{
    return SnippetCase(what, std::move(code), "float", GSRuntime::ER_Done, GSRuntime::FloatSlot(value));
}

SnippetCase ExitCase(const char* what, CodeMaker code, GSRuntime::GSExitCode exit)
{
    return SnippetCase(what, std::move(code), "int", exit);
}

SnippetCase TextCase(const char* what, CodeMaker code, std::string text)
{
    SnippetCase c(what, std::move(code), "string");
    c.text = std::move(text);
    return c;
}

SnippetCase NullCase(const char* what, CodeMaker code, const char* returns)
{
    SnippetCase c(what, std::move(code), returns);
    c.isNull = true;
    return c;
}

SnippetCase ArrayCase(const char* what, CodeMaker code, std::vector<GSRuntime::GSSlot> elements)
{
    SnippetCase c(what, std::move(code), "int[]");
    c.elements = std::move(elements);
    return c;
}

void RunSnippets(const std::vector<SnippetCase>& cases)
{
    RunSnippets(cases, [](const CodeMaker& c, const std::string& r) { return OneMethod(c, r); });
}

void RunSnippets(const std::vector<SnippetCase>& cases, const ProgramMaker& make)
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
