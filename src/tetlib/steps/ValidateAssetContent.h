// The content step of validating one asset folder, after the config step:
// the folder's textures, the container written back through the value
// writers and, when that passed, the container rules.
#pragma once

class ResultsLog;

namespace TETLib {

class Container;

// True when the content passed. Every warning and error the step found goes
// into the log, also when the step passed, since findings such as a wrong
// file extension or an asset missing from the database do not fail it. A
// container without a config (or with an empty one) is not checked: true.
bool ValidateAssetContent(Container& container, ResultsLog& log);

}  // namespace TETLib
