// The message router of a script context: the major/minor string table,
// the nodes by id and by name, the message pool that thread queues draw
// from, and the counted subscriptions of nodes to major ids.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "gs/runtime/router/GSMessage.h"
#include "gs/runtime/router/GSNode.h"
#include "gs/support/DoubleLinkList.h"

namespace GSRuntime {
class GSContext;
}

class GSRouter {
public:
    // Ids the router's constructor gives first.
    static constexpr uint16_t kAnyMinor = 1;  // the empty name
    static constexpr uint16_t kDebug = 2;
    static constexpr uint16_t kDestroy = 3;
    static constexpr uint16_t kDumpStacks = 4;
    // Names interned later start here, so user majors go to subscribers.
    static constexpr uint16_t kFirstUserId = 100;

    explicit GSRouter(GSRuntime::GSContext* context);
    GSRouter(const GSRouter&) = delete;
    GSRouter& operator=(const GSRouter&) = delete;
    // Detaches the nodes still attached.
    ~GSRouter();

    GSRuntime::GSContext* Context() const noexcept { return context_; }

    // The id of a name, given on first use; the empty name is 1. 0 when
    // every id is taken.
    uint16_t Intern(std::string_view name);
    // The name of an id, or null.
    const char* Text(uint16_t id) const noexcept;

    // Attaches a detached node under the next process-wide id; a named node
    // enters the name table unless the name is taken.
    bool AddNode(GSRuntime::GSNode& node);
    void RemoveNode(GSRuntime::GSNode& node);
    GSRuntime::GSNode* FindNode(uint32_t id) const noexcept;
    GSRuntime::GSNode* FindNode(std::string_view name) const noexcept;
    const Utils::DoubleLinkList& Nodes() const noexcept { return nodes_; }

    // Messages of the pool (flag kPooled set); the router frees them all
    // when it ends.
    GSRuntime::GSMessage* AllocateMessage();
    void FreeMessage(GSRuntime::GSMessage* message) noexcept;

    // Counted subscriptions of a node to a major id.
    void Subscribe(const GSRuntime::GSNode& node, uint16_t major);
    void Unsubscribe(const GSRuntime::GSNode& node, uint16_t major);
    uint32_t Subscriptions(const GSRuntime::GSNode& node, uint16_t major) const noexcept;

private:
    GSRuntime::GSContext* context_;
    std::vector<std::string> names_;  // by id; id 0 unused
    std::unordered_map<std::string, uint16_t> ids_;
    std::unordered_map<uint32_t, GSRuntime::GSNode*> byId_;
    std::map<std::string, GSRuntime::GSNode*, std::less<>> byName_;
    Utils::DoubleLinkList nodes_;
    std::vector<std::unique_ptr<GSRuntime::GSMessage[]>> messageChunks_;
    std::vector<GSRuntime::GSMessage*> freeMessages_;
    std::map<uint16_t, std::map<uint32_t, uint32_t>> subscriptions_;  // major -> node id -> count
};
