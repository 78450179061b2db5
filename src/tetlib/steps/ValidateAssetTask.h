// The record behind one validate job of the command host: what to validate,
// where the findings go, and the job's outcome once it has run.
#pragma once

#include "nyx/files/File.h"
#include "nyx/base/PString.h"

class ResultsLog;

namespace TETLib {

struct ValidateAssetTask {
    // The data-folder name (may be empty) and the asset folder; both must
    // outlive the job.
    const Nyx::PString* assetName = nullptr;
    const Nyx::File::Path* folderPath = nullptr;
    ResultsLog* results = nullptr;
    // Written when the job has run.
    bool succeeded = false;

    // The job's call: validates the asset into `results` and records the
    // outcome. The argument is not used. A record without a log or a
    // folder fails without validating anything.
    void Run(void* unused);
};

}  // namespace TETLib
