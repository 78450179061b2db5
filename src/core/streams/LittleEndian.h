// Loads and stores of fixed-width integers in little-endian byte order at
// any byte address. The formats and the daemon wire fix the byte order, not
// the host, and their fields need not be aligned. Signed values go through
// their unsigned twins (static_cast both ways keeps every bit).
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace LittleEndianDetail {

// One unaligned load or store of the whole word: compilers turn the copy
// into a single move, where a loop over the bytes may stay a loop at low
// optimisation.
template <class T>
inline T Load(const void* p) noexcept
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T>
inline void Store(void* p, T v) noexcept
{
    std::memcpy(p, &v, sizeof v);
}

inline uint16_t FromHost(uint16_t v) noexcept
{
    if constexpr (std::endian::native == std::endian::big)
        return __builtin_bswap16(v);
    return v;
}

inline uint32_t FromHost(uint32_t v) noexcept
{
    if constexpr (std::endian::native == std::endian::big)
        return __builtin_bswap32(v);
    return v;
}

inline uint64_t FromHost(uint64_t v) noexcept
{
    if constexpr (std::endian::native == std::endian::big)
        return __builtin_bswap64(v);
    return v;
}

}  // namespace LittleEndianDetail

inline uint16_t LoadLE16(const void* p) noexcept
{
    return LittleEndianDetail::FromHost(LittleEndianDetail::Load<uint16_t>(p));
}

inline uint32_t LoadLE32(const void* p) noexcept
{
    return LittleEndianDetail::FromHost(LittleEndianDetail::Load<uint32_t>(p));
}

inline uint64_t LoadLE64(const void* p) noexcept
{
    return LittleEndianDetail::FromHost(LittleEndianDetail::Load<uint64_t>(p));
}

inline void StoreLE16(void* p, uint16_t v) noexcept
{
    LittleEndianDetail::Store(p, LittleEndianDetail::FromHost(v));
}

inline void StoreLE32(void* p, uint32_t v) noexcept
{
    LittleEndianDetail::Store(p, LittleEndianDetail::FromHost(v));
}

inline void StoreLE64(void* p, uint64_t v) noexcept
{
    LittleEndianDetail::Store(p, LittleEndianDetail::FromHost(v));
}
