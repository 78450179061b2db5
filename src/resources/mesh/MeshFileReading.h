// Small readers over a mesh file's memory file, shared by the mesh
// definitions: tags, look-ahead, raw blocks and count budgets.
#pragma once

#include <cstdint>
#include <cstring>

#include "nyx/MemoryFile.h"
#include "nyx/scene/Quaternion.h"

namespace MeshFileReading {

// Takes a tag when four bytes remain; false otherwise (cursor unmoved).
inline bool ReadTag(Nyx::MemoryFile& file, char tag[4])
{
    if (!file.ReadBytes(tag, 4)) {
        std::memset(tag, 0, 4);
        return false;
    }
    return true;
}

inline bool IsTag(const char tag[4], const char* expected) { return std::memcmp(tag, expected, 4) == 0; }

// True when the next four bytes are the tag; nothing is taken either way.
inline bool NextTagIs(const Nyx::MemoryFile& file, const char* expected)
{
    return file.Remaining() >= 4 && std::memcmp(file.GetData() + file.Tell(), expected, 4) == 0;
}

// Reads three floats; the target keeps zeros for what is missing.
inline bool ReadVector(Nyx::MemoryFile& file, Nyx::Vector3f& v)
{
    bool ok = file.Read(v.x);
    ok = file.Read(v.y) && ok;
    return file.Read(v.z) && ok;
}

// A stored 3×3 matrix, taken only when all 36 bytes remain.
inline bool ReadMatrix(Nyx::MemoryFile& file, Nyx::Matrix3& m)
{
    float raw[9];
    if (!file.ReadBytes(raw, sizeof raw))
        return false;
    std::memcpy(m.m, raw, sizeof raw);
    return true;
}

// Whether `count` records of at least `size` bytes each can still follow:
// a count is checked against what remains before anything is made for it.
inline bool CountFits(const Nyx::MemoryFile& file, uint64_t count, uint64_t size)
{
    return size == 0 || count <= file.Remaining() / size;
}

// Adds up the bytes several blocks need, refusing sums past a limit
// without overflowing.
class ByteBudget {
public:
    explicit ByteBudget(uint64_t limit) noexcept : left_(limit) {}
    // False (and stays false) when count × size does not fit in what is left.
    bool Take(uint64_t count, uint64_t size) noexcept
    {
        if (!ok_ || (size != 0 && count > left_ / size))
            return ok_ = false;
        left_ -= count * size;
        return true;
    }
    bool Ok() const noexcept { return ok_; }

private:
    uint64_t left_;
    bool ok_ = true;
};

}  // namespace MeshFileReading
