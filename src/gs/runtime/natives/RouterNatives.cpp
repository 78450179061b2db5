// The natives of the script class Router: members of the calling object's
// context.
#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/natives/NativeParams.h"
#include "gs/runtime/objects/GSContext.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/runtime/router/GSRouter.h"

namespace GSRuntime {

namespace {

// A node's script object as a GameObject view, or null when the node is
// no script object with an instance (or its class is secured and that
// counts).
GSSlot* GameObjectView(GSMachine& machine, GSNode* node, bool refuseSecured)
{
    auto* object = dynamic_cast<GSObject*>(node);
    GSScriptInstance* instance = object ? object->Instance() : nullptr;
    if (!instance || !instance->cls)
        return nullptr;
    if (refuseSecured && (instance->cls->flags & GSClass::kFlagSecured))
        return nullptr;
    return GSObject::CastToClass(instance->Fields(), machine.GetGameObjectClass());
}

}  // namespace

void GSContext::NativeGetGameObject(GSThread& thread)
{
    GSNode* node = router_ ? router_->FindNode(uint32_t(IntParam(thread, 1))) : nullptr;
    thread.stack.PushInstance(node ? GameObjectView(Machine(), node, true) : nullptr, true);
}

void GSContext::NativeGetForeignGameObject(GSThread& thread)
{
    const uint32_t id = uint32_t(IntParam(thread, 1));
    for (GSContext* context : All()) {
        GSRouter* router = context->Router();
        if (!router || router->hiddenFromForeignLookup)
            continue;
        GSNode* node = router->FindNode(id);
        if (GSSlot* view = node ? GameObjectView(context->Machine(), node, true) : nullptr) {
            thread.stack.PushInstance(view, true);
            return;
        }
    }
    thread.stack.Push(0);
}

void GSContext::NativeGetGameObjectByName(GSThread& thread)
{
    const GSString* name = StringParam(thread, 1);
    if (!ChargeTexts({name}))
        return;
    GSNode* node = router_ && name ? router_->FindNode(name->View()) : nullptr;
    thread.stack.PushInstance(node ? GameObjectView(Machine(), node, false) : nullptr, true);
}

void GSContext::NativeInfo(GSThread&)
{
    if (router_)
        router_->PrintInfo();
}

void GSContext::NativePostMessage(GSThread& thread)
{
    const GSString* major = StringParam(thread, 3);
    const GSString* minor = StringParam(thread, 4);
    if (!router_ || !major || !minor || !ChargeTexts({major, minor}))
        return;
    const uint16_t minorId = router_->Intern(minor->View());
    const uint16_t majorId = router_->Intern(major->View());
    if (majorId == 0 || minorId == 0)
        return;
    router_->PostMessage(GSMessage{majorId, minorId, uint32_t(IntParam(thread, 1)), uint32_t(IntParam(thread, 2)),
                                   DelayMilliseconds(FloatParam(thread, 5)) | GSMessage::kPooled});
}

}  // namespace GSRuntime
