// Fuzzer bytes as an ".im" file, opened from disk and loaded into an indexed
// mesh definition with the headless material manager; the first byte picks
// whether the kernel reports hardware skinning, whether missing materials
// are tolerated and whether weights are floats. Whatever the bytes: no
// crash, no read past them, a result among the known codes, and after a
// success a definition whose chunks hold what their counts say.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "FuzzCheck.h"
#include "FuzzTempFolder.h"
#include "nyx/RenderKernel.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "resources/mesh/indexed/KestroIndexedMeshDefinition.h"
#include "resources/mesh/MeshOwner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzTempFolder folder("mesh_im_fuzz");
    if (size == 0)
        return 0;
    const uint8_t mode = data[0];
    folder.Write("mesh.im", std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));

    Nyx::RenderKernel kernel(nullptr, 1.0f);
    kernel.SetCapability(Nyx::RenderKernel::kCapabilityHardwareSkinning, (mode & 1) != 0);
    MeshOwner owner(Nyx::PString("owner"), Nyx::PString("assets/mesh.im"));
    owner.Options().toleratesMissingMaterials = (mode & 2) != 0;
    GeometrySettings settings;
    settings.present[GeometrySettings::kHardwareAnimationFloatPrecision] = 1;
    settings.value[GeometrySettings::kHardwareAnimationFloatPrecision] = (mode & 4) != 0;

    KestroIndexedMeshDefinition definition(settings);
    MeshLoadResult result = RES_UNKNOWN;
    definition.OpenFile(result, owner, Nyx::String(folder / "mesh.im"));
    FuzzCheck(result == RES_OK);
    definition.Load(result, &kernel, &kernel.GetMaterialManager(), owner, 0);
    FuzzCheck(result < kMeshLoadResultCount);
    if (result != RES_OK)
        return 0;
    uint32_t vertices = 0;
    for (uint32_t i = 0; i < definition.GetChunkCount(); ++i) {
        const Nyx::GeometryChunk* chunk = definition.GetChunk(i);
        FuzzCheck(chunk && chunk->GetVertexCount() > 0 && chunk->GetIndexCount() > 0);
        const uint16_t* indices = chunk->GetIndexArray();
        for (uint32_t k = 0; k < chunk->GetIndexCount(); ++k)
            FuzzCheck(indices[k] < chunk->GetVertexCount());
        vertices += chunk->GetVertexCount();
    }
    FuzzCheck(vertices == definition.GetTotalVertices());
    FuzzCheck(definition.FinishLoad(0) == RES_OK);
    return 0;
}
