// CRC-32/ISO-HDLC, the checksum zlib and PNG use: reflected polynomial
// 0xEDB88320, register preset to all ones, result inverted.
#pragma once

#include <cstdint>

// Continues a checksum: `crc` is the finished value over the data before
// (0 to start), so Crc32Update(Crc32(a), b) == Crc32(a followed by b).
uint32_t Crc32Update(uint32_t crc, const void* data, uint32_t length) noexcept;

// The checksum of a buffer; 0 for an empty one.
uint32_t Crc32(const void* data, uint32_t length) noexcept;

// The checksum of a NUL-terminated name with ASCII letters folded to lower
// case (the "C" locale's tolower), so names that differ only in case agree.
// The NUL is not included; the empty name gives 0.
uint32_t Crc32LowerCase(const char* text) noexcept;
