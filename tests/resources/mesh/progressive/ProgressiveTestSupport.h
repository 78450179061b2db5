// Progressive meshes for the tests, the bench seeds and the fuzz seeds: a
// strip of quads whose last quads come in sets, each set a vertex split
// that adds its quads behind the earlier ones and moves one index entry.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "resources/mesh/MeshTestSupport.h"
#include "resources/mesh/progressive/KestroProgressiveMeshDefinition.h"

// `baseQuads` (at least 1) always drawn, then one set per entry of
// `setQuads`; set k's record edits index entry 6 × its first quad by +1.
inline TestMesh ProgressiveQuadMesh(uint32_t baseQuads, const std::vector<uint32_t>& setQuads)
{
    uint32_t total = baseQuads;
    for (uint32_t q : setQuads)
        total += q;
    TestMesh mesh = QuadMesh(total);
    TestProgressive pm;
    pm.sets.push_back(1);
    pm.groups.push_back({0, 1});
    pm.records.push_back({0, 0, 0, 0});
    uint32_t quad = baseQuads;
    for (uint32_t q : setQuads) {
        pm.values.push_back(6 * quad);
        pm.records.push_back({4 * q, 2 * q, 1, 1});
        pm.groups.push_back({0, 1});
        pm.sets.push_back(1);
        quad += q;
    }
    mesh.progressive = pm;
    return mesh;
}

// Overwrites PMIN's count n (0 values, 1 records, 2 groups, 3 sets) in
// written bytes, so that a file can lie about its tables.
inline void PatchProgressiveCount(std::vector<uint8_t>& bytes, uint32_t n, uint32_t count)
{
    for (size_t at = 0; at + 4 <= bytes.size(); ++at) {
        if (std::memcmp(&bytes[at], "PMIN", 4) == 0) {
            std::memcpy(&bytes[at + 12 + 4 * n], &count, 4);
            return;
        }
    }
}

struct ProgressiveLoadHarness {
    Nyx::RenderKernel kernel{nullptr, 1.0f};
    MeshOwner owner{Nyx::PString("owner"), Nyx::PString("assets/car/body.pm")};
    std::unique_ptr<KestroProgressiveMeshDefinition> definition;

    MeshLoadResult Load(const std::vector<uint8_t>& bytes)
    {
        definition = std::make_unique<KestroProgressiveMeshDefinition>();
        definition->SetFileData(bytes.data(), static_cast<uint32_t>(bytes.size()));
        MeshLoadResult result = RES_UNKNOWN;
        return definition->Load(result, &kernel, &kernel.GetMaterialManager(), owner, 0);
    }
    MeshLoadResult Load(const TestMesh& mesh) { return Load(WriteMeshFile(mesh)); }
};
