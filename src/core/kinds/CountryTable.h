// Country codes and names.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

struct CountryRow {
    // Two letters and two blanks, the second letter first: "AD" (Andorra) is
    // held as the bytes 44 41 20 20.
    std::array<char, 4> code;
    const char* name;

    // The four bytes as a little-endian word: 0x20204144 for "AD".
    uint32_t CodeValue() const noexcept
    {
        return static_cast<uint32_t>(static_cast<uint8_t>(code[0])) |
               static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 8 |
               static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 16 |
               static_cast<uint32_t>(static_cast<uint8_t>(code[3])) << 24;
    }
};

// The two-letter country codes of the older standard edition (with AN, CS,
// FX, NT, SU, TP, YU and ZR, and UK beside GB) in code order, then the
// aliases that asset configs use for some of them. No end row.
std::span<const CountryRow> CountryTable() noexcept;
inline constexpr size_t kCountryCodeRows = 244;
inline constexpr size_t kCountryRows = 264;
