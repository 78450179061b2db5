#include <gtest/gtest.h>

#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/display/RenderDevice.h"
#include "resources/mesh/GeometryChunkTemplate.h"

namespace {

// Holds a buffer past the chunk dropping it.
struct RenderBufferRef {
    explicit RenderBufferRef(Nyx::RenderBuffer* b) : buffer(b) { buffer->AddRef(); }
    ~RenderBufferRef() { buffer->Release(); }
    Nyx::RenderBuffer* buffer;
};

template <typename C>
C* Make(uint32_t vertices, uint32_t indices = 0, uint32_t flags = 0)
{
    auto* chunk = new C(vertices, indices / 3, indices, 0, flags);
    chunk->AddRef();
    return chunk;
}

TEST(GeometryChunkTemplateTest, SizesTypesAndItems)
{
    struct Case {
        const char* name;
        Nyx::GeometryChunk* chunk;
        uint32_t type;
        uint32_t size;
        bool colour;
        uint32_t normalStride;
    };
    Case cases[] = {
        {"PNT", Make<Nyx::GeometryChunkPNT>(2), 18, 32, false, 32},
        {"PCT", Make<Nyx::GeometryChunkPCT>(2), 19, 24, true, 0},
        {"Nml PCT", Make<Nyx::GeometryChunkNmlPCT>(2), 19, 24, true, 12},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.chunk->GetVertexTypeID(), c.type);
        EXPECT_EQ(c.chunk->GetVertexSize(), c.size);
        const auto positions = c.chunk->GetVector3Array(Nyx::kItemPosition);
        EXPECT_EQ(positions.stride, c.size);
        EXPECT_EQ(static_cast<void*>(positions.data), c.chunk->GetVertexArray());
        EXPECT_EQ(static_cast<bool>(c.chunk->GetUDwordArray(Nyx::kItemColour)), c.colour);
        const auto normals = c.chunk->GetVector3Array(Nyx::kItemNormal);
        EXPECT_EQ(normals.stride, c.normalStride);
        EXPECT_EQ(normals.data != nullptr, c.normalStride != 0);
        EXPECT_EQ(c.chunk->GetVector2Array(Nyx::kItemTexCoord0).stride, c.size);
        EXPECT_FALSE(c.chunk->GetVector4Array(Nyx::kItemWeights4));
        c.chunk->Release();
    }
}

TEST(GeometryChunkTemplateTest, ClonesShareUntilDuplicatedOrResized)
{
    Nyx::Display display;
    auto* chunk = Make<Nyx::GeometryChunkNmlPCT>(3, 3);
    auto* clone = chunk->CreateInstance();
    EXPECT_EQ(clone->GetVertexCount(), 3u);
    EXPECT_EQ(clone->GetVertexArray(), chunk->GetVertexArray());
    // A vertex written through either is seen by both.
    clone->GetVector3Array(Nyx::kItemPosition)[1].x = 7.0f;
    clone->GetVector3Array(Nyx::kItemNormal)[2].z = 1.0f;
    EXPECT_EQ(chunk->GetVector3Array(Nyx::kItemPosition)[1].x, 7.0f);
    EXPECT_EQ(chunk->GetVector3Array(Nyx::kItemNormal)[2].z, 1.0f);
    clone->GetIndexArray()[0] = 2;
    EXPECT_EQ(chunk->GetIndexArray()[0], 2);

    ASSERT_TRUE(clone->DuplicateVertexArray(display));
    ASSERT_TRUE(clone->DuplicateIndexArray(display));
    clone->GetVector3Array(Nyx::kItemPosition)[1].x = 8.0f;
    clone->GetVector3Array(Nyx::kItemNormal)[2].z = 2.0f;
    clone->GetIndexArray()[0] = 1;
    EXPECT_EQ(chunk->GetVector3Array(Nyx::kItemPosition)[1].x, 7.0f);
    EXPECT_EQ(chunk->GetVector3Array(Nyx::kItemNormal)[2].z, 1.0f);
    EXPECT_EQ(chunk->GetIndexArray()[0], 2);
    EXPECT_EQ(clone->GetVector3Array(Nyx::kItemPosition)[1].x, 8.0f);

    // A resize keeps the first vertices of the shared array and parts.
    auto* second = chunk->CreateInstance();
    ASSERT_TRUE(second->ResizeVertexArray(display, 2));
    EXPECT_EQ(second->GetVertexCount(), 2u);
    EXPECT_EQ(second->GetMaxVertices(), 2u);
    EXPECT_EQ(second->GetVector3Array(Nyx::kItemPosition)[1].x, 7.0f);
    EXPECT_NE(second->GetVertexArray(), chunk->GetVertexArray());
    ASSERT_TRUE(second->ResizeVertexArray(display, 0));
    EXPECT_EQ(static_cast<const Nyx::GeometryChunkNmlPCT*>(second)->GetSharedVertices()->Count(), 0u);
    second->Release();
    clone->Release();
    chunk->Release();
}

TEST(GeometryChunkTemplateTest, AppendCopiesNormalsAfterTheOldVertices)
{
    Nyx::Display display;
    auto* a = Make<Nyx::GeometryChunkNmlPCT>(2, 3);
    auto* b = Make<Nyx::GeometryChunkNmlPCT>(3, 3);
    for (uint32_t v = 0; v < 3; ++v) {
        b->GetVector3Array(Nyx::kItemNormal)[v] = {0, 0, static_cast<float>(v + 1)};
        b->GetVector3Array(Nyx::kItemPosition)[v] = {static_cast<float>(v), 0, 0};
        b->GetIndexArray()[v] = static_cast<uint16_t>(2 - v);
    }
    ASSERT_TRUE(a->AppendChunk(display, *b));
    EXPECT_EQ(a->GetVertexCount(), 5u);
    EXPECT_EQ(a->GetIndexCount(), 6u);
    EXPECT_EQ(a->GetVector3Array(Nyx::kItemNormal)[4].z, 3.0f);
    EXPECT_EQ(a->GetVector3Array(Nyx::kItemPosition)[3].x, 1.0f);
    EXPECT_EQ(a->GetIndexArray()[3], 4);
    a->Release();
    b->Release();
}

TEST(GeometryChunkTemplateTest, BuffersFollowTheDynamicBits)
{
    struct Case {
        const char* name;
        uint32_t flags;
        bool vertexBuffer;
        bool indexBuffer;
    };
    const Case cases[] = {
        {"static", 0, true, true},
        {"dynamic vertices", Nyx::GeometryChunk::kDynamicVertices, false, true},
        {"dynamic indices", Nyx::GeometryChunk::kDynamicIndices, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Nyx::Display display;
        auto* chunk = Make<Nyx::GeometryChunkPNT>(4, 6, c.flags);
        ASSERT_TRUE(chunk->InitializeBuffers(display, false));
        EXPECT_EQ(chunk->GetStaticVertexBuffer() != nullptr, c.vertexBuffer);
        EXPECT_EQ(chunk->GetStaticIndexBuffer() != nullptr, c.indexBuffer);
        EXPECT_EQ(chunk->IsVertexDataDirty(), c.vertexBuffer);
        EXPECT_EQ(display.GetRenderDevice().GetUploadCount(), 0u);
        ASSERT_TRUE(chunk->LoadBuffers(display));
        EXPECT_FALSE(chunk->IsVertexDataDirty());
        EXPECT_EQ(display.GetRenderDevice().GetUploadCount(), (c.vertexBuffer ? 1u : 0u) + (c.indexBuffer ? 1u : 0u));
        if (c.vertexBuffer) {
            EXPECT_EQ(chunk->GetStaticVertexBuffer()->GetVertexType(), 18u);
            EXPECT_EQ(chunk->GetStaticVertexBuffer()->GetContents().size(), 4u * 32);
            // A resize rebuilds the static buffer for the new array.
            RenderBufferRef old(chunk->GetStaticVertexBuffer());
            ASSERT_TRUE(chunk->ResizeVertexArray(display, 6));
            EXPECT_NE(chunk->GetStaticVertexBuffer(), old.buffer);
            EXPECT_EQ(chunk->GetStaticVertexBuffer()->GetContents().size(), 6u * 32);
        }
        chunk->Release();
    }
}

TEST(GeometryChunkTemplateTest, RefusedUploadsAndTypeAssignment)
{
    Nyx::Display display;
    auto* chunk = Make<Nyx::GeometryChunkPCT>(4, 6);
    EXPECT_EQ(chunk->GetVertexType(), nullptr);
    const Nyx::VertexType* type = chunk->AssignVertexType(display);
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(type->id, 19u);
    EXPECT_EQ(chunk->AssignVertexType(display), type);
    display.GetRenderDevice().SetRefuseUploads(true);
    EXPECT_FALSE(chunk->InitializeBuffers(display, true));
    EXPECT_EQ(chunk->GetStaticVertexBuffer(), nullptr);
    display.GetRenderDevice().SetRefuseUploads(false);
    display.GetRenderDevice().SetRefuseCreates(true);
    EXPECT_FALSE(chunk->InitializeBuffers(display, true));
    chunk->Release();
}

}  // namespace
