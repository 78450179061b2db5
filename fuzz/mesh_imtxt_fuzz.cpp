// Fuzzer bytes as an ".imtxt" description, loaded through LoadText into an
// indexed mesh definition with the headless material manager. Whatever the
// bytes: no crash, a result among the known codes, and after a success
// chunks whose indices stay inside their vertices.
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
    static FuzzTempFolder folder("mesh_imtxt_fuzz");
    folder.Write("mesh.imtxt", std::string_view(reinterpret_cast<const char*>(data), size));

    Nyx::RenderKernel kernel(nullptr, 1.0f);
    MeshOwner owner(Nyx::PString("owner"), Nyx::PString("assets/mesh.imtxt"));
    KestroIndexedMeshDefinition definition;
    MeshLoadResult result = RES_OK;
    definition.LoadText(result, &kernel, &kernel.GetMaterialManager(), owner, Nyx::String(folder / "mesh.imtxt"));
    FuzzCheck(result < kMeshLoadResultCount);
    if (result != RES_OK)
        return 0;
    for (uint32_t i = 0; i < definition.GetChunkCount(); ++i) {
        const Nyx::GeometryChunk* chunk = definition.GetChunk(i);
        FuzzCheck(chunk != nullptr);
        const uint16_t* indices = chunk->GetIndexArray();
        for (uint32_t k = 0; indices && k < chunk->GetIndexCount(); ++k)
            FuzzCheck(indices[k] < chunk->GetVertexCount());
    }
    return 0;
}
