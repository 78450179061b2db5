// A router node: what a router knows of the objects that exchange messages.
// Ids come from a process-wide counter and are never reused.
#pragma once

#include <cstdint>

#include "gs/support/DoubleLinkList.h"

class GSRouter;

namespace GSRuntime {

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

    uint32_t Id() const noexcept { return id_; }
    GSRouter* Router() const noexcept { return router_; }
    bool Attached() const noexcept { return router_ != nullptr; }

    uint32_t flags = kAlive;

private:
    friend class ::GSRouter;
    uint32_t id_ = kDetached;
    GSRouter* router_ = nullptr;
};

}  // namespace GSRuntime
