#include "tetlib/mesh/EngineMeshInspection.h"

#include <string>
#include <vector>

#include "nyx/RenderKernel.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/scene/ParticleBone.h"
#include "resources/archive/KestroResourceDatabase.h"
#include "resources/lod/KestroIndexedMeshLODInstance.h"
#include "resources/mesh/indexed/KestroIndexedMeshDefinition.h"
#include "resources/mesh/indexed/KestroIndexedMeshInstance.h"
#include "resources/mesh/resource/KestroGeometryBaseResource.h"
#include "resources/mesh/resource/KestroProgressiveMeshResource.h"
#include "resources/registration/KestroPluginRegistration.h"
#include "tetlib/data/DataManager.h"

namespace TETLib {

namespace {

// An instance the resource made, hung below the view that the mesh checks
// keep; the view owns it.
class EngineInstanceView final : public MeshInstanceView {
public:
    explicit EngineInstanceView(KestroIndexedMeshInstance* instance) : instance_(instance) { AddChild(instance); }
    ~EngineInstanceView() override
    {
        RemoveChild(instance_);
        delete instance_;
    }

    uint32_t GetAttachmentCount() const override
    {
        return static_cast<uint32_t>(instance_->GetAttachmentPoints().size());
    }
    uint32_t GetAttachedCount() const override
    {
        return static_cast<uint32_t>(instance_->GetReferencePoints().size());
    }
    uint32_t GetLODLevelCount() const override { return lod_ ? lod_->GetLODCount() : 0; }
    void SelectLODLevel(uint32_t level) override
    {
        if (lod_)
            lod_->SelectLevel(level);
    }
    uint32_t GetPolygonCount() const override { return instance_->GetTotalPrimitiveCount(); }
    bool GetBounds(std::array<float, 6>& bounds) const override
    {
        const Nyx::Vector3f& lo = instance_->GetBoundsMin();
        const Nyx::Vector3f& hi = instance_->GetBoundsMax();
        if (lo.x > hi.x || lo.y > hi.y || lo.z > hi.z)
            return false;
        bounds = {lo.x, lo.y, lo.z, hi.x, hi.y, hi.z};
        return true;
    }
    uint64_t GetInstanceData() const override { return 0; }

private:
    KestroIndexedMeshInstance* instance_;
    KestroIndexedMeshLODInstance* lod_ = dynamic_cast<KestroIndexedMeshLODInstance*>(instance_);
};

class EngineResourceView final : public MeshResourceView {
public:
    explicit EngineResourceView(Nyx::Resource* resource)
        : resource_(resource), geometry_(dynamic_cast<KestroGeometryBaseResource*>(resource))
    {
    }
    ~EngineResourceView() override
    {
        if (locked_)
            resource_->Unlock();
        resource_->ReleaseReference();
    }

    MeshResourceKind GetKind() const override
    {
        if (dynamic_cast<KestroProgressiveMeshResource*>(resource_))
            return MeshResourceKind::kProgressive;
        return geometry_ ? MeshResourceKind::kGeometry : MeshResourceKind::kOther;
    }

    bool Load() override
    {
        if (!geometry_)
            return false;
        if (!geometry_->GetMaterialManager()) {
            const DataManager* manager = DataManager::Existing();
            if (Nyx::RenderKernel* kernel = manager ? manager->GetRenderKernel() : nullptr)
                geometry_->SetMaterialManager(&kernel->GetMaterialManager());
        }
        // The checks report the materials a mesh lacks rather than fail it.
        geometry_->Options().toleratesMissingMaterials = 1;
        if (!locked_)
            locked_ = geometry_->Lock();
        return locked_ && geometry_->GetDefinition();
    }

    std::unique_ptr<MeshInstanceView> CreateInstance(bool lod) override
    {
        Nyx::ViewPortParticle* made = locked_ ? geometry_->CreateMeshInstance() : nullptr;
        auto* instance = dynamic_cast<KestroIndexedMeshInstance*>(made);
        const bool isLod = dynamic_cast<KestroIndexedMeshLODInstance*>(made) != nullptr;
        if (!instance || isLod != lod) {
            delete made;
            return nullptr;
        }
        return std::make_unique<EngineInstanceView>(instance);
    }

    std::vector<AttachmentPoint> GetAttachmentPoints() const override
    {
        std::vector<AttachmentPoint> points;
        const KestroIndexedMeshDefinition* definition = Definition();
        if (!definition)
            return points;
        for (const MeshAttachment& attachment : definition->GetAttachments()) {
            AttachmentPoint point;
            const float position[3] = {attachment.position.x, attachment.position.y, attachment.position.z};
            for (int r = 0; r < 3; ++r) {
                for (int c = 0; c < 3; ++c)
                    point.transform[static_cast<size_t>(r * 4 + c)] = attachment.orientation.m[r][c];
                point.transform[static_cast<size_t>(r * 4 + 3)] = position[r];
            }
            point.name = attachment.name;
            points.push_back(point);
        }
        return points;
    }

    std::vector<ChildParticle> GetParticles() const override
    {
        std::vector<ChildParticle> particles;
        const KestroIndexedMeshDefinition* definition = Definition();
        Nyx::ParticleBone* root = definition ? definition->GetRootBone() : nullptr;
        std::vector<Nyx::Particle*> pending;
        if (root)
            pending.push_back(root);
        while (!pending.empty()) {
            Nyx::Particle* p = pending.back();
            pending.pop_back();
            if (const auto* bone = dynamic_cast<const Nyx::ParticleBone*>(p)) {
                const Nyx::Vector3f& at = bone->GetPosition();
                particles.push_back({bone->GetName(), {at.x, at.y, at.z}});
            }
            for (auto it = p->GetChildren().rbegin(); it != p->GetChildren().rend(); ++it)
                pending.push_back(*it);
        }
        return particles;
    }

    std::vector<Nyx::PString> GetFailedMaterials() const override
    {
        return geometry_ ? geometry_->GetMissingMaterials() : std::vector<Nyx::PString>();
    }

    std::vector<Nyx::PString> GetTextureNames() const override
    {
        std::vector<Nyx::PString> names;
        if (!geometry_)
            return names;
        // The materials hold their textures' paths in the mount; the checks
        // want them from the mesh's folder (which ends in its separator).
        const Nyx::File::Path mesh(geometry_->GetName());
        const std::string_view folder = mesh.Folder();
        for (const Nyx::Material* material : geometry_->GetAllMaterials())
            for (const Nyx::MaterialTextureEntry& entry : material->GetTextureFiles()) {
                std::string_view path = entry.path.View();
                if (!folder.empty() && path.substr(0, folder.size()) == folder)
                    path.remove_prefix(folder.size());
                names.emplace_back(path);
            }
        return names;
    }

    uint32_t GetBoneCount() const override
    {
        const KestroIndexedMeshDefinition* definition = Definition();
        const Nyx::ParticleBone* root = definition ? definition->GetRootBone() : nullptr;
        return root ? root->CountBones() : 0;
    }

private:
    const KestroIndexedMeshDefinition* Definition() const { return geometry_ ? geometry_->GetDefinition() : nullptr; }

    Nyx::Resource* resource_;  // one reference
    KestroGeometryBaseResource* geometry_;
    bool locked_ = false;
};

}  // namespace

std::unique_ptr<MeshResourceView> EngineMeshInspection::Find(KestroResourceDatabase* archive,
                                                             const Nyx::PString& resourceName)
{
    if (!archive)
        return nullptr;
    KestroPluginRegistration::EnsureRegistered();
    // Names below the content root start with the archive's own folder,
    // which is the mount the archive serves from.
    std::string_view name = resourceName.View();
    const std::string mount = archive->GetName().Str() + '/';
    if (name.size() > mount.size() && name.substr(0, mount.size()) == mount)
        name.remove_prefix(mount.size());
    Nyx::Resource* resource = archive->Get(Nyx::PString(name), Nyx::ResourceDatabase::kGetCreate);
    if (!resource)
        return nullptr;
    return std::make_unique<EngineResourceView>(resource);
}

}  // namespace TETLib
