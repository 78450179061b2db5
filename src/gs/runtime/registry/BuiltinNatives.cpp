#include "gs/runtime/registry/BuiltinNatives.h"

#include <memory>
#include <utility>

#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/natives/MathNatives.h"
#include "gs/runtime/natives/StrNatives.h"
#include "gs/runtime/objects/GSGameObject.h"
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

using GameObjectHandler = void (GSGameObject::*)(GSThread&);
using RouterHandler = void (GSContext::*)(GSThread&);

constexpr std::pair<const char*, GameObjectHandler> kGameObjectNatives[] = {
    {"$void@GameObject::SendMessage(GameObject,string,string)", &GSGameObject::NativeSendMessage},
    {"$void@GameObject::PostMessage(GameObject,string,string,float)", &GSGameObject::NativePostMessage},
    {"$void@GameObject::ClearMessages(string,string)", &GSGameObject::NativeClearMessages},
    {"$void@GameObject::AddHandler(GameObject,string,string,string)", &GSGameObject::NativeAddHandler},
    {"$void@GameObject::Sniff(GameObject,string,string,bool)", &GSGameObject::NativeSniff},
    {"$void@GameObject::Sleep(float)", &GSGameObject::NativeSleep},
    {"$int@GameObject::GetId()", &GSGameObject::NativeGetId},
    {"$string@GameObject::GetName()", &GSGameObject::NativeGetName},
    {"$void@GameObject::Exception(string)", &GSGameObject::NativeException},
};

constexpr std::pair<const char*, RouterHandler> kRouterNatives[] = {
    {"$GameObject@Router::GetGameObject(int)", &GSContext::NativeGetGameObject},
    {"$GameObject@Router::GetForeignGameObject(int)", &GSContext::NativeGetForeignGameObject},
    {"$GameObject@Router::GetGameObject(string)", &GSContext::NativeGetGameObjectByName},
    {"$void@Router::Info()", &GSContext::NativeInfo},
    {"$void@Router::PostMessage(int,int,string,string,float)", &GSContext::NativePostMessage},
};

}  // namespace

void RegisterBuiltinNativeTable(GSMachine& machine)
{
    machine.AddNative(std::make_unique<GSCNativeFunction>(
        Nyx::PString("GSObject"), Nyx::PString("$string@GSObject::GetGSClassName()"), &GetGSClassName));
    for (const auto& [signature, handler] : kGameObjectNatives)
        machine.AddNative(std::make_unique<GSCPPNativeFunction<GSGameObject>>(Nyx::PString("GameObject"),
                                                                             Nyx::PString(signature), handler));
    for (const auto& [signature, handler] : kRouterNatives)
        machine.AddNative(std::make_unique<GSCPPContextNativeFunction<GSContext>>(Nyx::PString("Router"),
                                                                                 Nyx::PString(signature), handler));
    RegisterMathNatives(machine);
    RegisterStrNatives(machine);
}

}  // namespace GSRuntime
