// The "ACS$" binary form of a config tree.
//
// A file is a 16-byte header (magic, version, a spare word, payload size)
// followed by the chunk list of the root container. Each record of a chunk
// list is {u32 size, u8 name length, name and NUL, u8 type, payload}, where
// the size counts every byte behind its own field. A container's payload is
// the chunk list of its children.
//
// Reading loads the payload in one block, checks its whole structure once
// (ValidateChunkList) and serves it through views that decode records on
// demand (TDBBinaryFile). Every record is re-checked against its list when a
// view walks it, so no walk leaves the list that holds it.
#pragma once

#include <cstdint>

#include "config/tree/ACSChunk.h"

class TStream;

inline constexpr uint32_t kACSMagic = 0x24534341u;  // "ACS$"
inline constexpr int32_t kACSWriteVersion = 1;
inline constexpr uint32_t kACSHeaderSize = 16;
// A record of a list: size field, name length byte, type byte.
inline constexpr uint32_t kACSMinRecord = 6;
// Type-12 payloads begin on a boundary of this many bytes, counted from the
// payload start (which is loaded at an address aligned to it).
inline constexpr uint32_t kACSPayloadAlignment = 16;

// Record types on file.
enum ACSChunkType : uint8_t {
    ACS_CHUNK_CONTAINER = 0,
    ACS_CHUNK_INT = 1,
    ACS_CHUNK_FLOAT = 2,
    ACS_CHUNK_STRING = 3,
    ACS_CHUNK_RAW = 4,
    ACS_CHUNK_NONE = 5,
    ACS_CHUNK_RAW_ALIGNED = 12,
    ACS_CHUNK_KUID = 13,
};

// One record of a chunk list, decoded. Offsets count from the payload start.
struct ACSChunkRecord {
    uint32_t offset;      // the record's size field
    uint32_t next;        // the record that follows it
    const char* name;     // the name text, NUL-terminated inside the record
    uint32_t nameLength;  // characters up to the first NUL
    uint8_t type;         // ACSChunkType, or an undefined number
    uint32_t dataOffset;  // the payload (for type 12, past the skipped bytes)
    uint32_t dataSize;
};

// Decodes the record at `offset` of a list that ends at `listEnd`. False when
// fewer than a record's bytes remain, or when the record runs past the list,
// is too short for its own name and type, has a name without its NUL, or is
// a type-12 record too short for its alignment gap.
bool ReadChunkRecord(const uint8_t* payload, uint32_t offset, uint32_t listEnd, ACSChunkRecord& out) noexcept;

// Whether the chunk list at [offset, offset + size) of the payload, and every
// list nested in it, is made of well-formed records. Lists lying `depth`
// levels below the root; nesting past kMaxTreeDepth is rejected. Fewer than
// 6 bytes left at the end of a list are ignored.
bool ValidateChunkList(const uint8_t* payload, uint32_t offset, uint32_t size, int depth = 0) noexcept;

// Writes a whole file: the header, every child of the container in index
// order (none for a null container), and the payload size. A child whose name
// has 255 characters or more is left out with its subtree. Stream errors
// stay in the stream's error code. False when containers nested deeper than
// kMaxTreeDepth below the root were left out (the file is still well-formed).
bool WriteBinaryConfig(TStream& stream, const ChunkRef& container);

// The same bytes, for data that must arrive whole or not at all (a soup
// sent or stored on the tool's behalf): false when anything was left out,
// a child with an overlong name as well as a container nested too deep.
// The caller then discards what was written.
bool WriteWholeBinaryConfig(TStream& stream, const ChunkRef& container);

// Reads a whole file into `out`: true with a root that is a real container,
// else false with `out` released. The root and its descendants are read-only
// views; AddChild and RemoveChild on them record edits beside the file data.
bool ReadBinaryConfig(TStream& stream, ChunkRef& out);
