// Engine materials: how a piece of geometry is drawn. A material is made by
// a material type (a plug-in) from a decorated name "<name>.m.<type>"; the
// engine's own types draw with at most one texture.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "nyx/PString.h"
#include "nyx/ReferenceCount.h"
#include "nyx/String.h"

namespace Nyx {

class Display;
class GeometryChunk;
class LightTarget;
class ParallelLight;
class Texture;
class ViewPoint;
struct RenderState;
struct Transform;
struct StandardChunkHint;

struct DisplayColour {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 0.0f;
    bool operator==(const DisplayColour&) const = default;
};

// How a surface answers light: four colours and a power term.
struct DisplayMaterial {
    DisplayColour colour[4];
    float power = 0.0f;
    bool operator==(const DisplayMaterial&) const = default;
};

// A texture a material was asked to use: its kind (slot), file and weight.
struct MaterialTextureEntry {
    uint32_t kind = 0;
    String path;
    float value = 0.0f;
    bool operator==(const MaterialTextureEntry&) const = default;
};

class Material : public ReferenceCount {
public:
    // Results of the material operations.
    enum Result : uint32_t {
        kOk = 0,
        kUnsupported = 1,
        kMissingTexture = 3,
        kTextureNotLoaded = 4,
    };

    Material(const PString& name, const PString& type) : name_(name), type_(type) {}
    Material(const Material&) = delete;
    Material& operator=(const Material&) = delete;

    // The decorated name it was made from, and the type that made it.
    const PString& GetName() const noexcept { return name_; }
    const PString& GetType() const noexcept { return type_; }

    // What separates a material's name from its type word.
    static constexpr std::string_view DecoratedTypeToken = ".m.";
    // Flag bit: the material may go without a texture it could not find.
    static constexpr uint32_t kFlagTexturesOptional = 8;

    // Binds a texture to one of the material's texture slots, with a
    // weight. A material without texture slots takes none.
    virtual uint32_t SetTexture(Texture* /*texture*/, uint32_t /*slot*/, float /*weight*/) { return kUnsupported; }
    // Names a texture file for a slot; 0, or a result of the enum. The
    // engine's own materials take every named file and load it later.
    virtual uint32_t SetTextureFile(uint32_t kind, const String& path, float value);
    const std::vector<MaterialTextureEntry>& GetTextureFiles() const noexcept { return textureFiles_; }

    // Makes a chunk for this material's drawing with one reference for the
    // caller; null when it cannot.
    virtual GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                               uint32_t faceCount, uint32_t primitiveCode,
                                               const StandardChunkHint& hint);
    // A value the material adds to the hints of its chunks.
    virtual uint32_t GetChunkHintValue() const noexcept { return 0; }

    // The name the material was asked for, when it stands in for another.
    void SetRequestName(const PString& name) { requestName_ = name; }
    const PString& GetRequestName() const noexcept { return requestName_.Empty() ? name_ : requestName_; }

    void SetDisplayMaterialProperties(const DisplayMaterial& display) noexcept { display_ = display; }
    const DisplayMaterial& GetDisplayMaterial() const noexcept { return display_; }
    uint32_t GetFlags() const noexcept { return flags_; }
    void SetFlags(uint32_t flags) noexcept { flags_ = flags; }
    float GetFloat() const noexcept { return float_; }
    void SetFloat(float value) noexcept { float_ = value; }
    // Later values of a property name replace earlier ones.
    void SetProperty(const String& name, const String& value);
    uint32_t GetNumProperties() const noexcept { return static_cast<uint32_t>(properties_.size()); }
    // Null past the end.
    const std::pair<String, String>* GetProperty(uint32_t index) const noexcept
    {
        return index < properties_.size() ? &properties_[index] : nullptr;
    }

    // ---- drawing ----

    // Sets the display's lighting for a chunk drawn with this material.
    virtual void SetLightingState(Display& display, const Transform& view, GeometryChunk& chunk, uint32_t program,
                                  const std::vector<ParallelLight*>& lights, const Transform& transform,
                                  float opacity, bool enable);
    // Draws a chunk with this material under the render state.
    virtual void RenderChunk(Display& display, ViewPoint& view, GeometryChunk& chunk, LightTarget* lights,
                             const RenderState& state);
    // The mip level culling found the material's textures need.
    void SetWantedMipLevel(uint32_t level) noexcept { wantedMipLevel_ = level; }
    uint32_t GetWantedMipLevel() const noexcept { return wantedMipLevel_; }
    // A new material like this one (name, type, flags, float, display
    // properties, texture files and textures), with one reference for the
    // caller.
    virtual Material* Duplicate() const;
    // The texture of that name the material draws with; null when none.
    virtual Texture* FindTexture(const PString& /*name*/) const { return nullptr; }

    // A name that carries a type word: one without the token gets
    // ".m.notex" when no texture is named and ".m.onetex" otherwise.
    static PString VerifyDecoratedName(const PString& name, uint32_t textureCount);

protected:
    void CopyStateTo(Material& to) const;

private:
    PString name_;
    PString type_;
    PString requestName_;
    DisplayMaterial display_;
    uint32_t flags_ = 0;
    float float_ = 1.0f;
    std::vector<std::pair<String, String>> properties_;
    std::vector<MaterialTextureEntry> textureFiles_;
    uint32_t wantedMipLevel_ = 0;
};

// A material drawn with one texture, which it holds a reference on.
class OneTextureMaterial : public Material {
public:
    using Material::Material;
    ~OneTextureMaterial() override;

    uint32_t SetTexture(Texture* texture, uint32_t slot, float weight) override;
    Texture* FindTexture(const PString& name) const override;
    Material* Duplicate() const override;

    Texture* GetTexture() const noexcept { return texture_; }
    uint32_t GetTextureSlot() const noexcept { return slot_; }
    float GetTextureWeight() const noexcept { return weight_; }

private:
    Texture* texture_ = nullptr;
    uint32_t slot_ = 0;
    float weight_ = 0.0f;
};

}  // namespace Nyx
