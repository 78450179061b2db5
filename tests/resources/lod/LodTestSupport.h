// What the LOD tests share: a headless kernel, a resource owning the mesh
// and loads of written ".lm" bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "nyx/RenderKernel.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "resources/lod/KestroIndexedMeshLODDefinition.h"
#include "resources/lod/LodFileWriter.h"
#include "resources/mesh/MeshOwner.h"

struct LodLoadHarness {
    Nyx::RenderKernel kernel{nullptr, 1.0f};
    MeshOwner owner{Nyx::PString("owner"), Nyx::PString("assets/car/body.lm")};
    std::unique_ptr<KestroIndexedMeshLODDefinition> definition;

    MeshLoadResult Load(const std::vector<uint8_t>& bytes, const GeometrySettings& settings = {},
                        bool withManager = true)
    {
        definition = std::make_unique<KestroIndexedMeshLODDefinition>(settings);
        definition->SetFileData(bytes.data(), static_cast<uint32_t>(bytes.size()));
        MeshLoadResult result = RES_UNKNOWN;
        return definition->Load(result, &kernel, withManager ? &kernel.GetMaterialManager() : nullptr, owner, 0);
    }
    MeshLoadResult Load(const TestLod& lod, const GeometrySettings& settings = {})
    {
        return Load(WriteLodFile(lod), settings);
    }
    std::vector<uint8_t> Save() const
    {
        std::vector<uint8_t> bytes;
        definition->Save(bytes);
        return bytes;
    }
};
