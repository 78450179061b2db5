// Materials of the indexed mesh definition: found or made by their full
// names, given their description, and their textures handed over once the
// owner finishes the load.
#include <atomic>

#include "nyx/base/Rand.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "resources/mesh/GeometryConfigData.h"
#include "resources/mesh/indexed/KestroIndexedMeshDefinition.h"
#include "resources/mesh/MeshOwner.h"

namespace {

// Names made up for unnamed materials must differ between loads but come
// out the same in every run: each draw seeds a generator from a counter.
uint32_t NextNameNumber()
{
    static std::atomic<uint32_t> counter{1};
    Nyx::Rand generator(counter.fetch_add(1, std::memory_order_relaxed));
    return static_cast<uint32_t>(generator.NextInt());
}

}  // namespace

MeshLoadResult& KestroIndexedMeshDefinition::CreateMaterialFromDescription(MeshLoadResult& result, uint32_t i,
                                                                           const MeshMaterialDescription& description)
{
    Nyx::Material* material = nullptr;
    const uint32_t found = manager_->FindOrCreate(description.fullName, material);
    if (found != Nyx::MaterialManager::kFound || !material) {
        owner_->AddMissingMaterial(description.fullName);
        if (!owner_->ToleratesMissingMaterials()) {
            result = found == Nyx::MaterialManager::kNotCreatable ? RES_UNSUPPORTED_MATERIAL : RES_UNKNOWN_MATERIAL;
            return result;
        }
        Nyx::PString base;
        Nyx::PString type;
        Nyx::MaterialManager::SplitDecoratedMaterialName(description.fullName, base, type);
        std::string replacement(base.View());
        replacement += Nyx::Material::DecoratedTypeToken;
        replacement += description.textures.empty() ? std::string_view("notex")
                                                    : Nyx::MaterialManager::kDefaultType;
        if (manager_->FindOrCreate(Nyx::PString(replacement), material) != Nyx::MaterialManager::kFound ||
            !material) {
            result = RES_UNKNOWN_MATERIAL;
            return result;
        }
        material->SetRequestName(description.fullName);
    }
    material->SetDisplayMaterialProperties(description.display);
    material->SetFlags(description.flag ? material->GetFlags() | kMaterialFlagDescription
                                        : material->GetFlags() & ~kMaterialFlagDescription);
    material->SetFloat(description.leadingFloat);
    for (const auto& [key, value] : description.properties)
        material->SetProperty(key, value);
    if (!description.textures.empty()) {
        material->AddRef();
        pending_.push_back({material, description.textures});
    }
    if (i >= materials_.size())
        materials_.resize(size_t{i} + 1, nullptr);
    if (materials_[i])
        materials_[i]->Release();
    materials_[i] = material;
    return result;
}

MeshLoadResult& KestroIndexedMeshDefinition::CreateMaterial(MeshLoadResult& result,
                                                            const Nyx::GeometryConfigData& data, uint32_t i)
{
    // 1, 2. An empty description with the chunk's textures and name.
    MeshMaterialDescription description;
    description.textures = data.GetChunkTextures(i);
    Nyx::PString name = data.GetChunkMaterialName(i);
    // 3. A name that carries no type gets a made-up one, decorated by its
    // texture count.
    if (name.Empty() || name.View().find(Nyx::Material::DecoratedTypeToken) == std::string_view::npos) {
        const Nyx::File::Path path(name_);
        std::string_view stem = path.FileName();
        if (const size_t dot = stem.rfind('.'); dot != std::string_view::npos)
            stem = stem.substr(0, dot);
        const Nyx::String made = Nyx::String::Printf("KestroIndexedMeshDefinition::CreateMaterial> *%.*s*%x*%s*",
                                                     static_cast<int>(stem.size()), stem.data(), NextNameNumber(),
                                                     name.c_str());
        name = Nyx::Material::VerifyDecoratedName(Nyx::PString(made.View()),
                                                  static_cast<uint32_t>(description.textures.size()));
    }
    description.fullName = name;
    // 4, 5. Properties, flag, float and the display block, its power scaled.
    for (uint32_t p = 0; p < data.GetChunkPropertyCount(i); ++p)
        description.properties.push_back(data.GetChunkProperty(i, p));
    description.flag = data.GetChunkFlag(i);
    description.leadingFloat = data.GetChunkFloat(i);
    description.display = data.GetChunkDisplayMaterial(i);
    description.display.power *= 128.0f;
    // 6.
    return CreateMaterialFromDescription(result, i, description);
}

void KestroIndexedMeshDefinition::ApplyPendingTextures()
{
    for (PendingTextures& record : pending_) {
        for (const Nyx::MaterialTextureEntry& entry : record.textures) {
            const Nyx::String path = ResolveTexturePath(entry.path);
            const uint32_t taken = record.material->SetTextureFile(entry.kind, path, entry.value);
            if (taken != 0 && !(taken == 2 && (record.material->GetFlags() & Nyx::Material::kFlagTexturesOptional)))
                refusedTextures_.push_back({entry.kind, path, entry.value});
        }
        record.material->Release();
    }
    pending_.clear();
}
