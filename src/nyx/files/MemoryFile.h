// A file's bytes held in memory with a read cursor. Reads that would pass
// the end read nothing, leave the cursor where it was and give 0 (or an
// empty block), so a reader can check once, at the end, where it stands.
//
// Meshes are read one after another, each into a memory file that is closed
// once the mesh is loaded. A closed file's buffer is kept as the process's
// one spare (the largest seen, up to kSpareLimit) and the next file of no
// more bytes is read into it: a large mesh then costs no fresh mapping of
// its pages and no unmapping at its close.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

namespace Nyx {

class File;

class MemoryFile {
public:
    MemoryFile() = default;
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    // The largest buffer kept for the next file.
    static constexpr size_t kSpareLimit = size_t{128} << 20;

    ~MemoryFile() { Close(); }

    // Reads the whole of an open file from its start; false when it cannot
    // be read in full (the memory file is then empty).
    bool Open(File& file);
    // Takes a copy of the bytes; empty when no memory can be had for them.
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
    void Seek(uint32_t offset) noexcept { pos_ = offset < size_ ? offset : size_; }
    uint32_t GetSize() const noexcept { return size_; }
    uint32_t Remaining() const noexcept { return size_ - pos_; }
    bool Empty() const noexcept { return size_ == 0; }
    // Null when empty.
    const uint8_t* GetData() const noexcept { return size_ ? bytes_.get() : nullptr; }

private:
    // Buffers start on a cache line: the kernel copies a file into a buffer
    // that starts 16 bytes into a page (where a large allocation otherwise
    // begins) at a third of its speed.
    static constexpr std::align_val_t kAlignment{64};
    struct Free {
        void operator()(uint8_t* bytes) const noexcept { ::operator delete[](bytes, kAlignment); }
    };
    using Buffer = std::unique_ptr<uint8_t[], Free>;
    friend struct MemoryFileSpare;

    // Room for `size` bytes, the spare's when it is large enough; false
    // when no memory can be had.
    bool Reserve(uint32_t size) noexcept;

    Buffer bytes_;
    size_t capacity_ = 0;
    uint32_t size_ = 0;
    uint32_t pos_ = 0;
};

}  // namespace Nyx
