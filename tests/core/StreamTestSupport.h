// Shared helpers of the stream tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/streams/TStream.h"

namespace streamtest {

using Bytes = std::vector<uint8_t>;

// Bytes 0, 1, 2, ... wrapping at 251 so that no 4096-byte block repeats the
// one before it.
inline Bytes Pattern(uint32_t n)
{
    Bytes b(n);
    for (uint32_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(i % 251);
    return b;
}

inline uint32_t PatternU32(uint32_t at)
{
    return uint32_t(at % 251) | uint32_t((at + 1) % 251) << 8 | uint32_t((at + 2) % 251) << 16 |
           uint32_t((at + 3) % 251) << 24;
}

// A buffer stream that counts how often and how much the underlying buffer
// is asked for, so tests can tell read-ahead hits from refills.
class CountingBuffer : public TBuffer {
public:
    explicit CountingBuffer(const Bytes& bytes) : TBuffer()
    {
        if (!bytes.empty())
            GetBuffer()->Write(bytes.data(), static_cast<uint32_t>(bytes.size()), 1);
        GetBuffer()->Seek(0);
    }

    uint32_t ReadRaw(void* data, uint32_t n) override
    {
        asked.push_back(n);
        return TBuffer::ReadRaw(data, n);
    }
    void SeekRaw(int64_t offset, int origin) override
    {
        ++seeks;
        TBuffer::SeekRaw(offset, origin);
    }

    std::vector<uint32_t> asked;
    int seeks = 0;
};

// The bytes of a buffer stream's data.
inline Bytes Contents(TBuffer& s)
{
    const Nyx::DynamicBuffer* b = s.GetBuffer();
    return Bytes(b->Data(), b->Data() + b->DataLength());
}

}  // namespace streamtest
