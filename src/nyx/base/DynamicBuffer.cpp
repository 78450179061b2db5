#include "nyx/base/DynamicBuffer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace Nyx {

DynamicBuffer::DynamicBuffer(uint32_t initialSize)
{
    if (initialSize)
        Grow(initialSize);
}

DynamicBuffer::~DynamicBuffer() = default;

void DynamicBuffer::Clean() noexcept
{
    position_ = 0;
    length_ = 0;
}

void DynamicBuffer::Grow(uint64_t needed)
{
    if (needed <= allocated_)
        return;
    if (needed > UINT32_MAX)
        throw std::length_error("DynamicBuffer larger than 4 GiB");
    uint64_t target = std::max<uint64_t>(needed, uint64_t(allocated_) + allocated_ / 2);
    target = std::min<uint64_t>(std::max<uint64_t>(target, 64), UINT32_MAX);
    std::unique_ptr<uint8_t[]> bigger(new uint8_t[target]);
    if (length_)
        std::memcpy(bigger.get(), data_.get(), length_);
    data_ = std::move(bigger);
    allocated_ = static_cast<uint32_t>(target);
}

uint32_t DynamicBuffer::WriteGrowing(const void* data, uint64_t n)
{
    if (n == 0)
        return 0;
    uint64_t end = uint64_t(position_) + n;
    Grow(end);
    // A write past the data length leaves the gap zeroed rather than stale.
    if (position_ > length_)
        std::memset(data_.get() + length_, 0, position_ - length_);
    std::memcpy(data_.get() + position_, data, static_cast<size_t>(n));
    position_ = static_cast<uint32_t>(end);
    length_ = std::max(length_, position_);
    return static_cast<uint32_t>(n);
}

uint32_t DynamicBuffer::Read(void* data, uint32_t size, uint32_t count) noexcept
{
    uint64_t n = uint64_t(size) * count;
    if (position_ >= length_ || n == 0)
        return 0;
    uint64_t avail = length_ - position_;
    uint32_t got = static_cast<uint32_t>(std::min(n, avail));
    std::memcpy(data, data_.get() + position_, got);
    position_ += got;
    return got;
}

void DynamicBuffer::Seek(uint32_t position) noexcept { position_ = std::min(position, allocated_); }

void DynamicBuffer::AddLength(uint32_t n) { Grow(uint64_t(allocated_) + n); }

void DynamicBuffer::Reserve(uint32_t n) { Grow(n); }

void DynamicBuffer::SetDataLength(uint32_t n)
{
    Grow(n);
    if (n > length_)
        std::memset(data_.get() + length_, 0, n - length_);
    length_ = n;
}

}  // namespace Nyx
