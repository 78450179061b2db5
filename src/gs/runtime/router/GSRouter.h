// The message router of a script context: the major/minor string table,
// the nodes by id and by name, the immediate queue and the delay heap, the
// router clock, the message pools that queues and thread queues draw from,
// the counted subscriptions of nodes to major ids, and the set of nodes
// that asked for an update.
//
// Sends are delivered at once; posts wait in the queues until the router's
// host steps it (Step): the clock moves on, the messages queued before the
// step and the delayed ones now due are delivered, and the nodes that asked
// are updated.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "gs/runtime/router/GSMessage.h"
#include "gs/runtime/router/GSNode.h"
#include "gs/runtime/router/Subscription.h"
#include "gs/support/DoubleLinkList.h"

namespace GSRuntime {
class GSContext;
class GSGameObject;
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
    // Logs "GSRouter::Done(), %d outstanding node(s)" and detaches the
    // nodes still attached.
    ~GSRouter();

    GSRuntime::GSContext* Context() const noexcept { return context_; }

    // The id of a name, given on first use; the empty name is 1. 0 once
    // every 16-bit id is taken: no name is given an id another has.
    uint16_t Intern(std::string_view name);
    // The name of an id, or null.
    const char* Text(uint16_t id) const noexcept;
    uint32_t NameCount() const noexcept { return uint32_t(ids_.size()); }

    // Attaches a detached node under the next process-wide id; a named node
    // enters the name table unless the name is taken.
    bool AddNode(GSRuntime::GSNode& node);
    // Detaches the node: its subscriptions, its name and id entries and its
    // own queued messages go.
    void RemoveNode(GSRuntime::GSNode& node);
    GSRuntime::GSNode* FindNode(uint32_t id) const noexcept;
    GSRuntime::GSNode* FindNode(std::string_view name) const noexcept;
    const Utils::DoubleLinkList& Nodes() const noexcept { return nodes_; }
    // Set: Router::GetForeignGameObject of other contexts passes this
    // router by.
    bool hiddenFromForeignLookup = false;

    // Messages of the pool (flag kPooled set); the pool grows as needed and
    // the router frees it all when it ends.
    GSRuntime::GSMessage* AllocateMessage();
    void FreeMessage(GSRuntime::GSMessage* message) noexcept;
    // Messages of the per-frame pool, all taken back when a step ends.
    GSRuntime::GSMessage* AllocateFrameMessage();

    // Delay 0: to the back of the immediate queue. Otherwise a pooled copy
    // waits on the delay heap until the clock reaches its due time.
    void PostMessage(const GSRuntime::GSMessage& message);
    // Hands the message to its destination, or to every subscriber of its
    // major (ids from kFirstUserId) or every node (below) when it has none.
    // The stack-dump pair is consumed here.
    void DeliverMessage(GSRuntime::GSMessage& message);
    // Takes the delayed messages for the node of the major and minor (the
    // empty minor matches any) off the heap, logging how many went.
    uint32_t ClearMessages(const GSRuntime::GSNode& node, uint16_t major, uint16_t minor);

    // Counted subscriptions of an attached node to a major id.
    void Subscribe(const GSRuntime::GSNode& node, uint16_t major);
    void Unsubscribe(const GSRuntime::GSNode& node, uint16_t major);
    uint32_t Subscriptions(const GSRuntime::GSNode& node, uint16_t major) const noexcept;
    // The subscription tree of a major id, or null when it never had one.
    const GSRuntime::MajorSubscriptions* SubscribersOf(uint16_t major) const noexcept;

    // One step of the router's host: the clock moves on by dt seconds; the
    // immediate messages queued before the step are delivered in order,
    // then the delayed ones now due in due order; the nodes that asked are
    // updated; the per-frame pool is taken back. What a step queues waits
    // for the next.
    void Step(float dt);
    // No queued or delayed message, no node's own message and no thread of
    // a game object left.
    bool Settled() const noexcept;

    // The clock in milliseconds, and as the 30 bits messages carry.
    uint64_t ClockMs() const noexcept { return clockMs_; }
    uint32_t Clock() const noexcept { return uint32_t(clockMs_) & GSRuntime::GSMessage::kDelayMask; }
    size_t ImmediateCount() const noexcept { return immediate_.size(); }
    size_t DelayedCount() const noexcept { return delayed_.size(); }
    // The delayed messages in due order (copies).
    std::vector<GSRuntime::GSMessage> Delayed() const;

    // "ROUTER INFO" and its counts, to the script log.
    void PrintInfo() const;

private:
    friend class GSRuntime::GSNode;

    struct Due {
        uint64_t due;     // clock time, in full
        uint64_t serial;  // posting order among equal due times
        GSRuntime::GSMessage* message;
        bool operator>(const Due& other) const noexcept
        {
            return due != other.due ? due > other.due : serial > other.serial;
        }
    };
    // Recent names by where their text lies: waits name the same library
    // strings each time, and a send's new strings often lie where the last
    // ones did. A hit is checked against the name itself.
    struct RecentName {
        const char* data = nullptr;
        size_t size = 0;
        uint16_t id = 0;
    };
    static constexpr size_t kRecentNames = 64;
    struct NameHash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>()(s); }
    };

    void RequestUpdate(GSRuntime::GSNode& node);
    void DumpStacks(uint32_t destination);
    static void DumpThreads(GSRuntime::GSGameObject& object);
    // A list for the node ids of one delivery; DropSnapshot gives it back.
    std::vector<uint32_t>& TakeSnapshot();
    void DropSnapshot() noexcept { --snapshotDepth_; }

    GSRuntime::GSContext* context_;
    std::vector<std::string> names_;  // by id; id 0 unused
    std::unordered_map<std::string, uint16_t, NameHash, std::equal_to<>> ids_;
    RecentName recent_[kRecentNames];
    std::unordered_map<uint32_t, GSRuntime::GSNode*> byId_;
    std::map<std::string, GSRuntime::GSNode*, std::less<>> byName_;
    Utils::DoubleLinkList nodes_;

    std::deque<GSRuntime::GSMessage> immediate_;
    std::vector<Due> delayed_;  // a heap, soonest first
    uint64_t serial_ = 0;
    uint64_t clockMs_ = 0;

    std::vector<std::unique_ptr<GSRuntime::GSMessage[]>> messageChunks_;
    std::vector<GSRuntime::GSMessage*> freeMessages_;
    std::vector<std::unique_ptr<GSRuntime::GSMessage[]>> frameChunks_;
    size_t frameUsed_ = 0;

    std::vector<std::unique_ptr<GSRuntime::MajorSubscriptions>> subscriptions_;  // by major id
    uint32_t subscriptionTrees_ = 0;
    std::vector<GSRuntime::Subscription*> freeSubscriptions_;

    std::vector<uint32_t> updates_;  // ids of the nodes that asked
    // Node ids a delivery walks, one list per delivery in progress: a
    // handler may deliver again.
    std::deque<std::vector<uint32_t>> snapshots_;
    size_t snapshotDepth_ = 0;

    uint32_t postedMessages_ = 0;
    uint32_t messageAllocations_ = 0;
    uint32_t frameAllocations_ = 0;
};
