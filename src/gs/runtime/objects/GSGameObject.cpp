#include "gs/runtime/objects/GSGameObject.h"

#include <algorithm>

#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/objects/GSContext.h"
#include "gs/runtime/objects/GSScriptInstance.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/runtime/router/GSRouter.h"

namespace GSRuntime {

namespace {

// Keeps the object's instance (and so an object that belongs to it) alive
// while the object runs scripts that may let go of it.
class HoldInstance {
public:
    explicit HoldInstance(GSObject& object) noexcept : part_(object.GetInstance())
    {
        if (part_)
            AddPartReference(part_);
    }
    ~HoldInstance()
    {
        if (part_)
            ReleasePart(part_);
    }
    HoldInstance(const HoldInstance&) = delete;
    HoldInstance& operator=(const HoldInstance&) = delete;

private:
    GSSlot* part_;
};

bool Matches(const GSHandler& handler, const GSMessage& message) noexcept
{
    return handler.major == message.major && (handler.minor == message.minor || handler.minor == GSRouter::kAnyMinor);
}

}  // namespace

GSGameObject::GSGameObject() noexcept : GSObject(kGameObject) { RequestUpdate(); }

GSGameObject::~GSGameObject()
{
    ClearThreads();
    ClearHandlers();
}

bool GSGameObject::AttachClass(GSClass* cls, GSContext* context)
{
    ClearThreads();
    ClearHandlers();
    if (!cls || !cls->gameObjectClass) {
        GSObject::AttachClass(nullptr, nullptr);
        return false;
    }
    return GSObject::AttachClass(cls, context);
}

GSThread* GSGameObject::NewThread()
{
    if (!instance_ || threads_.Count() >= kMaxThreads)
        return nullptr;
    auto* thread = new GSThread(this, 0);
    threads_.PushBack(*thread);
    RequestUpdate();
    return thread;
}

void GSGameObject::DeleteThread(GSThread& thread)
{
    threads_.Remove(thread);
    delete &thread;
}

void GSGameObject::ClearThreads()
{
    ++threadGeneration_;
    threads_.DeleteAll();
}

void GSGameObject::AddHandler(const GSHandler& handler)
{
    handlers_.push_back(handler);
    handlers_.back().serial = nextSerial_++;
    if (GSRouter* router = Router())
        router->Subscribe(*this, handler.major);
}

bool GSGameObject::RemoveSniff(uint16_t major, uint16_t minor, uint32_t node)
{
    for (auto it = handlers_.begin(); it != handlers_.end(); ++it) {
        if (it->sniff && it->major == major && it->minor == minor && it->node == node) {
            handlers_.erase(it);
            if (GSRouter* router = Router())
                router->Unsubscribe(*this, major);
            return true;
        }
    }
    return false;
}

void GSGameObject::ClearHandlers()
{
    if (GSRouter* router = Router()) {
        for (const GSHandler& handler : handlers_)
            router->Unsubscribe(*this, handler.major);
    }
    handlers_.clear();
}

bool GSGameObject::HasHandler(uint64_t serial) const noexcept
{
    return std::any_of(handlers_.begin(), handlers_.end(), [serial](const GSHandler& h) { return h.serial == serial; });
}

void GSGameObject::HandleMessage(GSMessage& message)
{
    GSRouter* router = Router();
    if (!router)
        return;
    HoldInstance hold(*this);
    bool handled = false;
    for (auto* t = threads_.First(); t; t = threads_.After(*t)) {
        if (static_cast<GSThread*>(t)->QueueMessage(message, true))
            handled = true;
    }
    // Handlers run scripts, which may add and remove handlers (of this
    // object too) and nodes: the walk goes over the handlers there were,
    // skipping those gone since, and looks every node up again.
    std::vector<GSHandler> present;
    for (const GSHandler& handler : handlers_) {
        if (Matches(handler, message))
            present.push_back(handler);
    }
    for (const GSHandler& handler : present) {
        router = Router();
        if (!router)
            break;
        if (!HasHandler(handler.serial))
            continue;
        GSNode* node = router->FindNode(handler.node);
        if (!node || !(node->flags & kAlive))
            continue;
        if (handler.sniff) {
            if (message.delay & GSMessage::kForwarding)
                continue;
            message.delay |= GSMessage::kForwarding;
            node->HandleMessage(message);
            message.delay &= ~GSMessage::kForwarding;
        } else if (auto* object = dynamic_cast<GSGameObject*>(node)) {
            object->RunHandler(handler, message);
            handled = true;
        }
    }
    if (!handled && message.major == GSRouter::kDestroy)
        flags |= kDestroyRequested;
}

bool GSGameObject::RunHandler(const GSHandler& handler, const GSMessage& message)
{
    GSScriptInstance* instance = Instance();
    GSContext* context = Context();
    GSSlot* view = instance && context ? CastToClass(instance->Fields(), handler.cls) : nullptr;
    if (!view)
        return false;
    HoldInstance hold(*this);
    GSThread& thread = context->Machine().MachineThread();
    GSThread::SavedRun saved;
    if (!thread.SetAside(saved))
        return false;
    if (!thread.stack.HasRoom(2)) {
        thread.Restore(saved);
        return false;
    }
    thread.stack.PushInstance(view, true);
    thread.stack.Push(MakeReference(context->CreateMessageObject(message)));
    if (thread.stack.Call(*handler.function, 0)) {
        if (thread.Execute(0.0f) == ER_Blocked)
            thread.stack.Clear();
    } else {
        ReleaseReference(*thread.stack.top--);
        ReleaseReference(*thread.stack.top--);
    }
    thread.Restore(saved);
    return true;
}

void GSGameObject::Update(float dt)
{
    HoldInstance hold(*this);
    GSNode::Update(dt);
    // Threads started during the update first run at the next one.
    std::vector<GSThread*> present;
    present.swap(spareThreadList_);
    for (auto* t = threads_.First(); t; t = threads_.After(*t))
        present.push_back(static_cast<GSThread*>(t));
    const uint32_t generation = threadGeneration_;
    for (GSThread* thread : present) {
        if (threadGeneration_ != generation)
            break;
        if (thread->Execute(dt) != ER_Blocked)
            DeleteThread(*thread);
    }
    present.clear();
    spareThreadList_.swap(present);
    if (threads_.Count() != 0)
        RequestUpdate();
}

}  // namespace GSRuntime
