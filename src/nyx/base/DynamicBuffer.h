// Growable memory buffer with a position, an allocated size and a data length.
// Writes extend the data length; reads stop at it. Sizes are 32-bit, as in
// the stream formats built on it.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

namespace Nyx {

class DynamicBuffer {
public:
    explicit DynamicBuffer(uint32_t initialSize = 0);
    DynamicBuffer(const DynamicBuffer&) = delete;
    DynamicBuffer& operator=(const DynamicBuffer&) = delete;
    ~DynamicBuffer();

    uint32_t Position() const noexcept { return position_; }
    uint32_t AllocatedSize() const noexcept { return allocated_; }
    uint32_t DataLength() const noexcept { return length_; }
    uint8_t* Data() noexcept { return data_.get(); }
    const uint8_t* Data() const noexcept { return data_.get(); }

    // Empties the buffer: position and data length 0, allocation kept.
    void Clean() noexcept;
    // Writes size * count bytes at the position, growing as needed; returns
    // the bytes written. Throws std::bad_alloc or std::length_error when the
    // buffer cannot grow.
    uint32_t Write(const void* data, uint32_t size, uint32_t count)
    {
        // Most writes fit the allocation and land at the end of the data.
        const uint64_t n = uint64_t(size) * count;
        if (n == 0 || position_ > length_ || n > allocated_ - position_)
            return WriteGrowing(data, n);
        std::memcpy(data_.get() + position_, data, static_cast<size_t>(n));
        position_ += static_cast<uint32_t>(n);
        if (position_ > length_)
            length_ = position_;
        return static_cast<uint32_t>(n);
    }
    // The next n bytes at the position, for the caller to fill, when the
    // position is at the end of the data and the allocation holds them: the
    // position and the data length then move past them. Null otherwise,
    // nothing changed. Lets a writer of many small fields check the room
    // once for all of them.
    uint8_t* Claim(uint32_t n) noexcept
    {
        if (position_ != length_ || n > allocated_ - position_)
            return nullptr;
        uint8_t* at = data_.get() + position_;
        position_ += n;
        length_ = position_;
        return at;
    }
    // Reads up to size * count bytes from the position, stopping at the data
    // length; returns the bytes read.
    uint32_t Read(void* data, uint32_t size, uint32_t count) noexcept;
    // Moves the position, cut to the allocated size.
    void Seek(uint32_t position) noexcept;
    // Grows the allocation by n bytes.
    void AddLength(uint32_t n);
    // Makes sure at least n bytes are allocated.
    void Reserve(uint32_t n);
    // Sets the data length (allocating as needed); the position is kept.
    void SetDataLength(uint32_t n);

private:
    void Grow(uint64_t needed);
    uint32_t WriteGrowing(const void* data, uint64_t n);

    std::unique_ptr<uint8_t[]> data_;
    uint32_t position_ = 0;
    uint32_t allocated_ = 0;
    uint32_t length_ = 0;
};

}  // namespace Nyx
