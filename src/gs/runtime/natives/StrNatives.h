// The natives of the script class Str: trimming, conversions, case,
// tokens, unpacking and searching script strings.
#pragma once

class GSMachine;

namespace GSRuntime {

void RegisterStrNatives(GSMachine& machine);

}  // namespace GSRuntime
