#include "gs/runtime/registry/BuiltinNatives.h"

#include <memory>

#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/objects/GSScriptInstance.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/runtime/registry/GSNativeFunction.h"

namespace GSRuntime {

namespace {

// "$string@GSObject::GetGSClassName()": the class of the object the calling
// frame runs on, "void" when it has none.
void GetGSClassName(GSContext*, GSThread& thread)
{
    const GSSlot me = thread.stack.Local(0);
    const char* name = "void";
    if (IsReference(me)) {
        const GSScriptInstance* instance = GSScriptInstance::OfPart(ReferencePart(me));
        if (instance->cls)
            name = instance->cls->name;
    }
    thread.stack.PushString(name);
}

// The GameObject and Router natives work on the message router, which
// binds their handlers; until it does, their place in the list is kept and
// a call of one fails (ER_NativeCallError) instead of leaving the system
// library's natives unresolved.
class GSRouterPendingNative : public GSNativeFunction {
public:
    using GSNativeFunction::GSNativeFunction;
    bool Call(GSObject*, GSThread&) override { return false; }
};

constexpr const char* kGameObjectNatives[] = {
    "$void@GameObject::SendMessage(GameObject,string,string)",
    "$void@GameObject::PostMessage(GameObject,string,string,float)",
    "$void@GameObject::ClearMessages(string,string)",
    "$void@GameObject::AddHandler(GameObject,string,string,string)",
    "$void@GameObject::Sniff(GameObject,string,string,bool)",
    "$void@GameObject::Sleep(float)",
    "$int@GameObject::GetId()",
    "$string@GameObject::GetName()",
    "$void@GameObject::Exception(string)",
};

constexpr const char* kRouterNatives[] = {
    "$GameObject@Router::GetGameObject(int)",
    "$GameObject@Router::GetForeignGameObject(int)",
    "$GameObject@Router::GetGameObject(string)",
    "$void@Router::Info()",
    "$void@Router::PostMessage(int,int,string,string,float)",
};

}  // namespace

void RegisterBuiltinNativeTable(GSMachine& machine)
{
    machine.AddNative(std::make_unique<GSCNativeFunction>(
        Nyx::PString("GSObject"), Nyx::PString("$string@GSObject::GetGSClassName()"), &GetGSClassName));
    for (const char* signature : kGameObjectNatives)
        machine.AddNative(std::make_unique<GSRouterPendingNative>(Nyx::PString("GameObject"), Nyx::PString(signature)));
    for (const char* signature : kRouterNatives)
        machine.AddNative(std::make_unique<GSRouterPendingNative>(Nyx::PString("Router"), Nyx::PString(signature)));
}

}  // namespace GSRuntime
