// Little-endian fields appended to a string, for files the tests build byte
// by byte.
#pragma once

#include <cstdint>
#include <string>

namespace littleendian {

inline void Put16(std::string& s, uint32_t v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}

inline void Put32(std::string& s, uint32_t v)
{
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

}  // namespace littleendian
