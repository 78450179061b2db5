// Working copies of definition entries, as the inheritance merge and the
// loading of a definition gather them.
#pragma once

#include "config/tree/ACSChunk.h"

namespace TETLib {

// Puts the children of `source` into `target` under their names, each in
// place of an entry of its name; only container children unless `all`.
// An empty target gets a new container first; a null source adds nothing.
void GatherEntries(ChunkRef& target, const ChunkRef& source, bool all = false);
// A new container holding the children of `source` itself (shared, not
// copied), in order; an empty container for a null source.
ChunkRef ShallowCopy(const ChunkRef& source);
// Every child of `source` as a string under its name in `target`.
void GatherStrings(ChunkRef& target, const ChunkRef& source);

}  // namespace TETLib
