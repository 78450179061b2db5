#include "config/formats/TDBBinarySoup.h"

#include <cstring>
#include <utility>

#include "config/formats/BinaryConfig.h"
#include "config/tree/TDBContainerTag.h"
#include "config/tree/TDBDataTag.h"

namespace {

bool NameMatches(const ACSChunkRecord& record, const Nyx::PString& name) noexcept
{
    return record.nameLength == name.Length() && std::memcmp(record.name, name.c_str(), record.nameLength) == 0;
}

}  // namespace

TDBBinarySoup::TDBBinarySoup(TDBBinaryFile* file, TDBRecordId id, uint32_t listOffset, uint32_t listSize) noexcept
    : file_(file), id_(id), list_(listOffset), listSize_(listSize), cursor_{0, listOffset, file->EditCount()}
{
    file_->AddRef();
}

TDBBinarySoup::~TDBBinarySoup()
{
    file_->Release();
}

ChunkRef TDBBinarySoup::FindChild(const Nyx::PString& name)
{
    return FindChildConst(name);
}

ChunkRef TDBBinarySoup::FindChildConst(const Nyx::PString& name) const
{
    const uint8_t* payload = file_->Payload();
    bool overlay = file_->OverlayInUse();
    uint32_t end = list_ + listSize_;
    ACSChunkRecord record;
    for (uint32_t at = list_; ReadChunkRecord(payload, at, end, record); at = record.next) {
        if (NameMatches(record, name) && !(overlay && file_->IsRemoved(list_, record.offset)))
            return file_->Decode(record, list_);
    }
    ChunkRef added;
    if (overlay && file_->FindAdded(list_, name, added))
        return added;
    return ChunkRef::SharedEmpty();
}

uint32_t TDBBinarySoup::GetChildCount() const
{
    const uint8_t* payload = file_->Payload();
    bool overlay = file_->OverlayInUse();
    uint32_t end = list_ + listSize_;
    uint32_t count = 0;
    ACSChunkRecord record;
    for (uint32_t at = list_; ReadChunkRecord(payload, at, end, record); at = record.next) {
        if (!(overlay && file_->IsRemoved(list_, record.offset)))
            ++count;
    }
    if (overlay)
        count += file_->AddedCount(list_);
    return count;
}

bool TDBBinarySoup::GetChildAt(uint32_t index, Nyx::PString& name, ChunkRef& chunk) const
{
    const uint8_t* payload = file_->Payload();
    bool overlay = file_->OverlayInUse();
    uint32_t edits = file_->EditCount();
    uint32_t end = list_ + listSize_;
    uint32_t seen = 0;
    uint32_t at = list_;
    {
        std::lock_guard<std::mutex> hold(cursorLock_);
        if (cursor_.edits == edits && cursor_.index <= index) {
            seen = cursor_.index;
            at = cursor_.offset;
        }
    }
    // Not under the lock: another thread may walk the same view meanwhile,
    // and whichever stores its place last wins; both places are true.
    bool found = false;
    uint32_t steps = 0;
    ACSChunkRecord record;
    for (; ReadChunkRecord(payload, at, end, record); at = record.next) {
        ++steps;
        if (overlay && file_->IsRemoved(list_, record.offset))
            continue;
        if (seen == index) {
            found = true;
            break;
        }
        ++seen;
    }
    {
        // Kept at the record found, not past it: a lookup often asks for the
        // same index again (its name, then its value).
        std::lock_guard<std::mutex> hold(cursorLock_);
        cursor_ = Cursor{seen, at, edits};
        indexSteps_ += steps;
    }
    if (found) {
        name = Nyx::PString(std::string_view(record.name, record.nameLength));
        chunk = file_->Decode(record, list_);
        return true;
    }
    if (overlay && file_->AddedAt(list_, index - seen, name, chunk))
        return true;
    return ACSChunk::GetChildAt(index, name, chunk);
}

uint64_t TDBBinarySoup::IndexSteps() const
{
    std::lock_guard<std::mutex> hold(cursorLock_);
    return indexSteps_;
}

void TDBBinarySoup::AddChild(const Nyx::PString& name, ChunkRef chunk)
{
    if (chunk)
        file_->AddToOverlay(list_, name, chunk);
}

void TDBBinarySoup::RemoveChild(ChunkRef chunk)
{
    if (chunk)
        file_->RemoveFromOverlay(list_, chunk);
}

ChunkRef TDBBinarySoup::CreateChunk(ACSValueType kind, ACSRawData data)
{
    if (kind == ACS_TYPE_CONTAINER)
        return ChunkRef(new TDBContainerTag);
    auto* tag = new TDBDataTag;
    tag->SetValue(kind, std::move(data));
    return ChunkRef(tag);
}
