#include "gs/support/IntrusiveHash.h"

#include <algorithm>
#include <new>

namespace Utils {

namespace {

constexpr uint32_t kFirstIndexSize = 16;

}  // namespace

bool IntrusiveHash::Init(uint32_t bucketCount)
{
    Clear();
    if (bucketCount == 0)
        return false;
    buckets_.reset(new (std::nothrow) IHashNode*[bucketCount]());
    listedUnsorted_.reset(new (std::nothrow) bool[bucketCount]());
    if (!buckets_ || !listedUnsorted_) {
        Clear();
        return false;
    }
    try {
        // Each bucket is listed once at most, so adding never allocates.
        unsorted_.reserve(bucketCount);
    } catch (const std::bad_alloc&) {
        Clear();
        return false;
    }
    bucketCount_ = bucketCount;
    return true;
}

void IntrusiveHash::File(IHashNode& node) noexcept
{
    IHashNode*& head = index_[node.lookupHash_ & indexMask_];
    node.lookupNext_ = head;
    head = &node;
}

bool IntrusiveHash::GrowIndex() noexcept
{
    const uint32_t size = indexMask_ ? (indexMask_ + 1) * 2 : kFirstIndexSize;
    if (size == 0)
        return false;
    std::unique_ptr<IHashNode*[]> grown(new (std::nothrow) IHashNode*[size]());
    if (!grown)
        return false;
    index_ = std::move(grown);
    indexMask_ = size - 1;
    for (uint32_t b = 0; b < bucketCount_; ++b) {
        for (IHashNode* node = buckets_[b]; node; node = node->next)
            File(*node);
    }
    return true;
}

bool IntrusiveHash::Insert(IHashNode& node) noexcept
{
    if (!bucketCount_)
        return false;
    uint32_t hash = 0, lookupHash = 0;
    node.Hashes(hash, lookupHash);
    const uint32_t bucket = hash % bucketCount_;
    if (count_ && Lookup(node, bucket, lookupHash))
        return false;
    if (count_ >= (indexMask_ ? indexMask_ + 1 : 0) && !GrowIndex())
        return false;
    node.bucket_ = bucket;
    node.lookupHash_ = lookupHash;
    IHashNode*& head = buckets_[bucket];
    node.next = head;
    node.link_ = &head;
    if (head) {
        head->link_ = &node.next;
        if (!listedUnsorted_[bucket]) {
            listedUnsorted_[bucket] = true;
            unsorted_.push_back(bucket);
        }
    }
    head = &node;
    File(node);
    ++count_;
    return true;
}

IHashNode* IntrusiveHash::Lookup(const IHashNode& key, uint32_t bucket, uint32_t lookupHash) const noexcept
{
    IHashNode* found = nullptr;
    for (IHashNode* node = index_[lookupHash & indexMask_]; node; node = node->lookupNext_) {
        if (node->lookupHash_ != lookupHash || node->bucket_ != bucket || node->Compare(key) != 0)
            continue;
        // Of equal elements the chain holds the lowest in order first.
        if (!found || node->Compare(*found) < 0)
            found = node;
    }
    return found;
}

IntrusiveHash::Position IntrusiveHash::Find(const IHashNode& key) const noexcept
{
    if (!bucketCount_ || !count_)
        return {};
    uint32_t hash = 0, lookupHash = 0;
    key.Hashes(hash, lookupHash);
    const uint32_t bucket = hash % bucketCount_;
    return {Lookup(key, bucket, lookupHash), bucket};
}

IHashNode* IntrusiveHash::Remove(Position at) noexcept
{
    IHashNode* node = at.node;
    if (!node || !node->link_)
        return nullptr;
    *node->link_ = node->next;
    if (node->next)
        node->next->link_ = node->link_;
    IHashNode** filed = &index_[node->lookupHash_ & indexMask_];
    while (*filed && *filed != node)
        filed = &(*filed)->lookupNext_;
    if (*filed)
        *filed = node->lookupNext_;
    node->next = nullptr;
    node->link_ = nullptr;
    node->lookupNext_ = nullptr;
    --count_;
    return node;
}

void IntrusiveHash::Clear() noexcept
{
    buckets_.reset();
    listedUnsorted_.reset();
    unsorted_.clear();
    index_.reset();
    indexMask_ = 0;
    bucketCount_ = 0;
    count_ = 0;
}

void IntrusiveHash::Order() const noexcept
{
    if (unsorted_.empty())
        return;
    std::vector<IHashNode*> chain;
    for (uint32_t bucket : unsorted_) {
        listedUnsorted_[bucket] = false;
        chain.clear();
        try {
            for (IHashNode* node = buckets_[bucket]; node; node = node->next)
                chain.push_back(node);
        } catch (const std::bad_alloc&) {
            // Left as it is: a walk then sees this chain out of order.
            continue;
        }
        std::sort(chain.begin(), chain.end(),
                  [](const IHashNode* a, const IHashNode* b) { return a->Compare(*b) < 0; });
        IHashNode** link = &buckets_[bucket];
        for (IHashNode* node : chain) {
            *link = node;
            node->link_ = link;
            link = &node->next;
        }
        *link = nullptr;
    }
    unsorted_.clear();
}

IHashNode* IntrusiveHash::FirstFrom(uint32_t bucket) const noexcept
{
    for (; bucket < bucketCount_; ++bucket) {
        if (buckets_[bucket])
            return buckets_[bucket];
    }
    return nullptr;
}

IHashNode* IntrusiveHash::Begin() const noexcept
{
    Order();
    return FirstFrom(0);
}

IHashNode* IntrusiveHash::Next(const IHashNode& node) const noexcept
{
    if (node.next)
        return node.next;
    return FirstFrom(node.bucket_ + 1);
}

}  // namespace Utils
