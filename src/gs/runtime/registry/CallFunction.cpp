// Calling a script function from native code, by its signature string.
#include <vector>

#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/library/FunctionSignature.h"
#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/library/GSFunction.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/objects/GSContext.h"
#include "gs/runtime/objects/GSGameObject.h"
#include "gs/runtime/objects/GSScriptInstance.h"
#include "gs/runtime/registry/GSMachine.h"

using namespace GSRuntime;

namespace {

// For each parameter of a signature: whether it is a reference, as the
// callee's frame takes it.
std::vector<bool> ReferenceParameters(const FunctionSignature& signature)
{
    std::vector<bool> kinds(signature.ArgumentCount());
    for (uint32_t i = 0; i < kinds.size(); ++i)
        kinds[i] = IsReferenceTypeCode(TypeCodeOf(signature.Argument(i)));
    return kinds;
}

// An argument as a stack word, counted when it is a reference.
GSSlot ArgumentSlot(intptr_t value, bool reference)
{
    if (!reference)
        return PlainCopy(value);
    auto* part = reinterpret_cast<GSSlot*>(value);
    if (part)
        AddPartReference(part);
    return MakeReference(part);
}

void PushCall(GSStack& stack, GSSlot* me, std::span<const intptr_t> args, const std::vector<bool>& references)
{
    AddPartReference(me);
    stack.Push(MakeReference(me));
    for (size_t i = 0; i < args.size(); ++i)
        stack.Push(ArgumentSlot(args[i], references[i]));
}

// The slots above `floor` that PushCall put there, when no frame took them.
void DropPushed(GSStack& stack, GSSlot* floor)
{
    while (stack.top > floor)
        ReleaseReference(*stack.top--);
}

}  // namespace

bool GSMachine::CallFunction(GSContext* context, GSClass* cls, GSSlot* instance, const char* signature,
                             intptr_t* result, std::span<const intptr_t> args)
{
    if (!context || !context->Router())
        return false;
    if (!cls || !instance || !signature)
        return false;
    GSClass::FunctionHit hit;
    if (!cls->FindFunction(signature, hit) || hit.slot < 0)
        return false;
    GSScriptInstance* object = GSScriptInstance::OfPart(instance);
    if (!object->cls)
        return false;
    // The part of the declaring class in this instance, through whose method
    // table the most derived function is found.
    const int64_t offset = hit.declaring->PartOffsetIn(*object->cls);
    if (offset < 0)
        return false;
    GSSlot* block = object->Fields();
    GSSlot* part = block + offset;
    const auto* table = reinterpret_cast<const GSClass::MethodEntry*>(part[1]);
    const GSClass& real = *object->cls;
    if (!table || table < real.methods.get() ||
        uint64_t(hit.slot) >= uint64_t(real.methods.get() + real.methodCount - table))
        return false;
    const GSClass::MethodEntry& entry = table[hit.slot];
    GSFunction* function = entry.reference->function;
    GSSlot* me = block + entry.partOffset;
    // The caller takes the result and passes the arguments as the
    // signature it asked for says: the function the table gives must be
    // that one or an override of it.
    FunctionSignature asked, called;
    if (!FunctionSignature::Parse(signature, asked) || !FunctionSignature::Parse(function->name, called) ||
        !asked.SameShape(called))
        return false;
    const std::vector<bool> references = ReferenceParameters(called);
    if (!function->code || args.size() + 1 != function->parameterCount || references.size() != args.size())
        return false;

    if (function->flags & GSFunction::kFlagThread) {
        GSObjectReference* owner = object->owner;
        if (!owner || owner->Kind() != GSObjectReference::kGameObject)
            return false;
        GSThread* thread = static_cast<GSGameObject*>(static_cast<GSObject*>(owner))->NewThread();
        if (!thread)
            return false;
        PushCall(thread->stack, me, args, references);
        if (!thread->stack.Call(*function, 0)) {
            DropPushed(thread->stack, thread->stack.Base() - 1);
            static_cast<GSGameObject*>(static_cast<GSObject*>(owner))->DeleteThread(*thread);
            return false;
        }
        return true;
    }

    GSThread& thread = MachineThread();
    GSThread::SavedRun saved;
    if (!thread.SetAside(saved))
        return false;
    GSSlot* const floor = thread.stack.top;
    if (!thread.stack.HasRoom(int32_t(args.size()) + 1)) {
        thread.Restore(saved);
        return false;
    }
    PushCall(thread.stack, me, args, references);
    if (!thread.stack.Call(*function, 0)) {
        DropPushed(thread.stack, floor);
        thread.Restore(saved);
        return false;
    }
    const GSExitCode code = thread.Execute(0.0f);
    if (code != ER_Done) {
        if (code == ER_Blocked)
            thread.stack.Clear();
        thread.Restore(saved);
        return false;
    }
    if (function->returnType != 0) {
        const GSSlot value = *thread.stack.top;
        if (!function->ReturnsReference()) {
            if (result)
                *result = PlainCopy(value);
        } else if (result)
            *result = IsReference(value) ? reinterpret_cast<intptr_t>(ReferencePart(value)) : 0;
        else
            ReleaseReference(value);
    }
    thread.Restore(saved);
    return true;
}
