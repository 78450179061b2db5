// The scene object of a loaded indexed mesh: placed, culled and drawn, with
// its definition's chunks and materials shared until it needs its own, its
// chunks following skeleton bones, and collision tests answered through the
// definition's collision tree or face by face.
#pragma once

#include <cstdint>
#include <vector>

#include "core/containers/BlockRing.h"
#include "nyx/gfx/textures/Texture.h"
#include "nyx/scene/AttachmentPoint.h"
#include "nyx/scene/Geometry.h"
#include "nyx/scene/LightTarget.h"
#include "nyx/scene/math/OrientedBox.h"
#include "resources/mesh/SharedReferenceArray.h"

namespace Nyx {
class Display;
class GeometryChunk;
class Material;
class MaterialManager;
class Ray;
}  // namespace Nyx
class KestroIndexedMeshDefinition;
class MeshInstanceResource;

struct ProjectedPoint {
    float x;
    float y;
};

class KestroIndexedMeshInstance : public Nyx::ParticleStructure, public Nyx::TriangleGeometry, public Nyx::LightTarget {
public:
    using ChunkArray = SharedReferenceArray<Nyx::GeometryChunk>;
    using MaterialArray = SharedReferenceArray<Nyx::Material>;
    using ProjectionRing = BlockRing<ProjectedPoint, 13>;

    static constexpr uint32_t kID = 17;
    // Chunk flags: drawn per instance (own copy), skinned in software (no
    // sharing of its data), rebuildable buffers.
    static constexpr uint32_t kChunkFlagPerInstance = 1u << 12;
    static constexpr uint32_t kChunkFlagSoftwareSkinned = 1u << 6;
    static constexpr uint32_t kChunkFlagRebuildable = 1u << 2;
    // Material flag: faces are hit from both sides.
    static constexpr uint32_t kMaterialFlagTwoSided = 1u << 0;
    // Collision rays reach this far.
    static constexpr float kCollisionReach = 5000.0f;

    explicit KestroIndexedMeshInstance(Nyx::MaterialManager* manager);
    ~KestroIndexedMeshInstance() override;

    // Holds and locks the resource, takes the definition's state, hangs the
    // skeleton and follows its bones, and places the attachment points.
    void Bind(MeshInstanceResource* resource, const KestroIndexedMeshDefinition& definition);

    // ---- particle operations ----
    bool Cull(Nyx::ViewPoint& view) override;
    void Render(Nyx::Display& display, Nyx::ViewPoint& view) override;
    Nyx::ViewPortParticle* CreateInstance() const override;
    uint32_t GetID() const override { return kID; }
    float GetOpacity() const override { return opacity_; }
    void SetOpacity(float opacity) override;
    // Scaled instances test in object space and answer in world units.
    bool TestCollisionGeometry(const Nyx::Ray& ray, float& nearest, Nyx::FaceReference& face) override;

    // ---- operations the class adds ----
    // Holds (and locks) the new resource, giving back the old one.
    virtual void SetResource(MeshInstanceResource* resource);
    virtual void MakeChunkArrayPrivate();
    virtual void MakeMaterialArrayPrivate();
    virtual void MakeChunkPrivate(uint32_t i);
    virtual void MakeMaterialPrivate(uint32_t i);
    virtual bool AddChunk(Nyx::GeometryChunk* chunk, Nyx::Material* material);
    virtual bool FillChunk(const Nyx::GeometryChunk& from, uint32_t i);
    virtual void SetScale(float x, float y, float z);
    virtual const Nyx::Vector3f* GetScaleAddress() const noexcept { return &scale_; }
    virtual uint32_t GetTotalPrimitiveCount() const;
    // Every chunk's positions mapped by (m, t) to the plane, appended to
    // the ring.
    virtual void ProjectVertices(ProjectionRing& out, const float m[9], const float t[3]) const;
    // The image's pixel format 1, 2, 3 or 4 selects the display format 5,
    // 1, 3 or 8; false for other formats, an unknown material or texture
    // name, or an image the texture refuses.
    virtual bool ReplaceTexture(uint32_t material, const Nyx::PString& texture, const Nyx::TextureImage& image);
    virtual void UpdateBoundingVolume();
    virtual void InitFromDefinition(const KestroIndexedMeshDefinition& definition);

    // ---- triangle geometry ----
    void DrawGeometry(Nyx::Display& display, Nyx::ViewPoint& view, const Nyx::Transform& transform,
                      bool light) override;
    bool IsNotInFrame(const Nyx::ViewPoint& view) const override;
    void GetGlobalBoundingSphere(Nyx::Sphere& sphere) const override
    {
        ViewPortParticle::GetGlobalBoundingSphere(sphere);
    }
    using TriangleGeometry::GetFaceCentre;
    using TriangleGeometry::GetFaceCorner;
    using TriangleGeometry::GetFaceMaterial;
    using TriangleGeometry::GetFaceNormal;
    bool GetFaceNeighbor(const Nyx::FaceReference& face, uint32_t edge, Nyx::FaceReference& neighbour) override;
    bool GetFaceNeighbor(const Nyx::FaceReference& face, uint32_t edge, Nyx::FaceReference& neighbour) const override;
    void GetFaceCentre(const Nyx::FaceReference& face, Nyx::Vector3f& centre) const override;
    void GetFaceNormal(const Nyx::FaceReference& face, Nyx::Vector3f& normal) const override;
    void GetFaceCorner(const Nyx::FaceReference& face, uint32_t corner, Nyx::Vector3f& position) const override;
    void GetFaceMaterial(const Nyx::FaceReference& face, Nyx::Material*& material) const override;

    // The place in the index list of corner c (0 to 2) of a face, by the
    // primitive kind: 4 list, 8 strip, 16 fan; false for other kinds.
    static bool CornerIndexPosition(uint32_t kind, uint32_t face, uint32_t corner, uint32_t& position) noexcept;

    // ---- light target ----
    void UpdateLighting(Nyx::Display& display, Nyx::ViewPoint& view, const Nyx::Transform& transform,
                        bool force) override;

    // ---- state ----
    Nyx::MaterialManager* GetMaterialManager() const noexcept { return manager_; }
    MeshInstanceResource* GetResource() const noexcept { return resource_; }
    uint32_t GetChunkCount() const noexcept { return chunkCount_; }
    ChunkArray* GetChunkArray() const noexcept { return chunks_; }
    MaterialArray* GetMaterialArray() const noexcept { return materials_; }
    Nyx::GeometryChunk* GetChunk(uint32_t i) const noexcept { return chunks_ ? chunks_->Get(i) : nullptr; }
    Nyx::Material* GetMaterial(uint32_t i) const noexcept { return materials_ ? materials_->Get(i) : nullptr; }
    const std::vector<Nyx::Particle*>& GetChunkBones() const noexcept { return chunkBones_; }
    const Nyx::Vector3f& GetScale() const noexcept { return scale_; }
    bool IsScaled() const noexcept { return scaled_; }
    const Nyx::OrientedBox& GetOrientedBox() const noexcept { return box_; }
    const Nyx::Vector3f& GetBoundsMin() const noexcept { return boundsMin_; }
    const Nyx::Vector3f& GetBoundsMax() const noexcept { return boundsMax_; }
    float GetTextureScale() const noexcept { return textureScale_; }

protected:
    // The copy CreateInstance makes, into an instance of a derived class.
    void CopyInto(KestroIndexedMeshInstance* copy) const;
    // Takes over the caller's reference on the chunk (the material is
    // counted once more); shared arrays are made private first.
    void AppendOwnChunk(Nyx::GeometryChunk* chunk, Nyx::Material* material);
    void SetBounds(const Nyx::Vector3f& lo, const Nyx::Vector3f& hi, const Nyx::OrientedBox& box);
    // Puts other arrays in place with their chunk count, each counted once
    // more and the old ones given back.
    void UseArrays(ChunkArray* chunks, MaterialArray* materials, uint32_t chunkCount);

private:
    // The corners of a face; false when the face has none or they are not
    // all there.
    bool FaceCorners(const Nyx::FaceReference& face, Nyx::Vector3f corners[3]) const;
    bool FaceCorner(const Nyx::GeometryChunk& chunk, uint32_t face, uint32_t corner, Nyx::Vector3f& position) const;
    // Chunk i replaced by a copy with its own unshared arrays.
    void GivePerInstanceCopy(uint32_t i);
    Nyx::Display* RenderContext() const noexcept;

    Nyx::MaterialManager* manager_;
    MeshInstanceResource* resource_ = nullptr;
    uint32_t chunkCount_ = 0;
    ChunkArray* chunks_ = nullptr;
    MaterialArray* materials_ = nullptr;
    float opacity_ = 1.0f;
    std::vector<Nyx::Particle*> chunkBones_;
    Nyx::Vector3f scale_{1.0f, 1.0f, 1.0f};
    bool scaled_ = false;
    Nyx::Vector3f boundsMax_;
    Nyx::Vector3f boundsMin_;
    Nyx::OrientedBox box_;
    float textureScale_ = 0.0f;
};
