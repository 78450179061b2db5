// A router node: what a router knows of the objects that exchange messages.
// Ids come from a process-wide counter and are never reused.
#pragma once

#include <cstdint>
#include <deque>
#include <string_view>

#include "gs/support/DoubleLinkList.h"

class GSRouter;

namespace GSRuntime {

struct GSMessage;

class GSNode : public Utils::IDoubleLinkListNode {
public:
    static constexpr uint32_t kDetached = 0xFFFFFFFF;
    // Flags.
    static constexpr uint32_t kNoSubscriptionDelivery = 1;
    static constexpr uint32_t kAlive = 2;
    static constexpr uint32_t kDestroyRequested = 0x40000000;

    GSNode() = default;
    // Leaves its router.
    ~GSNode() override;

    // The node's name; none by default.
    virtual const char* GetName() const { return nullptr; }
    // One message for this node. By default a message of the major that
    // destroys marks the node for destruction and any other is ignored.
    virtual void HandleMessage(GSMessage& message);
    // The router's update, dt seconds after the last: by default the node's
    // own queued messages, in order.
    virtual void Update(float dt);

    // Nothing left to do at an update: no message of its own.
    virtual bool Idle() const noexcept { return ownQueue_.empty(); }

    // Asks the router for one update. A detached node remembers the request
    // until it is attached, unless it is marked for destruction: then it
    // deletes itself (such nodes live on the heap).
    void RequestUpdate();
    bool UpdateRequested() const noexcept { return updateRequested_; }

    // A message from this node, from the router's per-frame pool (valid
    // until the router's next step ends): names interned, delay cut to its
    // 30 bits. Null, logged, for a detached node; null when a name cannot
    // be interned.
    GSMessage* RequestMessage(std::string_view major, std::string_view minor, uint32_t destination,
                              uint32_t delayMs);
    // Queues a copy on the node's own queue, handled at its next update.
    void QueueOwnMessage(const GSMessage& message);
    size_t OwnQueued() const noexcept { return ownQueue_.size(); }

    uint32_t Id() const noexcept { return id_; }
    GSRouter* Router() const noexcept { return router_; }
    bool Attached() const noexcept { return router_ != nullptr; }

    uint32_t flags = kAlive;

private:
    friend class ::GSRouter;
    void ReleaseOwnQueue() noexcept;

    uint32_t id_ = kDetached;
    GSRouter* router_ = nullptr;
    std::deque<GSMessage*> ownQueue_;  // pooled copies
    bool updateRequested_ = false;
};

}  // namespace GSRuntime
