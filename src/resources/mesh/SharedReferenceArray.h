// An array of counted references that several holders share: the array has
// a reference count of its own, and each entry is counted once by it. A
// holder that needs to change entries first makes a private copy.
#pragma once

#include <cstdint>
#include <vector>

#include "nyx/base/ReferenceCount.h"

template <class T>
class SharedReferenceArray : public Nyx::ReferenceCount {
public:
    // Counts every non-null entry once more; one reference for the caller.
    static SharedReferenceArray* Create(const std::vector<T*>& entries)
    {
        auto* array = new SharedReferenceArray(entries);
        array->AddRef();
        return array;
    }
    ~SharedReferenceArray() override
    {
        for (T* entry : entries_)
            if (entry)
                entry->Release();
    }

    uint32_t GetCount() const noexcept { return static_cast<uint32_t>(entries_.size()); }
    // Null past the end.
    T* Get(uint32_t i) const noexcept { return i < entries_.size() ? entries_[i] : nullptr; }
    const std::vector<T*>& GetEntries() const noexcept { return entries_; }
    // Takes over the caller's reference on the new entry and gives back the
    // old entry's.
    void Replace(uint32_t i, T* entry)
    {
        if (i >= entries_.size())
            return;
        if (entries_[i])
            entries_[i]->Release();
        entries_[i] = entry;
    }
    // Takes over the caller's reference.
    void Append(T* entry) { entries_.push_back(entry); }

private:
    explicit SharedReferenceArray(const std::vector<T*>& entries) : entries_(entries)
    {
        for (T* entry : entries_)
            if (entry)
                entry->AddRef();
    }

    std::vector<T*> entries_;
};

// Holds one reference on an array, given back on destruction.
template <class T>
class SharedReferenceArrayHolder {
public:
    SharedReferenceArrayHolder() = default;
    SharedReferenceArrayHolder(const SharedReferenceArrayHolder&) = delete;
    SharedReferenceArrayHolder& operator=(const SharedReferenceArrayHolder&) = delete;
    ~SharedReferenceArrayHolder() { Reset(); }

    SharedReferenceArray<T>* Get() const noexcept { return array_; }
    // Takes over the caller's reference.
    void Reset(SharedReferenceArray<T>* array = nullptr)
    {
        if (array_)
            array_->Release();
        array_ = array;
    }

private:
    SharedReferenceArray<T>* array_ = nullptr;
};
