#include "resources/materials/bump/KestroBumpLayerMaterial.h"

#include <typeinfo>

#include "nyx/RenderKernel.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "nyx/gfx/textures/Texture.h"

namespace Nyx {

KestroBumpLayerMaterial::KestroBumpLayerMaterial(MaterialManager* manager, RenderingCache* chunkCache,
                                                 RenderingCache* maskCache, RenderingCache* blendCache,
                                                 VertexProgram* parallelProgram, TextureCombiner* parallelCombiner,
                                                 VertexProgram* spotProgram, TextureCombiner* spotCombiner,
                                                 std::string_view typeName)
    : KestroBumpMaterial(manager, chunkCache, maskCache, blendCache, parallelProgram, parallelCombiner, spotProgram,
                         spotCombiner, typeName)
{
    if (manager && manager->GetRenderKernel())
        second_ = manager->GetRenderKernel()->GetSharedTextures().GetTexture(0);
}

KestroBumpLayerMaterial::~KestroBumpLayerMaterial() { SetSecondTexture(nullptr); }

void KestroBumpLayerMaterial::SetSecondTexture(Texture* texture)
{
    if (texture)
        texture->AddRef();
    if (second_)
        second_->Release();
    second_ = texture;
}

void KestroBumpLayerMaterial::InitLayerInstance(const KestroBumpLayerMaterial& from)
{
    InitBumpInstance(from);
    SetSecondTexture(from.second_);
    secondValue_ = from.secondValue_;
}

bool KestroBumpLayerMaterial::Equals(const Material& other) const
{
    const auto* o = dynamic_cast<const KestroBumpLayerMaterial*>(&other);
    return o && typeid(*o) == typeid(*this) && o->second_ == second_ && o->secondValue_ == secondValue_ &&
           o->GetBumpTexture() == GetBumpTexture() && OneTextureMaterial::Equals(other);
}

GeometryChunk* KestroBumpLayerMaterial::CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount,
                                                            uint32_t indexCount, uint32_t faceCount,
                                                            uint32_t geometryType, StandardChunkHint* hint)
{
    GeometryChunk* chunk =
        KestroBumpMaterial::CreateGeometryChunk(vertexCount, primitiveCount, indexCount, faceCount, geometryType, hint);
    if (chunk && !(chunk->GetCreationFlags() & 0x1000))
        chunk->SetVertexDataShared(0, -3, false);
    return chunk;
}

uint32_t KestroBumpLayerMaterial::DuplicateTexture(uint32_t index)
{
    if (index != kSecondTextureIndex)
        return KestroBumpMaterial::DuplicateTexture(index);
    if (!second_)
        return kMissingTexture;
    Texture* copy = second_->Duplicate();
    second_->Release();
    second_ = copy;
    return kOk;
}

Texture* KestroBumpLayerMaterial::GetTexture(uint32_t index) const
{
    return index == kSecondTextureIndex ? second_ : KestroBumpMaterial::GetTexture(index);
}

uint32_t KestroBumpLayerMaterial::SetTexture(Texture* texture, uint32_t index, float value)
{
    if (index != kSecondTextureIndex)
        return KestroBumpMaterial::SetTexture(texture, index, value);
    if (!texture)
        return kMissingTexture;
    SetSecondTexture(texture);
    secondValue_ = value;
    second_->SetPriority(GetResourcePriority());
    SetTextureDefinition(kSecondTextureIndex, second_->GetName(), value);
    return kOk;
}

uint32_t KestroBumpLayerMaterial::SetTexture(uint32_t index, const ResourceDatabase* database, const PString& name,
                                             float value)
{
    if (index != kSecondTextureIndex)
        return KestroBumpMaterial::SetTexture(index, database, name, value);
    Texture* texture = GetManager() ? GetManager()->GetTextureManager().GetTexture(database, name) : nullptr;
    if (!texture)
        return kMissingTexture;
    const uint32_t result = SetTexture(texture, index, value);
    texture->Release();
    SetAlphaHint(0xFFFFFFFFu);
    return result;
}

void KestroBumpLayerMaterial::RenderNumChunks(Display& display, ViewPoint* viewport, GeometryChunk* const* chunks,
                                              const DisplayLightList* const* lights, const Matrix4* const* worlds,
                                              uint32_t count)
{
    if (!chunks || !worlds)
        return;
    for (uint32_t i = 0; i < count; ++i)
        if (chunks[i] && worlds[i])
            RenderChunk(display, viewport, *chunks[i], lights ? lights[i] : nullptr, *worlds[i], -1);
}

uint32_t KestroBumpLayerMaterial::IsLoaded() const
{
    if (!second_ || !second_->IsLoaded())
        return kTextureNotLoaded;
    return KestroBumpMaterial::IsLoaded();
}

void KestroBumpLayerMaterial::CacheAlphaHint() { SetAlphaHint(0); }

void KestroBumpLayerMaterial::ClearDisplayState(Display& display)
{
    display.ResetStage(kLayerStage);
    display.ResetStage(1);
    OneTextureMaterial::ClearDisplayState(display);
}

}  // namespace Nyx
