#include "config/tree/ACSChunk.h"

#include <utility>

#include "config/tree/TDBContainerTag.h"
#include "config/tree/TagTreeOps.h"

// ---- ChunkRef ----

ChunkRef::ChunkRef(ACSChunk* chunk) noexcept : chunk_(chunk)
{
    if (chunk_)
        chunk_->AddRef();
}

ChunkRef::ChunkRef(const ChunkRef& other) noexcept : chunk_(other.chunk_)
{
    if (chunk_)
        chunk_->AddRef();
}

ChunkRef& ChunkRef::operator=(const ChunkRef& other) noexcept
{
    ACSChunk* old = chunk_;
    chunk_ = other.chunk_;
    if (chunk_)
        chunk_->AddRef();
    if (old)
        old->Release();
    return *this;
}

ChunkRef& ChunkRef::operator=(ChunkRef&& other) noexcept
{
    if (this != &other) {
        ACSChunk* old = chunk_;
        chunk_ = other.chunk_;
        other.chunk_ = nullptr;
        if (old)
            old->Release();
    }
    return *this;
}

void ChunkRef::Release() noexcept
{
    // Cleared before the release: destroying a tree may reach code that
    // looks at this reference again.
    ACSChunk* old = chunk_;
    chunk_ = nullptr;
    if (old)
        old->Release();
}

uint32_t ChunkRef::ChildCount() const
{
    return chunk_ ? chunk_->GetChildCount() : 0;
}

bool ChunkRef::IsNullOrUntyped() const
{
    return !chunk_ || chunk_ == ACSChunk::SharedEmpty() || chunk_->GetType() == ACS_TYPE_NONE;
}

bool ChunkRef::IsReal() const noexcept
{
    return chunk_ && chunk_ != ACSChunk::SharedEmpty();
}

void ChunkRef::EnsureContainer()
{
    if (!chunk_)
        *this = ChunkRef(new TDBContainerTag);
}

ChunkRef ChunkRef::CopyEnsured(ChunkRef& source)
{
    source.EnsureContainer();
    return source;
}

bool ChunkRef::CloneContainer(const ChunkRef& source)
{
    // Built aside first: the source may be this very reference.
    ChunkRef clone(new TDBContainerTag);
    bool ok = CopyChunk(clone, source);
    *this = std::move(clone);
    return ok;
}

bool ChunkRef::TakeIfTyped(ChunkRef chunk)
{
    if (chunk.IsReal() && chunk->GetType() != ACS_TYPE_NONE) {
        *this = std::move(chunk);
        return true;
    }
    Release();
    return false;
}

ChunkRef ChunkRef::SharedEmpty() noexcept
{
    return ChunkRef(ACSChunk::SharedEmpty());
}

// ---- ACSChunk base behaviour ----

ACSChunk* ACSChunk::SharedEmpty() noexcept
{
    // Holds one reference of its own that is never dropped, so the count
    // cannot reach 0 however callers pair their references.
    static ACSChunk* const empty = [] {
        auto* chunk = new ACSChunk;
        chunk->AddRef();
        return chunk;
    }();
    return empty;
}

ChunkRef ACSChunk::FindChild(const Nyx::PString&)
{
    return ChunkRef::SharedEmpty();
}

ChunkRef ACSChunk::FindChildConst(const Nyx::PString&) const
{
    return ChunkRef::SharedEmpty();
}

uint32_t ACSChunk::GetChildCount() const
{
    return 0;
}

bool ACSChunk::GetChildAt(uint32_t, Nyx::PString& name, ChunkRef& chunk) const
{
    name = Nyx::PString();
    chunk = ChunkRef::SharedEmpty();
    return false;
}

void ACSChunk::SortChildren() {}

void ACSChunk::SwapChildren(ChunkRef, ChunkRef) {}

void ACSChunk::AddChild(const Nyx::PString&, ChunkRef) {}

void ACSChunk::RemoveChild(ChunkRef) {}

ChunkRef ACSChunk::CreateChunk(ACSValueType, ACSRawData)
{
    return ChunkRef::SharedEmpty();
}

const uint8_t* ACSChunk::GetData() const
{
    return nullptr;
}

uint32_t ACSChunk::GetDataSize() const
{
    return 0;
}

ACSValueType ACSChunk::GetType() const
{
    return ACS_TYPE_NONE;
}

void ACSChunk::SetValue(ACSValueType, ACSRawData) {}
