#include "scriptapi/world/WorldList.h"

#include <algorithm>

#include "core/streams/LittleEndian.h"
#include "core/streams/TStream.h"
#include "scriptapi/world/WorldItemFactory.h"
#include "scriptapi/world/WorldListItem.h"
#include "scriptapi/world/WorldListObserver.h"

namespace {

WorldList::CurrentItem currentItem;

// Sets the record for the time one payload loads.
class CurrentItemScope {
public:
    CurrentItemScope(const KUID& kuid, void* world, int32_t worldValue)
    {
        currentItem.kuid = kuid;
        currentItem.world = world;
        currentItem.worldValue = worldValue;
    }
    ~CurrentItemScope() { currentItem = WorldList::CurrentItem(); }
    CurrentItemScope(const CurrentItemScope&) = delete;
    CurrentItemScope& operator=(const CurrentItemScope&) = delete;
};

// The list's own value is put back however a section's load ends.
class WorldValueScope {
public:
    WorldValueScope(int32_t& value) : value_(value), saved_(value) {}
    ~WorldValueScope() { value_ = saved_; }
    WorldValueScope(const WorldValueScope&) = delete;
    WorldValueScope& operator=(const WorldValueScope&) = delete;

private:
    int32_t& value_;
    int32_t saved_;
};

// The end of a block of `length` bytes from `start`; false when it lies
// beyond `limit`.
bool BlockEnd(uint32_t start, uint32_t length, uint32_t limit, uint32_t& end)
{
    const uint64_t at = uint64_t(start) + length;
    if (at > limit)
        return false;
    end = static_cast<uint32_t>(at);
    return true;
}

// Moves to `end`; false when the stream cannot get there. A payload read
// to its end leaves the stream there already.
bool MoveTo(TStream& stream, uint32_t end)
{
    if (stream.Tell() == end)
        return true;
    stream.SetPosition(end);
    return stream.Tell() == end;
}

// Records gathered in memory reach the stream in large pieces: a record's
// length is patched where it lies in memory, where the stream would have
// to seek back to it, and the stream sees one write for many records.
// Items save their payloads into the batch's own stream, whose positions
// count from the batch's start (the length blocks they write themselves
// are relative, so they come out the same).
class RecordBatch {
public:
    static constexpr uint32_t kFlushAt = 64u * 1024;

    explicit RecordBatch(TStream& target) : target_(target), bytes_(kFlushAt + 4096), stream_(&bytes_) {}
    RecordBatch(const RecordBatch&) = delete;
    RecordBatch& operator=(const RecordBatch&) = delete;

    TStream& Stream() noexcept { return stream_; }

    // Appends the words, little-endian; returns where the first starts in
    // the batch. The words go straight into the buffer (the stream over it
    // keeps no position or read-ahead of its own while it is written):
    // mostly the room is there for all of them, checked once; otherwise
    // each goes in on its own. (A record's head put together elsewhere and
    // copied whole would be read back before its parts are stored.)
    template <class... Words>
    uint32_t Put(Words... words)
    {
        const uint32_t at = bytes_.Position();
        if (uint8_t* room = bytes_.Claim(4 * sizeof...(Words))) {
            uint32_t offset = 0;
            ((StoreLE32(room + offset, static_cast<uint32_t>(words)), offset += 4), ...);
            return at;
        }
        try {
            (PutWord(static_cast<uint32_t>(words)), ...);
        } catch (...) {
            stream_.SetError(TStream::kErrString);
        }
        return at;
    }

    // The length field at `field` counts the bytes behind it; a full batch
    // then goes out.
    void EndRecord(uint32_t field)
    {
        const uint32_t end = bytes_.Position();
        if (field + 4 <= bytes_.DataLength())
            StoreLE32(bytes_.Data() + field, end - field - 4);
        if (end >= kFlushAt)
            Flush();
    }

    // Hands what is gathered to the stream; the batch starts afresh. A
    // payload that left its position short of its last byte leaves the
    // stream there too.
    void Flush()
    {
        if (stream_.GetError())
            target_.SetError(stream_.GetError());
        const uint32_t length = bytes_.DataLength();
        const uint32_t position = bytes_.Position();
        if (length > 0) {
            target_.WriteBytes(bytes_.Data(), length);
            if (position < length)
                target_.SetPosition(target_.Tell() - (length - position));
        }
        stream_.Reset();
    }

private:
    void PutWord(uint32_t word)
    {
        uint8_t bytes[4];
        StoreLE32(bytes, word);
        bytes_.Write(bytes, 4, 1);
    }

    TStream& target_;
    Nyx::DynamicBuffer bytes_;
    TBuffer stream_;
};

}  // namespace

const WorldList::CurrentItem& WorldList::Current() noexcept { return currentItem; }

WorldList::WorldList(void* world) : world_(world) {}

WorldList::~WorldList()
{
    Clear();
    Free();
}

uint32_t WorldList::ItemCount() const noexcept
{
    uint32_t n = 0;
    for (uint32_t id = 0; id < Count(); ++id)
        n += At(id) != nullptr;
    return n;
}

bool WorldList::Matches(WorldListItem& item, uint32_t mask, uint32_t value)
{
    // Under an empty mask every item matches, whatever its flags.
    return mask == 0 || (item.GetFlags() & mask) == (value & mask);
}

// ------------------------------------------------------------ membership

int32_t WorldList::AddItem(WorldListItem& item)
{
    if (item.list_)
        return -1;
    uint32_t id = evenHint_;
    for (;;) {
        if (id >= Count()) {
            if (!Grow(Count() + 2))
                return -1;
            continue;
        }
        if (At(id) || IsReserved(id)) {
            id += 2;
            continue;
        }
        break;
    }
    At(id) = &item;
    evenHint_ = id + 2;
    item.list_ = this;
    item.id_ = id;
    item.OnEnterList();
    if (observer_)
        TellAdded(item);
    return static_cast<int32_t>(id);
}

void WorldList::TellAdded(WorldListItem& item)
{
    WorldItemExtent extent;
    item.GetDefaultState(extent);
    observer_->ItemAdded(item, extent);
}

bool WorldList::InsertAt(uint32_t id, WorldListItem& item)
{
    // The one id no slot can have: a count of id + 1 would wrap.
    if (item.list_ || id == WorldListItem::kNoId)
        return false;
    if (id < Count() ? At(id) != nullptr : !Grow(id + 1))
        return false;
    At(id) = &item;
    item.list_ = this;
    item.id_ = id;
    item.OnEnterList();
    if (observer_)
        TellAdded(item);
    return true;
}

void WorldList::RemoveItem(WorldListItem& item)
{
    if (item.list_ != this)
        return;
    const uint32_t id = item.id_;
    if (observer_)
        observer_->ItemRemoved(item);
    item.OnLeaveList();
    At(id) = nullptr;
    item.list_ = nullptr;
    item.id_ = WorldListItem::kNoId;
    if (reserved_.erase(id) != 0)
        return;
    uint32_t& hint = (id & 1) ? oddHint_ : evenHint_;
    if (id < hint)
        hint = id;
}

void WorldList::RemoveItems(uint32_t mask, uint32_t value)
{
    if (mask == 0 && observer_)
        observer_->ListCleared();
    for (uint32_t id = 0; id < Count(); ++id) {
        WorldListItem* item = At(id);
        if (item && Matches(*item, mask, value)) {
            RemoveItem(*item);
            delete item;
        }
    }
}

void WorldList::Clear()
{
    for (uint32_t id = 0; id < Count(); ++id) {
        if (WorldListItem* item = At(id)) {
            RemoveItem(*item);
            delete item;
        }
    }
}

void WorldList::Reset()
{
    for (uint32_t id = 0; id < Count(); ++id) {
        if (WorldListItem* item = At(id))
            item->Reset();
    }
}

void WorldList::Notify(uint32_t message, uint32_t flags)
{
    const uint32_t f = flags | 1;
    for (uint32_t id = 0; id < Count(); ++id) {
        WorldListItem* item = At(id);
        if (item && (item->GetFlags() & f) == f)
            item->Notify(message, f);
    }
}

// ----------------------------------------------------------------- saving

void WorldList::SaveItems(TStream& stream, uint32_t mask)
{
    RecordBatch batch(stream);
    batch.Put(kVersion, worldValue_);
    for (uint32_t id = 0; id < Count(); ++id) {
        WorldListItem* item = At(id);
        if (!item || !Matches(*item, mask, mask))
            continue;
        const KUID kuid = item->GetKUID();
        const uint32_t length =
            batch.Put(id, item->GetTypeCode(), kuid.content, kuid.PackedWord(), TStream::kBlockMarker) + 16;
        item->Save(batch.Stream());
        batch.EndRecord(length);
    }
    batch.Put(kEndOfRecords);
    batch.Flush();

    const uint32_t section = stream.BeginBlock();
    batch.Put(TStream::kBlockMarker, kVersion, worldValue_);
    if (mask & kStateMask) {
        for (uint32_t id = 0; id < Count(); ++id) {
                WorldListItem* item = At(id);
            if (!item || !Matches(*item, mask, mask))
                continue;
            const uint32_t length = batch.Put(id, item->GetTypeCode(), TStream::kBlockMarker) + 8;
            item->SaveState(batch.Stream());
            batch.EndRecord(length);
        }
    }
    batch.Put(kEndOfRecords);
    batch.Flush();
    stream.EndBlock(section);
}

void WorldList::SaveTypedState(TStream& stream)
{
    const uint32_t section = stream.BeginBlock();
    stream.WriteInt32(TStream::kBlockMarker);
    stream.WriteInt32(uint32_t(1));
    for (uint32_t id = 0; id < Count(); ++id) {
        WorldListItem* item = At(id);
        if (!item || item->GetTypeCode() != kTypedStateType)
            continue;
        stream.WriteInt32(id);
        const uint32_t block = stream.BeginBlock();
        item->SaveTypedState(stream);
        stream.EndBlock(block);
    }
    stream.WriteInt32(kEndOfRecords);
    stream.EndBlock(section);
}

// ---------------------------------------------------------------- loading

bool WorldList::LoadItems(TStream& stream, bool clearFirst, uint32_t mask)
{
    if (clearFirst)
        Clear();
    const uint32_t streamSize = stream.GetSize();
    uint32_t version;
    stream.ReadInt32(version, 0);
    if (version < 1 || version > kVersion)
        return false;

    bool complete = true;
    {
        WorldValueScope own(worldValue_);
        if (version == 5)
            stream.ReadInt32(worldValue_, -1);
        if (version == 2)
            complete = LoadRecordsWithoutLength(stream);
        else if (version >= 3)
            complete = LoadRecords(stream, streamSize);
    }
    if (!complete)
        return false;
    if (version >= 4)
        LoadStateSection(stream, mask, streamSize);
    return true;
}

bool WorldList::PlaceNew(uint32_t id, WorldBaseItem* made, WorldListItem*& placed)
{
    placed = nullptr;
    WorldListItem* item = made->AsListItem();
    if (!item) {
        delete made;
        return false;
    }
    if (InsertAt(id, *item))
        placed = item;
    else
        delete item;
    return true;
}

bool WorldList::LoadRecordsWithoutLength(TStream& stream)
{
    for (;;) {
        uint32_t id, type;
        stream.ReadInt32(id, kEndOfRecords);
        if (id == kEndOfRecords)
            return true;
        stream.ReadInt32(type, 0);
        // Without a length a record cannot be passed by: the load stops.
        if (id >= kMaxLoadedId)
            return false;
        WorldListItem* existing = ItemAt(id);
        if (existing && existing->GetTypeCode() == type) {
            existing->Load(stream);
            continue;
        }
        delete existing;
        WorldBaseItem* made = WorldItemFactory::CreateByType(type, world_, stream);
        WorldListItem* placed;
        if (!made || !PlaceNew(id, made, placed))
            return false;
    }
}

bool WorldList::LoadRecords(TStream& stream, uint32_t streamSize)
{
    constexpr uint32_t kRecordHead = 20;
    // Where the stream stands, known without asking it while a record's
    // head comes whole from its read-ahead and its payload ends where its
    // length says.
    uint32_t position = stream.Tell();
    for (;;) {
        uint32_t id, type, packed, length, start;
        int32_t content;
        if (const uint8_t* head = stream.Buffered(kRecordHead)) {
            id = LoadLE32(head);
            if (id == kEndOfRecords) {
                stream.Consume(4);
                return true;
            }
            type = LoadLE32(head + 4);
            content = static_cast<int32_t>(LoadLE32(head + 8));
            packed = LoadLE32(head + 12);
            length = LoadLE32(head + 16);
            stream.Consume(kRecordHead);
            start = position + kRecordHead;
        } else {
            stream.ReadInt32(id, kEndOfRecords);
            if (id == kEndOfRecords)
                return true;
            // Type code, packed KUID and length in one read; the fields a
            // short stream cuts off take the defaults their own reads would
            // give.
            uint8_t rest[kRecordHead - 4];
            const uint32_t got = stream.ReadBytes(rest, sizeof rest);
            if (got < sizeof rest)
                stream.SetError(TStream::kErrShortRecord);
            auto field = [&](uint32_t at, uint32_t def) { return got >= at + 4 ? LoadLE32(rest + at) : def; };
            type = field(0, 0);
            content = static_cast<int32_t>(field(4, static_cast<uint32_t>(KUID::Null.content)));
            packed = field(8, KUID::Null.PackedWord());
            length = field(12, 0);
            start = stream.Tell();
        }
        if (length > kMaxPayload)
            return false;
        uint32_t end;
        if (!BlockEnd(start, length, streamSize, end))
            end = streamSize < start ? start : streamSize;
        const bool reachable = uint64_t(start) + length <= streamSize;

        WorldListItem* placed = nullptr;
        if (id < kMaxLoadedId) {
            CurrentItemScope current(KUID::FromPacked(packed, content), world_, worldValue_);
            TSubFile payload(&stream, start, end, TSubFile::kParentAtStart);
            WorldListItem* existing = ItemAt(id);
            if (existing && existing->GetTypeCode() == type) {
                existing->Load(payload);
                placed = existing;
            } else {
                delete existing;
                if (WorldBaseItem* made = WorldItemFactory::CreateByType(type, world_, payload)) {
                    if (!PlaceNew(id, made, placed))
                        return false;
                }
            }
        }
        if (!reachable || !MoveTo(stream, end)) {
            delete placed;
            return false;
        }
        position = end;
    }
}

void WorldList::LoadStateSection(TStream& stream, uint32_t mask, uint32_t streamSize)
{
    uint32_t length;
    stream.ReadInt32(length, 0);
    const uint32_t start = stream.Tell();
    uint32_t sectionEnd;
    if (!BlockEnd(start, length, streamSize, sectionEnd))
        sectionEnd = std::max(start, streamSize);
    if (!(mask & kStateMask)) {
        stream.SetPosition(sectionEnd);
        return;
    }

    WorldValueScope own(worldValue_);
    uint32_t marker, sectionVersion = 0;
    stream.ReadInt32(marker, 0);
    if (marker != TStream::kBlockMarker) {
        // A section without its header: the value read is the first id.
        stream.SetPosition(start);
    } else {
        stream.ReadInt32(sectionVersion, 0);
        if (sectionVersion > kVersion) {
            stream.SetPosition(sectionEnd);
            return;
        }
    }
    if (sectionVersion >= 2)
        stream.ReadInt32(worldValue_, -1);

    for (;;) {
        uint32_t id, type = kBlankTypeCode, recordLength;
        stream.ReadInt32(id, kEndOfRecords);
        if (id == kEndOfRecords)
            break;
        if (sectionVersion != 0)
            stream.ReadInt32(type, 0);
        stream.ReadInt32(recordLength, 0);
        if (recordLength == TStream::kBlockMarker || recordLength == kEndOfRecords)
            break;
        const uint32_t payloadStart = stream.Tell();
        uint32_t payloadEnd;
        if (payloadStart > sectionEnd || !BlockEnd(payloadStart, recordLength, sectionEnd, payloadEnd))
            break;
        WorldListItem* item = ItemAt(id);
        if (item && item->GetTypeCode() == type) {
            TSubFile payload(&stream, payloadStart, payloadEnd);
            item->LoadState(payload);
        }
        if (!MoveTo(stream, payloadEnd))
            break;
    }
    stream.SetPosition(sectionEnd);
}

void WorldList::LoadTypedState(TStream& stream)
{
    const uint32_t streamSize = stream.GetSize();
    uint32_t length;
    stream.ReadInt32(length, 0);
    const uint32_t start = stream.Tell();
    uint32_t sectionEnd;
    if (!BlockEnd(start, length, streamSize, sectionEnd))
        sectionEnd = std::max(start, streamSize);

    uint32_t marker, version;
    stream.ReadInt32(marker, 0);
    stream.ReadInt32(version, 0xFFFFFFFFu);
    if (marker == TStream::kBlockMarker && version <= 1) {
        for (;;) {
            uint32_t id, recordLength;
            stream.ReadInt32(id, kEndOfRecords);
            if (id == kEndOfRecords || id >= Count())
                break;
            stream.ReadInt32(recordLength, 0);
            const uint32_t payloadStart = stream.Tell();
            uint32_t payloadEnd;
            if (payloadStart > sectionEnd || !BlockEnd(payloadStart, recordLength, sectionEnd, payloadEnd))
                break;
            WorldListItem* item = At(id);
            if (item && item->GetTypeCode() == kTypedStateType) {
                TSubFile payload(&stream, payloadStart, payloadEnd);
                item->LoadTypedState(payload);
            }
            if (!MoveTo(stream, payloadEnd))
                break;
        }
    }
    stream.SetPosition(sectionEnd);
}
