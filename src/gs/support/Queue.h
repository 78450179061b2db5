// Ring queue of plain values (pointers, numbers): pushed at the tail, popped
// at the head. When it is full a push grows the storage by the growth step
// and moves the live entries to its front. It never owns what the values
// point at.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace Utils {

template <typename T>
class Queue {
    static_assert(std::is_trivially_copyable_v<T>, "the queue moves its entries as bytes");

public:
    explicit Queue(uint32_t growthStep) : growth_(growthStep ? growthStep : 1) {}
    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;
    ~Queue() { std::free(storage_); }

    // False, and the queue unchanged, when the storage cannot grow.
    bool Push(const T& value)
    {
        if (count_ == capacity_ && !Grow())
            return false;
        storage_[tail_] = value;
        tail_ = (tail_ + 1) % capacity_;
        ++count_;
        return true;
    }

    // False when the queue is empty.
    bool Pop(T& value)
    {
        if (count_ == 0)
            return false;
        value = storage_[head_];
        head_ = (head_ + 1) % capacity_;
        --count_;
        return true;
    }

    uint32_t Count() const noexcept { return count_; }
    uint32_t Capacity() const noexcept { return capacity_; }
    // The i-th entry from the head (i below Count()).
    const T& At(uint32_t i) const noexcept { return storage_[(head_ + i) % capacity_]; }

private:
    bool Grow()
    {
        if (capacity_ > UINT32_MAX - growth_)
            return false;
        uint32_t capacity = capacity_ + growth_;
        auto* storage = static_cast<T*>(std::malloc(sizeof(T) * size_t(capacity)));
        if (!storage)
            return false;
        for (uint32_t i = 0; i < count_; ++i)
            storage[i] = At(i);
        std::free(storage_);
        storage_ = storage;
        capacity_ = capacity;
        head_ = 0;
        tail_ = count_ % capacity_;
        return true;
    }

    T* storage_ = nullptr;
    uint32_t capacity_ = 0;
    uint32_t growth_;
    uint32_t count_ = 0;
    uint32_t head_ = 0;
    uint32_t tail_ = 0;
};

}  // namespace Utils
