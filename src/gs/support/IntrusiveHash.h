// Chained hash table whose elements carry their own links: each chain, read
// from its bucket, is in the order of the elements' three-way comparison,
// and an element equal to one held is refused. The table never owns its
// elements.
//
// The bucket count is fixed by the table's owner, and with it the order a
// walk sees. So that lookups do not slow down as chains grow long, the
// table also files every element in an index of its own that grows with
// the count; a new element goes to the head of its chain, and a chain is
// put in order when a walk next needs it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace Utils {

class IHashNode {
public:
    virtual ~IHashNode() = default;
    virtual uint32_t Hash() const noexcept = 0;
    // Negative, 0 or positive as this element sorts before, with or after
    // the other.
    virtual int Compare(const IHashNode& other) const noexcept = 0;
    // Hash, and a hash that is equal for any two elements that compare
    // equal (Hash itself, unless Compare equates elements of different
    // hashes), in one pass over the key.
    virtual void Hashes(uint32_t& hash, uint32_t& lookupHash) const noexcept { hash = lookupHash = Hash(); }

    // The chain of the element's bucket.
    IHashNode* next = nullptr;

private:
    friend class IntrusiveHash;
    // The link that points at the element in its chain.
    IHashNode** link_ = nullptr;
    // The element's chain in the lookup index, and what it is filed under.
    IHashNode* lookupNext_ = nullptr;
    uint32_t lookupHash_ = 0;
    uint32_t bucket_ = 0;
};

class IntrusiveHash {
public:
    // Where an element stands: the element and its bucket.
    struct Position {
        IHashNode* node = nullptr;
        uint32_t bucket = 0;
        bool Found() const noexcept { return node != nullptr; }
        IHashNode* Node() const noexcept { return node; }
    };

    IntrusiveHash() = default;
    IntrusiveHash(const IntrusiveHash&) = delete;
    IntrusiveHash& operator=(const IntrusiveHash&) = delete;

    // Makes bucketCount empty buckets (forgetting any elements held).
    bool Init(uint32_t bucketCount);
    // False when an equal element is held (or there are no buckets, or the
    // index cannot grow).
    bool Insert(IHashNode& node) noexcept;
    // The element equal to the key (of several, the one its chain holds
    // first), or a position that is not Found().
    Position Find(const IHashNode& key) const noexcept;
    // Unlinks the element at a found position.
    IHashNode* Remove(Position at) noexcept;
    // Forgets every element and frees the buckets.
    void Clear() noexcept;

    // The first element in bucket order, then each chain in order. A walk
    // puts the chains that need it in order first, so it must not run
    // while another thread uses the table.
    IHashNode* Begin() const noexcept;
    IHashNode* Next(const IHashNode& node) const noexcept;

    uint32_t BucketCount() const noexcept { return bucketCount_; }
    uint32_t Count() const noexcept { return count_; }

private:
    IHashNode* FirstFrom(uint32_t bucket) const noexcept;
    // The held element equal to the key that its chain holds first.
    IHashNode* Lookup(const IHashNode& key, uint32_t bucket, uint32_t lookupHash) const noexcept;
    // Sorts the chains that took elements since they were last sorted.
    void Order() const noexcept;
    bool GrowIndex() noexcept;
    void File(IHashNode& node) noexcept;

    std::unique_ptr<IHashNode*[]> buckets_;
    uint32_t bucketCount_ = 0;
    uint32_t count_ = 0;
    // Buckets whose chains may be out of order.
    mutable std::vector<uint32_t> unsorted_;
    mutable std::unique_ptr<bool[]> listedUnsorted_;
    std::unique_ptr<IHashNode*[]> index_;
    uint32_t indexMask_ = 0;  // index size - 1; 0 before the first element
};

}  // namespace Utils
