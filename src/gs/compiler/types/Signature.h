// Function signatures: "$" return type "@" class "::" name "(" parameter
// types ")", as in "$void@Soup::SetNamedTag(string,Soup)". Class-typed
// parameters and returns are written by their class names. A function
// symbol is named by the part after "::", so overloads differ by name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace GSCompiler {

struct SyntaxNode;

// The signature of a Function or FunctionPrototype node declared in the
// named class.
std::string BuildSignature(const SyntaxNode& function, std::string_view className);
// The same into a text the caller keeps (its storage serves the next).
void BuildSignatureInto(std::string& signature, const SyntaxNode& function, std::string_view className);

// "name(types)": the part after the first "::" (the whole text without one).
std::string_view SignatureSymbolName(std::string_view signature) noexcept;
// "name": the part between the first "::" and the "(" after it.
std::string_view SignatureFunctionName(std::string_view signature) noexcept;

// Splits a text at "," and ")" from just after the first `open` character.
// The first call reads the first field; each next call the following one.
// The cursor is where the next field starts, or -1 once the text is
// exhausted; the calls are false when there was no field left to read.
bool DelimitedFieldFirst(std::string_view text, char open, int32_t& cursor, std::string& field);
bool DelimitedFieldNext(std::string_view text, int32_t& cursor, std::string& field);

// The parameter type names of a signature, in order; an empty list "()"
// has none.
bool SignatureFirstParameter(std::string_view signature, int32_t& cursor, std::string& type);
bool SignatureNextParameter(std::string_view signature, int32_t& cursor, std::string& type);

// A type read back from its name: the primitive names and their arrays by
// their codes; any other name is a class ("Soup" object, "Soup[]" object
// array). "object" itself is a class-less object.
struct ParsedType {
    int32_t code;
    std::string className;
};
ParsedType ParseTypeName(std::string_view name);

}  // namespace GSCompiler
