#include "gs/runtime/router/GSRouter.h"

#include <algorithm>

using GSRuntime::GSMessage;
using GSRuntime::GSNode;

namespace {

// Node ids of the whole process: a node never gets an id another node had.
uint32_t g_lastNodeId = 0;

constexpr size_t kMessageChunk = 64;

}  // namespace

GSRouter::GSRouter(GSRuntime::GSContext* context) : context_(context)
{
    names_.resize(kFirstUserId);
    for (const char* name : {"", "Debug", "Destroy", "DumpStacks"})
        Intern(name);
}

GSRouter::~GSRouter()
{
    while (Utils::IDoubleLinkListNode* node = nodes_.First())
        RemoveNode(*static_cast<GSNode*>(node));
}

uint16_t GSRouter::Intern(std::string_view name)
{
    std::string key(name);
    auto found = ids_.find(key);
    if (found != ids_.end())
        return found->second;
    // The four built-in names take ids 1-4; the rest start at 100.
    size_t id = ids_.size() < 4 ? ids_.size() + 1 : std::max<size_t>(names_.size(), kFirstUserId);
    if (id > 0xFFFF)
        return 0;
    if (names_.size() <= id)
        names_.resize(id + 1);
    names_[id] = key;
    ids_.emplace(std::move(key), uint16_t(id));
    return uint16_t(id);
}

const char* GSRouter::Text(uint16_t id) const noexcept
{
    if (id == 0 || id >= names_.size() || (id >= 5 && id < kFirstUserId))
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
    return true;
}

void GSRouter::RemoveNode(GSNode& node)
{
    if (node.router_ != this)
        return;
    for (auto& [major, nodes] : subscriptions_)
        nodes.erase(node.id_);
    for (auto it = byName_.begin(); it != byName_.end(); ++it) {
        if (it->second == &node) {
            byName_.erase(it);
            break;
        }
    }
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
    *message = GSMessage{0, 0, 0, 0, GSMessage::kPooled};
    return message;
}

void GSRouter::FreeMessage(GSMessage* message) noexcept
{
    if (message)
        freeMessages_.push_back(message);
}

void GSRouter::Subscribe(const GSNode& node, uint16_t major)
{
    ++subscriptions_[major][node.Id()];
}

void GSRouter::Unsubscribe(const GSNode& node, uint16_t major)
{
    auto tree = subscriptions_.find(major);
    if (tree == subscriptions_.end())
        return;
    auto entry = tree->second.find(node.Id());
    if (entry == tree->second.end())
        return;
    if (--entry->second == 0)
        tree->second.erase(entry);
    if (tree->second.empty())
        subscriptions_.erase(tree);
}

uint32_t GSRouter::Subscriptions(const GSNode& node, uint16_t major) const noexcept
{
    auto tree = subscriptions_.find(major);
    if (tree == subscriptions_.end())
        return 0;
    auto entry = tree->second.find(node.Id());
    return entry == tree->second.end() ? 0 : entry->second;
}
