// What the mesh tests share: a headless kernel with its material manager, a
// resource that owns the mesh, and loads of written files.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "nyx/RenderKernel.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "resources/mesh/indexed/KestroIndexedMeshDefinition.h"
#include "resources/mesh/MeshFileWriter.h"
#include "resources/mesh/MeshOwner.h"

struct MeshLoadHarness {
    Nyx::RenderKernel kernel{nullptr, 1.0f};
    MeshOwner owner{Nyx::PString("owner"), Nyx::PString("assets/car/body.im")};
    std::unique_ptr<KestroIndexedMeshDefinition> definition;

    MeshLoadResult Load(const std::vector<uint8_t>& bytes, const GeometrySettings& settings = {},
                        uint32_t colour = KestroIndexedMeshDefinition::kOpaqueWhite)
    {
        definition = std::make_unique<KestroIndexedMeshDefinition>(settings);
        definition->SetFileData(bytes.data(), static_cast<uint32_t>(bytes.size()));
        MeshLoadResult result = RES_UNKNOWN;
        return definition->Load(result, &kernel, &kernel.GetMaterialManager(), owner, 0, colour);
    }
    MeshLoadResult Load(const TestMesh& mesh, const GeometrySettings& settings = {})
    {
        return Load(WriteMeshFile(mesh), settings);
    }
};

// A mesh of one chunk of `quads` squares.
inline TestMesh QuadMesh(uint32_t quads = 1)
{
    TestMesh mesh;
    mesh.chunks.push_back(QuadStripChunk(quads));
    return mesh;
}
