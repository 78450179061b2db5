// Helpers shared by every reader and writer of the chunked mesh files.
//
// A padded string is a u32 byte count n, the n bytes (no NUL), then
// (4 - n mod 4) mod 4 zero bytes. A writer marks where a chunk's size
// goes, writes the chunk, then fills in the number of bytes after the size.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "nyx/base/PString.h"
#include "nyx/base/String.h"

namespace Nyx {

class MemoryFile;

class MeshFileSupport {
public:
    // False (target empty, cursor unmoved) when the string does not fit in
    // what remains. The char* form writes at most capacity - 1 bytes and a
    // NUL, cutting a longer text.
    static bool ReadPaddedString(MemoryFile& file, String& out);
    static bool ReadPaddedString(MemoryFile& file, PString& out);
    static bool ReadPaddedString(MemoryFile& file, char* out, uint32_t capacity);

    static void WritePaddedString(std::vector<uint8_t>& out, std::string_view text);
    static void WriteU32(std::vector<uint8_t>& out, uint32_t value);
    static void WriteFloat(std::vector<uint8_t>& out, float value);
    static void WriteTag(std::vector<uint8_t>& out, const char tag[4]);
    // Leaves room for a size and returns where it lies.
    static uint32_t MarkSizePos(std::vector<uint8_t>& out);
    // Fills the size at the mark with the bytes written after it.
    static void WriteSizeAtMark(std::vector<uint8_t>& out, uint32_t mark);
};

}  // namespace Nyx
