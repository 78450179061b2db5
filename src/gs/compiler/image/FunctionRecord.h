// The records of a class's functions in a library image: one per compiled
// function (frame words, reference slots, code, line table) and the
// initialiser's, which runs the class's field initialisers.
#pragma once

#include <cstdint>

namespace Utils {
class ByteBuffer;
}

namespace GSCompiler {

class GSCClass;
class GSCFunction;
class GSSymbolTable;
class StringTable;

constexpr uint32_t kTagFunction = 9;
// "lgbd": the line table that follows a function's code.
constexpr uint32_t kLineTableMark = 0x6462676C;

// False, with the record left incomplete, when the code does not end with
// the operand stack back at depth 0.
bool WriteFunctionRecord(Utils::ByteBuffer& out, const GSCFunction& function, const GSCClass& owner,
                         GSSymbolTable& symbols, StringTable& strings);
bool WriteInitialiserRecord(Utils::ByteBuffer& out, const GSCClass& cls, StringTable& strings);

}  // namespace GSCompiler
