// How the mesh checks see the engine: the archive's resource lookup and the
// few questions they ask of a mesh resource and of the instance made from
// it. The checks go through this seam only, so that tests can hand them any
// mesh they need and the engine's resources can be put behind it as they
// come.
//
// The engine side installed by default is EngineMeshInspection.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "nyx/base/PString.h"
#include "nyx/scene/Particle.h"

class KestroResourceDatabase;

namespace Nyx {
class Animator;
}

namespace TETLib {

// A named point of a mesh that other meshes and effects attach to.
struct AttachmentPoint {
    std::array<float, 12> transform{};  // 3 x 4, row by row
    Nyx::PString name;
};

// A particle of a mesh's particle tree: its name and position.
struct ChildParticle {
    Nyx::PString name;
    std::array<float, 3> position{};
};

enum class MeshResourceKind : uint8_t {
    kProgressive,  // the old progressive form: accepted without loading
    kGeometry,     // an indexed mesh or LOD mesh
    kOther,        // a resource of that name that is no mesh
};

// An instance made from a mesh resource; it hangs below the mesh node that
// asked for it, which owns it from then on.
class MeshInstanceView : public Nyx::Particle {
public:
    virtual uint32_t GetAttachmentCount() const = 0;
    virtual uint32_t GetAttachedCount() const = 0;
    virtual uint32_t GetLODLevelCount() const = 0;
    virtual void SelectLODLevel(uint32_t level) = 0;
    // Of the selected level.
    virtual uint32_t GetPolygonCount() const = 0;
    // min x, y, z, max x, y, z; false when the instance has no extent.
    virtual bool GetBounds(std::array<float, 6>& bounds) const = 0;
    // The value the resource handed out beside the instance.
    virtual uint64_t GetInstanceData() const = 0;
    // The type and weights animations are added with.
    static constexpr int32_t kAnimationType = 5;
    static constexpr float kAnimationWeight = 1.0f;
    // The instance's animation host attaches the animation to the animator
    // and answers as Nyx::Animator::Add does; by default it is the
    // animator's own answer.
    virtual int32_t AddAnimation(Nyx::Animator& animator, const Nyx::PString& name);
};

// A mesh resource found in the archive; dropping it releases it.
class MeshResourceView {
public:
    virtual ~MeshResourceView() = default;

    virtual MeshResourceKind GetKind() const = 0;
    // Prepares the resource for the render kernel and loads it.
    virtual bool Load() = 0;
    // The instance, of the LOD kind when asked; null when the factory gives
    // none or one of the other kind.
    virtual std::unique_ptr<MeshInstanceView> CreateInstance(bool lod) = 0;
    virtual std::vector<AttachmentPoint> GetAttachmentPoints() const = 0;
    virtual std::vector<ChildParticle> GetParticles() const = 0;
    // Paths of the materials that failed to load.
    virtual std::vector<Nyx::PString> GetFailedMaterials() const = 0;
    // The textures the mesh names, relative to the mesh's folder.
    virtual std::vector<Nyx::PString> GetTextureNames() const = 0;
    virtual uint32_t GetBoneCount() const = 0;
};

class MeshInspection {
public:
    virtual ~MeshInspection() = default;

    // The resource of that (lower-cased) name in the archive, looked up as
    // the mesh checks do (mode 2); null when there is none.
    virtual std::unique_ptr<MeshResourceView> Find(KestroResourceDatabase* archive,
                                                   const Nyx::PString& resourceName) = 0;

    // The seam in use: the one installed, else the engine's.
    static MeshInspection& Current();
    // Installs a seam (null puts the engine's back); the caller keeps it
    // alive while installed.
    static void Install(MeshInspection* inspection);
};

}  // namespace TETLib
