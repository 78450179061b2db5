// The records a LOD mesh definition keeps: one mesh per detail level or
// named mesh, the named-mesh entries and the bones of its bone table.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "nyx/base/PString.h"
#include "nyx/base/String.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/chunks/InfluenceDefinition.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/scene/math/Quaternion.h"
#include "resources/lod/CountedArray.h"

using ChunkArray = CountedArray<Nyx::GeometryChunk>;
using MaterialArray = CountedArray<Nyx::Material>;

// One mesh's influences of a bone: groups of (piece, entries).
using LodInfluenceBlock = std::vector<Nyx::InfluenceGroup>;

struct LodMesh {
    uint32_t chunkCount = 0;
    uint32_t vertexTotal = 0;
    uint32_t faceTotal = 0;
    // The pieces were made for skinning on the hardware.
    bool hardwareAnimation = false;
    std::shared_ptr<ChunkArray> chunks = std::make_shared<ChunkArray>();
    // Each piece's material, a reference into the material table.
    std::shared_ptr<MaterialArray> materials = std::make_shared<MaterialArray>();
    std::vector<Nyx::PString> chunkNames;
    // One block per bone of the bone table, in table order, when the mesh
    // has bone influences; empty otherwise. Kept with the mesh so a file
    // pays for every block it stores.
    std::vector<LodInfluenceBlock> boneBlocks;
    // Copied into every instance's entry for this mesh.
    std::vector<uint32_t> values;
};

// A mesh reached by name rather than by LOD value ("collision", ...).
struct LodNamedMesh {
    Nyx::PString name;
    uint32_t meshIndex = 0;
    bool animated = false;
};

struct LodBone {
    Nyx::String name;
    Nyx::String parentName;
    Nyx::Vector3f position;
    Nyx::Matrix3 orientation;
};
