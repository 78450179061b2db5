// The engine's one-texture material as plug-in materials build on it: its
// caches and stage set-up, texture slot 0, loading state, and the display
// state around its draws.
#include <typeinfo>

#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "nyx/gfx/display/RenderDevice.h"
#include "nyx/gfx/chunks/StandardChunkHint.h"
#include "nyx/gfx/textures/Texture.h"
#include "nyx/gfx/textures/TextureManager.h"

namespace Nyx {

void Material::SetTextureDefinition(uint32_t kind, const PString& name, float value)
{
    for (MaterialTextureEntry& entry : textureFiles_) {
        if (entry.kind == kind) {
            entry.path = String(name.c_str());
            entry.value = value;
            return;
        }
    }
    textureFiles_.push_back({kind, String(name.c_str()), value});
}

uint32_t Material::MakeGeometryChunkFlags(uint32_t geometryType, const StandardChunkHint* hint)
{
    uint32_t flags = geometryType & 0xFF;
    if (hint) {
        if (hint->vertexBufferMode == 1)
            flags |= GeometryChunk::kDynamicVertices;
        if (hint->indexBufferMode == 1)
            flags |= GeometryChunk::kDynamicIndices;
        if (hint->flags & StandardChunkHint::kSoftwareLighting)
            flags |= 0x1000;
    }
    return flags;
}

OneTextureMaterial::OneTextureMaterial(const PString& type, MaterialManager* manager, RenderingCache* chunkCache,
                                       RenderingCache* maskCache, RenderingCache* blendCache)
    : Material(PString(), type)
{
    SetManager(manager);
    TakeCaches(chunkCache, maskCache, blendCache);
}

void OneTextureMaterial::TakeCaches(RenderingCache* chunkCache, RenderingCache* maskCache, RenderingCache* blendCache)
{
    RenderingCache* const incoming[3] = {chunkCache, maskCache, blendCache};
    RenderingCache** const held[3] = {&chunkCache_, &maskCache_, &blendCache_};
    for (int i = 0; i < 3; ++i) {
        if (incoming[i])
            incoming[i]->AddRef();
        if (*held[i])
            (*held[i])->Release();
        *held[i] = incoming[i];
    }
}

void OneTextureMaterial::SetStageSetup(TextureStageSetup* setup)
{
    if (setup)
        setup->AddRef();
    if (stageSetup_)
        stageSetup_->Release();
    stageSetup_ = setup;
}

void OneTextureMaterial::InitInstance(const OneTextureMaterial& from)
{
    from.CopyStateTo(*this);
    SetName(from.GetName());
    TakeCaches(from.chunkCache_, from.maskCache_, from.blendCache_);
    SetStageSetup(from.stageSetup_);
    if (from.texture_)
        SetTexture(from.texture_, from.slot_, from.weight_);
}

OneTextureMaterial* OneTextureMaterial::CreateInstance() const
{
    auto* copy = new OneTextureMaterial(GetType(), GetManager(), chunkCache_, maskCache_, blendCache_);
    copy->InitInstance(*this);
    return copy;
}

bool OneTextureMaterial::Equals(const Material& other) const
{
    const auto* o = dynamic_cast<const OneTextureMaterial*>(&other);
    return o && o->texture_ == texture_ && o->GetFlags() == GetFlags() &&
           o->GetDisplayMaterial() == GetDisplayMaterial() && o->GetSourceBlend() == GetSourceBlend() &&
           o->GetDestinationBlend() == GetDestinationBlend();
}

void OneTextureMaterial::Activate(int32_t value)
{
    if (texture_)
        texture_->Activate(value);
}

uint32_t OneTextureMaterial::DuplicateTexture(uint32_t index)
{
    if (index != 0)
        return kUnsupported;
    if (!texture_)
        return kMissingTexture;
    Texture* copy = texture_->Duplicate();
    texture_->Release();
    texture_ = copy;
    return kOk;
}

Texture* OneTextureMaterial::GetTexture(uint32_t index) const { return index == 0 ? texture_ : nullptr; }

uint32_t OneTextureMaterial::SetTexture(uint32_t index, const ResourceDatabase* database, const PString& name,
                                        float value)
{
    if (index != 0)
        return kUnsupported;
    Texture* texture = GetManager() ? GetManager()->GetTextureManager().GetTexture(database, name) : nullptr;
    if (!texture)
        return kMissingTexture;
    SetTexture(texture, 0, value);
    texture->Release();
    texture_->SetPriority(GetResourcePriority());
    SetTextureDefinition(0, name, value);
    SetAlphaHint(0xFFFFFFFFu);
    return kOk;
}

uint32_t OneTextureMaterial::IsLoaded() const { return texture_ && !texture_->IsLoaded() ? kTextureNotLoaded : kOk; }

void OneTextureMaterial::CacheAlphaHint() { SetAlphaHint(texture_ ? 1 : 0); }

void OneTextureMaterial::SetDisplayState(Display& display)
{
    display.SetCullMode(GetFlags() & kFlagNoCulling ? 0 : 1);
    if (texture_)
        texture_->BindToStage(display, 0);
    else
        display.ClearStageTexture(0);
    if (!(GetFlags() & kFlagKeepBlending)) {
        savedBlend_ = display.GetAlphaBlendMode();
        savedSourceBlend_ = display.GetSourceBlend();
        savedDestinationBlend_ = display.GetDestinationBlend();
        display.SetAlphaBlendFunction(GetSourceBlend(), GetDestinationBlend());
        display.SetAlphaBlendMode(true);
    }
    if (stageSetup_)
        display.ApplyStageSetup(*stageSetup_);
}

void OneTextureMaterial::ClearDisplayState(Display& display)
{
    display.SetCullMode(1);
    if (!(GetFlags() & kFlagKeepBlending)) {
        display.SetAlphaBlendMode(savedBlend_);
        display.SetAlphaBlendFunction(savedSourceBlend_, savedDestinationBlend_);
    }
    display.ResetStage(0);
}

void OneTextureMaterial::RenderChunk(Display& display, ViewPoint* viewport, GeometryChunk& chunk,
                                     const std::vector<const DisplayLight*>* /*lights*/, const Matrix4& world,
                                     int32_t /*pass*/)
{
    if (!viewport)
        return;
    SetDisplayState(display);
    display.SetWorldTransform(world);
    chunk.RenderGeometry(display, viewport, nullptr, true, 0);
    ClearDisplayState(display);
}

void OneTextureMaterial::RenderNumChunks(Display& display, ViewPoint* viewport, GeometryChunk* const* chunks,
                                         const std::vector<const DisplayLight*>* const* /*lights*/,
                                         const Matrix4* const* worlds, uint32_t count)
{
    if (!viewport || !chunks || !worlds)
        return;
    SetDisplayState(display);
    for (uint32_t i = 0; i < count; ++i) {
        if (!chunks[i] || !worlds[i])
            continue;
        display.SetWorldTransform(*worlds[i]);
        chunks[i]->RenderGeometry(display, viewport, nullptr, true, 0);
    }
    ClearDisplayState(display);
}

void OneTextureMaterial::RenderPrimitives(Display& display, ViewPoint* viewport, GeometryChunk& chunk,
                                          const std::vector<const DisplayLight*>* /*lights*/, const Matrix4& world,
                                          const PrimitiveRange& range, int32_t /*pass*/)
{
    if (!viewport)
        return;
    SetDisplayState(display);
    display.SetWorldTransform(world);
    chunk.RenderPrimitives(display, viewport, nullptr, range, true, 0);
    ClearDisplayState(display);
}

}  // namespace Nyx
