// A growable list of 32-bit floats: the value of a number-list tag.
#pragma once

#include <cstdint>

class FloatArray {
public:
    FloatArray() noexcept = default;
    FloatArray(const FloatArray& other);
    FloatArray(FloatArray&& other) noexcept;
    FloatArray& operator=(const FloatArray& other);
    FloatArray& operator=(FloatArray&& other) noexcept;
    ~FloatArray();

    // Grows the capacity, when n exceeds it, to n rounded up to a multiple
    // of 8; the values are kept.
    void Reserve(uint32_t n);
    void Append(float v);
    // Sets the count; new values (when it grows) are 0.
    void Resize(uint32_t n);
    void Clear() noexcept { count_ = 0; }

    uint32_t Count() const noexcept { return count_; }
    uint32_t Capacity() const noexcept { return capacity_; }
    float* Data() noexcept { return data_; }
    const float* Data() const noexcept { return data_; }
    float& operator[](uint32_t i) noexcept { return data_[i]; }
    float operator[](uint32_t i) const noexcept { return data_[i]; }

private:
    uint32_t count_ = 0;
    uint32_t capacity_ = 0;
    float* data_ = nullptr;
};
