// Checks the bytecode of one function before anything runs it, so that the
// interpreter may read operands in place: every opcode is known, every
// operand lies inside the code and names a string, class reference, local
// or field that exists, every jump, switch and wait target starts an
// instruction, no path runs past the end of the code, and local 0 ("me")
// is only ever read with a counted load.
//
// Calls return with a depth the code alone does not tell, so the depth is
// measured piecewise: for each place where a run can enter (the start, a
// jump, switch or wait target, the instruction after a call) the lowest and
// highest depth, relative to the depth there, that the code reaches before
// it leaves straight-line flow. The interpreter checks those two against
// the stack it has when it enters there.
#pragma once

#include <cstdint>
#include <vector>

namespace GSRuntime {

struct CodeLimits {
    uint32_t strings = 0;    // entries of the library's string table
    uint32_t classRefs = 0;  // entries of its class-reference table
    uint32_t locals = 0;     // frame slots below the frame record
    uint32_t meFields = 0;   // words of the field block of "me"'s class
};

struct DepthRange {
    uint32_t offset;  // code offset of the entry
    int32_t lowest;   // <= 0
    int32_t highest;  // >= 0
};

// The ranges come out sorted by offset. False for code that breaks a rule.
bool VerifyCode(const uint8_t* code, uint32_t size, const CodeLimits& limits, std::vector<DepthRange>& ranges);

// The first word of a "me" field the code may name: words 0 and 1 of every
// class part are its back offset and its method table.
constexpr uint32_t kFirstMeField = 2;

}  // namespace GSRuntime
