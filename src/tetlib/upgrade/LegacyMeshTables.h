// The conversions of the legacy upgrade that build a config's "mesh-table",
// "bogeys" and "attached-track" from the old conventions: mesh files named
// after the asset-filename value, loose "mode0", "mode1", "mesh", "night",
// "attachment" and "bogey-%d" tags. The scenery, turntable and crossing
// conversions load the asset's mesh to learn its attachment points.
#pragma once

#include <cstdint>

#include "config/tree/ACSChunk.h"
#include "nyx/base/PString.h"

namespace TETLib {

void ConvertBogeyMeshTable(ChunkRef& config, const Nyx::PString& assetFilename);
void ConvertTraincarMeshTable(ChunkRef& config, const Nyx::PString& assetFilename);
void ConvertTraincarBogeys(ChunkRef& config);
void ConvertJunctionMeshTable(ChunkRef& config);
void ConvertSceneryMeshTable(ChunkRef& config, const Nyx::PString& assetFilename);
void ConvertInteriorMeshTable(ChunkRef& config);
void ConvertTurntableMeshTable(ChunkRef& config);
void ConvertCrossingMeshTable(ChunkRef& config);

// How many of the points "a.name0", "a.name1", ... the mesh (a path below
// the asset folder) holds, counting up to the first one missing; 0 when
// the mesh does not load.
int32_t CountNameAttachments(const Nyx::PString& meshPath);

}  // namespace TETLib
