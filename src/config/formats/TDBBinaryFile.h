// A loaded "ACS$" file: its payload in one block, served through read-only
// views (TDBBinarySoup for containers, TDBDataChunk for values) that point
// into it and decode a record only when asked.
//
// Views never change the payload. AddChild and RemoveChild on a container
// view are kept in the file's overlay, an edit list beside the payload: a
// container then shows its records that were not removed, followed by the
// children added to it. Every view holds a reference on its file, so the
// payload outlives them all.
#pragma once

#include <cstdint>

#include "config/tree/ACSChunk.h"
#include "core/containers/BlockRing.h"
#include "core/containers/BucketRing.h"
#include "nyx/base/PString.h"
#include "nyx/base/ReferenceCount.h"

class TStream;
struct ACSChunkRecord;

// A config file whose root is read from a stream.
class ACSFile : public Nyx::ReferenceCountMP {
public:
    virtual bool Read(TStream& stream) = 0;
    virtual ChunkRef GetRoot() = 0;
};

// Where a view's chunk stands in its file: the record it was decoded from
// and the chunk list that holds that record (both payload offsets). The root
// has no record and no list of its own.
struct TDBRecordId {
    static constexpr uint32_t kRoot = 0xFFFFFFFFu;
    uint32_t record = kRoot;
    uint32_t list = kRoot;
};

// One edit of the overlay. A removed file chunk is known by its record; an
// added child is either a chunk from elsewhere (held by reference) or a view
// of this same file, which is kept as its record so that the file does not
// end up holding a reference to itself.
struct TDBOverlayEntry {
    enum Kind : uint8_t { kRemoved, kAddedChunk, kAddedView };

    uint32_t list;    // the container list the edit belongs to
    uint32_t record;  // kRemoved, kAddedView: the record
    uint32_t parent;  // kAddedView: the list that holds the record
    uint8_t kind;
    ACSChunk* chunk;  // kAddedChunk: one reference
    // kAddedChunk, kAddedView: the child's name, holding one reference (raw
    // storage, as the ring moves entries as plain bytes).
    alignas(Nyx::PString) unsigned char nameStorage[sizeof(Nyx::PString)];

    Nyx::PString& Name() noexcept;
};

class TDBBinaryFile : public ACSFile {
public:
    TDBBinaryFile() noexcept = default;
    ~TDBBinaryFile() override;

    // Frees any payload held before (views of it must be gone), reads the
    // header and the payload. False for a bad header or a payload that the
    // stream cannot hold; true, but without a payload, when the payload is
    // corrupt or comes up short.
    bool Read(TStream& stream) override;
    // A view of the root container; the shared empty chunk when no payload
    // is held or the version is not one this reader serves.
    ChunkRef GetRoot() override;

    int32_t Version() const noexcept { return version_; }
    uint32_t PayloadSize() const noexcept { return size_; }
    const uint8_t* Payload() const noexcept { return payload_; }

    // ---- used by the views ----

    // The chunk a record stands for: a container view, a value view, or for a
    // version-0 string outside ASCII the converted text.
    ChunkRef Decode(const ACSChunkRecord& record, uint32_t list);

    bool OverlayInUse() const noexcept { return overlayInUse_; }
    // Changes with every edit of the overlay. Edits renumber the children of
    // a container, so a view's remembered place in its list holds only while
    // this stays the same.
    uint32_t EditCount() const noexcept { return edits_; }
    bool IsRemoved(uint32_t list, uint32_t record);
    uint32_t AddedCount(uint32_t list) const;
    bool AddedAt(uint32_t list, uint32_t index, Nyx::PString& name, ChunkRef& chunk);
    // The first child of the name added to the list.
    bool FindAdded(uint32_t list, const Nyx::PString& name, ChunkRef& chunk);
    // Ignored when the chunk is already added to the list.
    void AddToOverlay(uint32_t list, const Nyx::PString& name, const ChunkRef& chunk);
    // Drops the chunk when the overlay added it to the list, else marks it
    // removed when it is a record of the list.
    void RemoveFromOverlay(uint32_t list, const ChunkRef& chunk);

private:
    using OverlayRing = OverlayBlockRing<TDBOverlayEntry>;

    void FreePayload() noexcept;
    void ClearOverlay() noexcept;
    // The chunk an added entry stands for.
    ChunkRef EntryChunk(const TDBOverlayEntry& entry);
    // Whether the chunk is a view of this file, and which.
    bool IdentifyView(const ACSChunk* chunk, TDBRecordId& id) const;

    int32_t version_ = -1;
    uint32_t size_ = 0;
    uint8_t* payload_ = nullptr;
    OverlayRing overlay_;
    // The removed records, keyed by (list, record).
    BucketRing<uint8_t> removed_;
    bool overlayInUse_ = false;
    uint32_t edits_ = 0;
};
