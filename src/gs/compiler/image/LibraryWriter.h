// Writes a compiled library image (".gsl"): the header with the library's
// name and 64-bit id, then the sections of dependencies (2), strings (3),
// class references (4), function references (5) and classes (6). Sections
// 4 to 6 go to a buffer of their own first, since writing them completes
// the string table that section 3 holds.
#pragma once

#include <cstdint>
#include <string_view>

namespace Utils {
class ByteBuffer;
}

namespace GSCompiler {

class CompileSession;
class CompilerState;

constexpr uint32_t kLibraryMagic = 0xF762575D;
// 1.02 as a 32-bit float.
constexpr uint32_t kLibraryVersionBits = 0x3F828F5C;

// Empties `output` (fresh storage of its growth step) and writes the image
// of the compiled state into it. False when a class cannot be written (an
// override with another return type, code not back at depth 0) or a buffer
// failed: the image is then not to be used.
bool WriteLibraryImage(Utils::ByteBuffer& output, CompilerState& state, CompileSession* sink,
                       std::string_view libraryName);

}  // namespace GSCompiler
