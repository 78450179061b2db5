// A class's method table as the library stores it: the tables of its
// direct bases in base order (each entry's part offset moved by where that
// base's fields start), then its own functions in declaration order. An
// own function replaces every inherited entry of the same name and
// argument types, so an override stands both in the slots it replaces and
// in a slot of its own.
#pragma once

#include <cstdint>
#include <vector>

namespace GSCompiler {

class CompileSession;
class GSClassSymbol;
class GSFunctionSymbol;

struct MethodEntry {
    GSFunctionSymbol* function;
    // Where the part of the object that runs the function starts: 0 for the
    // class's own functions.
    uint32_t partOffset;
};

// False when an override returns another type than the function it
// replaces: the three lines "Wrong return type on function: ", its
// signature and "\n" go to the sink.
bool BuildMethodTable(const GSClassSymbol& cls, CompileSession* sink, std::vector<MethodEntry>& table);

}  // namespace GSCompiler
