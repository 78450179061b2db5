// The kind definition of a whole config: the kind rules that pick another
// definition for some kinds, and the lookup among the top-level
// definitions.
#pragma once

#include "config/tree/ACSChunk.h"
#include "nyx/base/PString.h"

namespace TETLib {

// The definition name for the config's kind: a bridge by its height
// ("bridge" below -0.001, "double-track" up to 0.001, "tunnel" above), a
// track older than build 2.9 by its mesh tags ("chunky-track",
// "mesh-reducing-track", "obsolete-track"), scenery with a "trackside" tag
// as "scenery-trackside"; any other kind as it is. `build` is the stored
// asset build.
Nyx::PString KindDefinitionName(const ChunkRef& config, const Nyx::PString& kind, float build);

// The definition of the kind (lower-cased) when it is marked "top-level";
// the definitions are loaded once more before giving up. Null when there is
// none.
ChunkRef FindKindDefinition(const Nyx::PString& kind);

}  // namespace TETLib
