// Asset identifiers: {user id, content id, version}, their packed 8-byte
// forms, their texts and the text parser.
#pragma once

#include <cstdint>

#include "nyx/base/PString.h"
#include "nyx/base/String.h"

class TStream;

struct KUID {
    int32_t user = -1;
    int32_t content = -1;
    int32_t version = 127;

    constexpr KUID() = default;
    constexpr KUID(int32_t u, int32_t c, int32_t v) : user(u), content(c), version(v) {}

    static const KUID Null;

    // Bytes of either packed form.
    static constexpr uint32_t kPackedSize = 8;

    bool IsNull() const noexcept { return *this == Null; }
    bool operator==(const KUID& o) const noexcept
    {
        return user == o.user && content == o.content && version == o.version;
    }
    bool operator!=(const KUID& o) const noexcept { return !(*this == o); }

    // The user id's bits in the packed word, and its sign among them.
    static constexpr uint32_t kPackedUserMask = 0x1ffffffu;
    static constexpr uint32_t kPackedUserSign = 0x1000000u;

    // (version << 25) | (user & 0x1ffffff)
    constexpr uint32_t PackedWord() const noexcept
    {
        return (static_cast<uint32_t>(version) << 25) | (static_cast<uint32_t>(user) & kPackedUserMask);
    }
    // The inverse: user id sign-extended from bit 24, version the top 7 bits.
    static constexpr KUID FromPacked(uint32_t packedWord, int32_t content) noexcept
    {
        const uint32_t low = packedWord & kPackedUserMask;
        const uint32_t extended = (low & kPackedUserSign) ? (low | ~kPackedUserMask) : low;
        return KUID(static_cast<int32_t>(extended), content, static_cast<int32_t>(packedWord >> 25));
    }

    // The chunk form (config data tags and the binary config format): the
    // packed word, then the content id, both little-endian.
    void ToChunk(uint8_t out[kPackedSize]) const noexcept;
    static KUID FromChunk(const uint8_t in[kPackedSize]) noexcept;

    Nyx::PString ToString() const;
    // Always the two-number text, whatever the version.
    Nyx::PString ToShortString() const;
    Nyx::String ToPlainString() const;
    // Every text it does not accept gives the null KUID. Every KUID it gives
    // survives both packed forms unchanged.
    static KUID Parse(const char* text, bool strict);
};

inline constexpr KUID KUID::Null{-1, -1, 127};

// The interned text "<NULL>" of the null KUID.
const Nyx::PString& KUIDNullText();

// The stream form: content id, then the packed word (little-endian). Reading
// takes the null KUID's words as defaults, word by word, and leaves code 4 on
// a short read.
void WriteKUID(TStream& s, const KUID& k);
void ReadKUID(TStream& s, KUID& out);
