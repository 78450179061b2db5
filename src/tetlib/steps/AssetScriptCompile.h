// The compile of an asset's scripts once its validation found no error.
// The script side lies above this library, so it hands its compile in at
// start-up; until one is handed in, the compile answers true.
#pragma once

#include "nyx/files/File.h"
#include "nyx/base/PString.h"

class ResultsLog;

namespace TETLib {

// The data-folder name, the asset's absolute folder and the job's log;
// false after reporting into the log.
using AssetScriptCompileFunction = bool (*)(const Nyx::PString& folderName, const Nyx::File::Path& assetFolder,
                                            ResultsLog& log);

// Null goes back to the answer true. Set before validation runs.
void SetAssetScriptCompile(AssetScriptCompileFunction function);
bool CompileAssetScripts(const Nyx::PString& folderName, const Nyx::File::Path& assetFolder, ResultsLog& log);

}  // namespace TETLib
