#include "config/tree/ACSRawDataCore.h"

#include <cstdlib>
#include <cstring>
#include <typeinfo>

#include "config/tree/ACSChunk.h"
#include "config/tree/TDBDataChunk.h"
#include "config/tree/TDBDataTag.h"

ACSRawDataCore::ACSRawDataCore(uint8_t* data, uint32_t size, bool owns, Nyx::ReferenceCount* holder) noexcept
    : data_(data), size_(size), owns_(owns ? 1 : 0), holder_(holder)
{
    if (holder_)
        holder_->AddRef();
}

ACSRawDataCore::~ACSRawDataCore()
{
    if (owns_)
        std::free(data_);
    if (holder_)
        holder_->Release();
}

ACSRawData::ACSRawData(ACSRawDataCore* core) noexcept : core_(core)
{
    if (core_)
        core_->AddRef();
}

ACSRawData::ACSRawData(const ACSRawData& other) noexcept : core_(other.core_)
{
    if (core_)
        core_->AddRef();
}

ACSRawData& ACSRawData::operator=(const ACSRawData& other) noexcept
{
    ACSRawDataCore* old = core_;
    core_ = other.core_;
    if (core_)
        core_->AddRef();
    if (old)
        old->Release();
    return *this;
}

ACSRawData& ACSRawData::operator=(ACSRawData&& other) noexcept
{
    if (this != &other) {
        ACSRawDataCore* old = core_;
        core_ = other.core_;
        other.core_ = nullptr;
        if (old)
            old->Release();
    }
    return *this;
}

void ACSRawData::Release() noexcept
{
    ACSRawDataCore* old = core_;
    core_ = nullptr;
    if (old)
        old->Release();
}

ACSRawData ACSRawData::Adopt(void* block, uint32_t size) noexcept
{
    if (!block)
        return {};
    if (size == 0) {
        std::free(block);
        return {};
    }
    return ACSRawData(new ACSRawDataCore(static_cast<uint8_t*>(block), size, true, nullptr));
}

ACSRawData ACSRawData::Copy(const void* data, uint32_t size) noexcept
{
    if (!data || size == 0)
        return {};
    void* block = std::malloc(size);
    if (!block)
        return {};
    std::memcpy(block, data, size);
    return Adopt(block, size);
}

ACSRawData ACSRawData::Borrow(const void* data, uint32_t size, Nyx::ReferenceCount* holder) noexcept
{
    if (!data || size == 0)
        return {};
    // Borrowed bytes are only ever read; the core's pointer is non-const
    // because the same field serves owned blocks.
    auto* bytes = static_cast<uint8_t*>(const_cast<void*>(data));
    return ACSRawData(new ACSRawDataCore(bytes, size, false, holder));
}

ACSRawData ACSRawData::FromChunk(const ChunkRef& chunk)
{
    if (!chunk)
        return {};
    // A tree tag can be given a new value later, which frees its old bytes
    // while the tag lives on: holding the tag would not keep them. Its value
    // is shared instead. Other chunks (views into a loaded file) never
    // change their bytes, so holding the chunk is enough.
    // Both classes are final, so comparing the exact type is enough, and
    // much cheaper than a dynamic_cast for every value of a large tree.
    const auto& object = *chunk;
    const std::type_info& type = typeid(object);
    if (type == typeid(TDBDataTag))
        return static_cast<const TDBDataTag&>(*chunk).RawData();
    // A value view's own bytes already keep what they borrow from alive:
    // sharing them lets the view go, which a copy of a large file needs.
    if (type == typeid(TDBDataChunk))
        return static_cast<const TDBDataChunk&>(*chunk).RawData();
    return Borrow(chunk->GetData(), chunk->GetDataSize(), chunk.Get());
}
