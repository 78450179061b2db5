// The shared, loaded form of one LOD mesh: the meshes of its detail levels
// and named meshes, their cut-offs, the LOD parameters, the material table,
// the bones and the attachment points. It loads from an ".lm" file (the
// "NIRF" frame with a "LODM" form) or from the ".lm.txt" text form that
// names one indexed mesh file per mesh, and saves as an ".lm" file. As an
// indexed mesh definition it shows its last detail level, so code that
// knows only indexed meshes sees that level.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/containers/BlockRing.h"
#include "resources/lod/LodMeshRecords.h"
#include "resources/mesh/indexed/KestroIndexedMeshDefinition.h"

namespace Nyx {
class ConfigTree;
class Display;
class File;
}  // namespace Nyx

class KestroIndexedMeshLODDefinition : public KestroIndexedMeshDefinition {
public:
    // The cut-off of a mesh that is no detail level.
    static constexpr float kNoCutOff = -1.0f;
    // Most detail levels one definition may have.
    static constexpr uint32_t kMaxCutOffs = 128;
    // The point of the bounding sphere the LOD value is measured from.
    enum CalcPoint : uint32_t { kCalcCentre = 0, kCalcNear = 1, kCalcFar = 2 };
    // What an attachment point's name carries when instances may cull it.
    static constexpr std::string_view kCullSuffix = ":Cull";

    explicit KestroIndexedMeshLODDefinition(const GeometrySettings& settings = {});
    ~KestroIndexedMeshLODDefinition() override;

    // ---- loading ----

    // Reads the ".lm" bytes the memory file holds (OpenFile or SetFileData
    // first). Without a manager, materials are stand-ins of their type.
    MeshLoadResult& Load(MeshLoadResult& result, Nyx::RenderKernel* kernel, Nyx::MaterialManager* manager,
                         MeshOwner& owner, uint32_t ownerValue, uint32_t defaultColour = kOpaqueWhite) override;
    // Opens the named ".lm" file through the owner and loads it.
    MeshLoadResult& LoadFile(MeshLoadResult& result, Nyx::RenderKernel* kernel, Nyx::MaterialManager* manager,
                             MeshOwner& owner, const Nyx::String& name, uint32_t defaultColour = kOpaqueWhite);
    // Loads the ".lm.txt" form: each mesh it names is loaded as an indexed
    // mesh and gathered in. A failure leaves the definition empty.
    virtual MeshLoadResult& LoadFromText(MeshLoadResult& result, MeshOwner& owner, const Nyx::String& name,
                                         Nyx::MaterialManager* manager, Nyx::RenderKernel* kernel,
                                         uint32_t defaultColour = kOpaqueWhite);
    // What the LOD mesh resource calls: the kernel's material manager, the
    // skinning capability, then the load. A failed load leaves the
    // definition empty, so nothing made from it later sees half a mesh.
    MeshLoadResult LoadResourceFile(Nyx::RenderKernel* kernel, MeshOwner& owner, const Nyx::String& name,
                                    uint32_t defaultColour = kOpaqueWhite);
    MeshLoadResult LoadResourceText(Nyx::RenderKernel* kernel, MeshOwner& owner, const Nyx::String& name,
                                    uint32_t defaultColour = kOpaqueWhite);
    // After a successful load: the kept meshes' textures, equal materials
    // shared between meshes, every piece prepared for the display.
    void FinishLod(Nyx::Display& display);
    // Releases everything a load filled in.
    void Discard();

    // ---- saving ----

    // 0 after writing the whole ".lm"; RES_UNKNOWN, and nothing written,
    // without meshes.
    virtual MeshLoadResult Save(Nyx::File& file) const;
    MeshLoadResult Save(std::vector<uint8_t>& out) const;

    // ---- reads ----

    const std::vector<float>& GetCutOffs() const noexcept { return cutOffs_; }
    uint32_t GetLevelCount() const noexcept { return static_cast<uint32_t>(cutOffs_.size()); }
    uint32_t GetCalcPoint() const noexcept { return calcPoint_; }
    float GetOffset() const noexcept { return offset_; }
    float GetMultiplier() const noexcept { return multiplier_; }
    float GetAnimationCutOff() const noexcept { return animationCutOff_; }
    float GetRenderCutOff() const noexcept { return renderCutOff_; }
    float GetAttachmentCutOff() const noexcept { return attachmentCutOff_; }
    const std::vector<Nyx::PString>& GetCullList() const noexcept { return cullList_; }
    const std::shared_ptr<std::vector<LodNamedMesh>>& GetNamedMeshes() const noexcept { return namedMeshes_; }
    uint32_t GetFileMeshCount() const noexcept { return meshCount_; }
    const std::shared_ptr<std::vector<LodMesh>>& GetMeshes() const noexcept { return meshes_; }
    uint32_t GetMeshCount() const noexcept { return static_cast<uint32_t>(meshes_->size()); }
    const std::vector<LodBone>& GetBoneTable() const noexcept { return boneTable_; }
    // Bone b's influences on mesh m; empty when it has none.
    const LodInfluenceBlock& GetInfluenceBlock(uint32_t bone, uint32_t mesh) const noexcept;
    uint32_t GetBoneCount() const noexcept { return boneCount_; }
    const std::vector<Nyx::Material*>& GetMaterialTable() const noexcept { return materialTable_; }
    uint32_t GetKeptDefinitionCount() const noexcept { return keptDefinitions_.Count(); }
    // The index of the mesh of that name, or -1.
    int32_t FindNamedMesh(const Nyx::PString& name) const noexcept;
    // Bytes the definition occupies, for the resource system's accounting.
    uint32_t GetSizeEstimate() const;

    // The largest number of influence entries naming one vertex of a piece,
    // and of bones with a group for a piece, over a mesh's pieces.
    uint32_t ComputeMaxInfluences(uint32_t mesh) const;
    uint32_t ComputeMaxChunkBones(uint32_t mesh) const;
    uint32_t ComputePieceInfluences(uint32_t mesh, uint32_t piece) const;

protected:
    // The post-load skinning set-up: each bone's slot in the pieces it moves
    // and its entries in their vertices' streams.
    void SetUpBonePalettes() override;
    MeshLoadResult& ReadInfo(MeshLoadResult& result, Nyx::MemoryFile& file) override;

    // ---- text form ----
    virtual MeshLoadResult& LoadReferencedMesh(MeshLoadResult& result, MeshOwner& owner,
                                               const Nyx::String& fileName, bool first);
    virtual MeshLoadResult& TakeInfluences(MeshLoadResult& result, const KestroIndexedMeshDefinition& from,
                                           uint32_t mesh);

    // ---- writers and readers of the ".lm" chunks ----
    virtual void WriteInfo(std::vector<uint8_t>& out) const;
    virtual void WriteBoneTable(std::vector<uint8_t>& out) const;
    virtual MeshLoadResult& ReadBoneTable(MeshLoadResult& result, Nyx::MemoryFile& file);
    virtual void WriteMaterialTable(std::vector<uint8_t>& out, const std::vector<Nyx::Material*>& table) const;
    virtual MeshLoadResult& ReadMaterialTable(MeshLoadResult& result, Nyx::MemoryFile& file);
    virtual void WriteTableMaterial(std::vector<uint8_t>& out, const Nyx::Material& material) const;
    virtual MeshLoadResult& ReadTableMaterial(MeshLoadResult& result, Nyx::MemoryFile& file);
    virtual void WriteMesh(std::vector<uint8_t>& out, uint32_t mesh, const std::vector<Nyx::Material*>& table) const;
    virtual MeshLoadResult& ReadMesh(MeshLoadResult& result, Nyx::MemoryFile& file, uint32_t mesh);
    virtual void WriteLodBones(std::vector<uint8_t>& out, uint32_t mesh) const;
    virtual MeshLoadResult& ReadLodBones(MeshLoadResult& result, Nyx::MemoryFile& file, uint32_t mesh);
    virtual void WritePiece(std::vector<uint8_t>& out, uint32_t mesh, uint32_t piece,
                            const std::vector<Nyx::Material*>& table) const;
    virtual MeshLoadResult& ReadPiece(MeshLoadResult& result, Nyx::MemoryFile& file, uint32_t mesh, uint32_t piece);
    virtual void WritePieceGeometry(std::vector<uint8_t>& out, uint32_t mesh, uint32_t piece) const;
    virtual MeshLoadResult& ReadPieceGeometry(MeshLoadResult& result, Nyx::MemoryFile& file, uint32_t mesh,
                                              uint32_t piece, uint32_t end);
    virtual void WriteAttachmentTable(std::vector<uint8_t>& out) const;
    virtual void WritePieceNeighbours(std::vector<uint8_t>& out, uint32_t mesh, uint32_t piece) const;
    virtual MeshLoadResult& ReadPieceNeighbours(MeshLoadResult& result, Nyx::MemoryFile& file, uint32_t mesh,
                                                uint32_t piece);
    MeshLoadResult& ReadBoneTree(MeshLoadResult& result, Nyx::MemoryFile& file);
    void WriteBoneTree(std::vector<uint8_t>& out) const;
    MeshLoadResult& CreateTableMaterial(MeshLoadResult& result, const MeshMaterialDescription& description);

    // ---- post-load steps ----
    // What every load starts with: the result cleared, the caller's manager,
    // owner, kernel and colour kept, and the materials' name prefix.
    void BeginLoad(MeshLoadResult& result, Nyx::RenderKernel* kernel, Nyx::MaterialManager* manager,
                   MeshOwner& owner, uint32_t defaultColour);
    void BuildBoneTreeFromTable();
    void ComputeLevelBounds();
    void ComputeLevelOrientedBox();
    void StripCullSuffixes();
    void UseLastLevelAsOwn();
    void ReadLodParameters(const Nyx::ConfigTree& root);
    // A material's name as the file gave it, without the resource's prefix.
    std::string BareMaterialName(const Nyx::Material& material) const;

    std::vector<float> cutOffs_;
    uint32_t calcPoint_ = kCalcCentre;
    float offset_ = 0.0f;
    float multiplier_ = 1.0f;
    float animationCutOff_ = 0.0f;
    float renderCutOff_ = 0.0f;
    float attachmentCutOff_ = 0.0f;
    std::vector<Nyx::PString> cullList_;
    std::shared_ptr<std::vector<LodNamedMesh>> namedMeshes_;
    uint32_t meshCount_ = 0;
    std::shared_ptr<std::vector<LodMesh>> meshes_;
    std::vector<LodBone> boneTable_;
    uint32_t boneCount_ = 0;
    PointerBlockRing<KestroIndexedMeshDefinition*> keptDefinitions_;

    // The table the file's MATL chunks make, one reference each.
    std::vector<Nyx::Material*> materialTable_;
    // "owner*folder*", which every material name read for this resource
    // starts with; the writer leaves it out.
    std::string materialPrefix_;
    Nyx::RenderKernel* kernel_ = nullptr;
    // The blocks TakeInfluences gathered for the mesh being added.
    std::vector<LodInfluenceBlock> pendingBlocks_;
};
