// The rewrite of a config made before build 2.9 into the current form,
// which the container check asks for before it reads the kind.
#pragma once

#include "config/tree/ACSChunk.h"

namespace TETLib {

// Leaves the config as it is for now: the old forms are rewritten once the
// mesh and legacy checks are in.
void UpgradeLegacyConfig(const ChunkRef& config);

}  // namespace TETLib
