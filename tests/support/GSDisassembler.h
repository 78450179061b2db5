// Prints a function's bytecode as text for the compiler's tests: each
// instruction as its mnemonic and operands, joined by "; ". Strings print
// quoted and classes by name (through the image's tables), calls as their
// depth and method, jumps and table offsets as code offsets:
//   LOAD 1; INC; POPL 1
//   PUSHS "hi"; NEWOBJ Foo; CALL -1 3; JZ 14
//   SWITCH 1->20 3->25 default->30
//   WAIT "Timer","Tick"->12 "Object","Moved"->20
// A truncated or unknown instruction prints as "?" and ends the text.
#pragma once

#include <cstdint>
#include <string>

#include "gs/support/bytecode/Opcodes.h"
#include "support/GSLibraryImage.h"

namespace gsimage {

std::string Disassemble(const Image& image, const std::vector<uint8_t>& code);

}  // namespace gsimage
