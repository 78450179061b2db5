#include "resources/materials/bump/KestroBumpMaterial.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "nyx/RenderKernel.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "nyx/gfx/chunks/StandardChunkHint.h"
#include "nyx/gfx/textures/Texture.h"
#include "nyx/gfx/display/TextureCombiner.h"
#include "nyx/gfx/display/VertexProgram.h"
#include "nyx/scene/ViewPoint.h"
#include "resources/materials/bump/HeldReference.h"

namespace Nyx {

namespace {

using bumpreference::Drop;
using bumpreference::Hold;

float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

DisplayColour Modulate(const DisplayColour& light, const DisplayColour& material, float alpha)
{
    return {light.r * material.r, light.g * material.g, light.b * material.b, alpha};
}

constexpr float kSpecularAlpha = 0.75f;
constexpr float kPi = 3.1415927f;

}  // namespace

KestroBumpMaterial::KestroBumpMaterial(MaterialManager* manager, RenderingCache* chunkCache,
                                       RenderingCache* maskCache, RenderingCache* blendCache,
                                       VertexProgram* parallelProgram, TextureCombiner* parallelCombiner,
                                       VertexProgram* spotProgram, TextureCombiner* spotCombiner,
                                       std::string_view typeName)
    : OneTextureMaterial(PString(typeName), manager, chunkCache, maskCache, blendCache),
      parallelProgram_(Hold(parallelProgram)), parallelCombiner_(Hold(parallelCombiner)),
      spotProgram_(Hold(spotProgram)), spotCombiner_(Hold(spotCombiner))
{
    if (manager && manager->GetRenderKernel())
        bump_ = manager->GetRenderKernel()->GetSharedTextures().GetTexture(0);
}

KestroBumpMaterial::~KestroBumpMaterial()
{
    Drop(parallelProgram_);
    Drop(parallelCombiner_);
    Drop(spotProgram_);
    Drop(spotCombiner_);
    Drop(bump_);
}

void KestroBumpMaterial::SetBumpTexture(Texture* texture)
{
    Hold(texture);
    Drop(bump_);
    bump_ = texture;
}

void KestroBumpMaterial::InitBumpInstance(const KestroBumpMaterial& from)
{
    InitInstance(from);
    SetBumpTexture(from.bump_);
}

OneTextureMaterial* KestroBumpMaterial::CreateInstance() const
{
    auto* copy = new KestroBumpMaterial(GetManager(), GetChunkCache(), GetMaskCache(), GetBlendCache(),
                                        parallelProgram_, parallelCombiner_, spotProgram_, spotCombiner_);
    copy->InitBumpInstance(*this);
    return copy;
}

Material* KestroBumpMaterial::Duplicate() const
{
    OneTextureMaterial* copy = CreateInstance();
    copy->AddRef();
    return copy;
}

bool KestroBumpMaterial::Equals(const Material& other) const
{
    const auto* o = dynamic_cast<const KestroBumpMaterial*>(&other);
    return o && o->bump_ == bump_ && OneTextureMaterial::Equals(other);
}

void KestroBumpMaterial::Activate(int32_t value)
{
    if (bump_)
        bump_->Activate(value);
    OneTextureMaterial::Activate(value);
}

GeometryChunk* KestroBumpMaterial::CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount,
                                                       uint32_t indexCount, uint32_t faceCount,
                                                       uint32_t primitiveCode, const StandardChunkHint& hint)
{
    StandardChunkHint copy = hint;
    return CreateGeometryChunk(vertexCount, primitiveCount, indexCount, faceCount, primitiveCode, &copy);
}

GeometryChunk* KestroBumpMaterial::CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount,
                                                       uint32_t indexCount, uint32_t faceCount,
                                                       uint32_t geometryType, StandardChunkHint* hint)
{
    bool marked = false;
    if (hint && (hint->validity & 1)) {
        if (hint->items & 2) {
            marked = true;
            hint->items |= 4;
        }
        // Normals travel inside the PNTA vertex, never beside it.
        hint->items &= static_cast<uint8_t>(~1u);
    }
    const uint32_t flags = MakeGeometryChunkFlags(geometryType, hint);
    auto* chunk = new (std::nothrow) GeometryChunkPNTA(vertexCount, primitiveCount, indexCount, faceCount, flags);
    if (!chunk)
        return nullptr;
    chunk->AddRef();
    chunk->SetMaterial(this);
    const uint32_t vertexUsage = hint ? hint->vertexBufferMode : 0;
    if (vertexUsage == 1 || (vertexUsage != 0 && marked))
        chunk->SetVertexDataDynamic(0, -2, true);
    if (marked)
        chunk->SetVertexDataShared(0, 0, false);
    if (hint && hint->indexBufferMode == 1)
        chunk->SetIndexDataDynamic();
    return chunk;
}

uint32_t KestroBumpMaterial::DuplicateTexture(uint32_t index)
{
    if (index != kBumpTextureIndex)
        return OneTextureMaterial::DuplicateTexture(index);
    if (!bump_)
        return kMissingTexture;
    Texture* copy = bump_->Duplicate();
    Drop(bump_);
    bump_ = copy;
    return kOk;
}

Texture* KestroBumpMaterial::GetTexture(uint32_t index) const
{
    return index == kBumpTextureIndex ? bump_ : OneTextureMaterial::GetTexture(index);
}

uint32_t KestroBumpMaterial::SetTexture(Texture* texture, uint32_t index, float value)
{
    if (index != kBumpTextureIndex)
        return OneTextureMaterial::SetTexture(texture, index, value);
    if (!texture)
        return kMissingTexture;
    SetBumpTexture(texture);
    bump_->SetPriority(GetResourcePriority());
    SetTextureDefinition(kBumpTextureIndex, bump_->GetName(), value);
    return kOk;
}

uint32_t KestroBumpMaterial::SetTexture(uint32_t index, const ResourceDatabase* database, const PString& name,
                                        float value)
{
    if (index != kBumpTextureIndex)
        return OneTextureMaterial::SetTexture(index, database, name, value);
    Texture* texture = GetManager() ? GetManager()->GetTextureManager().GetTexture(database, name) : nullptr;
    if (!texture)
        return kMissingTexture;
    SetBumpTexture(texture);
    texture->Release();
    bump_->SetPriority(GetResourcePriority());
    SetTextureDefinition(kBumpTextureIndex, name, value);
    SetAlphaHint(0xFFFFFFFFu);
    return kOk;
}

uint32_t KestroBumpMaterial::IsLoaded() const
{
    if (!bump_ || !bump_->IsLoaded())
        return kTextureNotLoaded;
    return OneTextureMaterial::IsLoaded();
}

void KestroBumpMaterial::SetDisplayState(Display& display)
{
    if (bump_)
        bump_->BindToStage(display, 1);
    else
        display.ClearStageTexture(1);
    OneTextureMaterial::SetDisplayState(display);
}

void KestroBumpMaterial::ClearDisplayState(Display& display)
{
    display.ResetStage(1);
    OneTextureMaterial::ClearDisplayState(display);
}

// ---- lighting ----

const DisplayLight* KestroBumpMaterial::BrightestLight(const DisplayLightList* lights, uint32_t kind)
{
    if (!lights)
        return nullptr;
    const DisplayLight* best = nullptr;
    float bestSum = 0.0f;
    for (const DisplayLight* light : *lights) {
        if (!light || light->GetKind() != kind)
            continue;
        const DisplayColour& d = light->GetDiffuse();
        const float sum = d.r + d.g + d.b;
        if (!best || sum > bestSum) {
            best = light;
            bestSum = sum;
        }
    }
    return best;
}

Matrix4 KestroBumpMaterial::ViewTransform(const ViewPoint& viewport)
{
    Matrix4 view;
    Matrix4::FromTransform(viewport.GetCamera().GetViewTransform()).Invert(view);
    return view;
}

Matrix4 KestroBumpMaterial::ObjectTransform(const ViewPoint& viewport, const Matrix4& world)
{
    Matrix4 inverseWorld;
    world.Invert(inverseWorld);
    return ViewTransform(viewport) * inverseWorld;
}

namespace {

Vector3f CameraPosition(const ViewPoint& viewport) { return viewport.GetCamera().GetViewTransform().position; }

}  // namespace

void KestroBumpMaterial::ParallelSetup(Display& display, const ViewPoint& viewport, const DisplayLightList* lights,
                                       const Matrix4& world, VertexProgram& program, TextureCombiner& combiner,
                                       uint32_t specularRegister, bool clearSpecular) const
{
    DisplayColour ambient = display.GetGlobalAmbient();
    if (lights) {
        for (const DisplayLight* light : *lights) {
            if (!light || (light->GetKind() != DisplayLight::kParallel && light->GetKind() != DisplayLight::kAmbient))
                continue;
            const DisplayColour& a = light->GetAmbient();
            ambient = {ambient.r + a.r, ambient.g + a.g, ambient.b + a.b, ambient.a + a.a};
        }
    }
    const DisplayLight* parallel = BrightestLight(lights, DisplayLight::kParallel);

    display.SetWorldTransform(world);
    if (!parallel) {
        program.SetLocalConstant(7, 0.0f, 0.0f, 0.0f);
        combiner.SetConstantRegister(0, {0.0f, 0.0f, 0.0f, 1.0f});
        program.SetLocalConstant(13, 0.0f, 0.0f, 0.0f);
        if (clearSpecular)
            combiner.SetConstantRegister(specularRegister, {0.0f, 0.0f, 0.0f, 1.0f});
    } else {
        const Matrix4 m = ObjectTransform(viewport, world);
        const Vector3f direction = m.TransformDirection(parallel->GetDirection());
        program.SetLocalConstant(7, direction.x, direction.y, direction.z);
        const DisplayColour& diffuse = GetColour(kDiffuse);
        combiner.SetConstantRegister(0, Modulate(parallel->GetDiffuse(), diffuse, diffuse.a));
        const Vector3f camera = m.TransformPoint(CameraPosition(viewport));
        program.SetLocalConstant(13, camera.x, camera.y, camera.z);
        combiner.SetConstantRegister(specularRegister,
                                     Modulate(parallel->GetSpecular(), GetColour(kSpecular), kSpecularAlpha));
    }
    const DisplayColour& ma = GetColour(kAmbient);
    const DisplayColour& me = GetColour(kEmissive);
    combiner.SetConstantRegister(1, {Clamp01(ma.r * ambient.r + me.r), Clamp01(ma.g * ambient.g + me.g),
                                     Clamp01(ma.b * ambient.b + me.b), 1.0f});
}

void KestroBumpMaterial::SpotSetup(Display& display, const ViewPoint& viewport, const DisplayLight& spot,
                                   const Matrix4& world, VertexProgram& program, TextureCombiner& combiner,
                                   uint32_t specularRegister) const
{
    display.SetWorldTransform(world);
    const Matrix4 m = ObjectTransform(viewport, world);
    const Vector3f direction = m.TransformDirection(spot.GetDirection());
    program.SetLocalConstant(7, direction.x, direction.y, direction.z);
    const Vector3f camera = m.TransformPoint(CameraPosition(viewport));
    program.SetLocalConstant(13, camera.x, camera.y, camera.z);
    const Vector3f position = m.TransformPoint(spot.GetPosition());
    program.SetLocalConstant(5, position.x, position.y, position.z);
    // A light without range has no fall-off rather than an infinite one.
    const float inverseRange = spot.GetRange() > 0.0f ? 1.0f / spot.GetRange() : 0.0f;
    program.SetLocalConstant(6, std::cos(spot.GetAngle() * kPi / 180.0f), inverseRange, 0.0f);
    const DisplayColour& diffuse = GetColour(kDiffuse);
    combiner.SetConstantRegister(0, Modulate(spot.GetDiffuse(), diffuse, diffuse.a));
    combiner.SetConstantRegister(1, {0.0f, 0.0f, 0.0f, 1.0f});
    combiner.SetConstantRegister(specularRegister, Modulate(spot.GetSpecular(), GetColour(kSpecular), kSpecularAlpha));
}

void KestroBumpMaterial::Draw(Display& display, ViewPoint* viewport, GeometryChunk& chunk,
                              const VertexProgram* program, const PrimitiveRange* range)
{
    if (range)
        chunk.RenderPrimitives(display, viewport, program, *range, true, 0);
    else
        chunk.RenderGeometry(display, viewport, program, true, 0);
}

void KestroBumpMaterial::SpotPass(Display& display, ViewPoint* viewport, GeometryChunk& chunk,
                                  const DisplayLight& spot, const Matrix4& world, int32_t source,
                                  int32_t destination, uint32_t specularRegister, const DisplayColour* lerp,
                                  const PrimitiveRange* range)
{
    const bool blend = display.GetAlphaBlendMode();
    const int32_t savedSource = display.GetSourceBlend();
    const int32_t savedDestination = display.GetDestinationBlend();
    const int32_t fog = display.GetFogMode();
    display.SetAlphaBlendMode(true);
    display.SetAlphaBlendFunction(source, destination);
    display.SetFogMode(0);
    if (lerp)
        spotCombiner_->SetConstantRegister(2, *lerp);
    SpotSetup(display, *viewport, spot, world, *spotProgram_, *spotCombiner_, specularRegister);
    spotCombiner_->Enable();
    Draw(display, viewport, chunk, spotProgram_, range);
    spotCombiner_->Disable();
    display.SetAlphaBlendMode(blend);
    display.SetAlphaBlendFunction(savedSource, savedDestination);
    display.SetFogMode(fog);
}

void KestroBumpMaterial::RenderPasses(Display& display, ViewPoint* viewport, GeometryChunk& chunk,
                                      const DisplayLightList* lights, const Matrix4& world,
                                      const PrimitiveRange* range)
{
    if (!viewport || !HasPrograms())
        return;
    SetDisplayState(display);
    ParallelSetup(display, *viewport, lights, world, *parallelProgram_, *parallelCombiner_, 2, true);
    parallelCombiner_->Enable();
    Draw(display, viewport, chunk, parallelProgram_, range);
    parallelCombiner_->Disable();
    if (const DisplayLight* spot = BrightestLight(lights, DisplayLight::kSpot))
        SpotPass(display, viewport, chunk, *spot, world, kSpotSourceBlend, kSpotDestinationBlend, 2, nullptr, range);
    ClearDisplayState(display);
}

void KestroBumpMaterial::RenderChunk(Display& display, ViewPoint* viewport, GeometryChunk& chunk,
                                     const DisplayLightList* lights, const Matrix4& world, int32_t /*pass*/)
{
    RenderPasses(display, viewport, chunk, lights, world, nullptr);
}

void KestroBumpMaterial::RenderPrimitives(Display& display, ViewPoint* viewport, GeometryChunk& chunk,
                                          const DisplayLightList* lights, const Matrix4& world,
                                          const PrimitiveRange& range, int32_t /*pass*/)
{
    RenderPasses(display, viewport, chunk, lights, world, &range);
}

void KestroBumpMaterial::RenderNumChunks(Display& display, ViewPoint* viewport, GeometryChunk* const* chunks,
                                         const DisplayLightList* const* lights, const Matrix4* const* worlds,
                                         uint32_t count)
{
    if (!viewport || !chunks || !worlds || !HasPrograms())
        return;
    auto lightsOf = [lights](uint32_t i) { return lights ? lights[i] : nullptr; };
    SetDisplayState(display);
    for (uint32_t i = 0; i < count; ++i) {
        if (!chunks[i] || !worlds[i])
            continue;
        ParallelSetup(display, *viewport, lightsOf(i), *worlds[i], *parallelProgram_, *parallelCombiner_, 2, true);
        parallelCombiner_->Enable();
        Draw(display, viewport, *chunks[i], parallelProgram_, nullptr);
        parallelCombiner_->Disable();
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (!chunks[i] || !worlds[i])
            continue;
        if (const DisplayLight* spot = BrightestLight(lightsOf(i), DisplayLight::kSpot))
            SpotPass(display, viewport, *chunks[i], *spot, *worlds[i], kSpotSourceBlend, kSpotDestinationBlend, 2,
                     nullptr, nullptr);
    }
    ClearDisplayState(display);
}

}  // namespace Nyx
