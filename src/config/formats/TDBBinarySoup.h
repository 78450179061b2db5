// A read-only view of one container of a loaded "ACS$" file: its chunk list
// inside the file's payload. Children are decoded each time they are asked
// for; edits go to the file's overlay (see TDBBinaryFile).
//
// Records can only be found by walking the list from its start, so a view
// remembers where its last lookup by index stopped and goes on from there
// when the next one asks for that index or a later one: walking all children
// in order then reads each record about once. Views of a shared tree may be
// read from several threads at once; that place is kept under a lock of its
// own.
#pragma once

#include <cstdint>
#include <mutex>

#include "config/tree/ACSChunk.h"
#include "config/formats/TDBBinaryFile.h"

class TDBBinarySoup : public ACSChunk {
public:
    // Views the list [listOffset, listOffset + listSize) of the file's
    // payload, which the file has validated.
    TDBBinarySoup(TDBBinaryFile* file, TDBRecordId id, uint32_t listOffset, uint32_t listSize) noexcept;
    ~TDBBinarySoup() override;

    // File records first: the first one of the name that was not removed,
    // then the first child of the name that was added.
    ChunkRef FindChild(const Nyx::PString& name) override;
    ChunkRef FindChildConst(const Nyx::PString& name) const override;
    uint32_t GetChildCount() const override;
    // The records not removed in file order, then the added children.
    bool GetChildAt(uint32_t index, Nyx::PString& name, ChunkRef& chunk) const override;
    // The file's order stands.
    void SortChildren() override {}
    void AddChild(const Nyx::PString& name, ChunkRef chunk) override;
    void RemoveChild(ChunkRef chunk) override;
    // An ordinary tree node, not a view.
    ChunkRef CreateChunk(ACSValueType kind, ACSRawData data) override;
    ACSValueType GetType() const override { return ACS_TYPE_CONTAINER; }

    TDBBinaryFile* File() const noexcept { return file_; }
    TDBRecordId Id() const noexcept { return id_; }
    uint32_t ListOffset() const noexcept { return list_; }
    uint32_t ListSize() const noexcept { return listSize_; }
    // Records read by lookups by index over the view's life: what a walk of
    // the children costs, for tests.
    uint64_t IndexSteps() const;

private:
    // `index` records of the list that are not removed lie before `offset`,
    // as long as the file's edit count is still `edits`.
    struct Cursor {
        uint32_t index;
        uint32_t offset;
        uint32_t edits;
    };

    TDBBinaryFile* file_;
    TDBRecordId id_;
    uint32_t list_;
    uint32_t listSize_;
    mutable std::mutex cursorLock_;
    mutable Cursor cursor_;
    mutable uint64_t indexSteps_ = 0;
};
