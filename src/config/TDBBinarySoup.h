// A read-only view of one container of a loaded "ACS$" file: its chunk list
// inside the file's payload. Children are decoded each time they are asked
// for; edits go to the file's overlay (see TDBBinaryFile).
#pragma once

#include <cstdint>

#include "config/ACSChunk.h"
#include "config/TDBBinaryFile.h"

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

private:
    TDBBinaryFile* file_;
    TDBRecordId id_;
    uint32_t list_;
    uint32_t listSize_;
};
