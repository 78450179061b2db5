// What the three mesh resources share: the material manager their
// definitions make materials through, the geometry options, the list of
// material names a load could not find, and the definition they own. The
// engine creates them through their resource types, loads them on the first
// lock and completes them; they hand out scene instances of the mesh.
#pragma once

#include <cstdint>
#include <vector>

#include "nyx/resource/Resource.h"
#include "resources/mesh/indexed/KestroIndexedMeshDefinition.h"
#include "resources/mesh/MeshInstanceResource.h"
#include "resources/mesh/MeshOwner.h"

namespace Nyx {
class Display;
class Material;
class MaterialManager;
class ViewPortParticle;
}  // namespace Nyx

class KestroGeometryBaseResource : public Nyx::Resource, public MeshOwner, public MeshInstanceResource {
public:
    // Mesh files larger than this are not read.
    static constexpr int64_t kMaxFileBytes = int64_t{1} << 30;
    // What a material answers while its textures are on their way.
    static constexpr uint32_t kMaterialTexturesPending = 4;

    KestroGeometryBaseResource(const Nyx::PString& name, Nyx::ResourceDatabase* database);
    ~KestroGeometryBaseResource() override;

    // ---- the engine resource ----
    void AddReference() noexcept override { Resource::AddReference(); }
    void ReleaseReference() noexcept override { Resource::ReleaseReference(); }
    bool Lock() override { return Resource::Lock(); }
    void Unlock() override { Resource::Unlock(); }
    bool LoadAll() override;
    uint32_t IsAllLoaded() const override;
    void SetMaterialManager(Nyx::MaterialManager* manager) override { manager_ = manager; }
    Nyx::MaterialManager* GetMaterialManager() const noexcept { return manager_; }
    // The bytes the resource occupies itself.
    virtual uint32_t CalculateSize() const;
    // The definition's memory estimate.
    virtual uint32_t GetDataSize() const;
    // Reserved by the geometry resources; does nothing.
    virtual void Reserved() {}
    // A new scene instance of the mesh (the caller owns it), or null.
    virtual Nyx::ViewPortParticle* CreateMeshInstance() = 0;
    KestroIndexedMeshDefinition* GetDefinition() const noexcept { return definition_; }
    // Empties the list of material names a load could not find.
    void ClearNameList() noexcept { ClearMissingMaterials(); }

    // ---- what the definition asks of its resource ----
    Nyx::PString GetOwnerName() const override;
    Nyx::PString GetName() const override { return Resource::GetName(); }
    Nyx::PString GetFileBase() const override;
    KestroIndexedMeshDefinition* GetGeometryDefinition() override { return definition_; }

    // Every material of the definition, level by level where it has levels
    // (no references for the caller).
    virtual std::vector<Nyx::Material*> GetAllMaterials() const;

protected:
    // The settings a definition is made with, from the geometry options.
    static GeometrySettings SettingsFrom(const GeometryOptions& options) noexcept;
    // The path the engine found for the resource, as the definitions open it.
    Nyx::String GetFilePath() const;
    // The display a completed load prepares its chunks for; null when none.
    Nyx::Display* GetRenderContext() const noexcept;
    // Destroys the definition and forgets it.
    void DropDefinition() noexcept;
    // After a completed load: hands the definition's queued textures to
    // their materials and checks its chunks. A mesh with a chunk that
    // cannot be drawn counts as failed: no instances, and IsAllLoaded says
    // so.
    void FinishDefinition();

    Nyx::MaterialManager* manager_ = nullptr;
    KestroIndexedMeshDefinition* definition_ = nullptr;
    bool unusable_ = false;
};
