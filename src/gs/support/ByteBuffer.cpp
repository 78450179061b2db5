#include "gs/support/ByteBuffer.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/streams/LittleEndian.h"

namespace Utils {

bool ByteBuffer::Allocate(uint32_t capacity, std::unique_ptr<uint8_t[]>& raw, uint8_t*& data) noexcept
{
    // Three spare bytes let the data start on a 4-byte boundary whatever
    // the allocator returns.
    raw.reset(new (std::nothrow) uint8_t[uint64_t(capacity) + 3]);
    if (!raw)
        return false;
    auto address = reinterpret_cast<uintptr_t>(raw.get());
    data = raw.get() + ((4 - (address & 3)) & 3);
    return true;
}

bool ByteBuffer::Init(uint32_t capacity)
{
    Free();
    growth_ = capacity;
    if (!Allocate(capacity, raw_, data_)) {
        data_ = nullptr;
        return false;
    }
    capacity_ = capacity;
    return true;
}

void ByteBuffer::Free() noexcept
{
    raw_.reset();
    data_ = nullptr;
    flags_ = growth_ = position_ = size_ = capacity_ = 0;
}

void ByteBuffer::Reserve(uint32_t n)
{
    if (!data_) {
        flags_ |= kAllocFailed;
        return;
    }
    if (n >= capacity_) {
        const uint64_t needed = uint64_t(growth_) + n;
        uint64_t wanted = std::min<uint64_t>(std::max(needed, 2 * uint64_t(capacity_)), UINT32_MAX);
        std::unique_ptr<uint8_t[]> raw;
        uint8_t* data = nullptr;
        // Doubling is only a way to grow less often: when it cannot be had,
        // what the write needs may still be.
        bool allocated = needed <= UINT32_MAX && Allocate(static_cast<uint32_t>(wanted), raw, data);
        if (!allocated && needed < wanted) {
            wanted = needed;
            allocated = Allocate(static_cast<uint32_t>(wanted), raw, data);
        }
        if (!allocated) {
            flags_ |= kAllocFailed;
            return;
        }
        std::memcpy(data, data_, size_);
        raw_ = std::move(raw);
        data_ = data;
        capacity_ = static_cast<uint32_t>(wanted);
    }
    if (size_ < n)
        size_ = n;
}

void ByteBuffer::WriteBytes(const void* data, uint32_t size)
{
    uint64_t end = uint64_t(position_) + size;
    // Most writes land inside the storage already there.
    if (end < capacity_ && !(flags_ & kAllocFailed)) {
        if (size)
            std::memcpy(data_ + position_, data, size);
        position_ = static_cast<uint32_t>(end);
        if (size_ < position_)
            size_ = position_;
        return;
    }
    if (end > UINT32_MAX) {
        flags_ |= kAllocFailed;
        return;
    }
    Reserve(static_cast<uint32_t>(end));
    if (flags_ & kAllocFailed)
        return;
    if (size)
        std::memcpy(data_ + position_, data, size);
    position_ = static_cast<uint32_t>(end);
}

bool ByteBuffer::WriteAt(uint32_t position, const void* data, uint32_t size) noexcept
{
    if (position > size_ || size > size_ - position) {
        flags_ |= kPastEnd;
        return false;
    }
    if (size)
        std::memcpy(data_ + position, data, size);
    return true;
}

bool ByteBuffer::ReadU32(uint32_t& out) noexcept
{
    const uint8_t* p = ReadInPlace(4);
    if (!p)
        return false;
    out = LoadLE32(p);
    return true;
}

const uint8_t* ByteBuffer::ReadInPlace(uint32_t size) noexcept
{
    if (size > size_ - position_) {
        flags_ |= kPastEnd;
        return nullptr;
    }
    const uint8_t* p = data_ + position_;
    position_ += size;
    return p;
}

bool ByteBuffer::Seek(uint32_t position) noexcept
{
    if (position > size_) {
        flags_ |= kPastEnd;
        return false;
    }
    position_ = position;
    return true;
}

}  // namespace Utils
