// Interned, reference-counted engine strings.
//
// Every distinct text lives in exactly one node of the process-wide cache, so
// two PStrings are equal exactly when they share a node: comparison is a
// pointer test. Nodes whose count drops to 0 stay in the cache until the next
// garbage collection, which keeps a release lock-free and lets a concurrent
// Create revive a node without racing its deletion.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace Nyx {

class PStringCache;

class PString {
public:
    struct Node {
        uint32_t length;
        std::atomic<uint32_t> refs;
        size_t hash;
        char text[1];  // length + 1 bytes, NUL-terminated
    };

    PString() noexcept;
    PString(const char* text);  // interns; null gives the empty string
    PString(std::string_view text);
    PString(const std::string& text) : PString(std::string_view(text)) {}
    PString(const PString& other) noexcept;
    PString(PString&& other) noexcept;
    PString& operator=(const PString& other) noexcept;
    PString& operator=(PString&& other) noexcept;
    ~PString();

    const char* c_str() const noexcept { return node_->text; }
    const char* Text() const noexcept { return node_->text; }
    uint32_t Length() const noexcept { return node_->length; }
    bool Empty() const noexcept { return node_->length == 0; }
    std::string_view View() const noexcept { return {node_->text, node_->length}; }
    std::string Str() const { return std::string(View()); }

    // Replaces this string by its lower-cased (ASCII) interned form; an
    // empty string is left alone. Returns true when done, which is always.
    bool MakeLower();

    bool operator==(const PString& other) const noexcept { return node_ == other.node_; }
    bool operator!=(const PString& other) const noexcept { return node_ != other.node_; }
    // Byte-wise order of the texts, for sorted containers; not identity.
    bool operator<(const PString& other) const noexcept { return View() < other.View(); }

    // Identity of the interned node; stable while any reference lives.
    const void* Identity() const noexcept { return node_; }
    size_t Hash() const noexcept { return std::hash<const void*>()(node_); }
    // Current reference count of the node (for tests and diagnostics).
    uint32_t RefCount() const noexcept { return node_->refs.load(std::memory_order_relaxed); }

private:
    friend class PStringCache;
    explicit PString(Node* adopted) noexcept : node_(adopted) {}
    Node* node_;
};

class PStringCache {
public:
    // Interns a text; the empty text always gives the one shared empty node.
    static PString Create(std::string_view text);
    static PString Create(const char* text) { return Create(text ? std::string_view(text) : std::string_view()); }
    // The lower-cased (ASCII letters only) interned form of a string.
    static PString ToLower(const PString& s);
    // Frees every node that no PString refers to; returns how many were freed.
    static size_t CollectGarbage();
    // Number of nodes held, live or awaiting collection (empty node excluded).
    static size_t NodeCount();
};

}  // namespace Nyx

template <>
struct std::hash<Nyx::PString> {
    size_t operator()(const Nyx::PString& s) const noexcept { return s.Hash(); }
};
