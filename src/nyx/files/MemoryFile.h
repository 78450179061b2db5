// A file's bytes held in memory with a read cursor. Reads that would pass
// the end read nothing, leave the cursor where it was and give 0 (or an
// empty block), so a reader can check once, at the end, where it stands.
#pragma once

#include <cstdint>
#include <vector>

namespace Nyx {

class File;

class MemoryFile {
public:
    MemoryFile() = default;
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    // Reads the whole of an open file from its start; false when it cannot
    // be read in full (the memory file is then empty).
    bool Open(File& file);
    // Takes a copy of the bytes.
    void Open(const void* data, uint32_t size);
    void Close() noexcept;

    // Four bytes at the cursor, little-endian; false (target 0, cursor
    // unmoved) when fewer remain.
    bool Read(uint32_t& value) noexcept;
    bool Read(int32_t& value) noexcept;
    bool Read(float& value) noexcept;
    // `size` bytes, copied only when they all remain.
    bool ReadBytes(void* target, uint32_t size) noexcept;
    // A view of the next `size` bytes, stepped over; null when they do not
    // all remain.
    const uint8_t* Take(uint32_t size) noexcept;

    uint32_t Tell() const noexcept { return pos_; }
    // Moves to an offset from the start, clamped to the data.
    void Seek(uint32_t offset) noexcept { pos_ = offset < size() ? offset : size(); }
    uint32_t GetSize() const noexcept { return size(); }
    uint32_t Remaining() const noexcept { return size() - pos_; }
    bool Empty() const noexcept { return data_.empty(); }
    const uint8_t* GetData() const noexcept { return data_.data(); }

private:
    uint32_t size() const noexcept { return static_cast<uint32_t>(data_.size()); }

    std::vector<uint8_t> data_;
    uint32_t pos_ = 0;
};

}  // namespace Nyx
