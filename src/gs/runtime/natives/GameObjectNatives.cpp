// The natives of the script class GameObject: messages, handlers, sniffing,
// sleeping, the node's id and name, and warnings.
#include <string>

#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/natives/NativeParams.h"
#include "gs/runtime/objects/GSGameObject.h"
#include "gs/runtime/router/GSRouter.h"

namespace GSRuntime {

namespace {

constexpr float kShortestSleep = 0.000001f;

// A message from the object for the texts, or null when a text is null or
// cannot be interned (or the object is detached, which is logged).
GSMessage* MessageFrom(GSGameObject& from, const GSString* major, const GSString* minor, uint32_t destination,
                       uint32_t delayMs)
{
    if (!major || !minor)
        return nullptr;
    return from.RequestMessage(major->View(), minor->View(), destination, delayMs);
}

uint32_t DestinationOf(const GSGameObject* to) noexcept { return to ? to->Id() : 0; }

}  // namespace

void GSGameObject::NativeSendMessage(GSThread& thread)
{
    if (thread.flags & GSThread::kStaticThread) {
        thread.RaiseException("Static Thread cannot call SendMessage", false);
        return;
    }
    const GSString* major = StringParam(thread, 2);
    const GSString* minor = StringParam(thread, 3);
    if (!ChargeTexts({major, minor}))
        return;
    GSMessage* message = MessageFrom(*this, major, minor, DestinationOf(GameObjectParam(thread, 1)), 0);
    if (!message) {
        thread.RaiseException("GameObject::SendMessage() illegal major or minor string", false);
        return;
    }
    Router()->DeliverMessage(*message);
}

void GSGameObject::NativePostMessage(GSThread& thread)
{
    const GSString* major = StringParam(thread, 2);
    const GSString* minor = StringParam(thread, 3);
    if (!ChargeTexts({major, minor}))
        return;
    GSMessage* message = MessageFrom(*this, major, minor, DestinationOf(GameObjectParam(thread, 1)),
                                     DelayMilliseconds(FloatParam(thread, 4)));
    if (!message) {
        thread.RaiseException("GameObject::PostMessage() illegal major or minor string", false);
        return;
    }
    Router()->PostMessage(*message);
}

void GSGameObject::NativeClearMessages(GSThread& thread)
{
    GSRouter* router = Router();
    if (!router)
        return;
    const GSString* major = StringParam(thread, 1);
    const GSString* minor = StringParam(thread, 2);
    if (!ChargeTexts({major, minor}))
        return;
    const uint16_t majorId = router->Intern(major ? major->View() : std::string_view());
    const uint16_t minorId = router->Intern(minor ? minor->View() : std::string_view());
    if (majorId != 0 && minorId != 0)
        router->ClearMessages(*this, majorId, minorId);
}

void GSGameObject::NativeAddHandler(GSThread& thread)
{
    if (thread.stack.Local(1) == 0) {
        thread.RaiseException("target object is null for GameObject::AddHandler()", false);
        return;
    }
    GSGameObject* target = GameObjectParam(thread, 1);
    if (!target) {
        thread.RaiseException("target object is wrong type for GameObject::AddHandler()", false);
        return;
    }
    const GSString* major = StringParam(thread, 2);
    const GSString* minor = StringParam(thread, 3);
    const GSString* name = StringParam(thread, 4);
    GSScriptInstance* instance = Instance();
    GSRouter* router = target->Router() ? target->Router() : Router();
    if (!major || !name || !instance || !instance->cls || !router || !ChargeTexts({major, minor, name}))
        return;
    // The method of this object's class, or of the first base that has one.
    GSClass* cls = instance->cls;
    const std::string signature = std::string("$void@") + cls->name + "::" + name->Str() + "(Message)";
    GSFunction* function = cls->OwnFunction(signature.c_str());
    if (!function) {
        uint32_t baseOffset = 0;
        function = cls->FindInheritedFunction(signature.c_str(), baseOffset);
    }
    if (!function || !function->code || function->returnType != 0 || function->parameterCount != 2)
        return;
    const uint16_t majorId = router->Intern(major->View());
    const uint16_t minorId = router->Intern(minor ? minor->View() : std::string_view());
    if (majorId == 0 || minorId == 0)
        return;
    target->AddHandler(GSHandler{majorId, minorId, false, Id(), function->owner, function});
}

void GSGameObject::NativeSniff(GSThread& thread)
{
    const GSString* major = StringParam(thread, 2);
    if (!major) {
        thread.RaiseException("major type is null for GameObject::Sniff()", false);
        return;
    }
    GSGameObject* target = GameObjectParam(thread, 1);
    GSRouter* router = target ? target->Router() : nullptr;
    if (!router)
        return;
    const GSString* minor = StringParam(thread, 3);
    if (!ChargeTexts({major, minor}))
        return;
    const uint16_t majorId = router->Intern(major->View());
    const uint16_t minorId = router->Intern(minor ? minor->View() : std::string_view());
    if (majorId == 0 || minorId == 0)
        return;
    if (BoolParam(thread, 4))
        target->AddHandler(GSHandler{majorId, minorId, true, Id()});
    else
        target->RemoveSniff(majorId, minorId, Id());
}

void GSGameObject::NativeSleep(GSThread& thread)
{
    const float seconds = FloatParam(thread, 1);
    if (seconds > kShortestSleep && !(thread.flags & GSThread::kStaticThread)) {
        thread.timer = seconds;
        thread.state = GSThread::kBlocked;
    }
}

void GSGameObject::NativeGetId(GSThread& thread) { thread.stack.PushInt(int32_t(Id())); }

void GSGameObject::NativeGetName(GSThread& thread)
{
    const char* name = GetName();
    if (name)
        thread.stack.PushString(name);
    else
        thread.stack.Push(0);
}

void GSGameObject::NativeException(GSThread& thread)
{
    const GSString* text = StringParam(thread, 1);
    if (!ChargeTexts({text}))
        return;
    thread.RaiseException(text ? text->c_str() : "", true);
}

}  // namespace GSRuntime
