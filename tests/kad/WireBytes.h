// Hand-built wire images for the record tests, so that a writer and a
// reader that agree on a wrong layout still fail.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "config/kuid/KUID.h"
#include "core/streams/TStream.h"

namespace wire {

class Bytes {
public:
    Bytes& U8(uint8_t v)
    {
        s_ += static_cast<char>(v);
        return *this;
    }
    Bytes& U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            s_ += static_cast<char>(v >> (8 * i));
        return *this;
    }
    Bytes& U64(uint64_t v)
    {
        U32(static_cast<uint32_t>(v));
        return U32(static_cast<uint32_t>(v >> 32));
    }
    Bytes& F32(float v)
    {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        return U32(bits);
    }
    // A string record: the length counting a closing zero, the text, the
    // zero; the empty text is the length 0 alone.
    Bytes& Text(std::string_view t)
    {
        if (t.empty())
            return U32(0);
        U32(static_cast<uint32_t>(t.size() + 1));
        s_ += t;
        s_ += '\0';
        return *this;
    }
    // Content id, then (version << 25) | (user & 0x1FFFFFF).
    Bytes& Kuid(const KUID& k)
    {
        U32(static_cast<uint32_t>(k.content));
        return U32((static_cast<uint32_t>(k.version) << 25) | (static_cast<uint32_t>(k.user) & 0x1FFFFFFu));
    }
    Bytes& Raw(std::string_view raw)
    {
        s_ += raw;
        return *this;
    }

    const std::string& Str() const { return s_; }
    size_t Size() const { return s_.size(); }

private:
    std::string s_;
};

// A KUID list as the requests carry one: the count, then each KUID.
inline std::string KUIDList(const std::vector<KUID>& kuids)
{
    Bytes b;
    b.U32(static_cast<uint32_t>(kuids.size()));
    for (const KUID& k : kuids)
        b.Kuid(k);
    return b.Str();
}

// A memory stream holding exactly these bytes, positioned at the start.
struct Input {
    explicit Input(std::string_view bytes) : stream(&buffer)
    {
        stream.WriteBytes(bytes.data(), static_cast<uint32_t>(bytes.size()));
        stream.Rewind();
    }
    Nyx::DynamicBuffer buffer;
    TBuffer stream;
};

// Collects what a writer produces.
struct Output {
    Output() : stream(&buffer) {}
    std::string Str() const
    {
        return std::string(reinterpret_cast<const char*>(buffer.Data()), buffer.DataLength());
    }
    Nyx::DynamicBuffer buffer;
    TBuffer stream;
};

}  // namespace wire
