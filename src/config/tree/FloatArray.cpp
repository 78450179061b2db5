#include "config/tree/FloatArray.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

FloatArray::FloatArray(const FloatArray& other)
{
    *this = other;
}

FloatArray::FloatArray(FloatArray&& other) noexcept
    : count_(std::exchange(other.count_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      data_(std::exchange(other.data_, nullptr))
{
}

FloatArray& FloatArray::operator=(const FloatArray& other)
{
    if (this != &other) {
        count_ = 0;
        Reserve(other.count_);
        if (other.count_)
            std::memcpy(data_, other.data_, other.count_ * sizeof(float));
        count_ = other.count_;
    }
    return *this;
}

FloatArray& FloatArray::operator=(FloatArray&& other) noexcept
{
    if (this != &other) {
        delete[] data_;
        count_ = std::exchange(other.count_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        data_ = std::exchange(other.data_, nullptr);
    }
    return *this;
}

FloatArray::~FloatArray()
{
    delete[] data_;
}

void FloatArray::Reserve(uint32_t n)
{
    if (n <= capacity_)
        return;
    if (n > UINT32_MAX - 7)
        throw std::length_error("FloatArray too long");
    uint32_t capacity = (n + 7) & ~7u;
    float* data = new float[capacity];
    if (count_)
        std::memcpy(data, data_, count_ * sizeof(float));
    delete[] data_;
    data_ = data;
    capacity_ = capacity;
}

void FloatArray::Append(float v)
{
    if (count_ == capacity_)
        Reserve(std::max(count_ + 1, capacity_ * 2));
    data_[count_++] = v;
}

void FloatArray::Resize(uint32_t n)
{
    Reserve(n);
    if (n > count_)
        std::fill(data_ + count_, data_ + n, 0.0f);
    count_ = n;
}
