#include "config/formats/TDBBinaryFile.h"

#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "config/formats/BinaryConfig.h"
#include "config/formats/TDBBinarySoup.h"
#include "config/tree/TDBDataChunk.h"
#include "core/streams/TStream.h"
#include "core/text/TextEncoding.h"

namespace {

constexpr std::align_val_t kPayloadAlign{kACSPayloadAlignment};

// The in-memory type a record of each file type reads as; types the format
// does not define read as no value.
ACSValueType ValueTypeOf(uint8_t fileType) noexcept
{
    switch (fileType) {
    case ACS_CHUNK_INT:
        return ACS_TYPE_INT;
    case ACS_CHUNK_FLOAT:
        return ACS_TYPE_FLOAT;
    case ACS_CHUNK_STRING:
        return ACS_TYPE_STRING;
    case ACS_CHUNK_RAW:
    case ACS_CHUNK_RAW_ALIGNED:
        return ACS_TYPE_RAW;
    case ACS_CHUNK_KUID:
        return ACS_TYPE_KUID;
    default:
        return ACS_TYPE_NONE;
    }
}

// A version-0 string with bytes outside ASCII was written in the ANSI code
// page. Gives its UTF-8 form in `out` and true, or false when it is plain
// ASCII and reads as it stands. A text that cannot be converted reads as
// the empty string.
bool ConvertAnsiString(const uint8_t* data, uint32_t size, ACSRawData& out)
{
    const void* nul = std::memchr(data, 0, size);
    uint32_t length = nul ? static_cast<uint32_t>(static_cast<const uint8_t*>(nul) - data) : size;
    bool ansi = false;
    for (uint32_t i = 0; i < length && !ansi; ++i)
        ansi = data[i] >= 0x80;
    if (!ansi)
        return false;
    out.Release();
    // Each ANSI byte becomes at most three UTF-8 bytes.
    if (length > (std::numeric_limits<uint32_t>::max() - 1) / 3)
        return true;
    uint32_t capacity = length * 3 + 1;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[capacity]);
    if (!buffer)
        return true;
    std::memcpy(buffer.get(), data, length);
    buffer[length] = '\0';
    if (ConvertAnsiToUTF8(buffer.get(), capacity) != 0)
        return true;
    uint32_t converted = static_cast<uint32_t>(std::strlen(buffer.get()));
    out = ACSRawData::Copy(buffer.get(), converted + 1);
    return true;
}

}  // namespace

Nyx::PString& TDBOverlayEntry::Name() noexcept
{
    return *std::launder(reinterpret_cast<Nyx::PString*>(nameStorage));
}

TDBBinaryFile::~TDBBinaryFile()
{
    ClearOverlay();
    FreePayload();
}

void TDBBinaryFile::FreePayload() noexcept
{
    if (payload_)
        ::operator delete(payload_, kPayloadAlign);
    payload_ = nullptr;
    size_ = 0;
}

void TDBBinaryFile::ClearOverlay() noexcept
{
    // Detached first: releasing an added chunk may run arbitrary clean-up.
    OverlayRing entries = std::move(overlay_);
    removed_.Clear();
    overlayInUse_ = false;
    ++edits_;
    for (TDBOverlayEntry& entry : entries) {
        if (entry.kind == TDBOverlayEntry::kRemoved)
            continue;
        entry.Name().~PString();
        if (entry.chunk)
            entry.chunk->Release();
    }
}

bool TDBBinaryFile::Read(TStream& stream)
{
    ClearOverlay();
    FreePayload();

    uint32_t magic;
    int32_t spare;
    int32_t size;
    stream.ReadInt32(magic, 0);
    stream.ReadInt32(version_, -1);
    stream.ReadInt32(spare, 0);
    stream.ReadInt32(size, 0);

    if (magic != kACSMagic)
        return false;
    if (size == 0)
        return true;
    uint32_t start = stream.Tell();
    if (size < 0 || uint64_t(start) + uint32_t(size) > stream.GetSize())
        return false;

    uint32_t length = static_cast<uint32_t>(size);
    // Aligned so that type-12 alignment can be counted from the payload
    // start, which is what the validator and the views do.
    payload_ = static_cast<uint8_t*>(::operator new(length, kPayloadAlign, std::nothrow));
    if (!payload_)
        return false;
    size_ = length;
    uint32_t got = stream.ReadBytes(payload_, length);
    if (got != length || stream.Tell() != start + length || !ValidateChunkList(payload_, 0, length))
        FreePayload();
    return true;
}

ChunkRef TDBBinaryFile::GetRoot()
{
    if (!payload_ || (version_ != 0 && version_ != 1))
        return ChunkRef::SharedEmpty();
    return ChunkRef(new TDBBinarySoup(this, TDBRecordId{}, 0, size_));
}

ChunkRef TDBBinaryFile::Decode(const ACSChunkRecord& record, uint32_t list)
{
    TDBRecordId id{record.offset, list};
    if (record.type == ACS_CHUNK_CONTAINER)
        return ChunkRef(new TDBBinarySoup(this, id, record.dataOffset, record.dataSize));

    ACSValueType type = ValueTypeOf(record.type);
    const uint8_t* data = payload_ + record.dataOffset;
    ACSRawData value;
    if (type == ACS_TYPE_STRING && version_ == 0 && ConvertAnsiString(data, record.dataSize, value))
        return ChunkRef(new TDBDataChunk(this, id, type, std::move(value)));
    if (type != ACS_TYPE_NONE)
        value = ACSRawData::Borrow(data, record.dataSize, this);
    return ChunkRef(new TDBDataChunk(this, id, type, std::move(value)));
}

// ---- overlay ----

bool TDBBinaryFile::IdentifyView(const ACSChunk* chunk, TDBRecordId& id) const
{
    if (auto* soup = dynamic_cast<const TDBBinarySoup*>(chunk)) {
        if (soup->File() != this)
            return false;
        id = soup->Id();
        return true;
    }
    if (auto* value = dynamic_cast<const TDBDataChunk*>(chunk)) {
        if (value->File() != this)
            return false;
        id = value->Id();
        return true;
    }
    return false;
}

ChunkRef TDBBinaryFile::EntryChunk(const TDBOverlayEntry& entry)
{
    if (entry.kind == TDBOverlayEntry::kAddedChunk)
        return ChunkRef(entry.chunk);
    if (entry.record == TDBRecordId::kRoot)
        return GetRoot();
    // The record came from a walk of the validated payload, so reading it
    // again within the payload gives the same record.
    ACSChunkRecord record;
    if (!ReadChunkRecord(payload_, entry.record, size_, record))
        return ChunkRef::SharedEmpty();
    return Decode(record, entry.parent);
}

bool TDBBinaryFile::IsRemoved(uint32_t list, uint32_t record)
{
    return !removed_.Find(list, record).AtEnd();
}

uint32_t TDBBinaryFile::AddedCount(uint32_t list) const
{
    uint32_t count = 0;
    for (const TDBOverlayEntry& entry : overlay_) {
        if (entry.list == list && entry.kind != TDBOverlayEntry::kRemoved)
            ++count;
    }
    return count;
}

bool TDBBinaryFile::AddedAt(uint32_t list, uint32_t index, Nyx::PString& name, ChunkRef& chunk)
{
    uint32_t seen = 0;
    for (TDBOverlayEntry& entry : overlay_) {
        if (entry.list != list || entry.kind == TDBOverlayEntry::kRemoved)
            continue;
        if (seen++ == index) {
            name = entry.Name();
            chunk = EntryChunk(entry);
            return true;
        }
    }
    return false;
}

bool TDBBinaryFile::FindAdded(uint32_t list, const Nyx::PString& name, ChunkRef& chunk)
{
    for (TDBOverlayEntry& entry : overlay_) {
        if (entry.list == list && entry.kind != TDBOverlayEntry::kRemoved && entry.Name() == name) {
            chunk = EntryChunk(entry);
            return true;
        }
    }
    return false;
}

void TDBBinaryFile::AddToOverlay(uint32_t list, const Nyx::PString& name, const ChunkRef& chunk)
{
    TDBRecordId id;
    bool view = IdentifyView(chunk.Get(), id);
    for (const TDBOverlayEntry& entry : overlay_) {
        if (entry.list != list)
            continue;
        if (entry.kind == TDBOverlayEntry::kAddedChunk && entry.chunk == chunk.Get())
            return;
        if (view && entry.kind == TDBOverlayEntry::kAddedView && entry.record == id.record)
            return;
    }

    TDBOverlayEntry entry{};
    entry.list = list;
    if (view) {
        entry.kind = TDBOverlayEntry::kAddedView;
        entry.record = id.record;
        entry.parent = id.list;
        entry.chunk = nullptr;
    } else {
        entry.kind = TDBOverlayEntry::kAddedChunk;
        entry.chunk = chunk.Get();
        entry.chunk->AddRef();
    }
    new (entry.nameStorage) Nyx::PString(name);
    overlay_.Append(entry);
    overlayInUse_ = true;
    ++edits_;
}

void TDBBinaryFile::RemoveFromOverlay(uint32_t list, const ChunkRef& chunk)
{
    TDBRecordId id;
    bool view = IdentifyView(chunk.Get(), id);
    for (auto it = overlay_.IteratorBegin(); !it.AtEnd(); ++it) {
        const TDBOverlayEntry& entry = *it;
        if (entry.list != list)
            continue;
        bool same = (entry.kind == TDBOverlayEntry::kAddedChunk && entry.chunk == chunk.Get()) ||
                    (view && entry.kind == TDBOverlayEntry::kAddedView && entry.record == id.record);
        if (!same)
            continue;
        TDBOverlayEntry dropped;
        std::memcpy(static_cast<void*>(&dropped), &entry, sizeof dropped);
        overlay_.Erase(it);
        ++edits_;
        dropped.Name().~PString();
        if (dropped.chunk)
            dropped.chunk->Release();
        return;
    }

    // Only a record of this very list can be removed from it.
    if (!view || id.list != list || id.record == TDBRecordId::kRoot || IsRemoved(list, id.record))
        return;
    TDBOverlayEntry entry{};
    entry.list = list;
    entry.record = id.record;
    entry.kind = TDBOverlayEntry::kRemoved;
    entry.chunk = nullptr;
    overlay_.Append(entry);
    removed_.Insert(list, id.record, 0);
    overlayInUse_ = true;
    ++edits_;
}
