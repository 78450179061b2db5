#include "core/streams/ByteArray.h"

#include <cstring>
#include <stdexcept>
#include <utility>

ByteArray::ByteArray(ByteArray&& o) noexcept
    : count_(std::exchange(o.count_, 0)),
      capacity_(std::exchange(o.capacity_, 0)),
      data_(std::exchange(o.data_, nullptr))
{
}

ByteArray& ByteArray::operator=(ByteArray&& o) noexcept
{
    if (this != &o) {
        delete[] data_;
        count_ = std::exchange(o.count_, 0);
        capacity_ = std::exchange(o.capacity_, 0);
        data_ = std::exchange(o.data_, nullptr);
    }
    return *this;
}

ByteArray::~ByteArray() { delete[] data_; }

void ByteArray::Reserve(uint32_t n)
{
    if (n <= capacity_)
        return;
    uint64_t rounded = (uint64_t(n) + kGranule - 1) / kGranule * kGranule;
    if (rounded > UINT32_MAX)
        throw std::length_error("ByteArray larger than 4 GiB");
    uint8_t* bigger = new uint8_t[rounded];
    if (count_)
        std::memcpy(bigger, data_, count_);
    delete[] data_;
    data_ = bigger;
    capacity_ = static_cast<uint32_t>(rounded);
}

void ByteArray::Append(uint8_t byte)
{
    if (count_ == UINT32_MAX)
        throw std::length_error("ByteArray larger than 4 GiB");
    Reserve(count_ + 1);
    data_[count_++] = byte;
}

void ByteArray::Resize(uint32_t n)
{
    Reserve(n);
    if (n > count_)
        std::memset(data_ + count_, 0, n - count_);
    count_ = n;
}
