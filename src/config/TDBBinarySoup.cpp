#include "config/TDBBinarySoup.h"

#include <cstring>
#include <utility>

#include "config/BinaryConfig.h"
#include "config/TDBContainerTag.h"
#include "config/TDBDataTag.h"

namespace {

bool NameMatches(const ACSChunkRecord& record, const Nyx::PString& name) noexcept
{
    return record.nameLength == name.Length() && std::memcmp(record.name, name.c_str(), record.nameLength) == 0;
}

}  // namespace

TDBBinarySoup::TDBBinarySoup(TDBBinaryFile* file, TDBRecordId id, uint32_t listOffset, uint32_t listSize) noexcept
    : file_(file), id_(id), list_(listOffset), listSize_(listSize)
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
    uint32_t end = list_ + listSize_;
    uint32_t seen = 0;
    ACSChunkRecord record;
    for (uint32_t at = list_; ReadChunkRecord(payload, at, end, record); at = record.next) {
        if (overlay && file_->IsRemoved(list_, record.offset))
            continue;
        if (seen == index) {
            name = Nyx::PString(std::string_view(record.name, record.nameLength));
            chunk = file_->Decode(record, list_);
            return true;
        }
        ++seen;
    }
    if (overlay && file_->AddedAt(list_, index - seen, name, chunk))
        return true;
    return ACSChunk::GetChildAt(index, name, chunk);
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
