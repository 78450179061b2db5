// Making the instance of a script class for an object: its field block,
// its initial values and its constructors.
#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/objects/GSObject.h"
#include "gs/runtime/objects/GSScriptInstance.h"
#include "gs/runtime/registry/GSMachine.h"

namespace GSRuntime {

bool GSClass::Instantiate(GSObject& object, GSContext* context)
{
    if (object.Instance() && object.Instance()->cls)
        return false;
    GSScriptInstance* instance = GSScriptInstance::Create(*this, &object, context);
    if (!instance)
        return false;
    GSSlot* block = instance->Fields();
    object.instance_ = block;
    object.context_ = context;

    // Every part finds the header through its first word, whatever the
    // initialisers hold (the loader allows them only the same value).
    for (uint32_t b = 0; b < baseCount; ++b)
        block[BaseOffset(b)] = -GSSlot(BaseOffset(b));
    for (uint32_t i = 0; i < initialiserCount; ++i) {
        const uint32_t kind = InitialiserWord(i, 0), word = InitialiserWord(i, 1), value = InitialiserWord(i, 2);
        block[word] = kind == 0 ? IntSlot(int32_t(value)) : reinterpret_cast<GSSlot>(methods.get() + value);
    }

    bool built = true;
    for (uint32_t b = baseCount; built && b-- > 0;) {
        if (GSFunction* constructor = BaseClass(b)->Constructor())
            built = RunConstructor(*constructor, block + BaseOffset(b));
    }
    if (built) {
        if (GSFunction* constructor = Constructor())
            built = RunConstructor(*constructor, block);
    }
    if (built)
        return true;
    // The object goes back to having no instance; the instance is freed
    // unless a constructor handed a reference to it elsewhere.
    object.instance_ = nullptr;
    object.context_ = nullptr;
    instance->owner = nullptr;
    ReleasePart(block);
    return false;
}

bool GSClass::RunConstructor(GSFunction& constructor, GSSlot* part)
{
    // A constructor takes "me" alone.
    if (constructor.parameterCount != 1)
        return false;
    GSThread& thread = machine->MachineThread();
    GSThread::SavedRun saved;
    if (!thread.SetAside(saved))
        return false;
    GSExitCode code = ER_StackOverflow;
    if (thread.stack.PushInstance(part, true)) {
        if (thread.stack.Call(constructor, 0)) {
            code = thread.Execute(0.0f);
            if (code == ER_Blocked)
                thread.stack.Clear();
        } else {
            ReleasePart(part);
        }
    }
    thread.Restore(saved);
    return code == ER_Done;
}

}  // namespace GSRuntime
