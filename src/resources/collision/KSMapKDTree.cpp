#include "resources/collision/KSMapKDTree.h"

#include <algorithm>
#include <utility>

namespace {

bool SamePosition(const float a[3], const float b[3]) noexcept
{
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

}  // namespace

KSMapKDTree::KSMapKDTree() : chain_(sizeof(Entry), kBlockSize) { entries_.reserve(kInitialRoom); }

KSMapKDTree::~KSMapKDTree() = default;  // the chain frees the entries

void KSMapKDTree::Insert(const float position[3], int32_t value)
{
    auto* entry = static_cast<Entry*>(chain_.Take());
    *entry = Entry{{position[0], position[1], position[2]}, 255, 0, {0, 0}, value};
    entries_.push_back(entry);
    ++unbuiltCount_;
    if (!defer_ && FirstSettingCallsForRebuild())
        Rebuild();
}

uint32_t KSMapKDTree::Delete(const float position[3])
{
    uint32_t count = 0;
    for (Entry* entry : entries_) {
        if (!entry->deleted && SamePosition(entry->position, position)) {
            entry->deleted = 1;
            ++count;
        }
    }
    deletedSinceRebuild_ += count;
    return count;
}

bool KSMapKDTree::FirstSettingCallsForRebuild() const noexcept
{
    switch (insertionPolicy_) {
    case kNever:
        return false;
    case kAlways:
        return true;
    case kAutomatic:
        return unbuiltCount_ > 1000 || (unbuiltCount_ >= 11 && 8ull * unbuiltCount_ > builtCount_);
    default:
        return insertionPolicy_ >= 0 && unbuiltCount_ > static_cast<uint32_t>(insertionPolicy_);
    }
}

bool KSMapKDTree::SecondSettingCallsForRebuild() const noexcept
{
    switch (lookupPolicy_) {
    case kNever:
        return false;
    case kAlways:
        return true;
    case kAutomatic:
        return deletedSinceRebuild_ >= 11 && 4ull * deletedSinceRebuild_ > builtCount_;
    default:
        return lookupPolicy_ >= 0 && deletedSinceRebuild_ > static_cast<uint32_t>(lookupPolicy_);
    }
}

bool KSMapKDTree::Rebuild()
{
    ++rebuilds_;
    for (size_t i = 0; i < entries_.size();) {
        if (entries_[i]->deleted) {
            chain_.Return(entries_[i]);
            entries_[i] = entries_.back();
            entries_.pop_back();
        } else {
            ++i;
        }
    }
    deletedSinceRebuild_ = 0;
    cancelled_ = false;
    steps_ = 0;
    builtCount_ = 0;
    OrderRange(0, static_cast<uint32_t>(entries_.size()));
    if (cancelled_) {
        // A half-ordered array is no k-d tree: search all of it as a tail.
        unbuiltCount_ = static_cast<uint32_t>(entries_.size());
        return false;
    }
    builtCount_ = static_cast<uint32_t>(entries_.size());
    unbuiltCount_ = 0;
    return true;
}

void KSMapKDTree::OrderRange(uint32_t lo, uint32_t hi)
{
    if (lo >= hi || cancelled_)
        return;
    float low[3] = {entries_[lo]->position[0], entries_[lo]->position[1], entries_[lo]->position[2]};
    float high[3] = {low[0], low[1], low[2]};
    for (uint32_t i = lo + 1; i < hi; ++i) {
        for (int a = 0; a < 3; ++a) {
            low[a] = std::min(low[a], entries_[i]->position[a]);
            high[a] = std::max(high[a], entries_[i]->position[a]);
        }
    }
    int axis = (high[1] - low[1] > high[0] - low[0]) ? 1 : 0;
    if (high[2] - low[2] > high[axis] - low[axis])
        axis = 2;
    const uint32_t middle = lo + (hi - lo) / 2;
    SelectMedian(lo, hi - 1, middle, axis);
    entries_[middle]->axis = static_cast<uint8_t>(axis);

    if (++steps_ % kProgressEvery == 0 && progress_) {
        const auto total = static_cast<uint32_t>(entries_.size());
        if (!progress_(progressContext_, steps_, std::max(total, steps_))) {
            cancelled_ = true;
            return;
        }
    }
    OrderRange(lo, middle);
    OrderRange(middle + 1, hi);
}

// Puts the k-th smallest entry of [l, ir] by the axis at k, the smaller ones
// before it and the larger after it.
void KSMapKDTree::SelectMedian(uint32_t l, uint32_t ir, uint32_t k, int axis)
{
    auto key = [&](uint32_t i) { return entries_[i]->position[axis]; };
    auto swap = [&](uint32_t i, uint32_t j) { std::swap(entries_[i], entries_[j]); };
    for (;;) {
        if (ir <= l + 1) {
            if (ir == l + 1 && key(ir) < key(l))
                swap(l, ir);
            return;
        }
        const uint32_t mid = l + (ir - l) / 2;
        swap(mid, l + 1);
        if (key(l) > key(ir))
            swap(l, ir);
        if (key(l + 1) > key(ir))
            swap(l + 1, ir);
        if (key(l) > key(l + 1))
            swap(l, l + 1);
        uint32_t i = l + 1;
        uint32_t j = ir;
        Entry* pivot = entries_[l + 1];
        const float p = pivot->position[axis];
        for (;;) {
            do
                ++i;
            while (key(i) < p);
            do
                --j;
            while (key(j) > p);
            if (j < i)
                break;
            swap(i, j);
        }
        entries_[l + 1] = entries_[j];
        entries_[j] = pivot;
        if (j >= k)
            ir = j - 1;
        if (j <= k)
            l = i;
    }
}

uint32_t KSMapKDTree::Find(const float position[3])
{
    if (defer_ && (FirstSettingCallsForRebuild() || SecondSettingCallsForRebuild()))
        Rebuild();
    results_.clear();
    FindInBuilt(position, 0, builtCount_);
    for (size_t i = builtCount_; i < entries_.size(); ++i)
        Collect(entries_[i], position);
    return static_cast<uint32_t>(results_.size());
}

void KSMapKDTree::Collect(const Entry* entry, const float position[3])
{
    if (!entry->deleted && SamePosition(entry->position, position))
        results_.push_back(entry->value);
}

void KSMapKDTree::FindInBuilt(const float position[3], uint32_t lo, uint32_t hi)
{
    while (lo < hi) {
        const uint32_t middle = lo + (hi - lo) / 2;
        const Entry* m = entries_[middle];
        const float d = position[m->axis] - m->position[m->axis];
        if (d < 0.0f) {
            hi = middle;
        } else if (d > 0.0f) {
            lo = middle + 1;
        } else {
            Collect(m, position);
            FindInBuilt(position, lo, middle);
            lo = middle + 1;
        }
    }
}
