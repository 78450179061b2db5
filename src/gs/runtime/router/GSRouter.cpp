#include "gs/runtime/router/GSRouter.h"

#include <algorithm>

#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/objects/GSGameObject.h"
#include "gs/support/ScriptLogHook.h"

using GSRuntime::GSMessage;
using GSRuntime::GSNode;
using GSRuntime::MajorSubscriptions;
using GSRuntime::Subscription;

namespace {

// Node ids of the whole process: a node never gets an id another node had.
uint32_t g_lastNodeId = 0;

constexpr size_t kMessageChunk = 64;
constexpr uint32_t kBuiltinNames = 4;
constexpr size_t kLastId = 0xFFFF;

}  // namespace

GSRouter::GSRouter(GSRuntime::GSContext* context) : context_(context)
{
    names_.resize(kFirstUserId);
    for (const char* name : {"", "Debug", "Destroy", "DumpStacks"})
        Intern(name);
}

GSRouter::~GSRouter()
{
    ScriptLog("GSRouter::Done(), %d outstanding node(s)", int(nodes_.Count()));
    while (Utils::IDoubleLinkListNode* node = nodes_.First())
        RemoveNode(*static_cast<GSNode*>(node));
    for (auto& major : subscriptions_) {
        if (!major)
            continue;
        while (Utils::GSIAVLNode* root = major->tree.Root())
            delete static_cast<Subscription*>(major->tree.Remove(*root));
    }
    for (Subscription* s : freeSubscriptions_)
        delete s;
}

uint16_t GSRouter::Intern(std::string_view name)
{
    RecentName& recent = recent_[((reinterpret_cast<uintptr_t>(name.data()) >> 3) ^ name.size()) % kRecentNames];
    if (recent.data == name.data() && recent.size == name.size() && recent.id != 0 && names_[recent.id] == name)
        return recent.id;
    auto found = ids_.find(name);
    if (found != ids_.end()) {
        recent = RecentName{name.data(), name.size(), found->second};
        return found->second;
    }
    // The four built-in names take ids 1-4; the rest start at 100.
    const size_t id = ids_.size() < kBuiltinNames ? ids_.size() + 1 : std::max<size_t>(names_.size(), kFirstUserId);
    if (id > kLastId)
        return 0;
    if (names_.size() <= id)
        names_.resize(id + 1);
    names_[id] = name;
    ids_.emplace(std::string(name), uint16_t(id));
    return uint16_t(id);
}

const char* GSRouter::Text(uint16_t id) const noexcept
{
    if (id == 0 || id >= names_.size() || (id > kBuiltinNames && id < kFirstUserId))
        return nullptr;
    return names_[id].c_str();
}

bool GSRouter::AddNode(GSNode& node)
{
    if (node.router_)
        return false;
    node.id_ = ++g_lastNodeId;
    node.router_ = this;
    const char* name = node.GetName();
    if (name && *name)
        byName_.emplace(name, &node);
    byId_[node.id_] = &node;
    nodes_.PushFront(node);
    // A request made while detached counts from now on.
    if (node.updateRequested_)
        updates_.push_back(node.id_);
    return true;
}

void GSRouter::RemoveNode(GSNode& node)
{
    if (node.router_ != this)
        return;
    const Subscription key(&node);
    for (auto& major : subscriptions_) {
        if (!major)
            continue;
        if (auto* s = static_cast<Subscription*>(major->tree.Remove(key))) {
            --major->count;
            freeSubscriptions_.push_back(s);
        }
    }
    for (auto it = byName_.begin(); it != byName_.end(); ++it) {
        if (it->second == &node) {
            byName_.erase(it);
            break;
        }
    }
    node.ReleaseOwnQueue();
    byId_.erase(node.id_);
    nodes_.Remove(node);
    node.router_ = nullptr;
    node.id_ = GSNode::kDetached;
}

GSNode* GSRouter::FindNode(uint32_t id) const noexcept
{
    auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : it->second;
}

GSNode* GSRouter::FindNode(std::string_view name) const noexcept
{
    auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : it->second;
}

GSMessage* GSRouter::AllocateMessage()
{
    if (freeMessages_.empty()) {
        messageChunks_.push_back(std::make_unique<GSMessage[]>(kMessageChunk));
        GSMessage* chunk = messageChunks_.back().get();
        for (size_t i = kMessageChunk; i-- > 0;)
            freeMessages_.push_back(&chunk[i]);
    }
    GSMessage* message = freeMessages_.back();
    freeMessages_.pop_back();
    ++messageAllocations_;
    *message = GSMessage{0, 0, 0, 0, GSMessage::kPooled};
    return message;
}

void GSRouter::FreeMessage(GSMessage* message) noexcept
{
    if (message)
        freeMessages_.push_back(message);
}

GSMessage* GSRouter::AllocateFrameMessage()
{
    const size_t chunk = frameUsed_ / kMessageChunk;
    if (chunk == frameChunks_.size())
        frameChunks_.push_back(std::make_unique<GSMessage[]>(kMessageChunk));
    GSMessage* message = &frameChunks_[chunk][frameUsed_ % kMessageChunk];
    ++frameUsed_;
    ++frameAllocations_;
    *message = GSMessage{0, 0, 0, 0, 0};
    return message;
}

void GSRouter::Subscribe(const GSNode& node, uint16_t major)
{
    if (node.router_ != this)
        return;
    if (subscriptions_.size() <= major)
        subscriptions_.resize(size_t(major) + 1);
    std::unique_ptr<MajorSubscriptions>& record = subscriptions_[major];
    if (!record) {
        record = std::make_unique<MajorSubscriptions>();
        ++subscriptionTrees_;
    }
    const Subscription key(&node);
    if (auto* s = static_cast<Subscription*>(record->tree.Find(key))) {
        ++s->count;
        return;
    }
    Subscription* s;
    if (freeSubscriptions_.empty()) {
        s = new Subscription(&node);
    } else {
        s = freeSubscriptions_.back();
        freeSubscriptions_.pop_back();
        s->node = &node;
    }
    s->count = 1;
    record->tree.Insert(*s);
    ++record->count;
}

void GSRouter::Unsubscribe(const GSNode& node, uint16_t major)
{
    if (major >= subscriptions_.size() || !subscriptions_[major])
        return;
    MajorSubscriptions& record = *subscriptions_[major];
    const Subscription key(&node);
    auto* s = static_cast<Subscription*>(record.tree.Find(key));
    if (!s || --s->count > 0)
        return;
    record.tree.Remove(key);
    --record.count;
    freeSubscriptions_.push_back(s);
}

uint32_t GSRouter::Subscriptions(const GSNode& node, uint16_t major) const noexcept
{
    const MajorSubscriptions* record = SubscribersOf(major);
    if (!record)
        return 0;
    const Subscription key(&node);
    auto* s = static_cast<const Subscription*>(record->tree.Find(key));
    return s ? uint32_t(s->count) : 0;
}

const MajorSubscriptions* GSRouter::SubscribersOf(uint16_t major) const noexcept
{
    return major < subscriptions_.size() ? subscriptions_[major].get() : nullptr;
}

void GSRouter::RequestUpdate(GSNode& node)
{
    if (node.updateRequested_)
        return;
    node.updateRequested_ = true;
    updates_.push_back(node.id_);
}

std::vector<uint32_t>& GSRouter::TakeSnapshot()
{
    if (snapshotDepth_ == snapshots_.size())
        snapshots_.emplace_back();
    std::vector<uint32_t>& ids = snapshots_[snapshotDepth_++];
    ids.clear();
    return ids;
}

void GSRouter::PrintInfo() const
{
    ScriptLog("ROUTER INFO\n===========");
    ScriptLog("%d Node(s)", int(nodes_.Count()));
    ScriptLog("%d Message(s) in the delay queue", int(delayed_.size()));
    ScriptLog("%d Major types", int(ids_.size()));
    ScriptLog("%d Message allocations", int(messageAllocations_));
    ScriptLog("%d Frame message allocations", int(frameAllocations_));
    ScriptLog("%d Posted messages", int(postedMessages_));
    ScriptLog("%d Subscription AVL trees", int(subscriptionTrees_));
}

bool GSRouter::Settled() const noexcept
{
    if (!immediate_.empty() || !delayed_.empty())
        return false;
    for (auto* n = nodes_.First(); n; n = nodes_.After(*n)) {
        if (!static_cast<const GSNode*>(n)->Idle())
            return false;
    }
    return true;
}
