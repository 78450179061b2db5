// Growable character array of the config text reader. Capacity grows in
// whole 4096-byte steps so that appending a character at a time stays cheap.
#pragma once

#include <cstdint>

class CharArray {
public:
    static constexpr uint32_t kGrowStep = 4096;

    CharArray() = default;
    ~CharArray();
    CharArray(const CharArray&) = delete;
    CharArray& operator=(const CharArray&) = delete;

    // Makes room for n characters; the contents are kept.
    void Reserve(uint32_t n);
    void Append(char c)
    {
        if (count_ >= capacity_)
            Reserve(count_ + 1);
        data_[count_++] = c;
    }
    // Sets the count to n; characters added this way are left unset.
    void Resize(uint32_t n);
    void Clear() noexcept { count_ = 0; }
    uint32_t Count() const noexcept { return count_; }
    uint32_t Capacity() const noexcept { return capacity_; }
    char* Data() noexcept { return data_; }
    const char* Data() const noexcept { return data_; }

private:
    uint32_t count_ = 0;
    uint32_t capacity_ = 0;
    char* data_ = nullptr;
};
