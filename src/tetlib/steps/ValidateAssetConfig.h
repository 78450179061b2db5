// The config step of validating one asset folder: loads the config, reports
// an asset made for a later build and the obsolete kinds, and otherwise runs
// the container's template check, whose warnings and errors it copies into
// the results log.
#pragma once

#include <cstdint>

#include "nyx/files/File.h"
#include "nyx/base/PString.h"
#include "tetlib/data/AssetBuild.h"

class ResultsLog;

namespace TETLib {

class Container;

// The newest build whose assets this library checks; a later one is
// reported and not checked.
inline constexpr int32_t kNewestBuildNumber = 320;
// Builds before this one count as old (2.9).
inline constexpr int32_t kFirstCurrentBuildNumber = 290;

// Runs the step on the config at `configPath` (absolute, or relative to the
// content root) of the asset in the data folder `folderName` (may be
// empty). With no container given, the step makes and deletes its own.
// True when the content step is to run.
bool ValidateAssetConfig(const Nyx::PString& folderName, const Nyx::File::Path& configPath, ResultsLog& log,
                         Container* container);

}  // namespace TETLib
