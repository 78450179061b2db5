// The blocks every part of a library image is made of: a length word that
// counts the whole block (itself included), written as 0 and patched once
// the block is done, then a tag.
#pragma once

#include <cstdint>

#include "gs/support/ByteBuffer.h"

namespace GSCompiler {

// The block's start, for EndBlock.
inline uint32_t BeginBlock(Utils::ByteBuffer& out, uint32_t tag)
{
    const uint32_t start = out.Position();
    out.WriteU32(0);
    out.WriteU32(tag);
    return start;
}

inline void EndBlock(Utils::ByteBuffer& out, uint32_t start)
{
    const uint32_t length = out.Position() - start;
    const uint8_t bytes[4] = {uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16), uint8_t(length >> 24)};
    out.WriteAt(start, bytes, sizeof bytes);
}

// Pads with `fill` up to the next multiple of 4 of the position.
inline void PadTo4(Utils::ByteBuffer& out, uint8_t fill)
{
    while (out.Position() % 4 != 0 && !(out.Flags() & Utils::ByteBuffer::kAllocFailed))
        out.WriteU8(fill);
}

}  // namespace GSCompiler
