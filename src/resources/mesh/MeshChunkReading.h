// Readers of the chunk bodies that the ".im" and ".lm" forms store alike:
// a material's fields, face neighbours, a skeleton's bone.
#pragma once

#include <cstdint>

#include "nyx/files/MemoryFile.h"
#include "nyx/base/PString.h"
#include "nyx/scene/math/Quaternion.h"
#include "resources/mesh/MeshFileReading.h"
#include "resources/mesh/MeshLoadResult.h"

namespace Nyx {
class GeometryChunk;
class Material;
class ParticleBone;
struct StandardChunkHint;
}  // namespace Nyx
struct MeshMaterialDescription;

namespace MeshFileReading {

// Sets the result and hands it back, so a reader can end with one return.
inline MeshLoadResult& Fail(MeshLoadResult& result, MeshLoadResult code)
{
    result = code;
    return result;
}

// A chunk must end exactly where its size says: a format error otherwise.
inline MeshLoadResult& EndsAt(MeshLoadResult& result, const Nyx::MemoryFile& file, uint64_t end)
{
    return file.Tell() == end ? result : Fail(result, RES_FILE_FORMAT_ERROR);
}

// A MATL after its name: properties, flag, float, colours, power (as stored)
// and textures. False when a count cannot fit in what remains.
bool ReadMaterialFields(Nyx::MemoryFile& file, MeshMaterialDescription& description);

// The GEOM's chunk as its material makes it, with room for the extra
// vectors when the GEOM stores them; null without a material or a chunk.
Nyx::GeometryChunk* MakeGeometryChunk(Nyx::Material* material, const GeometryCounts& g, uint32_t code,
                                      Nyx::StandardChunkHint hint, bool extraVectors);

// What a GEOM reader writes whole once every block of the GEOM is known to
// fit: positions, colours, normals, the first `texCoordSets` (up to eight)
// texture-coordinate sets, the extra vectors when stored, the indices and
// the face normals. Told so, the chunk does not zero them first.
uint32_t PromiseWholeArrays(Nyx::StandardChunkHint& hint, uint32_t texCoordSets, bool extraVectors);

// The promised arrays a GEOM reader has not written when it leaves (a read
// that stops part-way) are zeroed then, so no stale memory stays behind.
class UnwrittenArrays {
public:
    UnwrittenArrays(Nyx::GeometryChunk* chunk, uint32_t items) noexcept : chunk_(chunk), items_(items) {}
    UnwrittenArrays(const UnwrittenArrays&) = delete;
    UnwrittenArrays& operator=(const UnwrittenArrays&) = delete;
    ~UnwrittenArrays();

    void Written(uint32_t item) noexcept;
    void IndicesWritten() noexcept { indices_ = false; }
    void FaceNormalsWritten() noexcept { faceNormals_ = false; }

private:
    Nyx::GeometryChunk* chunk_;
    uint32_t items_;
    bool indices_ = true;
    bool faceNormals_ = true;
};

// The NINF records for the chunk's faces, when they all remain; a chunk
// without faces, or a count past the data, takes nothing.
void ReadFaceNeighbours(Nyx::MemoryFile& file, Nyx::GeometryChunk* chunk);

// A bone at its reference frame, with the small box every stored bone gets.
Nyx::ParticleBone* MakeBone(const Nyx::PString& name, const Nyx::Vector3f& position,
                            const Nyx::Quaternion& orientation);

}  // namespace MeshFileReading
