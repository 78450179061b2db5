// The named checks of a whole container that a definition's "validation"
// may bind: names used once, the texture file, and the shadow and a shown
// mesh in the mesh table of the top container.
#pragma once

#include "config/tree/ACSChunk.h"

namespace TETLib {

class Container;

bool RuleUniqueNames(Container& container, const ChunkRef* argument);
bool RuleHasValidTextureFile(Container& container, const ChunkRef* argument);
bool RuleMeshTableHasShadow(Container& container, const ChunkRef* argument);
bool RuleMeshTableHasVisibleMesh(Container& container, const ChunkRef* argument);

}  // namespace TETLib
