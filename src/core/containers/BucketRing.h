// A fixed hash table of block rings keyed by a pair of 32-bit words; indexes
// the edit overlay of a binary config file. Each bucket is a ring of entries
// {key1, key2, value}; the bucket of a key pair is (key1 ^ key2) % 97.
//
// Insert does not look for an existing pair: a repeated pair is kept twice
// and Find gives the one inserted first.
#pragma once

#include <cstdint>

#include "core/containers/BlockRing.h"

template <class V = void*>
class BucketRing {
public:
    static constexpr uint32_t kBucketCount = 97;

    struct Entry {
        uint32_t key1;
        uint32_t key2;
        V value;
    };
    using Ring = BlockRing<Entry, 13>;

    // A position: the bucket and the position within its ring. The end has
    // the bucket index kBucketCount and an end ring position.
    class Iterator {
    public:
        Iterator() noexcept = default;

        bool AtEnd() const noexcept { return pos_.AtEnd(); }
        uint32_t Bucket() const noexcept { return bucket_; }
        Entry& operator*() const noexcept { return *pos_; }
        Entry* operator->() const noexcept { return pos_.Entry(); }
        friend bool operator==(const Iterator& a, const Iterator& b) noexcept { return a.pos_ == b.pos_; }

    private:
        friend class BucketRing;
        Iterator(uint32_t bucket, typename Ring::Iterator pos) noexcept : bucket_(bucket), pos_(pos) {}

        uint32_t bucket_ = kBucketCount;
        typename Ring::Iterator pos_;
    };

    BucketRing() = default;
    BucketRing(const BucketRing&) = delete;
    BucketRing& operator=(const BucketRing&) = delete;

    static uint32_t BucketOf(uint32_t key1, uint32_t key2) noexcept { return (key1 ^ key2) % kBucketCount; }

    void Insert(uint32_t key1, uint32_t key2, const V& value)
    {
        buckets_[BucketOf(key1, key2)].Append(Entry{key1, key2, value});
    }

    Iterator Find(uint32_t key1, uint32_t key2) noexcept
    {
        uint32_t bucket = BucketOf(key1, key2);
        for (auto it = buckets_[bucket].IteratorBegin(); !it.AtEnd(); ++it) {
            if (it->key1 == key1 && it->key2 == key2)
                return Iterator(bucket, it);
        }
        return {};
    }

    // First entry of the lowest non-empty bucket.
    Iterator IteratorBegin() noexcept { return FirstFrom(0); }

    void IteratorNext(Iterator& it) noexcept
    {
        if (it.AtEnd())
            return;
        ++it.pos_;
        if (it.pos_.AtEnd())
            it = FirstFrom(it.bucket_ + 1);
    }

    // Removes the entry at the position; returns the position of the next
    // entry, in this bucket or a later one.
    Iterator EraseAt(Iterator it) noexcept
    {
        if (it.AtEnd())
            return {};
        it.pos_ = buckets_[it.bucket_].Erase(it.pos_);
        if (it.pos_.AtEnd())
            return FirstFrom(it.bucket_ + 1);
        return it;
    }

    uint32_t Count() const noexcept
    {
        uint32_t total = 0;
        for (const Ring& r : buckets_)
            total += r.Count();
        return total;
    }

    void Clear() noexcept
    {
        for (Ring& r : buckets_)
            r.Clear();
    }

    const Ring& BucketRingAt(uint32_t bucket) const noexcept { return buckets_[bucket]; }

private:
    Iterator FirstFrom(uint32_t bucket) noexcept
    {
        for (; bucket < kBucketCount; ++bucket) {
            if (!buckets_[bucket].Empty())
                return Iterator(bucket, buckets_[bucket].IteratorBegin());
        }
        return {};
    }

    Ring buckets_[kBucketCount];
};
