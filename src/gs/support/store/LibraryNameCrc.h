// The high word of a library's identifier: the CRC-32 of its source's bare
// file name without regard to case, a final ".gse" counted as ".gs", so a
// scrambled source and its plain form name the same library.
#pragma once

#include <cstdint>
#include <string_view>

// `name` may carry folders; they are left out.
uint32_t LibraryNameCrc(std::string_view name);
