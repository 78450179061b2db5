#include "resources/materials/onetex/KestroOneTexNoAlphaMaterial.h"

#include <new>

#include "nyx/RenderKernel.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "nyx/gfx/chunks/StandardChunkHint.h"
#include "resources/mesh/GeometryChunkTemplate.h"

namespace Nyx {

KestroOneTexNoAlphaMaterial::KestroOneTexNoAlphaMaterial(MaterialManager* manager, RenderingCache* chunkCache,
                                                         RenderingCache* maskCache, RenderingCache* blendCache,
                                                         TextureStageSetup* setup)
    : KestroGroundBaseMaterial(manager, chunkCache, maskCache, blendCache, kTypeName), setup_(setup)
{
}

OneTextureMaterial* KestroOneTexNoAlphaMaterial::CreateInstance() const
{
    auto* copy = new KestroOneTexNoAlphaMaterial(GetManager(), GetChunkCache(), GetMaskCache(), GetBlendCache(),
                                                 setup_);
    copy->InitGroundInstance(*this);
    return copy;
}

Material* KestroOneTexNoAlphaMaterial::Duplicate() const
{
    OneTextureMaterial* copy = CreateInstance();
    copy->AddRef();
    return copy;
}

bool KestroOneTexNoAlphaMaterial::Equals(const Material& other) const
{
    return dynamic_cast<const KestroOneTexNoAlphaMaterial*>(&other) && KestroGroundBaseMaterial::Equals(other);
}

void KestroOneTexNoAlphaMaterial::CacheAlphaHint() { SetAlphaHint(0); }

void KestroOneTexNoAlphaMaterial::SetDisplayState(Display& display)
{
    KestroGroundBaseMaterial::SetDisplayState(display);
    display.SetColorMaterialMode(kColourMaterialMode);
}

void KestroOneTexNoAlphaMaterial::ClearDisplayState(Display& display)
{
    KestroGroundBaseMaterial::ClearDisplayState(display);
    display.SetColorMaterialMode(0);
}

GeometryChunk* KestroOneTexNoAlphaMaterial::CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount,
                                                                uint32_t indexCount, uint32_t faceCount,
                                                                uint32_t primitiveCode, const StandardChunkHint& hint)
{
    StandardChunkHint copy = hint;
    return CreateGeometryChunk(vertexCount, primitiveCount, indexCount, faceCount, primitiveCode, &copy);
}

GeometryChunk* KestroOneTexNoAlphaMaterial::CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount,
                                                                uint32_t indexCount, uint32_t faceCount,
                                                                uint32_t geometryType, StandardChunkHint* hint)
{
    bool separateNormals = false;
    bool marked = false;
    if (hint && (hint->validity & 1)) {
        separateNormals = (hint->items & 1) != 0;
        marked = (hint->items & 2) != 0;
        RenderKernel* kernel = GetManager() ? GetManager()->GetRenderKernel() : nullptr;
        RenderDevice* device = kernel ? kernel->GetDisplay().FindRenderDevice() : nullptr;
        if (marked && !(hint->items & 4) && device && device->GetStreamCapability() != 0)
            hint->items |= 4;
    }
    const uint32_t flags = MakeGeometryChunkFlags(geometryType, hint);
    GeometryChunk* chunk = nullptr;
    if (separateNormals)
        chunk = new (std::nothrow) GeometryChunkNmlPCT(vertexCount, primitiveCount, indexCount, faceCount, flags);
    else
        chunk = new (std::nothrow) GeometryChunkPNT(vertexCount, primitiveCount, indexCount, faceCount, flags);
    if (!chunk)
        return nullptr;
    chunk->AddRef();
    chunk->SetMaterial(this);
    const uint32_t vertexUsage = hint ? hint->vertexBufferMode : 0;
    if (vertexUsage == 1 || (vertexUsage == 2 && marked))
        chunk->SetVertexDataDynamic(0, -2, true);
    if (marked || separateNormals)
        chunk->SetVertexDataShared(0, 0, false);
    if (hint && hint->indexBufferMode == 1)
        chunk->SetIndexDataDynamic();
    return chunk;
}

void KestroOneTexNoAlphaMaterial::DrawLit(Display& display, ViewPoint* viewport, GeometryChunk& chunk,
                                          const DisplayLightList* lights, const Matrix4& world,
                                          const PrimitiveRange* range)
{
    SetLightingState(display, viewport, chunk, chunk.GetVertexProgram(), lights, world,
                     chunk.GetLightingScale() * GetLightingScale());
    display.SetWorldTransform(world);
    if (range)
        chunk.RenderPrimitives(display, viewport, nullptr, *range, true, 0);
    else
        chunk.RenderGeometry(display, viewport, nullptr, true, 0);
}

void KestroOneTexNoAlphaMaterial::RenderChunk(Display& display, ViewPoint* viewport, GeometryChunk& chunk,
                                              const DisplayLightList* lights, const Matrix4& world,
                                              int32_t /*pass*/)
{
    SetDisplayState(display);
    DrawLit(display, viewport, chunk, lights, world, nullptr);
    ClearDisplayState(display);
}

void KestroOneTexNoAlphaMaterial::RenderPrimitives(Display& display, ViewPoint* viewport, GeometryChunk& chunk,
                                                   const DisplayLightList* lights, const Matrix4& world,
                                                   const PrimitiveRange& range, int32_t /*pass*/)
{
    SetDisplayState(display);
    DrawLit(display, viewport, chunk, lights, world, &range);
    ClearDisplayState(display);
}

void KestroOneTexNoAlphaMaterial::RenderNumChunks(Display& display, ViewPoint* viewport,
                                                  GeometryChunk* const* chunks, const DisplayLightList* const* lights,
                                                  const Matrix4* const* worlds, uint32_t count)
{
    if (!chunks || !worlds)
        return;
    SetDisplayState(display);
    for (uint32_t i = 0; i < count; ++i)
        if (chunks[i] && worlds[i])
            DrawLit(display, viewport, *chunks[i], lights ? lights[i] : nullptr, *worlds[i], nullptr);
    ClearDisplayState(display);
}

}  // namespace Nyx
