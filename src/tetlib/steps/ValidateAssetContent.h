// The content step of validating one asset folder, after the config step:
// the folder's textures, the container written back through the value
// writers and the container rules.
#pragma once

class ResultsLog;

namespace TETLib {

class Container;

// True when the content passed. The texture check, the value writers and
// the container rules are not in yet: nothing is checked, and the answer
// is true.
bool ValidateAssetContent(Container& container, ResultsLog& log);

}  // namespace TETLib
