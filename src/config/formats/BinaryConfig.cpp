#include "config/formats/BinaryConfig.h"

#include <cstring>

#include "config/formats/TDBBinaryFile.h"
#include "config/tree/TagTreeOps.h"
#include "core/streams/LittleEndian.h"
#include "core/streams/TStream.h"

namespace {

// The record type a value of the given in-memory type is written as.
uint8_t FileTypeOf(ACSValueType type) noexcept
{
    switch (type) {
    case ACS_TYPE_CONTAINER:
        return ACS_CHUNK_CONTAINER;
    case ACS_TYPE_INT:
        return ACS_CHUNK_INT;
    case ACS_TYPE_FLOAT:
        return ACS_CHUNK_FLOAT;
    case ACS_TYPE_STRING:
    case ACS_TYPE_STRING_ALT:
        return ACS_CHUNK_STRING;
    case ACS_TYPE_RAW:
        return ACS_CHUNK_RAW;
    case ACS_TYPE_KUID:
        return ACS_CHUNK_KUID;
    default:
        // No value, and any type the format has no number for.
        return ACS_CHUNK_NONE;
    }
}

// What a write had to leave out of the tree.
struct WriteLoss {
    bool tooDeep = false;
    bool longName = false;
};

// Writes one record with its subtree; `depth` is the level of the list the
// record stands in (the root's list is 0). What had to be left out is noted
// in `loss`.
void WriteChunk(TStream& s, const Nyx::PString& name, const ChunkRef& chunk, int depth, WriteLoss& loss)
{
    // The name length is one byte that also counts the NUL.
    if (name.Length() + 1 > 255) {
        loss.longName = true;
        return;
    }
    ACSValueType type = chunk->GetType();
    if (type == ACS_TYPE_CONTAINER && depth + 1 > kMaxTreeDepth) {
        loss.tooDeep = true;
        return;
    }

    uint32_t at = s.Tell();
    s.WriteInt32(0xFFFFFFFFu);
    if (name.Empty()) {
        s.WriteUInt8(0);
    } else {
        uint8_t n = static_cast<uint8_t>(name.Length() + 1);
        s.WriteUInt8(n);
        s.WriteBytes(name.c_str(), n);
    }
    s.WriteUInt8(FileTypeOf(type));

    if (type == ACS_TYPE_CONTAINER) {
        uint32_t count = chunk->GetChildCount();
        for (uint32_t i = 0; i < count; ++i) {
            Nyx::PString childName;
            ChunkRef child;
            if (chunk->GetChildAt(i, childName, child) && child)
                WriteChunk(s, childName, child, depth + 1, loss);
        }
    } else if (type != ACS_TYPE_NONE) {
        uint32_t size = chunk->GetDataSize();
        const uint8_t* data = chunk->GetData();
        if (size != 0 && data)
            s.WriteBytes(data, size);
    }
    s.EndBlock(at);
}

WriteLoss WriteFile(TStream& stream, const ChunkRef& container)
{
    stream.WriteInt32(kACSMagic);
    stream.WriteInt32(kACSWriteVersion);
    stream.WriteInt32(0);
    uint32_t sizeField = stream.Tell();
    stream.WriteInt32(0xFFFFFFFFu);

    WriteLoss loss;
    if (container) {
        uint32_t count = container->GetChildCount();
        for (uint32_t i = 0; i < count; ++i) {
            Nyx::PString name;
            ChunkRef child;
            if (container->GetChildAt(i, name, child) && child)
                WriteChunk(stream, name, child, 0, loss);
        }
    }
    stream.EndBlock(sizeField);
    return loss;
}

// The record checks.
inline bool ParseRecord(const uint8_t* payload, uint32_t offset, uint32_t listEnd, ACSChunkRecord& out) noexcept
{
    if (offset > listEnd || listEnd - offset < kACSMinRecord)
        return false;
    const uint8_t* p = payload + offset;
    uint32_t size = LoadLE32(p);
    if (size > listEnd - offset - 4)
        return false;
    uint32_t nameBytes = p[4];
    // The size must cover the name length byte, the name and the type byte:
    // a shorter one would make the payload length wrap around.
    if (size < nameBytes + 2)
        return false;
    const char* name = reinterpret_cast<const char*>(p + 5);
    if (nameBytes != 0 && name[nameBytes - 1] != '\0')
        return false;

    uint32_t dataOffset = offset + 6 + nameBytes;
    uint32_t dataSize = size - nameBytes - 2;
    uint8_t type = p[5 + nameBytes];
    if (type == ACS_CHUNK_RAW_ALIGNED) {
        uint32_t skip = (kACSPayloadAlignment - dataOffset % kACSPayloadAlignment) % kACSPayloadAlignment;
        if (skip > dataSize)
            return false;
        dataOffset += skip;
        dataSize -= skip;
    }

    out.offset = offset;
    out.next = offset + 4 + size;
    out.name = name;
    out.nameLength = nameBytes == 0 ? 0 : static_cast<uint32_t>(std::strlen(name));
    out.type = type;
    out.dataOffset = dataOffset;
    out.dataSize = dataSize;
    return true;
}

}  // namespace

bool ReadChunkRecord(const uint8_t* payload, uint32_t offset, uint32_t listEnd, ACSChunkRecord& out) noexcept
{
    return ParseRecord(payload, offset, listEnd, out);
}

bool ValidateChunkList(const uint8_t* payload, uint32_t offset, uint32_t size, int depth) noexcept
{
    if (depth < 0 || depth > kMaxTreeDepth)
        return false;
    // Walked without recursion, keeping the end of every open list: this
    // pass covers every byte of a loaded file, so it is kept tight. It
    // steps by pointer, each record's size added to where it starts: the
    // walk is one chain of such steps, and a step of an offset added to
    // the payload's start anew on every load would make it longer.
    const uint8_t* ends[kMaxTreeDepth + 1];
    int level = 0;
    const uint8_t* end = payload + uint32_t(offset + size);
    const uint8_t* at = payload + offset;
    ends[0] = end;
    for (;;) {
        // A record never reaches past its list, nor a list past its
        // container: `at` stays at or below `end`.
        if (static_cast<size_t>(end - at) < kACSMinRecord) {
            // A list's last few bytes are ignored; its container's record
            // ends where the list does.
            if (level == 0)
                return true;
            at = end;
            end = ends[--level];
            continue;
        }
        // Sizes widened once, so that every step below is one address
        // computation; the record's size must cover its name length byte,
        // its name and its type byte, and stay inside the list.
        const size_t recordSize = LoadLE32(at);
        const size_t nameBytes = at[4];
        if (recordSize > static_cast<size_t>(end - at) - 4 || recordSize < nameBytes + 2)
            return false;
        const uint8_t* named = at + nameBytes;
        const uint8_t* next = at + (recordSize + 4);
        // The name's NUL (for an empty name the length byte, 0) and the
        // type byte after it, read together.
        const unsigned tail = unsigned(named[4]) | unsigned(named[5]) << 8;
        if ((tail & 0xFFu) != 0)
            return false;
        const unsigned type = tail >> 8;
        if (type == ACS_CHUNK_CONTAINER) {
            if (depth + level + 1 > kMaxTreeDepth)
                return false;
            ends[++level] = next;
            end = next;
            at = named + 6;
            continue;
        }
        if (type == ACS_CHUNK_RAW_ALIGNED) {
            const uint32_t dataOffset = static_cast<uint32_t>(named - payload) + 6;
            const uint32_t skip = (kACSPayloadAlignment - dataOffset % kACSPayloadAlignment) % kACSPayloadAlignment;
            if (skip > recordSize - nameBytes - 2)
                return false;
        }
        at = next;
    }
}

bool WriteBinaryConfig(TStream& stream, const ChunkRef& container)
{
    return !WriteFile(stream, container).tooDeep;
}

bool WriteWholeBinaryConfig(TStream& stream, const ChunkRef& container)
{
    const WriteLoss loss = WriteFile(stream, container);
    return !loss.tooDeep && !loss.longName;
}

bool ReadBinaryConfig(TStream& stream, ChunkRef& out)
{
    auto* file = new TDBBinaryFile;
    file->AddRef();
    bool ok = file->Read(stream);
    ChunkRef root = file->GetRoot();
    // The root view holds the file for as long as it is needed.
    file->Release();
    if (ok && root.IsReal() && root->GetType() != ACS_TYPE_NONE) {
        out = std::move(root);
        return true;
    }
    out.Release();
    return false;
}
