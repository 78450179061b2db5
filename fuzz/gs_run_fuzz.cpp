// The interpreter over programs made of arbitrary bytes: the first byte
// gives the locals of the method V.Run (low 3 bits) and which of them hold
// references (high bits), the second its stack room, the rest its code. T
// is a game class with helper methods and fields, among them a Run of its
// own that V.Run overrides (so INHERITED has a callee); V derives from T
// with fields of its own; U is a plain class; the system library and a few
// strings complete the library. A program the verifier accepts runs on the
// machine thread under a small jump budget, and so does every thread it
// starts; whatever it does, nothing is read or written outside what the
// runtime owns, every value is freed with the context, and the machine
// thread is left as it was.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <vector>

#include "FuzzTempFolder.h"
#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/interp/RunState.h"
#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/objects/GSContext.h"
#include "gs/runtime/objects/GSGameObject.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/runtime/router/GSRouter.h"
#include "support/GSProgramBuilder.h"

using namespace GSRuntime;

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

std::vector<uint8_t> Program(const uint8_t* data, size_t size)
{
    using namespace gsop;
    GSProgram p("t.gs", 0xF022, 0x1, &SystemProgram());
    for (const char* text : {"", "a", "hello", "Ping", "x"})
        p.Str(text);
    GSProgram::Class& u = p.AddClass("U");
    u.fields = 3;
    u.referenceFields = {1, 2};
    p.AddMethod(u, "Get", "int", {}, GSAsm().Op(GETM, uint16_t(p.Field("U", 0))).Op(RETV));
    GSProgram::Class& t = p.AddClass("T", {"GameObject"});
    t.fields = 4;
    t.referenceFields = {2, 3};
    // Run first, where the fuzzed Run used to be: the method slots of T
    // stay what the seeds call.
    p.AddMethod(t, "Run", "int", {}, GSAsm().Op(GETM, uint16_t(p.Field("T", 0))).Op(PUSH1).Op(ADD).Op(RETV));
    p.AddMethod(t, "Id", "int", {"int"}, GSAsm().Op(LOAD, 1).Op(RETV));
    p.AddMethod(t, "Text", "string", {}, GSAsm().Op(PUSHS, 2).Op(RETO));
    const uint16_t id = uint16_t(p.Slot("T", "Id"));
    p.AddMethod(t, "Work", "void", {"int"}, GSAsm().Op(LOADO, 0).Op(LOAD, 1).Call(CALL, -1, id).Op(POP).Op(RET))
        .flags = 1 | 16;
    p.AddMethod(t, "Wait", "int", {},
                GSAsm().Op(WAIT).U16(1).U16(3).U16(0).Target("on").Label("on").Op(POPO).Op(PUSH1).Op(RETV));
    // The system classes' references before V's, so that the class
    // references the seeds name stay where they were.
    p.Ref("GameObject");
    p.Ref("GSObject");
    GSProgram::Class& v = p.AddClass("V", {"T"});
    v.fields = 2;
    v.referenceFields = {1};
    GSProgram::Method& run = p.AddMethod(v, "Run", "int", {}, GSAsm());
    run.code.assign(data + 2, data + size);
    run.lines = {{0, 1}};
    run.locals = data[0] & 7;
    for (uint32_t i = 0; i < run.locals; ++i) {
        if (data[0] & (8u << i))
            run.objectLocals.push_back(i + 1);
    }
    run.maxStack = data[1];
    return p.Build();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzTempFolder folder("gs_run_fuzz");
    if (size < 3)
        return 0;
    GSRunLimits& limits = RunLimits();
    limits.jumpBudget = 0x4000;
    limits.maxArrayElements = 0x1000;
    limits.maxStringBytes = 0x10000;

    folder.Clear();
    {
        const std::vector<uint8_t> system = SystemLibraryImage();
        const std::vector<uint8_t> program = Program(data, size);
        std::ofstream(folder / "gs.gsl", std::ios::binary)
            .write(reinterpret_cast<const char*>(system.data()), std::streamsize(system.size()));
        std::ofstream(folder / "t.gsl", std::ios::binary)
            .write(reinterpret_cast<const char*>(program.data()), std::streamsize(program.size()));
    }
    GSMachine machine;
    machine.RegisterBuiltinNatives();
    Check(machine.AddLibraryFolder(Nyx::PString(folder.Path())));
    GSLibrary* library = machine.GetLibrary("t.gsl");
    if (!library)
        return 0;
    GSClass* cls = library->FindClass("V");
    Check(cls != nullptr);
    {
        GSContext context(&machine);
        context.SetRouter(std::make_unique<GSRouter>(&context));
        GSGameObject object;
        Check(object.AttachClass(cls, &context));
        context.Router()->AddNode(object);
        GSThread& thread = machine.MachineThread();
        GSSlot* const top = thread.stack.top;
        intptr_t result = 0;
        machine.CallFunction(&context, cls, object.GetInstance(), "$int@V::Run()", &result, {});
        Check(thread.stack.top == top && thread.stack.frame == nullptr);
        // The threads it started, each once; a waiting one is offered a
        // message and runs again.
        for (auto* node = object.Threads().First(); node; node = object.Threads().After(*node)) {
            auto* started = static_cast<GSThread*>(node);
            if (started->Execute(0.0f) != ER_Blocked)
                continue;
            started->QueueMessage(GSMessage{context.Router()->Intern("Ping"), 1, object.Id(), object.Id(), 0}, true);
            started->Execute(0.0f);
        }
        object.ClearThreads();
    }
    limits = GSRunLimits();
    return 0;
}
