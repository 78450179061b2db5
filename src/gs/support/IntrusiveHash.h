// Chained hash table whose elements carry their own link: each chain is
// kept sorted by the elements' three-way comparison, so a search stops at
// the first element that is not smaller, and an equal element is refused.
// The table never owns its elements.
#pragma once

#include <cstdint>
#include <memory>

namespace Utils {

class IHashNode {
public:
    virtual ~IHashNode() = default;
    virtual uint32_t Hash() const noexcept = 0;
    // Negative, 0 or positive as this element sorts before, with or after
    // the other.
    virtual int Compare(const IHashNode& other) const noexcept = 0;

    IHashNode* next = nullptr;
};

class IntrusiveHash {
public:
    // Where an element stands: the link that points at it, and its bucket.
    struct Position {
        IHashNode** link = nullptr;
        uint32_t bucket = 0;
        bool Found() const noexcept { return link && *link; }
        IHashNode* Node() const noexcept { return link ? *link : nullptr; }
    };

    IntrusiveHash() = default;
    IntrusiveHash(const IntrusiveHash&) = delete;
    IntrusiveHash& operator=(const IntrusiveHash&) = delete;

    // Makes bucketCount empty buckets (forgetting any elements held).
    bool Init(uint32_t bucketCount);
    bool Insert(IHashNode& node) noexcept;
    // The element equal to the key, or a position that is not Found().
    Position Find(const IHashNode& key) const noexcept;
    // Unlinks the element at a found position.
    IHashNode* Remove(Position at) noexcept;
    // Forgets every element and frees the buckets.
    void Clear() noexcept;

    // The first element in bucket order, then each chain in order.
    IHashNode* Begin() const noexcept;
    IHashNode* Next(const IHashNode& node) const noexcept;

    uint32_t BucketCount() const noexcept { return bucketCount_; }
    uint32_t Count() const noexcept { return count_; }

private:
    IHashNode* FirstFrom(uint32_t bucket) const noexcept;

    std::unique_ptr<IHashNode*[]> buckets_;
    uint32_t bucketCount_ = 0;
    uint32_t count_ = 0;
};

}  // namespace Utils
