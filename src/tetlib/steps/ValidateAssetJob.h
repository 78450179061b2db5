// The validation of one asset folder as the command host's validate job
// runs it: the data folder and config file found, the asset's container
// made, and the validation steps run over the config.
#pragma once

#include "nyx/files/File.h"
#include "nyx/base/PString.h"

class ResultsLog;

namespace TETLib {

class Container;

// The job body, over one absolute asset folder. With an empty folder name
// the asset path must lie below the content root, and its first component
// there, lower-cased, names the data folder; a relative path with a given
// name lies below that data folder. An asset of a data folder kept as a
// ".ja" archive is not validated (true, nothing reported). False when the
// path lies outside the content root or when the folder holds neither
// "config.chump" nor "config.txt" (one error result each), when the steps added
// an error result, or when the asset's scripts did not compile. Messages
// show paths relative to the content root.
bool RunValidateAssetJob(const Nyx::PString& folderName, const Nyx::File::Path& assetPath, ResultsLog& log);

// The validation steps on one config file (the content step only when the
// config step asks for it), then the clean-up after an asset: the loaded
// meshes dropped and the per-asset flags cleared.
void ValidateAssetFolder(const Nyx::File::Path& configPath, Container* container, ResultsLog& log,
                         const Nyx::PString& folderName);

}  // namespace TETLib
