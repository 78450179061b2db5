#include "gs/runtime/router/GSNode.h"

#include "gs/runtime/router/GSRouter.h"
#include "gs/support/ScriptLogHook.h"

namespace GSRuntime {

GSNode::~GSNode()
{
    if (router_)
        router_->RemoveNode(*this);
}

void GSNode::HandleMessage(GSMessage& message)
{
    if (message.major == GSRouter::kDestroy)
        flags |= kDestroyRequested;
}

void GSNode::Update(float)
{
    // Taken one at a time: a handler may queue more, or detach the node.
    while (router_ && !ownQueue_.empty()) {
        GSMessage* message = ownQueue_.front();
        ownQueue_.pop_front();
        GSMessage copy = *message;
        router_->FreeMessage(message);
        HandleMessage(copy);
    }
}

void GSNode::RequestUpdate()
{
    if (router_) {
        router_->RequestUpdate(*this);
        return;
    }
    if (flags & kDestroyRequested) {
        delete this;
        return;
    }
    updateRequested_ = true;
}

GSMessage* GSNode::RequestMessage(std::string_view major, std::string_view minor, uint32_t destination,
                                  uint32_t delayMs)
{
    if (!router_) {
        ScriptLog("GSNode::RequestMessage> source is not attached to router");
        return nullptr;
    }
    const uint16_t minorId = router_->Intern(minor);
    const uint16_t majorId = router_->Intern(major);
    if (minorId == 0 || majorId == 0)
        return nullptr;
    GSMessage* message = router_->AllocateFrameMessage();
    *message = GSMessage{majorId, minorId, id_, destination, (delayMs & GSMessage::kDelayMask) | GSMessage::kPooled};
    return message;
}

void GSNode::QueueOwnMessage(const GSMessage& message)
{
    if (!router_)
        return;
    GSMessage* copy = router_->AllocateMessage();
    *copy = message;
    copy->delay |= GSMessage::kPooled;
    ownQueue_.push_back(copy);
    RequestUpdate();
}

void GSNode::ReleaseOwnQueue() noexcept
{
    for (GSMessage* message : ownQueue_)
        router_->FreeMessage(message);
    ownQueue_.clear();
}

}  // namespace GSRuntime
