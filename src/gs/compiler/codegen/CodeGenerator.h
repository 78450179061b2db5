// The code generator: turns the checked tree of the file being compiled
// into bytecode, one code block per function and one initialiser per
// class, with the lists of reference-holding slots and fields and each
// function's line table. It runs only after a compile that counted no
// error; what it makes goes into the compiler state for the library
// writer.
#pragma once

namespace GSCompiler {

class CompilerState;

// Generates the top-level file's classes. False on the first failure (its
// message has been sent); the driver then reports the failed generation.
bool GenerateProgram(CompilerState& state);

}  // namespace GSCompiler
