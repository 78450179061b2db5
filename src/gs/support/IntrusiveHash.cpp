#include "gs/support/IntrusiveHash.h"

#include <new>

namespace Utils {

bool IntrusiveHash::Init(uint32_t bucketCount)
{
    Clear();
    if (bucketCount == 0)
        return false;
    buckets_.reset(new (std::nothrow) IHashNode*[bucketCount]());
    if (!buckets_)
        return false;
    bucketCount_ = bucketCount;
    return true;
}

bool IntrusiveHash::Insert(IHashNode& node) noexcept
{
    if (!bucketCount_)
        return false;
    IHashNode** link = &buckets_[node.Hash() % bucketCount_];
    while (*link && (*link)->Compare(node) < 0)
        link = &(*link)->next;
    if (*link && (*link)->Compare(node) == 0)
        return false;
    node.next = *link;
    *link = &node;
    ++count_;
    return true;
}

IntrusiveHash::Position IntrusiveHash::Find(const IHashNode& key) const noexcept
{
    if (!bucketCount_)
        return {};
    uint32_t bucket = key.Hash() % bucketCount_;
    IHashNode** link = &buckets_[bucket];
    while (*link && (*link)->Compare(key) < 0)
        link = &(*link)->next;
    if (!*link || (*link)->Compare(key) != 0)
        return {};
    return {link, bucket};
}

IHashNode* IntrusiveHash::Remove(Position at) noexcept
{
    if (!at.Found())
        return nullptr;
    IHashNode* node = *at.link;
    *at.link = node->next;
    node->next = nullptr;
    --count_;
    return node;
}

void IntrusiveHash::Clear() noexcept
{
    buckets_.reset();
    bucketCount_ = 0;
    count_ = 0;
}

IHashNode* IntrusiveHash::FirstFrom(uint32_t bucket) const noexcept
{
    for (; bucket < bucketCount_; ++bucket) {
        if (buckets_[bucket])
            return buckets_[bucket];
    }
    return nullptr;
}

IHashNode* IntrusiveHash::Begin() const noexcept { return FirstFrom(0); }

IHashNode* IntrusiveHash::Next(const IHashNode& node) const noexcept
{
    if (node.next)
        return node.next;
    return FirstFrom(node.Hash() % bucketCount_ + 1);
}

}  // namespace Utils
