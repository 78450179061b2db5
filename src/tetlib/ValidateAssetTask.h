// The validation of one asset folder as a job of the job queue, the way the
// command host asks for it.
//
// The checks themselves (configs against the container templates and rules,
// textures, meshes) are not part of this build yet: the task reports that as
// an error result and gives false.
#pragma once

#include "nyx/File.h"
#include "nyx/PString.h"

class ResultsLog;

// Submits the validation of `folder` (inside the archive `archiveName`, or on
// its own for an empty name) to the job queue and returns once it ran; the
// findings are results in `log`. True when the asset passed.
bool MakeValidateAssetTaskCallback(const Nyx::PString& archiveName, const Nyx::File::Path& folder, ResultsLog& log);
