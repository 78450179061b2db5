// Intrusive doubly linked list with a count and a sentinel: the machine's
// loaded libraries and native bindings live in such lists.
#pragma once

#include <cstdint>

namespace Utils {

class IDoubleLinkListNode {
public:
    IDoubleLinkListNode() = default;
    IDoubleLinkListNode(const IDoubleLinkListNode&) = delete;
    IDoubleLinkListNode& operator=(const IDoubleLinkListNode&) = delete;
    virtual ~IDoubleLinkListNode() = default;

    bool Linked() const noexcept { return prev != nullptr; }

    IDoubleLinkListNode* prev = nullptr;
    IDoubleLinkListNode* next = nullptr;
};

// Does not own its nodes; DeleteAll destroys them.
class DoubleLinkList {
public:
    DoubleLinkList() noexcept { sentinel_.prev = sentinel_.next = &sentinel_; }
    DoubleLinkList(const DoubleLinkList&) = delete;
    DoubleLinkList& operator=(const DoubleLinkList&) = delete;

    void PushFront(IDoubleLinkListNode& node) noexcept { InsertAfter(sentinel_, node); }
    void PushBack(IDoubleLinkListNode& node) noexcept { InsertAfter(*sentinel_.prev, node); }
    void Remove(IDoubleLinkListNode& node) noexcept
    {
        node.prev->next = node.next;
        node.next->prev = node.prev;
        node.prev = node.next = nullptr;
        --count_;
    }
    // Destroys every node, from the front.
    void DeleteAll() noexcept
    {
        while (count_) {
            IDoubleLinkListNode* node = sentinel_.next;
            Remove(*node);
            delete node;
        }
    }

    // Null past either end.
    IDoubleLinkListNode* First() const noexcept { return Real(sentinel_.next); }
    IDoubleLinkListNode* Last() const noexcept { return Real(sentinel_.prev); }
    IDoubleLinkListNode* After(const IDoubleLinkListNode& node) const noexcept { return Real(node.next); }
    IDoubleLinkListNode* Before(const IDoubleLinkListNode& node) const noexcept { return Real(node.prev); }
    uint32_t Count() const noexcept { return count_; }

private:
    void InsertAfter(IDoubleLinkListNode& at, IDoubleLinkListNode& node) noexcept
    {
        node.prev = &at;
        node.next = at.next;
        at.next->prev = &node;
        at.next = &node;
        ++count_;
    }
    IDoubleLinkListNode* Real(IDoubleLinkListNode* node) const noexcept
    {
        return node == &sentinel_ ? nullptr : node;
    }

    IDoubleLinkListNode sentinel_;
    uint32_t count_ = 0;
};

}  // namespace Utils
