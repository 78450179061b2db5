// The asset compile road: starts the script system, loads the asset's description
// from its folder and checks its script class, which compiles the asset's
// scripts into the script cache. The validation road runs it for every
// asset that validated without an error.
#pragma once

#include "nyx/files/File.h"
#include "nyx/base/PString.h"

class ResultsLog;

// The data-folder name (may be empty), the asset's folder (absolute, or
// relative to the content root) and the log. False after reporting its own
// error into the log.
bool KADCompileAsset(const Nyx::PString& folderName, const Nyx::File::Path& assetFolder, ResultsLog& log);
