#include "nyx/gfx/materials/ReflectiveMaterial.h"

#include <cmath>

#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/chunks/StandardChunkHint.h"
#include "nyx/gfx/textures/Texture.h"

namespace Nyx {

ReflectiveMaterial::ReflectiveMaterial(const PString& type, MaterialManager* manager, RenderingCache* chunkCache,
                                       RenderingCache* maskCache, RenderingCache* blendCache, uint32_t setupCount,
                                       TextureStageSetup* const* setups)
    : OneTextureMaterial(type, manager, chunkCache, maskCache, blendCache),
      setupCount_(setups ? (setupCount < kMaxSetups ? setupCount : kMaxSetups) : 0)
{
    for (uint32_t i = 0; i < setupCount_; ++i)
        setups_[i] = setups[i];
}

void ReflectiveMaterial::InitInstance(const ReflectiveMaterial& from)
{
    OneTextureMaterial::InitInstance(from);
    reflectivity_ = from.reflectivity_;
    reflectionFlags_ = from.reflectionFlags_;
    reflectionMatrix_ = from.reflectionMatrix_;
}

bool ReflectiveMaterial::Equals(const Material& other) const
{
    const auto* o = dynamic_cast<const ReflectiveMaterial*>(&other);
    return o && o->reflectivity_ == reflectivity_ && o->reflectionFlags_ == reflectionFlags_ &&
           o->reflectionMatrix_ == reflectionMatrix_ && OneTextureMaterial::Equals(other);
}

GeometryChunk* ReflectiveMaterial::CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount,
                                                       uint32_t indexCount, uint32_t faceCount,
                                                       uint32_t primitiveCode, const StandardChunkHint& hint)
{
    StandardChunkHint withReflection = hint;
    if (withReflection.texCoordSets < 2)
        withReflection.texCoordSets = 2;
    return Material::CreateGeometryChunk(vertexCount, primitiveCount, indexCount, faceCount, primitiveCode,
                                         withReflection);
}

bool ReflectiveMaterial::UsesDisplayTexGen() const noexcept
{
    const Texture* texture = GetTexture();
    const bool cube = texture && texture->GetKind() == Texture::kCubeMap;
    return cube ? (reflectionFlags_ & kFlagCubeTexGen) != 0 : (reflectionFlags_ & kFlagFlatTexGen) != 0;
}

void ReflectiveMaterial::ChangeTexGen(Display& display, bool noVertexProgram) const
{
    if (!UsesDisplayTexGen())
        return;
    const Texture* texture = GetTexture();
    const bool cube = texture && texture->GetKind() == Texture::kCubeMap;
    // Mode 1 a sphere map, 2 the camera-space reflection vector; source 0
    // the fixed function, 1 the chunk's vertex program.
    display.SetTextureCoordGen(1, cube ? 2 : 1, noVertexProgram ? 0 : 1);
}

void ReflectiveMaterial::SetSphericalTexureCoordinates(GeometryChunk& chunk, const Matrix4& world)
{
    const ItemArray<Vector3Item> normals = chunk.GetVector3Array(kItemNormal);
    const ItemArray<Vector2Item> coordinates = chunk.GetVector2Array(kReflectionCoordinates);
    if (!normals || !coordinates)
        return;
    for (uint32_t v = 0; v < chunk.GetVertexCount(); ++v) {
        const Vector3f n = world.TransformDirection({normals[v].x, normals[v].y, normals[v].z});
        const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        const float inverse = length > 0.0f ? 1.0f / length : 0.0f;
        coordinates[v].u = 0.5f + 0.5f * n.x * inverse;
        coordinates[v].v = 0.5f - 0.5f * n.y * inverse;
    }
}

}  // namespace Nyx
