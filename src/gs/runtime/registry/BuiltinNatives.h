// The fifteen built-in natives of the classes GSObject, GameObject and
// Router, bound first by every machine, then those of Math and Str.
#pragma once

class GSMachine;

namespace GSRuntime {

void RegisterBuiltinNativeTable(GSMachine& machine);

}  // namespace GSRuntime
