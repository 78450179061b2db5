// The validation of one asset folder as a job of the job queue, the way the
// command host asks for it.
#pragma once

#include "nyx/files/File.h"
#include "nyx/base/PString.h"

class ResultsLog;

// Validates the asset folder (in the data folder `folderName`, or the one
// its path names below the content root for an empty name) on the main
// thread: called there it runs at once, from any other thread it is queued
// for the main thread and the call waits until it ran. The findings are
// results in `log`. True when the asset passed (or lies in an archived data
// folder); false also when the job was discarded at shut-down.
bool ValidateAssetOnMainThread(const Nyx::PString& folderName, const Nyx::File::Path& assetFolder, ResultsLog& log);

// The command host's name for the same function.
inline constexpr auto& MakeValidateAssetTaskCallback = ValidateAssetOnMainThread;
