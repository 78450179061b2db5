// The parts of a function's signature string ("$int@C::F(string,Soup[])",
// or "::C()" for a class initialiser) that its record, its overrides and
// the native code calling it must all agree on: the return type, the
// method with its argument list, and the type code of each type named.
#pragma once

#include <cstdint>
#include <string_view>

namespace GSRuntime {

struct FunctionSignature {
    std::string_view returns;    // between "$" and "@"; empty for an initialiser
    std::string_view tail;       // after the first "::": method and argument list
    std::string_view arguments;  // between the parentheses

    // False for a text that is neither form, or names an empty type.
    static bool Parse(std::string_view text, FunctionSignature& out) noexcept;

    uint32_t ReturnCode() const noexcept;
    uint32_t ArgumentCount() const noexcept;
    // The type of argument i (from 0); i must be below ArgumentCount.
    std::string_view Argument(uint32_t i) const noexcept;
    // Same return type and same method with the same arguments, whatever
    // the class between them: what an override keeps.
    bool SameShape(const FunctionSignature& other) const noexcept
    {
        return returns == other.returns && tail == other.tail;
    }
};

// The type code a library record gives a type written as in a signature:
// the built-in names, any other name a class (object), with "[]" an array.
uint32_t TypeCodeOf(std::string_view typeName) noexcept;
// Strings, objects and the arrays of values hold references; "void[]"
// names no value and holds none.
bool IsReferenceTypeCode(uint32_t code) noexcept;

}  // namespace GSRuntime
