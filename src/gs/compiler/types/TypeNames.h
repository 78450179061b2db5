// The names the compiler prints and writes for type codes, operators and
// declaration specifiers. Every text is returned as its own string, so a
// name of any length is copied whole and nothing is shared between calls.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace GSCompiler {

struct SyntaxNode;

// "void" ... "object[]", "" for 12 (no type), "null" for 13; any other code
// is "illegal type".
std::string_view TypeName(int32_t type) noexcept;

// An object or object-array type with a class prints as the class name
// ("Soup", "Soup[]"); anything else as TypeName of its code.
std::string TypeName(int32_t type, std::string_view className);

// TypeName of a checked expression node (its type word and class).
std::string TypeNameOfNode(const SyntaxNode& node);

// TypeName of a Type declaration node (its detail and the class named by
// its first child).
std::string TypeNameOfTypeNode(const SyntaxNode& typeNode);

// The class named by a Type node; empty for a type without one.
std::string_view ClassOfTypeNode(const SyntaxNode& typeNode) noexcept;

// The name messages print for an operator code; "" for other codes.
std::string_view OperatorName(int32_t op) noexcept;

// The specifier words of a flags word, each followed by a space, in the
// order public, native, static, final, thread, constructor, game, secured,
// define.
std::string SpecifierNames(uint32_t flags);

}  // namespace GSCompiler
