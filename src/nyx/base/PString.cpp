#include "nyx/base/PString.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>
#include <unordered_set>

namespace Nyx {
namespace {

// The empty node is never freed and never counted: every empty PString
// shares it, so default construction costs no lock.
struct EmptyNodeStorage {
    PString::Node node{0, {1}, 0, {0}};
};
EmptyNodeStorage g_empty;

struct NodeHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>()(s); }
    size_t operator()(const PString::Node* n) const noexcept { return n->hash; }
};
struct NodeEq {
    using is_transparent = void;
    static std::string_view V(const PString::Node* n) { return {n->text, n->length}; }
    bool operator()(const PString::Node* a, const PString::Node* b) const noexcept { return a == b; }
    bool operator()(std::string_view a, const PString::Node* b) const noexcept { return a == V(b); }
    bool operator()(const PString::Node* a, std::string_view b) const noexcept { return V(a) == b; }
};

struct Cache {
    std::mutex lock;
    std::unordered_set<PString::Node*, NodeHash, NodeEq> nodes;
    size_t collectAt = 1u << 16;

    size_t CollectLocked()
    {
        size_t freed = 0;
        for (auto it = nodes.begin(); it != nodes.end();) {
            PString::Node* n = *it;
            if (n->refs.load(std::memory_order_acquire) == 0) {
                it = nodes.erase(it);
                n->~Node();
                std::free(n);
                ++freed;
            } else {
                ++it;
            }
        }
        return freed;
    }
};

// Constructed on first use and never destroyed, so PString constants made by
// static initialisers (and released by static destructors) in any unit are safe.
Cache& TheCache()
{
    static Cache* cache = new Cache;
    return *cache;
}

// Strings whose count fell to 0 since the last collection (a string taken
// up again still counts): a collection with none to free skips the walk,
// which the tool clock runs on every tick.
std::atomic<size_t> g_unreferenced{0};

void Release(PString::Node* n) noexcept
{
    if (n != &g_empty.node && n->refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
        g_unreferenced.fetch_add(1, std::memory_order_release);
}

void AddRef(PString::Node* n) noexcept
{
    if (n != &g_empty.node)
        n->refs.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

PString::PString() noexcept : node_(&g_empty.node) {}
PString::PString(const char* text) : PString(PStringCache::Create(text)) {}
PString::PString(std::string_view text) : PString(PStringCache::Create(text)) {}
PString::PString(const PString& other) noexcept : node_(other.node_) { AddRef(node_); }
PString::PString(PString&& other) noexcept : node_(other.node_) { other.node_ = &g_empty.node; }

PString& PString::operator=(const PString& other) noexcept
{
    if (node_ != other.node_) {
        AddRef(other.node_);
        Release(node_);
        node_ = other.node_;
    }
    return *this;
}

PString& PString::operator=(PString&& other) noexcept
{
    if (this != &other) {
        Release(node_);
        node_ = other.node_;
        other.node_ = &g_empty.node;
    }
    return *this;
}

PString::~PString() { Release(node_); }

bool PString::MakeLower()
{
    // The lower-cased text is never longer than the original, so the
    // conversion cannot run out of room: it always succeeds.
    if (Empty())
        return true;
    *this = PStringCache::ToLower(*this);
    return true;
}

PString PStringCache::Create(std::string_view text)
{
    if (text.empty())
        return PString();
    Cache& cache = TheCache();
    std::lock_guard<std::mutex> guard(cache.lock);
    auto it = cache.nodes.find(text);
    if (it != cache.nodes.end()) {
        (*it)->refs.fetch_add(1, std::memory_order_relaxed);
        return PString(*it);
    }
    if (cache.nodes.size() >= cache.collectAt) {
        cache.CollectLocked();
        cache.collectAt = std::max<size_t>(1u << 16, cache.nodes.size() * 2);
    }
    if (text.size() > UINT32_MAX - 1)
        throw std::length_error("PString too long");
    void* mem = std::malloc(sizeof(PString::Node) + text.size());
    if (!mem)
        throw std::bad_alloc();
    auto* n = new (mem) PString::Node{static_cast<uint32_t>(text.size()), {1}, NodeHash()(text), {0}};
    char* dst = n->text;
    std::memcpy(dst, text.data(), text.size());
    dst[text.size()] = 0;
    cache.nodes.insert(n);
    return PString(n);
}

PString PStringCache::ToLower(const PString& s)
{
    std::string_view v = s.View();
    size_t i = 0;
    while (i < v.size() && !(v[i] >= 'A' && v[i] <= 'Z'))
        ++i;
    if (i == v.size())
        return s;
    std::string lower(v);
    for (; i < lower.size(); ++i)
        if (lower[i] >= 'A' && lower[i] <= 'Z')
            lower[i] = static_cast<char>(lower[i] + ('a' - 'A'));
    return Create(lower);
}

size_t PStringCache::CollectGarbage()
{
    Cache& cache = TheCache();
    std::lock_guard<std::mutex> guard(cache.lock);
    // Taken before the walk: a string dropped while it runs is left to the
    // next collection.
    if (g_unreferenced.exchange(0, std::memory_order_acq_rel) == 0)
        return 0;
    return cache.CollectLocked();
}

size_t PStringCache::NodeCount()
{
    Cache& cache = TheCache();
    std::lock_guard<std::mutex> guard(cache.lock);
    return cache.nodes.size();
}

}  // namespace Nyx
