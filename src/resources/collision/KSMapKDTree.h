// Maps 3-float positions to integers by exact equality: a k-d tree kept
// implicitly in a sorted array of entry pointers, with the entries inserted
// since the last rebuild kept in an unsorted tail. Rebuilds happen by the
// two policy settings, at insertion or (deferred, as constructed) at lookup.
#pragma once

#include <cstdint>
#include <vector>

#include "resources/collision/KSMemoryChain.h"

class KSMapKDTree {
public:
    // Policy values; a value n >= 0 rebuilds when the setting's counter
    // exceeds n.
    static constexpr int32_t kNever = -1;
    static constexpr int32_t kAlways = -2;
    static constexpr int32_t kAutomatic = -3;

    static constexpr uint32_t kInitialRoom = 4000;
    static constexpr uint32_t kBlockSize = 80000;
    static constexpr uint32_t kProgressEvery = 1024;

    struct Entry {
        float position[3];
        uint8_t axis;  // 255 until a rebuild places the entry
        uint8_t deleted;
        uint8_t unused[2];
        int32_t value;
    };
    static_assert(sizeof(Entry) == 20);

    // Called during a rebuild with its context, the step count and the
    // larger of the total and the step count; false cancels the rebuild.
    using ProgressCallback = bool (*)(void* context, uint32_t step, uint32_t total);

    KSMapKDTree();
    KSMapKDTree(const KSMapKDTree&) = delete;
    KSMapKDTree& operator=(const KSMapKDTree&) = delete;
    virtual ~KSMapKDTree();

    void Insert(const float position[3], int32_t value);
    // Marks every live entry at exactly the position deleted; returns how
    // many. Deleted entries are dropped by the next rebuild.
    uint32_t Delete(const float position[3]);
    // The values of every live entry at exactly the position, in the result
    // list; returns their number.
    uint32_t Find(const float position[3]);
    const std::vector<int32_t>& GetResults() const noexcept { return results_; }

    // Drops deleted entries and orders the whole array. False when the
    // progress callback cancelled it; the array is then left as an unbuilt
    // tail, which every lookup still searches.
    bool Rebuild();

    // The first setting is for the unbuilt count, the second for the count
    // of deletions since the last rebuild.
    void SetPolicies(int32_t insertion, int32_t lookup) noexcept
    {
        insertionPolicy_ = insertion;
        lookupPolicy_ = lookup;
    }
    // Deferred: no rebuild at insertion, both settings tried at lookup.
    void SetDefer(bool defer) noexcept { defer_ = defer; }
    void SetProgressCallback(ProgressCallback callback, void* context) noexcept
    {
        progress_ = callback;
        progressContext_ = context;
    }

    uint32_t GetCount() const noexcept { return static_cast<uint32_t>(entries_.size()); }
    uint32_t GetBuiltCount() const noexcept { return builtCount_; }
    uint32_t GetUnbuiltCount() const noexcept { return unbuiltCount_; }
    uint32_t GetRebuildCount() const noexcept { return rebuilds_; }
    bool WasCancelled() const noexcept { return cancelled_; }
    const KSMemoryChain& GetMemoryChain() const noexcept { return chain_; }

private:
    bool FirstSettingCallsForRebuild() const noexcept;
    bool SecondSettingCallsForRebuild() const noexcept;
    void OrderRange(uint32_t lo, uint32_t hi);
    void SelectMedian(uint32_t lo, uint32_t hi, uint32_t k, int axis);
    void FindInBuilt(const float position[3], uint32_t lo, uint32_t hi);
    void Collect(const Entry* entry, const float position[3]);

    std::vector<Entry*> entries_;
    uint32_t builtCount_ = 0;
    uint32_t unbuiltCount_ = 0;
    uint32_t deletedSinceRebuild_ = 0;
    int32_t insertionPolicy_ = kAutomatic;
    int32_t lookupPolicy_ = kAutomatic;
    bool defer_ = true;
    KSMemoryChain chain_;
    ProgressCallback progress_ = nullptr;
    void* progressContext_ = nullptr;
    bool cancelled_ = false;
    uint32_t steps_ = 0;
    uint32_t rebuilds_ = 0;
    std::vector<int32_t> results_;
};
