// Comparing script types: a code and, for objects and object arrays, a
// class name (empty for none).
#pragma once

#include <cstdint>
#include <string_view>

namespace GSCompiler {

struct SyntaxNode;

struct TypeDescriptor {
    int32_t code;
    std::string_view className;
};

// The type of a checked expression node.
TypeDescriptor DescriptorOf(const SyntaxNode& node) noexcept;

// Equal codes match, except that two objects also need the same class (or
// both none); null and object match each other either way round.
bool TypesMatch(const TypeDescriptor& a, const TypeDescriptor& b) noexcept;
bool SameType(const SyntaxNode& a, const SyntaxNode& b) noexcept;
bool SameTypeAndClass(int32_t type, std::string_view className, const SyntaxNode& node) noexcept;

// True when the node's value is discarded; it is then marked consumed, so
// the statement that holds it pops nothing.
bool MarkValueConsumed(SyntaxNode& node) noexcept;

}  // namespace GSCompiler
