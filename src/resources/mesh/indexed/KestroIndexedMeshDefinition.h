// The shared, loaded form of one indexed mesh: its geometry chunks with
// their materials, its bones or bone influences, its attachment points and
// its bounds. It loads from an ".im" file (the "NIRF" frame with an "IDXM"
// form), from the ".imtxt" text form, or from config data built over that
// text; every scene instance of the mesh reads it.
#pragma once

#include <cstdint>
#include <vector>

#include "config/tree/ACSChunk.h"
#include "nyx/files/MemoryFile.h"
#include "nyx/base/PString.h"
#include "nyx/base/String.h"
#include "nyx/gfx/chunks/InfluenceDefinition.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/chunks/MeshFileSupport.h"
#include "nyx/gfx/chunks/StandardChunkHint.h"
#include "nyx/scene/math/OrientedBox.h"
#include "resources/mesh/indexed/MeshCollisionTree.h"
#include "resources/mesh/MeshLoadResult.h"
#include "resources/mesh/SharedReferenceArray.h"

namespace Nyx {
class GeometryChunk;
class GeometryConfigData;
class MaterialManager;
class ParticleBone;
class ParticleStructure;
class RenderKernel;
}  // namespace Nyx
class MeshOwner;

// Five (value, present) pairs a resource's description may set.
struct GeometrySettings {
    enum Index : uint32_t {
        kSoftwareLighting = 0,
        kSoftwareAnimation = 1,
        kDynamicVertex = 2,
        kDynamicIndex = 3,
        kHardwareAnimationFloatPrecision = 4,
        kCount = 5,
    };
    uint8_t value[kCount] = {};
    uint8_t present[kCount] = {};

    bool IsOn(Index i) const noexcept { return present[i] && value[i]; }
};

// One attachment point as the mesh stores it.
struct MeshAttachment {
    Nyx::PString name;
    Nyx::Matrix3 orientation;
    Nyx::Vector3f position;
};

// A material's description while its chunk is read, discarded after use.
struct MeshMaterialDescription {
    bool flag = false;
    float leadingFloat = 1.0f;
    Nyx::DisplayMaterial display;
    Nyx::PString fullName;
    std::vector<std::pair<Nyx::String, Nyx::String>> properties;
    std::vector<Nyx::MaterialTextureEntry> textures;
};

class KestroIndexedMeshDefinition : public Nyx::MeshFileSupport {
public:
    // Material flag bit that the description's flag sets.
    static constexpr uint32_t kMaterialFlagDescription = 1;
    // The colour every vertex gets before the file's colours, unless the
    // caller gives one.
    static constexpr uint32_t kOpaqueWhite = 0xFFFFFFFFu;
    // Deepest skeleton a file may hold.
    static constexpr uint32_t kMaxBoneDepth = 256;

    explicit KestroIndexedMeshDefinition(const GeometrySettings& settings = {});
    KestroIndexedMeshDefinition(const KestroIndexedMeshDefinition&) = delete;
    KestroIndexedMeshDefinition& operator=(const KestroIndexedMeshDefinition&) = delete;
    virtual ~KestroIndexedMeshDefinition();

    // ---- loading ----

    // Reads the file named by the path, through the owner's file system,
    // into the memory file; RES_FILE_OPEN_ERROR when it cannot be read.
    MeshLoadResult& OpenFile(MeshLoadResult& result, MeshOwner& owner, const Nyx::String& path);
    // The bytes an ".im" load reads, for callers that hold them already.
    void SetFileData(const void* data, uint32_t size) { file_.Open(data, size); }
    virtual MeshLoadResult& Load(MeshLoadResult& result, Nyx::RenderKernel* kernel, Nyx::MaterialManager* manager,
                                 MeshOwner& owner, uint32_t ownerValue, uint32_t defaultColour = kOpaqueWhite);
    virtual MeshLoadResult& LoadFromConfigData(MeshLoadResult& result, Nyx::RenderKernel* kernel,
                                               Nyx::MaterialManager* manager, MeshOwner& owner, const ChunkRef& root,
                                               uint32_t defaultColour = kOpaqueWhite);
    virtual MeshLoadResult& LoadText(MeshLoadResult& result, Nyx::RenderKernel* kernel, Nyx::MaterialManager* manager,
                                     MeshOwner& owner, const Nyx::String& path,
                                     uint32_t defaultColour = kOpaqueWhite);
    // Hands the queued textures to their materials and checks the chunks;
    // RES_FILE_DATA_ERROR when a chunk is not usable.
    MeshLoadResult FinishLoad(uint32_t checkValue);
    void ApplyPendingTextures();
    MeshLoadResult CheckChunks(uint32_t checkValue) const;

    // ---- accessors ----

    const Nyx::PString& GetName() const noexcept { return name_; }
    const Nyx::Vector3f& GetPosition() const noexcept { return position_; }
    const Nyx::Quaternion& GetOrientation() const noexcept { return orientation_; }
    const Nyx::Vector3f& GetBoundsMax() const noexcept { return boundsMax_; }
    const Nyx::Vector3f& GetBoundsMin() const noexcept { return boundsMin_; }
    const Nyx::OrientedBox& GetOrientedBox() const noexcept { return box_; }
    float GetTextureScale() const noexcept { return textureScale_; }
    uint32_t GetChunkCount() const noexcept { return chunkCount_; }
    uint32_t GetTotalVertices() const noexcept { return totalVertices_; }
    uint32_t GetTotalFaces() const noexcept { return totalFaces_; }
    uint32_t GetAttachmentCount() const noexcept { return attachmentCount_; }
    uint32_t GetInfluenceCount() const noexcept { return influenceCount_; }
    uint32_t GetInfluenceLimit() const noexcept { return influenceLimit_; }
    uint32_t GetPaletteLimit() const noexcept { return paletteLimit_; }
    bool UsesHardwareAnimation() const noexcept { return hardwareAnimation_; }
    bool HasAnimationCapability() const noexcept { return animationCapability_; }
    const GeometrySettings& GetSettings() const noexcept { return settings_; }
    // Null past the end; no reference for the caller.
    Nyx::GeometryChunk* GetChunk(uint32_t i) const noexcept { return i < chunks_.size() ? chunks_[i] : nullptr; }
    Nyx::Material* GetMaterial(uint32_t i) const noexcept { return i < materials_.size() ? materials_[i] : nullptr; }
    Nyx::ParticleBone* GetRootBone() const noexcept { return rootBone_; }
    const std::vector<Nyx::InfluenceDefinition>& GetInfluences() const noexcept { return influences_; }
    const std::vector<MeshAttachment>& GetAttachments() const noexcept { return attachments_; }
    bool IsMemoryFileOpen() const noexcept { return !file_.Empty(); }

    virtual uint32_t GetChunkVertexCount(uint32_t i) const;
    virtual uint32_t GetMaxInfluences() const { return maxInfluences_; }
    virtual uint32_t GetMaxChunkBones() const { return maxChunkBones_; }
    virtual uint32_t GetChunkIndexCount(uint32_t i) const;
    virtual uint32_t GetChunkPrimitiveValue(uint32_t i) const;
    virtual uint32_t GetChunkTexCoordSetCount(uint32_t i) const;
    virtual uint32_t GetChunkMaxVertexInfluences(uint32_t i) const;
    // Copy into `out`, one element every `stride` bytes; false when the
    // chunk or its stream is missing.
    virtual bool CopyChunkPositions(uint32_t i, void* out, uint32_t stride) const;
    virtual bool CopyChunkTexCoords(uint32_t i, uint32_t set, void* out, uint32_t stride) const;
    virtual bool CopyChunkIndices(uint32_t i, void* out) const;
    virtual bool CopyChunkNormals(uint32_t i, void* out, uint32_t stride) const;
    // Stream kind 2 (primary) or 3; a chunk without it fills with `fill`.
    virtual bool CopyChunkColours(uint32_t i, bool primary, void* out, uint32_t stride, uint32_t fill) const;
    virtual bool CopyChunkFaceNormals(uint32_t i, void* out) const;
    virtual Nyx::PString GetChunkMaterialName(uint32_t i) const;
    virtual Nyx::PString GetChunkMaterialType(uint32_t i) const;
    virtual bool GetChunkMaterialFlag(uint32_t i) const;
    virtual float GetChunkMaterialFloat(uint32_t i) const;
    virtual Nyx::DisplayMaterial GetChunkDisplayMaterial(uint32_t i) const;
    virtual uint32_t GetChunkMaterialPropertyCount(uint32_t i) const;
    // One text of property `p`: its name (`value` false) or its value.
    virtual Nyx::String GetChunkMaterialProperty(uint32_t i, uint32_t p, bool value) const;
    virtual void Reserved() {}
    // Texture entries that their materials refused.
    virtual const std::vector<Nyx::MaterialTextureEntry>& GetRefusedTextures() const { return refusedTextures_; }
    virtual Nyx::PString GetInfluenceBoneName(uint32_t n) const;
    virtual Nyx::PString GetInfluenceParentName(uint32_t n) const;
    virtual Nyx::Vector3f GetInfluencePosition(uint32_t n) const;
    virtual Nyx::Quaternion GetInfluenceOrientation(uint32_t n) const;
    virtual uint32_t GetInfluenceGroupCount(uint32_t n) const;
    virtual uint32_t GetInfluenceGroupChunk(uint32_t n, uint32_t g) const;
    virtual uint32_t GetInfluenceGroupEntryCount(uint32_t n, uint32_t g) const;
    // Copies entryCount × 20 bytes.
    virtual bool CopyInfluenceGroupEntries(uint32_t n, uint32_t g, void* out) const;
    virtual Nyx::PString GetAttachmentName(uint32_t n) const;
    virtual Nyx::Quaternion GetAttachmentOrientation(uint32_t n) const;
    virtual Nyx::Vector3f GetAttachmentPosition(uint32_t n) const;

    // Registers the bones each chunk uses with the chunk and fills the
    // chunks' bone-index and weight streams.
    virtual void SetUpBonePalettes();

    // Chunk i's name with a counted reference; none past the end.
    Nyx::PString GetChunkName(uint32_t i) const;
    // Puts the attachment points whose names begin with "a" or "A" on the
    // instance.
    void PlaceAttachmentPoints(Nyx::ParticleStructure& instance) const;
    uint32_t GetMemoryUsage() const;

    // The triangle collision tree of the chunks; null until a build asked of
    // the background-resource system has completed.
    KSAxisBoxTree* EnsureCollisionTree() { return collisionTree_.Ensure(); }
    void RequestCollisionTree() { collisionTree_.Request(); }
    bool HasPendingCollisionTreeRequest() const noexcept { return collisionTree_.HasPendingRequest(); }

    // The chunk and material arrays that instances share until they need
    // their own; made from the chunks on first use, no reference for the
    // caller.
    SharedReferenceArray<Nyx::GeometryChunk>* GetSharedChunkArray() const;
    SharedReferenceArray<Nyx::Material>* GetSharedMaterialArray() const;

protected:
    // ---- chunk readers ----
    virtual MeshLoadResult& ReadInfo(MeshLoadResult& result, Nyx::MemoryFile& file);
    virtual MeshLoadResult& ReadChunk(MeshLoadResult& result, Nyx::MemoryFile& file);
    // Every CHNK/GEOM pair the INFO chunk counted; empty chunks are dropped
    // and give their slot to the next.
    MeshLoadResult& ReadChunks(MeshLoadResult& result, Nyx::MemoryFile& file);
    virtual MeshLoadResult& ReadGeometry(MeshLoadResult& result, Nyx::MemoryFile& file);
    virtual MeshLoadResult& ReadMaterial(MeshLoadResult& result, Nyx::MemoryFile& file);
    virtual MeshLoadResult& CreateMaterialFromDescription(MeshLoadResult& result, uint32_t i,
                                                          const MeshMaterialDescription& description);
    virtual MeshLoadResult& ReadNeighbours(MeshLoadResult& result, Nyx::MemoryFile& file);
    virtual MeshLoadResult& ReadAttachments(MeshLoadResult& result, Nyx::MemoryFile& file);
    virtual MeshLoadResult& ReadInfluencesOrSkeleton(MeshLoadResult& result, Nyx::MemoryFile& file);
    virtual MeshLoadResult& ReadBone(MeshLoadResult& result, Nyx::MemoryFile& file, Nyx::ParticleBone* parent,
                                     uint32_t depth);
    // ---- config data ----
    virtual MeshLoadResult& CreateMaterial(MeshLoadResult& result, const Nyx::GeometryConfigData& data, uint32_t i);
    virtual MeshLoadResult& BuildChunkFromConfigData(MeshLoadResult& result, const Nyx::GeometryConfigData& data,
                                                     uint32_t i);
    virtual void ReadInfluencesFromConfigData(const Nyx::GeometryConfigData& data);
    virtual void ReadAttachmentsFromConfigData(const Nyx::GeometryConfigData& data);

    // ---- skinning set-up ----
    void QueryAnimationCapability(Nyx::RenderKernel* kernel);
    void DecideHardwareAnimation();
    Nyx::StandardChunkHint BuildChunkHint(uint32_t texCoordSets, const Nyx::Material* material, float hintValue,
                                          uint32_t influences) const;
    MeshLoadResult InitialiseSkinningStreams(Nyx::GeometryChunk& chunk, uint32_t influences) const;
    void BuildSkeletonFromInfluences();
    // The influence definition that drives bone n; a definition with a bone
    // table of its own answers by the table entry's name.
    virtual uint32_t InfluenceForBone(uint32_t n) const { return n; }

    // ---- post-load ----
    void ComputeTotals();
    void ComputeBounds();
    void ComputeTextureScale();
    // The bounds (as ComputeBounds) and the oriented box, together.
    void ComputeBoundsAndOrientedBox();
    void ClearChunks();
    // The texture file of an entry, in the folder of the resource's name.
    Nyx::String ResolveTexturePath(const Nyx::String& fileName) const;

    Nyx::Vector3f position_;
    Nyx::Quaternion orientation_;
    Nyx::Vector3f boundsMax_;
    Nyx::Vector3f boundsMin_;
    Nyx::PString name_;
    uint32_t chunkCount_ = 0;
    uint32_t totalVertices_ = 0;
    uint32_t totalFaces_ = 0;
    uint32_t attachmentCount_ = 0;
    uint32_t influenceCount_ = 0;
    uint32_t maxInfluences_ = 0;
    uint32_t maxChunkBones_ = 0;
    uint32_t influenceLimit_ = 4;
    uint32_t paletteLimit_ = 25;
    bool hardwareAnimation_ = false;
    bool animationCapability_ = false;
    std::vector<Nyx::GeometryChunk*> chunks_;
    std::vector<Nyx::Material*> materials_;
    std::vector<MeshAttachment> attachments_;
    Nyx::MemoryFile file_;
    std::vector<Nyx::PString> chunkNames_;
    std::vector<Nyx::InfluenceDefinition> influences_;
    Nyx::ParticleBone* rootBone_ = nullptr;
    GeometrySettings settings_;
    float textureScale_ = 0.0f;
    Nyx::OrientedBox box_;

    // What the running load works with.
    Nyx::MaterialManager* manager_ = nullptr;
    MeshOwner* owner_ = nullptr;
    uint32_t defaultColour_ = kOpaqueWhite;
    // The CHNK of the file each array entry came from; INFL names chunks by
    // their place in the file, and dropped ones leave gaps.
    std::vector<uint32_t> fileChunkOfEntry_;
    uint32_t fileChunksRead_ = 0;
    struct PendingTextures {
        Nyx::Material* material;  // one reference
        std::vector<Nyx::MaterialTextureEntry> textures;
    };
    std::vector<PendingTextures> pending_;
    std::vector<Nyx::MaterialTextureEntry> refusedTextures_;
    MeshCollisionTree collisionTree_{*this};
    mutable SharedReferenceArrayHolder<Nyx::GeometryChunk> sharedChunks_;
    mutable SharedReferenceArrayHolder<Nyx::Material> sharedMaterials_;
};
