#include "core/streams/CharArray.h"

#include <cstring>
#include <stdexcept>

CharArray::~CharArray() { delete[] data_; }

void CharArray::Reserve(uint32_t n)
{
    if (n <= capacity_)
        return;
    uint64_t rounded = (uint64_t(n) + kGrowStep - 1) / kGrowStep * kGrowStep;
    if (rounded > UINT32_MAX)
        throw std::length_error("CharArray larger than 4 GiB");
    char* bigger = new char[rounded];
    if (count_)
        std::memcpy(bigger, data_, count_);
    delete[] data_;
    data_ = bigger;
    capacity_ = static_cast<uint32_t>(rounded);
}

void CharArray::Resize(uint32_t n)
{
    Reserve(n);
    count_ = n;
}
