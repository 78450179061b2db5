#include "resources/materials/multipfx/KestroMultiPFXMaterial.h"

#include <new>

#include "nyx/RenderKernel.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "nyx/gfx/chunks/StandardChunkHint.h"
#include "nyx/gfx/textures/Texture.h"
#include "resources/mesh/GeometryChunkTemplate.h"

namespace Nyx {

KestroMultiPFXMaterial::KestroMultiPFXMaterial(MaterialManager* manager, RenderingCache* chunkCache,
                                               RenderingCache* maskCache, RenderingCache* blendCache,
                                               TextureStageSetup* setup0, TextureStageSetup* setup1)
    : OneTextureMaterial(PString(kTypeName), manager, chunkCache, maskCache, blendCache), setups_{setup0, setup1}
{
}

KestroMultiPFXMaterial::~KestroMultiPFXMaterial() { HoldEffect(nullptr); }

void KestroMultiPFXMaterial::HoldEffect(Texture* texture)
{
    if (texture)
        texture->AddRef();
    if (effect_)
        effect_->Release();
    effect_ = texture;
}

OneTextureMaterial* KestroMultiPFXMaterial::CreateInstance() const
{
    auto* copy = new KestroMultiPFXMaterial(GetManager(), GetChunkCache(), GetMaskCache(), GetBlendCache(),
                                            setups_[0], setups_[1]);
    copy->InitInstance(*this);
    copy->HoldEffect(effect_);
    return copy;
}

Material* KestroMultiPFXMaterial::Duplicate() const
{
    OneTextureMaterial* copy = CreateInstance();
    copy->AddRef();
    return copy;
}

bool KestroMultiPFXMaterial::Equals(const Material& other) const
{
    const auto* o = dynamic_cast<const KestroMultiPFXMaterial*>(&other);
    return o && o->effect_ == effect_ && OneTextureMaterial::Equals(other);
}

void KestroMultiPFXMaterial::SetResourcePriority(float priority)
{
    OneTextureMaterial::SetResourcePriority(priority);
    if (effect_)
        effect_->SetPriority(priority);
}

void KestroMultiPFXMaterial::Activate(int32_t value)
{
    OneTextureMaterial::Activate(value);
    if (effect_)
        effect_->Activate(value);
}

GeometryChunk* KestroMultiPFXMaterial::CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount,
                                                           uint32_t indexCount, uint32_t faceCount,
                                                           uint32_t primitiveCode, const StandardChunkHint& hint)
{
    const uint32_t flags = MakeGeometryChunkFlags(primitiveCode, &hint);
    auto* chunk = new (std::nothrow) GeometryChunkNmlPCT(vertexCount, primitiveCount, indexCount, faceCount, flags);
    if (!chunk)
        return nullptr;
    chunk->AddRef();
    chunk->SetMaterial(this);
    if (hint.vertexBufferMode == 1)
        chunk->SetVertexDataDynamic(0, -2, true);
    chunk->SetVertexDataShared(0, 0, false);
    if (hint.indexBufferMode == 1)
        chunk->SetIndexDataDynamic();

    if (!vertexType_) {
        auto type = std::make_unique<VertexType>(kVertexTypeId);
        type->CreateStreams(1);
        type->CreateItems(4);
        // Position, colour and texture coordinates of the PCT vertex; the
        // effect reads the base texture's coordinates.
        for (uint32_t item : {kItemPosition, kItemColour, kItemTexCoord0})
            type->AddItem(item, 0, -1, 0, 1, "", -1, -1);
        type->AddItem(kItemTexCoord0 + 1, kItemTexCoord0, "");
        vertexType_ = std::move(type);
    }
    RenderKernel* kernel = GetManager() ? GetManager()->GetRenderKernel() : nullptr;
    if (kernel) {
        Display& display = kernel->GetDisplay();
        if (!vertexTypeRegistered_)
            if (RenderDevice* device = display.FindRenderDevice())
                vertexTypeRegistered_ = device->RegisterVertexType(*vertexType_);
        if (vertexTypeRegistered_)
            chunk->SetVertexType(display, kVertexTypeId, 0);
    }
    return chunk;
}

uint32_t KestroMultiPFXMaterial::DuplicateTexture(uint32_t index)
{
    if (index != kEffectTextureIndex)
        return OneTextureMaterial::DuplicateTexture(index);
    if (!effect_)
        return kMissingTexture;
    Texture* copy = effect_->Duplicate();
    effect_->Release();
    effect_ = copy;
    return kOk;
}

Texture* KestroMultiPFXMaterial::GetTexture(uint32_t index) const
{
    return index == kEffectTextureIndex ? effect_ : OneTextureMaterial::GetTexture(index);
}

uint32_t KestroMultiPFXMaterial::SetTexture(Texture* texture, uint32_t index, float value)
{
    if (index != kEffectTextureIndex)
        return OneTextureMaterial::SetTexture(texture, index, value);
    if (!texture)
        return kMissingTexture;
    HoldEffect(texture);
    effect_->SetPriority(GetResourcePriority());
    SetTextureDefinition(kEffectTextureIndex, effect_->GetName(), value);
    return kOk;
}

uint32_t KestroMultiPFXMaterial::SetTexture(uint32_t index, const ResourceDatabase* database, const PString& name,
                                            float value)
{
    if (index != kEffectTextureIndex)
        return OneTextureMaterial::SetTexture(index, database, name, value);
    Texture* texture = GetManager() ? GetManager()->GetTextureManager().GetTexture(database, name) : nullptr;
    if (!texture)
        return kMissingTexture;
    HoldEffect(texture);
    texture->Release();
    effect_->SetPriority(GetResourcePriority());
    SetAlphaHint(0xFFFFFFFFu);
    SetTextureDefinition(kEffectTextureIndex, name, value);
    return kOk;
}

uint32_t KestroMultiPFXMaterial::IsLoaded() const
{
    if (!effect_ || !effect_->IsLoaded())
        return kTextureNotLoaded;
    return OneTextureMaterial::IsLoaded();
}

void KestroMultiPFXMaterial::Bind(Display& display, ViewPoint* /*viewport*/, uint32_t pass)
{
    if (pass == 0)
        SetDisplayState(display);
}

void KestroMultiPFXMaterial::Unbind(Display& display, ViewPoint* /*viewport*/, uint32_t pass)
{
    if (pass == 0)
        ClearDisplayState(display);
}

void KestroMultiPFXMaterial::SetDisplayState(Display& display)
{
    OneTextureMaterial::SetDisplayState(display);
    if (setups_[0] && setups_[1]) {
        display.ApplyTextureStageSetup(*setups_[0]);
        display.ApplyTextureStageSetup(*setups_[1]);
    }
    if (effect_)
        effect_->BindToStage(display, 1);
    else
        display.ClearStageTexture(1);
    display.SetStageTextureMatrix(1, effectMatrix_);
}

void KestroMultiPFXMaterial::ClearDisplayState(Display& display)
{
    OneTextureMaterial::ClearDisplayState(display);
    display.ResetStage(0);
    display.ResetStage(1);
    display.RestoreStageTextureTransform(1);
}

void KestroMultiPFXMaterial::DrawLit(Display& display, ViewPoint* viewport, GeometryChunk& chunk,
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

void KestroMultiPFXMaterial::RenderChunk(Display& display, ViewPoint* viewport, GeometryChunk& chunk,
                                         const DisplayLightList* lights, const Matrix4& world, int32_t /*pass*/)
{
    SetDisplayState(display);
    DrawLit(display, viewport, chunk, lights, world, nullptr);
    ClearDisplayState(display);
}

void KestroMultiPFXMaterial::RenderPrimitives(Display& display, ViewPoint* viewport, GeometryChunk& chunk,
                                              const DisplayLightList* lights, const Matrix4& world,
                                              const PrimitiveRange& range, int32_t /*pass*/)
{
    SetDisplayState(display);
    DrawLit(display, viewport, chunk, lights, world, &range);
    ClearDisplayState(display);
}

void KestroMultiPFXMaterial::RenderNumChunks(Display& display, ViewPoint* viewport, GeometryChunk* const* chunks,
                                             const DisplayLightList* const* lights, const Matrix4* const* worlds,
                                             uint32_t count)
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
