// The "NIRF" chunked frame shared by the engine's binary files: the tag
// "NIRF", a u32 count of the bytes that follow it, a u32 form code, then
// chunks, each a four-character tag, a u32 count of the bytes after that
// count, a u32 version and the chunk's fields. All little-endian.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "nyx/files/File.h"

namespace Nyx {

// Writes the frame's start with a size to be patched by NIRFFinishHeader;
// `start` receives the frame's position. False when the write fails.
bool NIRFWriteHeader(File& file, uint32_t form, int64_t& start);
// Patches the frame's size to the bytes written after it, and returns to
// the end.
bool NIRFFinishHeader(File& file, int64_t start);

// Builds one chunk in memory.
class NIRFChunk {
public:
    NIRFChunk(std::string_view tag, uint32_t version);
    void PutU32(uint32_t value);
    void PutBytes(const void* data, size_t size);
    // Writes the chunk with its size filled in; false when the write fails
    // or the chunk exceeds 4 GiB.
    bool Write(File& file) const;

private:
    std::string tag_;
    std::string body_;
};

}  // namespace Nyx
