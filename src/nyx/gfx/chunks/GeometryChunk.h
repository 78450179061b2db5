// Engine geometry chunks: a block of vertices and indices drawn with one
// material. The base keeps the counts, the flags, the 16-bit indices, the
// face normals and neighbours, the bone palette and the static buffers;
// a derived class keeps the vertices and answers for its items (streams).
#pragma once

#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

#include "nyx/base/DefaultInitAllocator.h"
#include "nyx/base/PString.h"
#include "nyx/base/ReferenceCount.h"
#include "nyx/gfx/chunks/VertexType.h"

namespace Nyx {

class Display;
class Material;
struct Matrix4;
class RenderBuffer;
class VertexProgram;
class ViewPoint;
struct PrimitiveRange;
struct StandardChunkHint;

struct ChunkHint {
    // The chunk's buffers may be rebuilt by the engine when the display is
    // reset.
    static constexpr uint32_t kFlagRebuildable = 1u << 2;

    uint32_t flags = 0;
    uint32_t vertexType = 0;
    uint32_t vertexSize = 0;
    uint32_t streamCount = 0;
};

// One item of every vertex: `stride` bytes apart from `data`; {0, null}
// when the chunk has no such item.
template <typename T>
struct ItemArray {
    uint32_t stride = 0;
    T* data = nullptr;

    explicit operator bool() const noexcept { return data != nullptr; }
    T& operator[](uint32_t i) const noexcept
    {
        return *reinterpret_cast<T*>(reinterpret_cast<
            std::conditional_t<std::is_const_v<T>, const unsigned char*, unsigned char*>>(data) + size_t{i} * stride);
    }
};

// A chunk's own arrays: sized without zeroing, for arrays their maker
// writes whole; the chunk zeroes any other itself.
template <typename T>
using ChunkArray = std::vector<T, DefaultInitAllocator<T>>;

struct Vector2Item {
    float u;
    float v;
};
struct Vector3Item {
    float x;
    float y;
    float z;
};
struct Vector4Item {
    float x;
    float y;
    float z;
    float w;
};

class GeometryChunk : public ReferenceCount {
public:
    // Creation flags: the data of these changes every frame and gets no
    // static buffer.
    static constexpr uint32_t kDynamicVertices = 0x10000;
    static constexpr uint32_t kDynamicIndices = 0x100;
    // Chunk flag: deformed in software, so it takes no bone palette.
    static constexpr uint32_t kFlagSoftwareSkinned = 0x40;
    // The vertex programs' bone matrices: after the view constants, room
    // for the palette a display can take.
    static constexpr uint32_t kDefaultFirstMatrixConstant = 16;
    static constexpr uint32_t kDefaultPaletteMatrices = 25;
    // Bone numbers AssignInfluenceMatrix takes.
    static constexpr uint32_t kMaxBones = 1024;
    // What AddInfluenceMatrix answers when the palette is full.
    static constexpr uint32_t kNoSlot = 0xFFFFFFFFu;

    struct FaceNeighbors {
        uint32_t face[3];
    };

    // A chunk drawn with the material (one reference taken on it), with one
    // reference for the caller; null without a material or with a hint
    // whose vertices have no size.
    static GeometryChunk* Create(Material* material, const ChunkHint& hint, uint32_t vertexCount,
                                 uint32_t primitiveCount, uint32_t indexCount);
    ~GeometryChunk() override;

    Material* GetMaterial() const noexcept { return material_; }
    // Takes a reference on the material and gives back the old one's.
    void SetMaterial(Material* material);
    const ChunkHint& GetHint() const noexcept { return hint_; }

    uint32_t GetVertexCount() const noexcept { return vertexCount_; }
    uint32_t GetMaxVertices() const noexcept { return maxVertices_; }
    uint32_t GetPrimitiveCount() const noexcept { return primitiveCount_; }
    uint32_t GetIndexCount() const noexcept { return indexCount_; }
    // The counts a draw uses, for owners that show fewer vertices, indices
    // or primitives than the chunk holds (never more than it holds).
    void SetVertexCount(uint32_t count) noexcept { vertexCount_ = count < maxVertices_ ? count : maxVertices_; }
    void SetIndexCount(uint32_t count) noexcept { indexCount_ = count < maxIndices_ ? count : maxIndices_; }
    void SetPrimitiveCount(uint32_t count) noexcept { primitiveCount_ = count; }
    uint32_t GetMaxIndices() const noexcept { return maxIndices_; }
    uint32_t GetFaceCount() const noexcept { return faceCount_; }
    uint32_t GetCreationFlags() const noexcept { return creationFlags_; }
    uint32_t GetFlags() const noexcept { return flags_; }
    void SetFlags(uint32_t flags) noexcept { flags_ = flags; }
    // The engine's primitive code (0 triangle list, 1 strip, 2 fan, 3 lines,
    // 4 line strip, 5 points) and the file's kind bits it came from.
    uint32_t GetPrimitiveCode() const noexcept { return primitiveCode_; }
    void SetPrimitiveCode(uint32_t code) noexcept { primitiveCode_ = code; }
    uint32_t GetPrimitiveFlags() const noexcept { return primitiveFlags_; }
    void SetPrimitiveFlags(uint32_t flags) noexcept { primitiveFlags_ = flags; }
    // The display's primitive code for a chunk's primitive kind (0 points,
    // 1 lines, 2 line strip, 4 triangles, 8 strip, 16 fan: the low five
    // bits of GetPrimitiveFlags); kNoPrimitive for any other kind.
    static constexpr uint32_t kNoPrimitive = 0xFFFFFFFFu;
    static uint32_t primitiveLookup(uint32_t kind) noexcept;
    // A count the chunk keeps for whoever made it.
    uint32_t GetPrimitiveValue() const noexcept { return primitiveValue_; }
    void SetPrimitiveValue(uint32_t value) noexcept { primitiveValue_ = value; }

    // Null when the chunk holds no indices.
    uint16_t* GetIndexArray() noexcept;
    const uint16_t* GetIndexArray() const noexcept;
    // Three floats per face; null without faces.
    float* GetFaceNormalArray() noexcept { return faceNormals_.empty() ? nullptr : faceNormals_.data(); }
    const float* GetFaceNormalArray() const noexcept { return faceNormals_.empty() ? nullptr : faceNormals_.data(); }
    // Copies faceCount records; null clears them.
    void SetFaceNeighborArray(const FaceNeighbors* records);
    const FaceNeighbors* GetFaceNeighborArray() const noexcept
    {
        return faceNeighbors_.empty() ? nullptr : faceNeighbors_.data();
    }

    // The palette slot of a bone (added when new); kNoSlot when the palette
    // already holds as many bones as a palette byte can name.
    uint32_t AddInfluenceMatrix(uint32_t bone);
    const std::vector<uint32_t>& GetInfluenceMatrices() const noexcept { return palette_; }
    // Empties the palette and the matrices registered with it.
    void ResetMatrixArray() noexcept;
    // Registers the matrix that bone number `bone` is drawn with (not
    // owned); the palette slot s uses the matrix of bone palette[s].
    void AssignInfluenceMatrix(const Matrix4* matrix, uint32_t bone);
    // Null when none is registered for the bone.
    const Matrix4* GetInfluenceMatrix(uint32_t bone) const noexcept
    {
        return bone < matrices_.size() ? matrices_[bone] : nullptr;
    }
    const std::vector<const Matrix4*>& GetInfluenceMatrixArray() const noexcept { return matrices_; }
    // The constant registers the chunk's vertex program keeps bone matrices
    // in, three a matrix: (last - first) / 3 bones fit.
    void SetMatrixConstantRange(uint32_t first, uint32_t last) noexcept
    {
        firstMatrixConstant_ = first;
        lastMatrixConstant_ = last < first ? first : last;
    }
    uint32_t GetFirstMatrixConstant() const noexcept { return firstMatrixConstant_; }
    uint32_t GetLastMatrixConstant() const noexcept { return lastMatrixConstant_; }

    // ---- operations a chunk class provides ----

    // A new chunk of the same class with these counts and this chunk's
    // creation flags (one reference for the caller).
    virtual GeometryChunk* CreateInstance(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                          uint32_t faceCount) const;
    // A clone sharing this chunk's arrays.
    virtual GeometryChunk* CreateInstance() const;
    // Copies the base state of another chunk; the index array is shared.
    void InitInstance(const GeometryChunk& from);

    virtual bool InitializeBuffers(Display& display, bool fill);
    virtual bool LoadBuffers(Display& display);
    virtual bool DuplicateVertexArray(Display& display);
    // Gives the chunk a private copy of its indices.
    virtual bool DuplicateIndexArray(Display& display);
    virtual bool ResizeVertexArray(Display& display, uint32_t count);
    // Appends the other chunk's vertices (the items both have) and its
    // indices, moved past this chunk's vertices. False when the result
    // would not be indexable with 16 bits.
    virtual bool AppendChunk(Display& display, const GeometryChunk& other);
    virtual void* GetVertexArray() noexcept { return nullptr; }
    const void* GetVertexArray() const noexcept { return const_cast<GeometryChunk*>(this)->GetVertexArray(); }
    // Sets the vertex type when there is none yet; returns it.
    virtual const VertexType* AssignVertexType(Display& display);
    void SetVertexType(Display& display, uint32_t id, uint32_t stream);
    const VertexType* GetVertexType() const noexcept { return vertexType_; }
    virtual uint32_t GetVertexTypeID() const noexcept { return hint_.vertexType; }
    // Bytes of one vertex of a stream; -1 asks for all streams together.
    virtual uint32_t GetVertexSize(int32_t /*stream*/ = -1) const noexcept { return hint_.vertexSize; }
    virtual int32_t GetItemOffset(uint32_t item) const noexcept;
    // Where an item of every vertex lies; {0, null} when absent.
    virtual ItemArray<unsigned char> GetItemArray(uint32_t item) noexcept;
    // Whether the chunk can be drawn; the value is the owner's.
    virtual bool IsUsable(uint32_t value) const;

    ItemArray<Vector2Item> GetVector2Array(uint32_t item) noexcept { return Typed<Vector2Item>(item); }
    ItemArray<Vector3Item> GetVector3Array(uint32_t item) noexcept { return Typed<Vector3Item>(item); }
    ItemArray<Vector4Item> GetVector4Array(uint32_t item) noexcept { return Typed<Vector4Item>(item); }
    ItemArray<float> GetFloatArray(uint32_t item) noexcept { return Typed<float>(item); }
    ItemArray<uint32_t> GetUDwordArray(uint32_t item) noexcept { return Typed<uint32_t>(item); }
    ItemArray<const Vector2Item> GetVector2Array(uint32_t item) const noexcept { return Typed<const Vector2Item>(item); }
    ItemArray<const Vector3Item> GetVector3Array(uint32_t item) const noexcept { return Typed<const Vector3Item>(item); }
    ItemArray<const Vector4Item> GetVector4Array(uint32_t item) const noexcept { return Typed<const Vector4Item>(item); }
    ItemArray<const float> GetFloatArray(uint32_t item) const noexcept { return Typed<const float>(item); }
    ItemArray<const uint32_t> GetUDwordArray(uint32_t item) const noexcept { return Typed<const uint32_t>(item); }

    // What the chunk's lighting is scaled by (its materials multiply in
    // their own).
    void SetLightingScale(float scale) noexcept { lightingScale_ = scale; }
    float GetLightingScale() const noexcept { return lightingScale_; }
    // The opacity the chunk is drawn with, given by its mesh instance.
    void SetOpacity(float opacity) noexcept { opacity_ = opacity; }
    float GetOpacity() const noexcept { return opacity_; }
    // The object that holds the chunk as its own (not a reference).
    void SetOwner(const void* owner) noexcept { owner_ = owner; }
    const void* GetOwner() const noexcept { return owner_; }
    // The kind of chunk: 1 for chunks whose data another chunk of the kind
    // can take.
    virtual uint32_t GetKind() const noexcept { return 1; }
    // Whether this chunk's vertex layout can hold vertices of the type.
    virtual bool AcceptsVertexType(uint32_t type) const noexcept { return type == GetVertexTypeID(); }
    // Gives the chunk vertex program (its vertex layout's number).
    uint32_t GetVertexProgram() const noexcept { return GetVertexTypeID(); }

    RenderBuffer* GetStaticVertexBuffer() const noexcept { return staticVertices_; }
    RenderBuffer* GetStaticIndexBuffer() const noexcept { return staticIndices_; }
    // Take a reference on the new buffer and give back the old one's.
    void SetStaticVertexBuffer(RenderBuffer* buffer);
    void SetStaticIndexBuffer(RenderBuffer* buffer);
    void SetVertexDataDirty(bool dirty) noexcept { vertexDirty_ = dirty; }
    void SetIndexDataDirty(bool dirty) noexcept { indexDirty_ = dirty; }
    bool IsVertexDataDirty() const noexcept { return vertexDirty_; }
    bool IsIndexDataDirty() const noexcept { return indexDirty_; }

    // ---- named float properties a chunk carries for its material ----

    // False when the chunk already has the property.
    bool AddChunkProperty(const PString& name);
    // False when the chunk lacks the property.
    bool SetChunkProperty(const PString& name, float value);
    // Leaves `value` untouched when the chunk lacks the property.
    bool GetChunkProperty(const PString& name, float& value) const;

    // ---- buffer use a material asks for, kept for whoever draws it ----

    struct BufferRequest {
        bool asked = false;
        uint32_t stream = 0;
        int32_t value = 0;
        bool flag = false;
        bool operator==(const BufferRequest&) const = default;
    };
    void SetVertexDataDynamic(uint32_t stream, int32_t value, bool flag) { vertexDynamic_ = {true, stream, value, flag}; }
    void SetVertexDataShared(uint32_t stream, int32_t value, bool flag) { vertexShared_ = {true, stream, value, flag}; }
    void SetIndexDataDynamic() noexcept { indexDynamic_ = true; }
    const BufferRequest& GetVertexDataDynamic() const noexcept { return vertexDynamic_; }
    const BufferRequest& GetVertexDataShared() const noexcept { return vertexShared_; }
    bool IsIndexDataDynamic() const noexcept { return indexDynamic_; }

    // Draws the chunk (or a range of it) with the vertex program on the
    // display; the two trailing values are the engine's and are kept.
    void RenderGeometry(Display& display, ViewPoint* viewport, const VertexProgram* program, bool setStreams,
                        int32_t stream);
    void RenderPrimitives(Display& display, ViewPoint* viewport, const VertexProgram* program,
                          const PrimitiveRange& range, bool setStreams, int32_t stream);

protected:
    // The indices and face normals start as zeros, unless the maker says it
    // writes them whole.
    GeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount, uint32_t faceCount,
                  uint32_t creationFlags, bool indicesOverwritten = false, bool faceNormalsOverwritten = false);
    void SetVertexCounts(uint32_t count) noexcept { vertexCount_ = maxVertices_ = count; }

private:
    GeometryChunk(Material* material, const ChunkHint& hint, uint32_t vertexCount, uint32_t primitiveCount,
                  uint32_t indexCount);
    template <typename T>
    ItemArray<T> Typed(uint32_t item) const noexcept
    {
        const ItemArray<unsigned char> raw = const_cast<GeometryChunk*>(this)->GetItemArray(item);
        return {raw.stride, reinterpret_cast<T*>(raw.data)};
    }

    Material* material_ = nullptr;
    ChunkHint hint_;
    uint32_t vertexCount_ = 0;
    uint32_t maxVertices_ = 0;
    uint32_t primitiveCount_ = 0;
    uint32_t indexCount_ = 0;
    uint32_t maxIndices_ = 0;
    uint32_t faceCount_ = 0;
    uint32_t creationFlags_ = 0;
    uint32_t flags_ = 0;
    uint32_t primitiveCode_ = 0;
    uint32_t primitiveFlags_ = 0;
    uint32_t primitiveValue_ = 0;
    const VertexType* vertexType_ = nullptr;
    std::shared_ptr<ChunkArray<uint16_t>> indices_;
    ChunkArray<float> faceNormals_;
    std::vector<FaceNeighbors> faceNeighbors_;
    std::vector<uint32_t> palette_;
    std::vector<const Matrix4*> matrices_;
    uint32_t firstMatrixConstant_ = kDefaultFirstMatrixConstant;
    uint32_t lastMatrixConstant_ = kDefaultFirstMatrixConstant + 3 * kDefaultPaletteMatrices;
    RenderBuffer* staticVertices_ = nullptr;
    RenderBuffer* staticIndices_ = nullptr;
    bool vertexDirty_ = false;
    bool indexDirty_ = false;
    float opacity_ = 1.0f;
    float lightingScale_ = 1.0f;
    const void* owner_ = nullptr;
    std::vector<std::pair<PString, float>> properties_;
    BufferRequest vertexDynamic_;
    BufferRequest vertexShared_;
    bool indexDynamic_ = false;
};

}  // namespace Nyx
