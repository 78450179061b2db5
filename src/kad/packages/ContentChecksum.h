// The content checksum of a package entry's files: a sum and a size over
// the stored bytes. Stored "dsid" values are compared with its text, so the
// arithmetic (a shift by 30, not a rotate) and the text stay as they are.
#pragma once

#include <cstdint>

#include "config/tree/ACSChunk.h"
#include "nyx/base/String.h"

struct ContentChecksum {
    uint32_t sum = 0;
    uint32_t size = 0;

    bool operator==(const ContentChecksum& other) const noexcept
    {
        return sum == other.sum && size == other.size;
    }

    // Blocks of 4 bytes or fewer give (0, 0). Otherwise over the whole
    // little-endian words (trailing bytes ignored): t = s + w, then
    // s = (t << 1) | (t >> 30); the size is the bytes of those words, and a
    // sum of 0 becomes 1.
    static ContentChecksum OfBlock(const uint8_t* data, uint32_t length) noexcept;
    // The children in order: a container adds its own checksum, any other
    // child that of its bytes; both parts wrap, and after each addition a
    // sum of 0 becomes 1. Containers deeper than a tree walk may go add
    // nothing.
    static ContentChecksum OfContainer(const ChunkRef& container);

    // "size:sum", both printed as signed numbers.
    Nyx::String Text() const;
};
