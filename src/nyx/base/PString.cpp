#include "nyx/base/PString.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>
#include <vector>

namespace Nyx {
namespace {

// The empty node is never freed and never counted: every empty PString
// shares it, so default construction costs no lock.
struct EmptyNodeStorage {
    PString::Node node{0, {1}, 0, {0}};
};
EmptyNodeStorage g_empty;

size_t HashOf(std::string_view text) noexcept { return std::hash<std::string_view>()(text); }

// The interned nodes in one flat table probed in line, each slot with the
// node's hash: a lookup compares hashes in the table and reads a node only
// for its text, and a collection walks one array.
struct Cache {
    struct Slot {
        size_t hash;
        PString::Node* node;  // null: free
    };

    std::mutex lock;
    std::vector<Slot> slots;
    size_t count = 0;
    size_t collectAt = 1u << 16;

    size_t Home(size_t hash) const noexcept { return hash & (slots.size() - 1); }

    PString::Node* Find(std::string_view text, size_t hash) const noexcept
    {
        if (count == 0)
            return nullptr;
        for (size_t at = Home(hash);; at = (at + 1) & (slots.size() - 1)) {
            const Slot& slot = slots[at];
            if (!slot.node)
                return nullptr;
            if (slot.hash == hash && slot.node->length == text.size() &&
                std::memcmp(slot.node->text, text.data(), text.size()) == 0)
                return slot.node;
        }
    }

    void Place(PString::Node* n) noexcept
    {
        size_t at = Home(n->hash);
        while (slots[at].node)
            at = (at + 1) & (slots.size() - 1);
        slots[at] = Slot{n->hash, n};
    }

    // A table of at least twice `nodes` slots (64 at least), every node
    // placed anew.
    void Resize(size_t nodes)
    {
        size_t size = 64;
        while (size < nodes * 2)
            size *= 2;
        std::vector<Slot> old(size, Slot{0, nullptr});
        old.swap(slots);
        for (const Slot& slot : old)
            if (slot.node)
                Place(slot.node);
    }

    void Insert(PString::Node* n)
    {
        if ((count + 1) * 2 > slots.size())
            Resize(count + 1);
        Place(n);
        ++count;
    }

    // Empties a slot and moves the rest of its run back into the gap where
    // their lookups would otherwise stop short; no node is placed anew.
    void Vacate(size_t at) noexcept
    {
        const size_t mask = slots.size() - 1;
        slots[at].node = nullptr;
        for (size_t next = (at + 1) & mask; slots[next].node; next = (next + 1) & mask) {
            const size_t home = Home(slots[next].hash);
            // A slot whose home lies in the run after the gap, cyclically,
            // is found from there still.
            const bool stays = at <= next ? (at < home && home <= next) : (at < home || home <= next);
            if (stays)
                continue;
            slots[at] = slots[next];
            slots[next].node = nullptr;
            at = next;
        }
    }

    size_t CollectLocked()
    {
        size_t freed = 0;
        for (size_t at = 0; at < slots.size();) {
            PString::Node* n = slots[at].node;
            if (!n || n->refs.load(std::memory_order_acquire) != 0) {
                ++at;
                continue;
            }
            n->~Node();
            std::free(n);
            ++freed;
            --count;
            // What moved into the gap is looked at in its turn.
            Vacate(at);
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
    const size_t hash = HashOf(text);
    std::lock_guard<std::mutex> guard(cache.lock);
    if (PString::Node* found = cache.Find(text, hash)) {
        found->refs.fetch_add(1, std::memory_order_relaxed);
        return PString(found);
    }
    if (cache.count >= cache.collectAt) {
        cache.CollectLocked();
        cache.collectAt = std::max<size_t>(1u << 16, cache.count * 2);
    }
    if (text.size() > UINT32_MAX - 1)
        throw std::length_error("PString too long");
    void* mem = std::malloc(sizeof(PString::Node) + text.size());
    if (!mem)
        throw std::bad_alloc();
    auto* n = new (mem) PString::Node{static_cast<uint32_t>(text.size()), {1}, hash, {0}};
    char* dst = n->text;
    std::memcpy(dst, text.data(), text.size());
    dst[text.size()] = 0;
    try {
        cache.Insert(n);
    } catch (...) {
        n->~Node();
        std::free(n);
        throw;
    }
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
    return cache.count;
}

}  // namespace Nyx
