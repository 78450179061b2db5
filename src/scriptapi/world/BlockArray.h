// A growable array of plain entries kept in pages of 1024 that never move:
// a page is made zero-filled when the array first grows into it, and the
// page table grows to the highest page needed. Growing one slot at a time
// therefore costs one allocation per 1024 slots.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

template <class T>
class BlockArray {
    static_assert(std::is_trivially_copyable_v<T>, "pages are zero-filled raw memory");

public:
    static constexpr uint32_t kPageShift = 10;
    static constexpr uint32_t kPageEntries = 1u << kPageShift;

    BlockArray() = default;
    BlockArray(const BlockArray&) = delete;
    BlockArray& operator=(const BlockArray&) = delete;

    uint32_t Count() const noexcept { return count_; }

    // Slot n must be below Count.
    T& At(uint32_t n) noexcept { return pages_[n >> kPageShift][n & (kPageEntries - 1)]; }
    const T& At(uint32_t n) const noexcept { return pages_[n >> kPageShift][n & (kPageEntries - 1)]; }

    // Makes slots up to count - 1 valid; new slots read as zero. False, with
    // the count as it was, when a page cannot be had.
    bool Grow(uint32_t count)
    {
        if (count <= count_)
            return true;
        const uint32_t pagesNeeded = ((count - 1) >> kPageShift) + 1;
        try {
            if (pages_.size() < pagesNeeded)
                pages_.resize(pagesNeeded);
        } catch (const std::bad_alloc&) {
            return false;
        }
        for (uint32_t page = count_ >> kPageShift; page < pagesNeeded; ++page) {
            if (pages_[page])
                continue;
            pages_[page].reset(new (std::nothrow) T[kPageEntries]);
            if (!pages_[page])
                return false;
            std::memset(static_cast<void*>(pages_[page].get()), 0, sizeof(T) * kPageEntries);
        }
        count_ = count;
        return true;
    }

    // Drops every slot and page.
    void Free() noexcept
    {
        pages_.clear();
        count_ = 0;
    }

private:
    std::vector<std::unique_ptr<T[]>> pages_;
    uint32_t count_ = 0;
};
