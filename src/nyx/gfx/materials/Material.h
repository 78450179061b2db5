// Engine materials: how a piece of geometry is drawn. A material is made by
// a material type (a plug-in) from a decorated name "<name>.m.<type>"; the
// engine's own types draw with at most one texture.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "nyx/base/PString.h"
#include "nyx/PluginInstance.h"
#include "nyx/base/ReferenceCount.h"
#include "nyx/base/String.h"

namespace Nyx {

class Display;
class DisplayLight;
class GeometryChunk;
class LightTarget;
class MaterialManager;
class ParallelLight;
class RenderingCache;
class ResourceDatabase;
class Texture;
class TextureStageSetup;
class ViewPoint;
struct Matrix4;
struct PrimitiveRange;
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

class Material : public ReferenceCount, public PluginInstance {
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
    // The manager names what a plug-in made for it.
    void SetName(const PString& name) { name_ = name; }

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
    // The passes a chunk of this material is drawn in.
    virtual uint32_t GetPassCount() const noexcept { return 1; }

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
    // Whether another material draws the same: same type, display block,
    // flags, float, properties and texture files. Meshes use it to share one
    // material where several pieces ask for equal ones.
    virtual bool IsEqual(const Material& other) const;

    // A name that carries a type word: one without the token gets
    // ".m.notex" when no texture is named and ".m.onetex" otherwise.
    static PString VerifyDecoratedName(const PString& name, uint32_t textureCount);

    // ---- what plug-in materials share ----

    // Display colours by their place in DisplayMaterial.
    enum ColourIndex : uint32_t { kAmbient = 0, kDiffuse = 1, kSpecular = 2, kEmissive = 3 };
    const DisplayColour& GetColour(uint32_t which) const noexcept { return display_.colour[which & 3]; }
    void SetAmbientColor(const DisplayColour& colour) noexcept { display_.colour[kAmbient] = colour; }
    void SetSpecularColor(const DisplayColour& colour) noexcept { display_.colour[kSpecular] = colour; }
    // What the lighting of this material's chunks is scaled by.
    float GetLightingScale() const noexcept { return lightingScale_; }
    void SetLightingScale(float scale) noexcept { lightingScale_ = scale; }
    // The lighting a chunk is drawn with: this material's colours, the
    // chunk's lights and program, the scale given (the chunk's times the
    // material's, as the caller works it out).
    void SetLightingState(Display& display, const ViewPoint* viewport, GeometryChunk& chunk, uint32_t program,
                          const std::vector<const DisplayLight*>* lights, const Matrix4& world, float scale);
    // Flag bits the one-texture drawing reads.
    static constexpr uint32_t kFlagNoCulling = 1;
    static constexpr uint32_t kFlagKeepBlending = 2;
    // Blend factors of the engine's enumeration the material draws with.
    int32_t GetSourceBlend() const noexcept { return sourceBlend_; }
    int32_t GetDestinationBlend() const noexcept { return destinationBlend_; }
    void SetBlendFactors(int32_t source, int32_t destination) noexcept
    {
        sourceBlend_ = source;
        destinationBlend_ = destination;
    }
    // Bits saying whether the textures have alpha; all ones asks for it to
    // be worked out again.
    uint32_t GetAlphaHint() const noexcept { return alphaHint_; }
    void SetAlphaHint(uint32_t hint) noexcept { alphaHint_ = hint; }
    float GetResourcePriority() const noexcept { return priority_; }
    virtual void SetResourcePriority(float priority) { priority_ = priority; }
    MaterialManager* GetManager() const noexcept { return manager_; }
    void SetManager(MaterialManager* manager) noexcept { manager_ = manager; }
    // Records the texture a slot uses (replacing what the slot had).
    void SetTextureDefinition(uint32_t kind, const PString& name, float value);
    // Chunk creation flags for a geometry type and hint: the type in the
    // low bits, dynamic buffers as the hint asks, 0x1000 for chunks lit in
    // software.
    static uint32_t MakeGeometryChunkFlags(uint32_t geometryType, const StandardChunkHint* hint);

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
    int32_t sourceBlend_ = 5;       // the engine's source alpha
    int32_t destinationBlend_ = 6;  // and its inverse
    uint32_t alphaHint_ = 0xFFFFFFFFu;
    float priority_ = 0.0f;
    float lightingScale_ = 1.0f;
    MaterialManager* manager_ = nullptr;
};

// A material drawn with one texture, which it holds a reference on.
class OneTextureMaterial : public Material {
public:
    using Material::Material;
    // A material a plug-in makes (the manager names it): it holds one
    // reference on each cache.
    OneTextureMaterial(const PString& type, MaterialManager* manager, RenderingCache* chunkCache,
                       RenderingCache* maskCache, RenderingCache* blendCache);
    ~OneTextureMaterial() override;

    using Material::RenderChunk;
    using Material::SetTexture;

    // ---- the engine's one-texture drawing, which plug-in materials build on ----

    // A copy of this material with no references; the copy's own class.
    virtual OneTextureMaterial* CreateInstance() const;
    virtual bool Equals(const Material& other) const;
    virtual void Activate(int32_t value);
    // Texture index 0 is the base texture. Results of the enum.
    virtual uint32_t DuplicateTexture(uint32_t index);
    virtual Texture* GetTexture(uint32_t index) const;
    virtual uint32_t SetTexture(uint32_t index, const ResourceDatabase* database, const PString& name, float value);
    virtual uint32_t IsLoaded() const;
    virtual void CacheAlphaHint();
    virtual void SetDisplayState(Display& display);
    virtual void ClearDisplayState(Display& display);
    // Nothing is drawn without a viewport.
    virtual void RenderChunk(Display& display, ViewPoint* viewport, GeometryChunk& chunk,
                             const std::vector<const DisplayLight*>* lights, const Matrix4& world, int32_t pass);
    virtual void RenderNumChunks(Display& display, ViewPoint* viewport, GeometryChunk* const* chunks,
                                 const std::vector<const DisplayLight*>* const* lights, const Matrix4* const* worlds,
                                 uint32_t count);
    virtual void RenderPrimitives(Display& display, ViewPoint* viewport, GeometryChunk& chunk,
                                  const std::vector<const DisplayLight*>* lights, const Matrix4& world,
                                  const PrimitiveRange& range, int32_t pass);

    RenderingCache* GetChunkCache() const noexcept { return chunkCache_; }
    RenderingCache* GetMaskCache() const noexcept { return maskCache_; }
    RenderingCache* GetBlendCache() const noexcept { return blendCache_; }
    // The stage set-up applied with the base texture (may be null); a
    // reference is held.
    TextureStageSetup* GetStageSetup() const noexcept { return stageSetup_; }
    void SetStageSetup(TextureStageSetup* setup);

    uint32_t SetTexture(Texture* texture, uint32_t slot, float weight) override;
    Texture* FindTexture(const PString& name) const override;
    Material* Duplicate() const override;

    Texture* GetTexture() const noexcept { return texture_; }
    uint32_t GetTextureSlot() const noexcept { return slot_; }
    float GetTextureWeight() const noexcept { return weight_; }

protected:
    // The base's part of a copy: state, caches, set-up and base texture.
    void InitInstance(const OneTextureMaterial& from);
    // Blending as it was before SetDisplayState changed it.
    bool savedBlend_ = false;
    int32_t savedSourceBlend_ = 0;
    int32_t savedDestinationBlend_ = 0;

private:
    void TakeCaches(RenderingCache* chunkCache, RenderingCache* maskCache, RenderingCache* blendCache);

    RenderingCache* chunkCache_ = nullptr;
    RenderingCache* maskCache_ = nullptr;
    RenderingCache* blendCache_ = nullptr;
    TextureStageSetup* stageSetup_ = nullptr;
    Texture* texture_ = nullptr;
    uint32_t slot_ = 0;
    float weight_ = 0.0f;
};

}  // namespace Nyx
