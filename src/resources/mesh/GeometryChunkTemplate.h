// Geometry chunks over packed vertices: position, normal and texture
// coordinate (PNT), or position, colour and texture coordinate (PCT), the
// latter optionally with a second array of per-vertex normals. The vertex
// (and normal) storage is a counted block that clones share until one of
// them duplicates or resizes it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/chunks/GeometryChunkSingleStream.h"
#include "nyx/gfx/chunks/VertexType.h"

namespace Nyx {

struct PackedVertexPNT {
    static constexpr uint32_t kTypeId = kVertexTypePNT;
    float position[3];
    float normal[3];
    float texCoord[2];
};
static_assert(sizeof(PackedVertexPNT) == 32);

struct PackedVertexPCT {
    static constexpr uint32_t kTypeId = kVertexTypePCT;
    float position[3];
    uint32_t colour;
    float texCoord[2];
};
static_assert(sizeof(PackedVertexPCT) == 24);

// A counted block: a 16-byte header {references, element count, two spare
// words} and the elements after it. Elements are plain bytes: a new block's
// are uninitialised beyond what is copied into it.
template <typename T>
class SharedArray {
public:
    struct Header {
        uint32_t refs;
        uint32_t count;
        uint32_t spare[2];
    };
    static_assert(sizeof(Header) == 16);

    // One reference for the caller; throws std::bad_alloc when out of memory.
    static SharedArray* Create(uint32_t count)
    {
        void* block = std::malloc(sizeof(Header) + size_t{count} * sizeof(T));
        if (!block)
            throw std::bad_alloc();
        auto* header = static_cast<Header*>(block);
        *header = {1, count, {0, 0}};
        return static_cast<SharedArray*>(block);
    }
    // A private copy of the first `count` elements (fewer when this holds
    // fewer), with one reference.
    SharedArray* Copy(uint32_t count) const
    {
        SharedArray* copy = Create(count);
        const uint32_t keep = std::min(count, Count());
        if (keep)
            std::memcpy(copy->Data(), Data(), size_t{keep} * sizeof(T));
        return copy;
    }

    void AddRef() noexcept { ++header().refs; }
    void Release() noexcept
    {
        if (--header().refs == 0)
            std::free(this);
    }
    uint32_t RefCount() const noexcept { return header().refs; }
    uint32_t Count() const noexcept { return header().count; }
    T* Data() noexcept { return reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(this) + sizeof(Header)); }
    const T* Data() const noexcept
    {
        return reinterpret_cast<const T*>(reinterpret_cast<const unsigned char*>(this) + sizeof(Header));
    }

private:
    SharedArray() = delete;
    Header& header() noexcept { return *reinterpret_cast<Header*>(this); }
    const Header& header() const noexcept { return *reinterpret_cast<const Header*>(this); }
};

template <typename V, typename Base>
class GeometryChunkTemplate : public Base {
public:
    GeometryChunkTemplate(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount, uint32_t faceCount,
                          uint32_t creationFlags)
        : Base(vertexCount, primitiveCount, indexCount, faceCount, creationFlags),
          vertices_(SharedArray<V>::Create(vertexCount))
    {
    }
    ~GeometryChunkTemplate() override { vertices_->Release(); }

    GeometryChunk* CreateInstance(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                  uint32_t faceCount) const override
    {
        auto* chunk = new GeometryChunkTemplate(vertexCount, primitiveCount, indexCount, faceCount,
                                                this->GetCreationFlags());
        chunk->AddRef();
        return chunk;
    }
    GeometryChunk* CreateInstance() const override
    {
        auto* chunk = new GeometryChunkTemplate(0, 0, 0, 0, this->GetCreationFlags());
        chunk->InitInstance(*this);
        chunk->ShareVertices(*this);
        chunk->AddRef();
        return chunk;
    }

    bool DuplicateVertexArray(Display& display) override
    {
        SharedArray<V>* copy = vertices_->Copy(vertices_->Count());
        vertices_->Release();
        vertices_ = copy;
        return RebuildVertexBuffer(display);
    }
    bool DuplicateIndexArray(Display& display) override
    {
        if (!GeometryChunk::DuplicateIndexArray(display))
            return false;
        if (!this->GetStaticIndexBuffer())
            return true;
        this->SetStaticIndexBuffer(nullptr);
        return this->InitializeBuffers(display, true);
    }
    bool ResizeVertexArray(Display& display, uint32_t count) override
    {
        SharedArray<V>* resized = vertices_->Copy(count);
        vertices_->Release();
        vertices_ = resized;
        this->SetVertexCounts(count);
        return RebuildVertexBuffer(display);
    }

    void* GetVertexArray() noexcept override { return vertices_->Data(); }
    const VertexType* AssignVertexType(Display& display) override
    {
        if (!this->GetVertexType())
            this->SetVertexType(display, V::kTypeId, 0);
        return this->GetVertexType();
    }
    uint32_t GetVertexTypeID() const noexcept override { return V::kTypeId; }
    uint32_t GetVertexSize(int32_t /*stream*/ = -1) const noexcept override { return sizeof(V); }
    int32_t GetItemOffset(uint32_t item) const noexcept override
    {
        const VertexType* type = VertexType::Get(V::kTypeId);
        return type && item < kItemCount ? type->itemOffset[item] : -1;
    }
    ItemArray<unsigned char> GetItemArray(uint32_t item) noexcept override
    {
        const int32_t offset = GetItemOffset(item);
        if (offset < 0)
            return {};
        return {static_cast<uint32_t>(sizeof(V)), reinterpret_cast<unsigned char*>(vertices_->Data()) + offset};
    }

    const SharedArray<V>* GetSharedVertices() const noexcept { return vertices_; }

protected:
    void ShareVertices(const GeometryChunkTemplate& from) noexcept
    {
        from.vertices_->AddRef();
        vertices_->Release();
        vertices_ = from.vertices_;
    }
    // A chunk that had a static vertex buffer gets a new one for its new
    // array.
    bool RebuildVertexBuffer(Display& display)
    {
        if (!this->GetStaticVertexBuffer())
            return true;
        this->SetStaticVertexBuffer(nullptr);
        return this->InitializeBuffers(display, true);
    }

private:
    SharedArray<V>* vertices_;
};

// The PCT chunk with per-vertex normals in an array of their own.
template <typename V, typename Base>
class GeometryChunkNmlTemplate : public GeometryChunkTemplate<V, Base> {
public:
    using Super = GeometryChunkTemplate<V, Base>;

    GeometryChunkNmlTemplate(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount, uint32_t faceCount,
                             uint32_t creationFlags)
        : Super(vertexCount, primitiveCount, indexCount, faceCount, creationFlags),
          normals_(SharedArray<Vector3Item>::Create(vertexCount))
    {
    }
    ~GeometryChunkNmlTemplate() override { normals_->Release(); }

    GeometryChunk* CreateInstance(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                  uint32_t faceCount) const override
    {
        auto* chunk = new GeometryChunkNmlTemplate(vertexCount, primitiveCount, indexCount, faceCount,
                                                   this->GetCreationFlags());
        chunk->AddRef();
        return chunk;
    }
    GeometryChunk* CreateInstance() const override
    {
        auto* chunk = new GeometryChunkNmlTemplate(0, 0, 0, 0, this->GetCreationFlags());
        chunk->InitInstance(*this);
        chunk->ShareVertices(*this);
        normals_->AddRef();
        chunk->normals_->Release();
        chunk->normals_ = normals_;
        chunk->AddRef();
        return chunk;
    }

    bool DuplicateVertexArray(Display& display) override
    {
        SharedArray<Vector3Item>* copy = normals_->Copy(normals_->Count());
        normals_->Release();
        normals_ = copy;
        return Super::DuplicateVertexArray(display);
    }
    bool ResizeVertexArray(Display& display, uint32_t count) override
    {
        SharedArray<Vector3Item>* resized = normals_->Copy(count);
        normals_->Release();
        normals_ = resized;
        return Super::ResizeVertexArray(display, count);
    }
    bool AppendChunk(Display& display, const GeometryChunk& other) override
    {
        const uint32_t base = this->GetVertexCount();
        if (!GeometryChunk::AppendChunk(display, other))
            return false;
        const ItemArray<const Vector3Item> from = other.GetVector3Array(kItemNormal);
        Vector3Item* to = normals_->Data() + base;
        for (uint32_t v = 0; from && v < other.GetVertexCount(); ++v)
            to[v] = from[v];
        return true;
    }
    ItemArray<unsigned char> GetItemArray(uint32_t item) noexcept override
    {
        if (item == kItemNormal)
            return {static_cast<uint32_t>(sizeof(Vector3Item)), reinterpret_cast<unsigned char*>(normals_->Data())};
        return Super::GetItemArray(item);
    }

    const SharedArray<Vector3Item>* GetSharedNormals() const noexcept { return normals_; }

private:
    SharedArray<Vector3Item>* normals_;
};

using GeometryChunkPNT = GeometryChunkTemplate<PackedVertexPNT, GeometryChunkSingleStream>;
using GeometryChunkPCT = GeometryChunkTemplate<PackedVertexPCT, GeometryChunkSingleStream>;
using GeometryChunkNmlPCT = GeometryChunkNmlTemplate<PackedVertexPCT, GeometryChunkSingleStream>;

}  // namespace Nyx
