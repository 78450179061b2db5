// Fuzzer bytes as an ".lm" file, loaded into a LOD mesh definition with the
// headless material manager. Whatever the bytes: no crash, no read past
// them, a result among the known codes. A file that loads is saved; the
// saved bytes must load again and save to the same bytes (the orientation
// aside, which each load normalises again; a bone tree without a bone
// table, whose rotations go through quaternions; and a bone table with an
// unnamed bone, see below), with the same levels, named meshes, pieces and
// vertices.
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzCheck.h"
#include "nyx/RenderKernel.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "resources/lod/KestroIndexedMeshLODDefinition.h"
#include "resources/mesh/MeshOwner.h"

namespace {

// Where INFO's orientation lies: frame (12), INFO head (12), position (12).
constexpr size_t kOrientationAt = 36;
constexpr size_t kOrientationBytes = 16;

struct Loaded {
    // Each load has a manager of its own: a shared one would hand the
    // second load the first one's materials, textures already added.
    Nyx::RenderKernel kernel{nullptr, 1.0f};
    MeshOwner owner{Nyx::PString("owner"), Nyx::PString("assets/mesh.lm")};
    KestroIndexedMeshLODDefinition definition;

    MeshLoadResult Load(const uint8_t* data, size_t size)
    {
        definition.SetFileData(data, static_cast<uint32_t>(size));
        MeshLoadResult result = RES_UNKNOWN;
        return definition.Load(result, &kernel, &kernel.GetMaterialManager(), owner, 0);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > (64u << 20))
        return 0;
    Loaded first;
    const MeshLoadResult result = first.Load(data, size);
    FuzzCheck(result < kMeshLoadResultCount);
    if (result != RES_OK)
        return 0;
    const KestroIndexedMeshLODDefinition& a = first.definition;
    FuzzCheck(a.GetLevelCount() > 0 && a.GetLevelCount() <= KestroIndexedMeshLODDefinition::kMaxCutOffs);
    for (const LodNamedMesh& entry : *a.GetNamedMeshes())
        FuzzCheck(entry.meshIndex < a.GetMeshCount());
    for (const LodMesh& mesh : *a.GetMeshes())
        for (const Nyx::GeometryChunk* chunk : mesh.chunks->Items()) {
            FuzzCheck(chunk && chunk->GetVertexCount() > 0);
            const uint16_t* indices = chunk->GetIndexArray();
            for (uint32_t k = 0; k < chunk->GetIndexCount(); ++k)
                FuzzCheck(indices[k] < chunk->GetVertexCount());
        }

    std::vector<uint8_t> saved;
    FuzzCheck(a.Save(saved) == RES_OK);
    Loaded second;
    FuzzCheck(second.Load(saved.data(), saved.size()) == RES_OK);
    const KestroIndexedMeshLODDefinition& b = second.definition;
    FuzzCheck(b.GetCutOffs().size() == a.GetCutOffs().size());
    FuzzCheck(std::memcmp(b.GetCutOffs().data(), a.GetCutOffs().data(), a.GetCutOffs().size() * 4) == 0);
    FuzzCheck(b.GetMeshCount() == a.GetMeshCount());
    FuzzCheck(b.GetNamedMeshes()->size() == a.GetNamedMeshes()->size());
    for (uint32_t m = 0; m < a.GetMeshCount(); ++m) {
        FuzzCheck((*b.GetMeshes())[m].chunkCount == (*a.GetMeshes())[m].chunkCount);
        // Faces may go: lines keep none when written.
        FuzzCheck((*b.GetMeshes())[m].vertexTotal == (*a.GetMeshes())[m].vertexTotal);
    }
    std::vector<uint8_t> again;
    FuzzCheck(b.Save(again) == RES_OK);
    if (a.GetBoneTable().empty() && a.GetRootBone())
        return 0;
    // A load hangs each bone under the bone its parent name names, else
    // under the root, and writes that name down; the root is the first bone
    // whose parent name is empty. An unnamed bone cannot be told from "no
    // parent", so a bone hung under it can look like the root to the next
    // load, which then rewrites the table once more. Without unnamed bones
    // the table a load leaves reads back to itself.
    for (const LodBone& bone : a.GetBoneTable())
        if (bone.name.Empty())
            return 0;
    FuzzCheck(again.size() == saved.size());
    std::memset(saved.data() + kOrientationAt, 0, kOrientationBytes);
    std::memset(again.data() + kOrientationAt, 0, kOrientationBytes);
    FuzzCheck(again == saved);
    return 0;
}
