// The rewrite of a config made before build 2.9 into the current form,
// which the container check asks for before it reads the kind: renamed
// tags, values moved into the containers that now hold them, mesh tables
// built from the old naming conventions, and the stray tags an old text
// parser made of free text. Only the tree in memory changes; nothing is
// reported.
#pragma once

#include "config/tree/ACSChunk.h"
#include "nyx/base/PString.h"

namespace TETLib {

// Upgrades the config when the data manager's asset build is below 2.9,
// then stamps it with "kestro-build" 2.9. The build is the one the
// container check stored.
void UpgradeConfigIfLegacy(ChunkRef& config);
// Every step of the upgrade, in order, whatever the build.
void UpgradeLegacyConfig(ChunkRef& config);

// A tag that the definitions allow at the top of a config: a child of the
// "subpossibilities" of a definition marked "top-level".
bool IsTopLevelTagName(const Nyx::PString& name);
// The lines of a description that ran over several lines, which the old
// parser made into tags after "description", up to the first known
// top-level tag or container.
void RemoveStrayDescriptionTags(ChunkRef& config);
// "asset" and the unknown tags whose names begin with "asset-".
void RemoveStrayAssetTags(ChunkRef& config);

}  // namespace TETLib
