// The node of every config tree: one interface for children and one for a
// typed value. Built trees, trees parsed from text and read-only views into a
// loaded binary file all answer through these virtual operations, so code that
// walks a tree never needs to know which kind it holds.
#pragma once

#include <cstddef>
#include <cstdint>

#include "config/tree/ACSRawDataCore.h"
#include "nyx/base/PString.h"
#include "nyx/base/ReferenceCount.h"

// Value types of config data tags; the numbers are stored in files.
enum ACSValueType : int32_t {
    ACS_TYPE_NONE = 0,
    ACS_TYPE_CONTAINER = 1,
    ACS_TYPE_RAW = 2,
    ACS_TYPE_FLOAT = 3,
    ACS_TYPE_STRING = 4,
    ACS_TYPE_STRING_ALT = 5,
    ACS_TYPE_INT = 6,
    ACS_TYPE_KUID = 7,
};

class ACSChunk;

// A counted pointer to a chunk, possibly null. Making one from a raw pointer
// takes a new reference, so `ChunkRef(new TDBContainerTag)` owns the node.
class ChunkRef {
public:
    ChunkRef() noexcept = default;
    ChunkRef(std::nullptr_t) noexcept {}
    explicit ChunkRef(ACSChunk* chunk) noexcept;
    ChunkRef(const ChunkRef& other) noexcept;
    ChunkRef(ChunkRef&& other) noexcept : chunk_(other.chunk_) { other.chunk_ = nullptr; }
    // Takes the new reference before dropping the old, so assigning a
    // reference to itself (or to a child of the old chunk) is safe.
    ChunkRef& operator=(const ChunkRef& other) noexcept;
    ChunkRef& operator=(ChunkRef&& other) noexcept;
    ~ChunkRef() { Release(); }

    ACSChunk* Get() const noexcept { return chunk_; }
    ACSChunk* operator->() const noexcept { return chunk_; }
    ACSChunk& operator*() const noexcept { return *chunk_; }
    explicit operator bool() const noexcept { return chunk_ != nullptr; }
    bool operator==(const ChunkRef& other) const noexcept { return chunk_ == other.chunk_; }
    bool operator==(std::nullptr_t) const noexcept { return chunk_ == nullptr; }

    // Share another reference's chunk (Copy is the constructor's form of it).
    void Copy(const ChunkRef& other) noexcept { *this = other; }
    void Assign(const ChunkRef& other) noexcept { *this = other; }
    // Drops the reference and leaves this null.
    void Release() noexcept;
    // Hands the reference to the caller, who must release it, and leaves
    // this null.
    ACSChunk* Detach() noexcept
    {
        ACSChunk* chunk = chunk_;
        chunk_ = nullptr;
        return chunk;
    }

    // Children of the chunk; 0 for a null reference.
    uint32_t ChildCount() const;
    // Null, the shared empty chunk, or a chunk without a value type.
    bool IsNullOrUntyped() const;
    // Neither null nor the shared empty chunk.
    bool IsReal() const noexcept;

    // Puts a new empty container into a null reference; a non-null one is
    // never replaced, whatever its type.
    void EnsureContainer();
    // EnsureContainer on the source, then a reference sharing it.
    static ChunkRef CopyEnsured(ChunkRef& source);
    // Replaces this by a new container holding a deep copy of the source's
    // children. False (this then holds an empty container) when the source
    // is nested deeper than a tree walk may go.
    bool CloneContainer(const ChunkRef& source);
    // Becomes the given chunk when it is real and typed, else null.
    bool TakeIfTyped(ChunkRef chunk);

    // A reference to the shared empty chunk.
    static ChunkRef SharedEmpty() noexcept;

private:
    ACSChunk* chunk_ = nullptr;
};

// Base behaviour: no children, no value. Every operation that receives a
// ChunkRef or ACSRawData by value takes that reference over. A plain
// ACSChunk is only ever the shared empty chunk.
class ACSChunk : public Nyx::ReferenceCountMP {
public:
    ACSChunk() noexcept = default;
    ACSChunk(const ACSChunk&) = delete;
    ACSChunk& operator=(const ACSChunk&) = delete;
    ~ACSChunk() override = default;

    virtual ChunkRef FindChild(const Nyx::PString& name);
    virtual ChunkRef FindChildConst(const Nyx::PString& name) const;
    virtual uint32_t GetChildCount() const;
    // Index compared unsigned: an index at or past the count gives false,
    // the empty name and the shared empty chunk.
    virtual bool GetChildAt(uint32_t index, Nyx::PString& name, ChunkRef& chunk) const;
    virtual void SortChildren();
    virtual void SwapChildren(ChunkRef a, ChunkRef b);
    virtual void AddChild(const Nyx::PString& name, ChunkRef chunk);
    virtual void RemoveChild(ChunkRef chunk);
    virtual ChunkRef CreateChunk(ACSValueType kind, ACSRawData data);
    virtual const uint8_t* GetData() const;
    virtual uint32_t GetDataSize() const;
    virtual ACSValueType GetType() const;
    virtual void SetValue(ACSValueType type, ACSRawData data);

    // The one global empty chunk, made on first use and never destroyed; it
    // stands for every missing child.
    static ACSChunk* SharedEmpty() noexcept;
};
