// Fuzzer bytes as a ".pm" file, loaded into a progressive mesh definition
// with the headless material manager; after a success an instance is swept
// to no detail and back. Whatever the bytes: no crash, no read past them, a
// result among the known codes, and a sweep that ends where it began with
// every index array as it was.
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzCheck.h"
#include "nyx/RenderKernel.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "resources/mesh/MeshInstanceResource.h"
#include "resources/mesh/MeshOwner.h"
#include "resources/mesh/progressive/KestroProgressiveMeshDefinition.h"
#include "resources/mesh/progressive/KestroProgressiveMeshInstance.h"

namespace {

struct Resource : MeshInstanceResource {
    void AddReference() override {}
    void ReleaseReference() override {}
    bool Lock() override { return true; }
    void Unlock() override {}
    KestroIndexedMeshDefinition* GetGeometryDefinition() override { return nullptr; }
};

std::vector<uint16_t> IndicesOf(const Nyx::GeometryChunk& chunk)
{
    const uint16_t* at = chunk.GetIndexArray();
    return at ? std::vector<uint16_t>(at, at + chunk.GetMaxIndices()) : std::vector<uint16_t>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 24))
        return 0;
    Nyx::RenderKernel kernel(nullptr, 1.0f);
    Nyx::Display display;
    kernel.GetMaterialManager().SetRenderContext(&display);
    MeshOwner owner(Nyx::PString("owner"), Nyx::PString("assets/mesh.pm"));
    KestroProgressiveMeshDefinition definition;
    definition.SetFileData(data, static_cast<uint32_t>(size));
    MeshLoadResult result = RES_UNKNOWN;
    definition.Load(result, &kernel, &kernel.GetMaterialManager(), owner, 0);
    FuzzCheck(result < kMeshLoadResultCount);
    if (result != RES_OK)
        return 0;
    FuzzCheck(definition.GetSets().size() == definition.GetSetCount());

    Resource resource;
    KestroProgressiveMeshInstance instance(&kernel.GetMaterialManager());
    instance.Bind(&resource, definition);
    const uint32_t faces = instance.GetCurrentFaceCount();
    const uint32_t step = instance.GetCurrentStep();
    std::vector<std::vector<uint16_t>> before;
    for (uint32_t i = 0; i < instance.GetChunkCount(); ++i)
        before.push_back(IndicesOf(*instance.GetChunk(i)));
    instance.LowerDetail(0);
    FuzzCheck(instance.GetCurrentFaceCount() <= faces);
    for (uint32_t i = 0; i < instance.GetChunkCount(); ++i) {
        const Nyx::GeometryChunk* chunk = instance.GetChunk(i);
        FuzzCheck(chunk->GetIndexCount() <= chunk->GetMaxIndices());
        FuzzCheck(chunk->GetVertexCount() <= chunk->GetMaxVertices());
    }
    instance.RaiseDetail(0xFFFFFFFFu);
    FuzzCheck(instance.GetCurrentFaceCount() == faces);
    FuzzCheck(instance.GetCurrentStep() == step);
    for (uint32_t i = 0; i < instance.GetChunkCount(); ++i)
        FuzzCheck(IndicesOf(*instance.GetChunk(i)) == before[i]);
    return 0;
}
