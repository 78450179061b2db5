// Small readers over a mesh file's memory file, shared by the mesh
// definitions: tags, chunk heads, look-ahead, raw blocks and count budgets.
#pragma once

#include <cstdint>
#include <cstring>

#include "nyx/files/MemoryFile.h"
#include "nyx/scene/math/Quaternion.h"

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

// Tag, size and version of a chunk; the end its size gives.
struct ChunkHead {
    uint32_t size = 0;
    uint32_t version = 0;
    uint64_t end = 0;
};

// False, with nothing more taken, when the tag is not the expected one.
inline bool ReadHead(Nyx::MemoryFile& file, const char* expected, ChunkHead& head)
{
    char tag[4];
    ReadTag(file, tag);
    if (!IsTag(tag, expected))
        return false;
    file.Read(head.size);
    head.end = uint64_t{file.Tell()} + head.size;
    file.Read(head.version);
    return true;
}

// The file's outer frame: "NIRF", its size, then the form's own tag.
inline bool ReadFrame(Nyx::MemoryFile& file, const char* form, uint64_t& end)
{
    char tag[4];
    ReadTag(file, tag);
    if (!IsTag(tag, "NIRF"))
        return false;
    uint32_t size = 0;
    file.Read(size);
    end = uint64_t{file.Tell()} + size;
    ReadTag(file, tag);
    return IsTag(tag, form);
}

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

// x, y, z, w as stored; the target keeps zeros for what is missing.
inline void ReadQuaternion(Nyx::MemoryFile& file, Nyx::Quaternion& q)
{
    file.Read(q.x);
    file.Read(q.y);
    file.Read(q.z);
    file.Read(q.w);
}

// File primitive kind (low five bits) to the engine's primitive code.
inline bool MapPrimitive(uint32_t kind, uint32_t& code)
{
    switch (kind) {
    case 0: code = 5; return true;
    case 1: code = 3; return true;
    case 2: code = 4; return true;
    case 4: code = 0; return true;
    case 8: code = 1; return true;
    case 16: code = 2; return true;
    default: return false;
    }
}

// The fields both forms store at the head of a GEOM, after its version.
struct GeometryCounts {
    uint32_t primitive = 0;
    uint32_t geometryFlags = 0;  // from version 201
    float hintValue = 0.0f;
    uint32_t vertexCount = 0;
    uint32_t primitiveCount = 0;
    uint32_t indexCount = 0;
    uint32_t faceCount = 0;
};

// Zeros stay for what is missing; the counts are weighed by the caller.
inline void ReadGeometryCounts(Nyx::MemoryFile& file, int32_t version, GeometryCounts& g)
{
    file.Read(g.primitive);
    if (version >= 201)
        file.Read(g.geometryFlags);
    file.Read(g.hintValue);
    file.Read(g.vertexCount);
    file.Read(g.primitiveCount);
    file.Read(g.indexCount);
    file.Read(g.faceCount);
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

// Reads a count, then weighs it as CountFits does.
inline bool ReadCount(Nyx::MemoryFile& file, uint32_t& count, uint64_t size)
{
    file.Read(count);
    return CountFits(file, count, size);
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
