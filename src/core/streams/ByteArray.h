// A counted byte array {count, capacity, data}. Capacity grows in steps of
// 128 bytes; growing copies into a fresh allocation and frees the old one.
#pragma once

#include <cstdint>

class ByteArray {
public:
    static constexpr uint32_t kGranule = 128;

    ByteArray() noexcept = default;
    ByteArray(const ByteArray&) = delete;
    ByteArray& operator=(const ByteArray&) = delete;
    ByteArray(ByteArray&& o) noexcept;
    ByteArray& operator=(ByteArray&& o) noexcept;
    ~ByteArray();

    uint32_t Count() const noexcept { return count_; }
    uint32_t Capacity() const noexcept { return capacity_; }
    uint8_t* Data() noexcept { return data_; }
    const uint8_t* Data() const noexcept { return data_; }
    uint8_t& operator[](uint32_t i) noexcept { return data_[i]; }
    uint8_t operator[](uint32_t i) const noexcept { return data_[i]; }

    void Append(uint8_t byte);
    // Sets the count; bytes that come into view are zero. Shrinking keeps
    // the capacity. Throws std::length_error past the 32-bit range.
    void Resize(uint32_t n);

private:
    void Reserve(uint32_t n);

    uint32_t count_ = 0;
    uint32_t capacity_ = 0;
    uint8_t* data_ = nullptr;
};
