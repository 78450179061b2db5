#include "resources/materials/glossrust/KestroGlossRustMaterial.h"

#include <algorithm>

#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/textures/Texture.h"
#include "nyx/scene/ViewPoint.h"

namespace Nyx {

namespace {

constexpr DisplayColour kWhite{1.0f, 1.0f, 1.0f, 1.0f};

DisplayColour Scaled(const DisplayColour& c, float s) { return {c.r * s, c.g * s, c.b * s, c.a * s}; }

}  // namespace

KestroGlossRustMaterial::KestroGlossRustMaterial(MaterialManager* manager, RenderingCache* chunkCache,
                                                 RenderingCache* maskCache, RenderingCache* blendCache,
                                                 uint32_t setupCount, TextureStageSetup* const* setups)
    : ReflectiveMaterial(PString(kTypeName), manager, chunkCache, maskCache, blendCache, setupCount, setups)
{
}

OneTextureMaterial* KestroGlossRustMaterial::CreateInstance() const
{
    TextureStageSetup* setups[kMaxSetups] = {};
    for (uint32_t i = 0; i < GetSetupCount(); ++i)
        setups[i] = GetSetup(i);
    auto* copy = new KestroGlossRustMaterial(GetManager(), GetChunkCache(), GetMaskCache(), GetBlendCache(),
                                             GetSetupCount(), setups);
    copy->InitInstance(*this);
    return copy;
}

Material* KestroGlossRustMaterial::Duplicate() const
{
    OneTextureMaterial* copy = CreateInstance();
    copy->AddRef();
    return copy;
}

bool KestroGlossRustMaterial::Equals(const Material& other) const
{
    return dynamic_cast<const KestroGlossRustMaterial*>(&other) && ReflectiveMaterial::Equals(other);
}

GeometryChunk* KestroGlossRustMaterial::CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount,
                                                            uint32_t indexCount, uint32_t faceCount,
                                                            uint32_t primitiveCode, const StandardChunkHint& hint)
{
    GeometryChunk* chunk = ReflectiveMaterial::CreateGeometryChunk(vertexCount, primitiveCount, indexCount,
                                                                   faceCount, primitiveCode, hint);
    if (!chunk)
        return nullptr;
    if (!(chunk->GetCreationFlags() & 0x1000))
        chunk->SetVertexDataShared(0, -3, false);
    const PString age(kRustAgeProperty);
    if (chunk->AddChunkProperty(age))
        chunk->SetChunkProperty(age, 0.0f);
    return chunk;
}

float KestroGlossRustMaterial::RustAge(const GeometryChunk& chunk)
{
    static const PString kAge(kRustAgeProperty);
    float age = 0.0f;
    chunk.GetChunkProperty(kAge, age);
    return age;
}

DisplayColour KestroGlossRustMaterial::RustConstant(const Display& display, const DisplayLightList* lights,
                                                    const DisplayColour& ambient, float age)
{
    DisplayColour c = display.GetGlobalAmbient();
    if (lights) {
        for (const DisplayLight* light : *lights) {
            if (!light)
                continue;
            const DisplayColour& d = light->GetDiffuse();
            c = {c.r + d.r, c.g + d.g, c.b + d.b, c.a + d.a};
        }
    }
    auto clamp01 = [](float v) { return std::clamp(v, 0.0f, 1.0f); };
    return {clamp01(c.r) * ambient.r, clamp01(c.g) * ambient.g, clamp01(c.b) * ambient.b,
            std::max(2.0f * age - 1.0f, 0.0f)};
}

void KestroGlossRustMaterial::SetAgedSpecular(const DisplayColour& saved, float age)
{
    SetSpecularColor(age > 0.5f ? Scaled(saved, 1.5f - age) : saved);
}

void KestroGlossRustMaterial::SetStageConstants(Display& display, const DisplayColour& colour) const
{
    display.SetStageConstantColour(0, colour);
    display.SetStageConstantColour(1, colour);
}

void KestroGlossRustMaterial::ApplySetups(Display& display, uint32_t first, uint32_t needed) const
{
    if (GetSetupCount() < needed)
        return;
    for (uint32_t i = first; i < needed; ++i)
        if (TextureStageSetup* setup = GetSetup(i))
            display.ApplyTextureStageSetup(*setup);
}

void KestroGlossRustMaterial::SetGlossCoordinates(Display& display, const ViewPoint* viewport, GeometryChunk& chunk,
                                                  const Matrix4& world) const
{
    const Texture* texture = GetTexture();
    const bool cube = texture->GetKind() == Texture::kCubeMap;
    if (!(GetReflectionFlags() & kFlagFlatTexGen) && !cube) {
        SetSphericalTexureCoordinates(chunk, world);
        return;
    }
    if (!viewport || !(GetReflectionFlags() & kFlagCubeTexGen) || !texture->IsLoaded() || !cube)
        return;
    // The reflection turns with the camera: the view's rotation taken back
    // (its transpose), then the reflection's own matrix.
    Matrix4 view;
    Matrix4::FromTransform(viewport->GetCamera().GetViewTransform()).Invert(view);
    Matrix4 rotation;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            rotation.m[i][j] = view.m[j][i];
    const Matrix4 matrix = rotation * GetReflectionMatrix();
    display.LoadMatrix(matrix);
    display.SetStageTextureMatrix(1, matrix);
}

void KestroGlossRustMaterial::RestoreGlossCoordinates(Display& display) const
{
    if (UsesDisplayTexGen())
        display.SetTextureCoordGen(1, 0, 2);
    display.RestoreStageTextureTransform(1);
}

void KestroGlossRustMaterial::SetChunkLighting(Display& display, const ViewPoint* viewport, GeometryChunk& chunk,
                                               const DisplayLightList* lights, const Matrix4& world)
{
    SetLightingState(display, viewport, chunk, chunk.GetVertexProgram(), lights, world,
                     chunk.GetLightingScale() * GetLightingScale());
    display.SetWorldTransform(world);
}

void KestroGlossRustMaterial::Draw(Display& display, ViewPoint* viewport, GeometryChunk& chunk,
                                   const PrimitiveRange* range)
{
    if (range)
        chunk.RenderPrimitives(display, viewport, nullptr, *range, true, 0);
    else
        chunk.RenderGeometry(display, viewport, nullptr, true, 0);
}

void KestroGlossRustMaterial::Render(Display& display, ViewPoint* viewport, GeometryChunk& chunk,
                                     const DisplayLightList* lights, const Matrix4& world,
                                     const PrimitiveRange* range)
{
    Texture* texture = GetTexture();
    if (!texture)
        return;
    const DisplayColour savedAmbient = GetColour(kAmbient);
    const DisplayColour savedSpecular = GetColour(kSpecular);
    SetAmbientColor(kWhite);
    const float age = RustAge(chunk);
    SetAgedSpecular(savedSpecular, age);

    const bool noProgram = chunk.GetVertexProgram() == 0;
    SetDisplayState(display);
    if (GetSetupCount() != 0)
        texture->BindToStage(display, 1);
    SetChunkLighting(display, viewport, chunk, lights, world);

    const float gloss = GlossWeight(age);
    if (gloss > kGlossThreshold) {
        ChangeTexGen(display, noProgram);
        ApplySetups(display, 0, kGlossSetups);
        SetStageConstants(display, {gloss, gloss, gloss, gloss});
        SetGlossCoordinates(display, viewport, chunk, world);
        Draw(display, viewport, chunk, range);
        RestoreGlossCoordinates(display);
    } else {
        ApplySetups(display, kGlossSetups, kRustSetups);
        SetStageConstants(display, RustConstant(display, lights, savedAmbient, age));
        Draw(display, viewport, chunk, range);
    }

    ClearDisplayState(display);
    SetAmbientColor(savedAmbient);
    SetSpecularColor(savedSpecular);
}

void KestroGlossRustMaterial::RenderChunk(Display& display, ViewPoint* viewport, GeometryChunk& chunk,
                                          const DisplayLightList* lights, const Matrix4& world, int32_t /*pass*/)
{
    Render(display, viewport, chunk, lights, world, nullptr);
}

void KestroGlossRustMaterial::RenderPrimitives(Display& display, ViewPoint* viewport, GeometryChunk& chunk,
                                               const DisplayLightList* lights, const Matrix4& world,
                                               const PrimitiveRange& range, int32_t /*pass*/)
{
    Render(display, viewport, chunk, lights, world, &range);
}

void KestroGlossRustMaterial::RenderNumChunks(Display& display, ViewPoint* viewport, GeometryChunk* const* chunks,
                                              const DisplayLightList* const* lights, const Matrix4* const* worlds,
                                              uint32_t count)
{
    Texture* texture = GetTexture();
    if (!texture || !chunks || !worlds || count == 0)
        return;
    auto lightsOf = [lights](uint32_t i) { return lights ? lights[i] : nullptr; };
    auto drawable = [&](uint32_t i) { return chunks[i] && worlds[i]; };
    const DisplayColour savedAmbient = GetColour(kAmbient);
    const DisplayColour savedSpecular = GetColour(kSpecular);
    SetAmbientColor(kWhite);
    SetDisplayState(display);
    if (GetSetupCount() != 0)
        texture->BindToStage(display, 1);
    bool noProgram = !chunks[0] || chunks[0]->GetVertexProgram() == 0;
    ChangeTexGen(display, noProgram);
    ApplySetups(display, 0, kGlossSetups);

    // Both loops take a chunk by the rule of the single draw, so every chunk
    // is drawn exactly once, in one pass or the other.
    for (uint32_t i = 0; i < count; ++i) {
        if (!drawable(i))
            continue;
        GeometryChunk& chunk = *chunks[i];
        const float age = RustAge(chunk);
        const float gloss = GlossWeight(age);
        if (!(gloss > kGlossThreshold))
            continue;
        SetAgedSpecular(savedSpecular, age);
        SetStageConstants(display, {gloss, gloss, gloss, gloss});
        SetGlossCoordinates(display, viewport, chunk, *worlds[i]);
        const bool chunkNoProgram = chunk.GetVertexProgram() == 0;
        if (chunkNoProgram != noProgram) {
            noProgram = chunkNoProgram;
            ChangeTexGen(display, noProgram);
        }
        SetChunkLighting(display, viewport, chunk, lightsOf(i), *worlds[i]);
        Draw(display, viewport, chunk, nullptr);
    }
    RestoreGlossCoordinates(display);
    ApplySetups(display, kGlossSetups, kRustSetups);

    for (uint32_t i = 0; i < count; ++i) {
        if (!drawable(i))
            continue;
        GeometryChunk& chunk = *chunks[i];
        const float age = RustAge(chunk);
        if (GlossWeight(age) > kGlossThreshold)
            continue;
        SetAgedSpecular(savedSpecular, age);
        SetStageConstants(display, RustConstant(display, lightsOf(i), savedAmbient, age));
        SetChunkLighting(display, viewport, chunk, lightsOf(i), *worlds[i]);
        Draw(display, viewport, chunk, nullptr);
    }

    ClearDisplayState(display);
    SetAmbientColor(savedAmbient);
    SetSpecularColor(savedSpecular);
}

void KestroGlossRustMaterial::ClearDisplayState(Display& display)
{
    OneTextureMaterial::ClearDisplayState(display);
    display.ResetStage(1);
    display.ResetStage(0);
}

}  // namespace Nyx
