#include "nyx/gfx/materials/Material.h"

#include "nyx/gfx/chunks/GeometryChunkStreams.h"
#include "nyx/gfx/textures/Texture.h"

namespace Nyx {

uint32_t Material::SetTextureFile(uint32_t kind, const String& path, float value)
{
    if (path.Empty())
        return kMissingTexture;
    textureFiles_.push_back({kind, path, value});
    return kOk;
}

GeometryChunk* Material::CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                             uint32_t faceCount, uint32_t primitiveCode,
                                             const StandardChunkHint& hint)
{
    return GeometryChunkStreams::Create(this, vertexCount, primitiveCount, indexCount, faceCount, primitiveCode,
                                        hint);
}

void Material::SetProperty(const String& name, const String& value)
{
    for (auto& property : properties_) {
        if (property.first == name) {
            property.second = value;
            return;
        }
    }
    properties_.emplace_back(name, value);
}

bool Material::IsEqual(const Material& other) const
{
    return type_ == other.type_ && display_ == other.display_ && flags_ == other.flags_ && float_ == other.float_ &&
           properties_ == other.properties_ && textureFiles_ == other.textureFiles_;
}

PString Material::VerifyDecoratedName(const PString& name, uint32_t textureCount)
{
    if (name.View().find(DecoratedTypeToken) != std::string_view::npos)
        return name;
    return PString(name.Str() + (textureCount == 0 ? ".m.notex" : ".m.onetex"));
}

OneTextureMaterial::~OneTextureMaterial()
{
    if (texture_)
        texture_->Release();
    TakeCaches(nullptr, nullptr, nullptr);
    SetStageSetup(nullptr);
}

uint32_t OneTextureMaterial::SetTexture(Texture* texture, uint32_t slot, float weight)
{
    if (!texture)
        return kMissingTexture;
    texture->AddRef();
    if (texture_)
        texture_->Release();
    texture_ = texture;
    slot_ = slot;
    weight_ = weight;
    return kOk;
}

}  // namespace Nyx
