// An array of counted references to engine objects (geometry chunks,
// materials). It holds one reference per filled slot and gives them back
// when it goes; definitions and their instances share one through a
// shared_ptr.
#pragma once

#include <cstdint>
#include <vector>

template <class T>
class CountedArray {
public:
    CountedArray() = default;
    CountedArray(const CountedArray&) = delete;
    CountedArray& operator=(const CountedArray&) = delete;
    ~CountedArray()
    {
        for (T* item : items_)
            if (item)
                item->Release();
    }

    // Takes a reference of its own; null leaves an empty slot.
    void Append(T* item)
    {
        if (item)
            item->AddRef();
        items_.push_back(item);
    }
    // Takes over the caller's reference.
    void Adopt(T* item) { items_.push_back(item); }
    // Puts the item (own reference taken) in place of the slot's.
    void Set(uint32_t i, T* item)
    {
        if (item)
            item->AddRef();
        if (items_[i])
            items_[i]->Release();
        items_[i] = item;
    }
    void PopBack()
    {
        if (items_.back())
            items_.back()->Release();
        items_.pop_back();
    }
    void Reserve(uint32_t n) { items_.reserve(n); }

    uint32_t Size() const noexcept { return static_cast<uint32_t>(items_.size()); }
    bool Empty() const noexcept { return items_.empty(); }
    // Null past the end; no reference for the caller.
    T* operator[](uint32_t i) const noexcept { return i < items_.size() ? items_[i] : nullptr; }
    T* Back() const noexcept { return items_.empty() ? nullptr : items_.back(); }
    const std::vector<T*>& Items() const noexcept { return items_; }

private:
    std::vector<T*> items_;
};
