// The growable byte buffer that writes and reads ".gsl" images and code.
//
// Every write first reserves room; a failed allocation sets kAllocFailed and
// every later write is skipped, so a writer tests the flags once at the end.
// Reads and seeks stop at the used size: going past it sets kPastEnd and
// leaves the position (and the value read) unchanged.
#pragma once

#include <cstdint>
#include <memory>

#include "core/streams/LittleEndian.h"

namespace Utils {

class ByteBuffer {
public:
    static constexpr uint32_t kAllocFailed = 1;
    static constexpr uint32_t kPastEnd = 2;

    ByteBuffer() = default;
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    ~ByteBuffer() = default;

    // Frees any data, clears every field and allocates `capacity` bytes,
    // which also becomes the growth step. False when that allocation fails.
    bool Init(uint32_t capacity);
    // Init with the current growth step.
    bool Reinit() { return Init(growth_); }
    void Free() noexcept;

    // Makes room for n bytes from the start: when n is not below the
    // capacity it becomes growth step + n, or twice what it was when that is
    // more (the data moves), so a long run of writes copies each byte only
    // a few times. The used size grows to n.
    void Reserve(uint32_t n);

    // Code and images are written a few bytes at a time: a write that fits
    // the storage there is stays inline.
    void WriteU8(uint8_t value)
    {
        if (Fits(1)) {
            data_[position_] = value;
            Advance(1);
        } else {
            WriteBytes(&value, 1);
        }
    }
    void WriteU16(uint16_t value)
    {
        uint8_t bytes[2];
        StoreLE16(bytes, value);
        if (Fits(2)) {
            data_[position_] = bytes[0];
            data_[position_ + 1] = bytes[1];
            Advance(2);
        } else {
            WriteBytes(bytes, 2);
        }
    }
    void WriteU32(uint32_t value)
    {
        if (Fits(4)) {
            StoreLE32(data_ + position_, value);
            Advance(4);
        } else {
            uint8_t bytes[4];
            StoreLE32(bytes, value);
            WriteBytes(bytes, 4);
        }
    }
    void WriteBytes(const void* data, uint32_t size);
    // Writes over bytes written before, leaving the position where it is;
    // a range past the used size sets kPastEnd and writes nothing.
    bool WriteAt(uint32_t position, const void* data, uint32_t size) noexcept;

    bool ReadU32(uint32_t& out) noexcept;
    // The address of the next `size` bytes, which are skipped; null (and
    // kPastEnd) when fewer are left.
    const uint8_t* ReadInPlace(uint32_t size) noexcept;
    // Moves to an absolute position; past the used size sets kPastEnd.
    bool Seek(uint32_t position) noexcept;

    uint32_t Flags() const noexcept { return flags_; }
    uint32_t GrowthStep() const noexcept { return growth_; }
    uint32_t Position() const noexcept { return position_; }
    uint32_t Size() const noexcept { return size_; }
    uint32_t Capacity() const noexcept { return capacity_; }
    uint32_t Remaining() const noexcept { return size_ - position_; }
    // 4-byte aligned; null before Init.
    uint8_t* Data() noexcept { return data_; }
    const uint8_t* Data() const noexcept { return data_; }

private:
    // True when n bytes from the position land inside the storage, which a
    // failed buffer never takes.
    bool Fits(uint32_t n) const noexcept
    {
        return uint64_t(position_) + n < capacity_ && !(flags_ & kAllocFailed);
    }
    void Advance(uint32_t n) noexcept
    {
        position_ += n;
        if (size_ < position_)
            size_ = position_;
    }
    bool Allocate(uint32_t capacity, std::unique_ptr<uint8_t[]>& raw, uint8_t*& data) noexcept;

    uint32_t flags_ = 0;
    uint32_t growth_ = 0;
    uint32_t position_ = 0;
    uint32_t size_ = 0;
    uint32_t capacity_ = 0;
    uint8_t* data_ = nullptr;
    std::unique_ptr<uint8_t[]> raw_;
};

}  // namespace Utils
