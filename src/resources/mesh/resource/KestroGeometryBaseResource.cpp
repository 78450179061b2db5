#include "resources/mesh/resource/KestroGeometryBaseResource.h"

#include "nyx/RenderKernel.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "nyx/gfx/textures/Texture.h"
#include "nyx/resource/ResourceDatabase.h"
#include "resources/mesh/indexed/KestroIndexedMeshDefinition.h"

namespace {

// The material's own answer: 0 when it has all it draws with.
uint32_t MaterialLoadState(const Nyx::Material& material)
{
    const auto* textured = dynamic_cast<const Nyx::OneTextureMaterial*>(&material);
    return textured ? textured->IsLoaded() : Nyx::Material::kOk;
}

// The texture the material draws for one of its texture entries.
Nyx::Texture* TextureOf(const Nyx::Material& material, const Nyx::MaterialTextureEntry& entry)
{
    if (Nyx::Texture* found = material.FindTexture(Nyx::PString(entry.path.View())))
        return found;
    const auto* textured = dynamic_cast<const Nyx::OneTextureMaterial*>(&material);
    return textured && entry.kind == 0 ? textured->GetTexture(0) : nullptr;
}

}  // namespace

KestroGeometryBaseResource::KestroGeometryBaseResource(const Nyx::PString& name, Nyx::ResourceDatabase* database)
    : Resource(name, database)
{
}

KestroGeometryBaseResource::~KestroGeometryBaseResource()
{
    DropDefinition();
    ClearNameList();
}

void KestroGeometryBaseResource::DropDefinition() noexcept
{
    delete definition_;
    definition_ = nullptr;
    unusable_ = false;
}

void KestroGeometryBaseResource::FinishDefinition()
{
    // The engine's chunks ask nothing of their owner: the value is 0.
    unusable_ = definition_ && definition_->FinishLoad(0) != RES_OK;
}

Nyx::PString KestroGeometryBaseResource::GetOwnerName() const
{
    return GetDatabase() ? GetDatabase()->GetName() : Nyx::PString();
}

Nyx::PString KestroGeometryBaseResource::GetFileBase() const
{
    return GetDatabase() ? GetDatabase()->GetName() : Nyx::PString();
}

Nyx::String KestroGeometryBaseResource::GetFilePath() const
{
    const Nyx::File::Path& file = GetFileName();
    return Nyx::String(file.Empty() ? Resource::GetName().View() : file.View());
}

GeometrySettings KestroGeometryBaseResource::SettingsFrom(const GeometryOptions& options) noexcept
{
    GeometrySettings settings;
    for (uint32_t i = 0; i < 4; ++i) {
        settings.value[i] = options.flags[i];
        settings.present[i] = options.flags[i] != 0;
    }
    return settings;
}

Nyx::Display* KestroGeometryBaseResource::GetRenderContext() const noexcept
{
    if (!manager_)
        return nullptr;
    if (Nyx::Display* display = manager_->GetRenderContext())
        return display;
    return manager_->GetRenderKernel() ? &manager_->GetRenderKernel()->GetDisplay() : nullptr;
}

std::vector<Nyx::Material*> KestroGeometryBaseResource::GetAllMaterials() const
{
    std::vector<Nyx::Material*> materials;
    if (definition_)
        for (uint32_t i = 0; i < definition_->GetChunkCount(); ++i)
            if (Nyx::Material* material = definition_->GetMaterial(i))
                materials.push_back(material);
    return materials;
}

bool KestroGeometryBaseResource::LoadAll()
{
    if (!Resource::LoadAll() || unusable_)
        return false;
    for (const Nyx::Material* material : GetAllMaterials()) {
        if (MaterialLoadState(*material) == Nyx::Material::kOk)
            continue;
        for (const Nyx::MaterialTextureEntry& entry : material->GetTextureFiles()) {
            Nyx::Texture* texture = TextureOf(*material, entry);
            if (texture && !texture->IsLoaded() && !texture->Load())
                return false;
        }
    }
    return true;
}

uint32_t KestroGeometryBaseResource::IsAllLoaded() const
{
    if (const uint32_t engine = Resource::IsAllLoaded(); engine != kAllLoaded)
        return engine;
    if (unusable_)
        return kLoadFailedState;
    for (const Nyx::Material* material : GetAllMaterials()) {
        const uint32_t state = MaterialLoadState(*material);
        if (state == Nyx::Material::kOk)
            continue;
        if (state != kMaterialTexturesPending)
            return kLoadFailedState;
        for (const Nyx::MaterialTextureEntry& entry : material->GetTextureFiles())
            if (const Nyx::Texture* texture = TextureOf(*material, entry); texture && texture->HasFailed())
                return kLoadFailedState;
        return kStillLoading;
    }
    return kAllLoaded;
}

uint32_t KestroGeometryBaseResource::CalculateSize() const { return static_cast<uint32_t>(sizeof(*this)); }

uint32_t KestroGeometryBaseResource::GetDataSize() const { return definition_ ? definition_->GetMemoryUsage() : 0; }
