// A mesh file of the asset under check, loaded for inspection and kept by
// the data manager under its file name: the instance made from it, its
// attachment points, particles and texture records, and the skeleton and
// animator that its animations attach to.
//
// Loading and animating run as jobs of the process job queue (flags 3), so
// that engine resources are only touched on the thread that may load them;
// the caller waits for the job and reads the result it wrote.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "nyx/base/PString.h"
#include "nyx/scene/Particle.h"
#include "tetlib/errors/ObjectSerial.h"
#include "tetlib/mesh/MeshInspection.h"

namespace Nyx {
class Animator;
class SkeletonModifier;
}  // namespace Nyx

namespace TETLib {

class MeshData : public Nyx::Particle {
public:
    using AttachmentPoint = TETLib::AttachmentPoint;
    // What the texture check found for one texture the mesh names. Kept in
    // memory only, for the container checks.
    struct TextureRecord {
        Nyx::PString texture;  // relative to the asset folder
        Nyx::PString image;    // the description's primary image; empty when none was read
        bool imageFound = false;
    };

    // The job flags the load and animation bodies run with.
    static constexpr uint32_t kJobFlags = 3;

    MeshData(const Nyx::PString& meshPath, ContainerSerial owner);
    // Animator, then skeleton, then the children (the instance among them);
    // the flag bit of the shown mesh is cleared.
    ~MeshData() override;

    // Loads the mesh file (a path below the content root) through a job;
    // messages are bound to the container (none: unbound). True when the
    // mesh loaded and initialised, or is of the old progressive form.
    virtual bool Load(const Nyx::PString& fileName, ContainerSerial container);
    virtual bool GetBounds(std::array<float, 6>& bounds) const;
    virtual const char* GetTypeName() const { return "some name"; }
    virtual uint64_t GetInstanceDataView() const;
    uint32_t GetAttachmentPointCount() const noexcept { return static_cast<uint32_t>(attachmentPoints_.size()); }
    uint32_t GetChildParticleCount() const noexcept { return static_cast<uint32_t>(childParticles_.size()); }
    uint32_t GetTextureRecordCount() const noexcept { return static_cast<uint32_t>(textureRecords_.size()); }
    const std::vector<AttachmentPoint>& GetAttachmentPoints() const noexcept { return attachmentPoints_; }
    std::vector<AttachmentPoint>& AttachmentPoints() noexcept { return attachmentPoints_; }
    const std::vector<ChildParticle>& GetChildParticles() const noexcept { return childParticles_; }
    const std::vector<TextureRecord>& GetTextureRecords() const noexcept { return textureRecords_; }
    const std::vector<uint32_t>& GetWordList() const noexcept { return words_; }
    virtual MeshInstanceView* GetInstance() const noexcept { return instance_; }
    virtual uint64_t GetInstanceData() const noexcept { return instanceData_; }
    // Hands an animation to the instance's animation host.
    virtual int32_t RequestAnimation(const Nyx::PString& name);

    // Loads an animation file (a path below the content root) onto the mesh
    // through a job; true when it attached.
    bool LoadAnimation(const Nyx::PString& fileName);

    const Nyx::PString& GetMeshPath() const noexcept { return meshPath_; }
    const Nyx::PString& GetAnimationPath() const noexcept { return animationPath_; }
    const Nyx::PString& GetResourceName() const noexcept { return resourceName_; }
    // The container whose check loaded the mesh.
    ContainerSerial GetOwner() const noexcept { return container_; }
    bool IsLoaded() const noexcept { return loaded_; }
    Nyx::SkeletonModifier* GetSkeleton() const noexcept { return skeleton_.get(); }
    Nyx::Animator* GetAnimator() const noexcept { return animator_.get(); }
    bool HasAttachmentPoint(const Nyx::PString& name) const noexcept;
    // An attachment point or a particle of the mesh has the name.
    bool HoldsPoint(const Nyx::PString& name) const noexcept;

protected:
    // The bodies the jobs run; the argument is not used.
    void LoadBody(void*);
    void AnimationBody(void*);
    // Runs the body as a job and waits for it.
    void RunJob(void (MeshData::*body)(void*));

    // Looks the mesh up, lower-casing its path into the resource name.
    std::unique_ptr<MeshResourceView> FindResource();
    // Keeps the instance below this node, makes the skeleton and animator,
    // copies the points and particles and runs the material and texture
    // checks.
    void FinishLoad(MeshResourceView& resource, MeshInstanceView* instance);
    void CheckMaterialsAndTextures(const MeshResourceView& resource);
    // Reports the key's text formatted with the argument, bound to the
    // container when there is one.
    void ReportError(const char* key, const Nyx::PString& argument) const;
    // The path relative to the asset folder, as messages show it.
    static Nyx::PString InAssetFolder(const Nyx::PString& path);

    Nyx::PString meshPath_;
    Nyx::PString animationPath_;
    Nyx::PString resourceName_;
    MeshInstanceView* instance_ = nullptr;  // a child of this node
    uint64_t instanceData_ = 0;
    std::vector<AttachmentPoint> attachmentPoints_;
    std::vector<ChildParticle> childParticles_;
    std::vector<TextureRecord> textureRecords_;
    std::vector<uint32_t> words_;
    std::unique_ptr<Nyx::SkeletonModifier> skeleton_;
    std::unique_ptr<Nyx::Animator> animator_;
    ContainerSerial container_;
    bool loaded_ = false;
    // What the running body hands back to the caller.
    bool result_ = false;
};

}  // namespace TETLib
