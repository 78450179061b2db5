#include "gs/compiler/types/Signature.h"

#include "gs/compiler/parse/SyntaxNode.h"
#include "gs/compiler/types/TypeNames.h"

namespace GSCompiler {

std::string BuildSignature(const SyntaxNode& function, std::string_view className)
{
    std::string signature;
    BuildSignatureInto(signature, function, className);
    return signature;
}

void BuildSignatureInto(std::string& signature, const SyntaxNode& function, std::string_view className)
{
    signature.assign(1, '$');
    if (function.child[0])
        signature += TypeNameOfTypeNode(*function.child[0]);
    signature += '@';
    signature += className;
    signature += "::";
    if (function.child[1] && function.child[1]->value.text)
        signature += function.child[1]->value.text;
    signature += '(';
    for (const SyntaxNode* p = function.child[2]; p; p = p->next) {
        if (p != function.child[2])
            signature += ',';
        if (p->child[0])
            signature += TypeNameOfTypeNode(*p->child[0]);
    }
    signature += ')';
}

std::string_view SignatureSymbolName(std::string_view signature) noexcept
{
    size_t colons = signature.find("::");
    return colons == std::string_view::npos ? signature : signature.substr(colons + 2);
}

std::string_view SignatureFunctionName(std::string_view signature) noexcept
{
    std::string_view name = SignatureSymbolName(signature);
    return name.substr(0, name.find('('));
}

namespace {

bool ReadField(std::string_view text, int32_t& cursor, std::string& field)
{
    if (cursor < 0 || size_t(cursor) > text.size()) {
        cursor = -1;
        return false;
    }
    size_t end = text.find_first_of(",)", size_t(cursor));
    if (end == std::string_view::npos) {
        field.assign(text.substr(size_t(cursor)));
        cursor = -1;
    } else {
        field.assign(text.substr(size_t(cursor), end - size_t(cursor)));
        cursor = text[end] == ',' ? int32_t(end + 1) : -1;
    }
    return true;
}

}  // namespace

bool DelimitedFieldFirst(std::string_view text, char open, int32_t& cursor, std::string& field)
{
    size_t start = text.find(open);
    if (start == std::string_view::npos || start + 1 > size_t(INT32_MAX)) {
        cursor = -1;
        return false;
    }
    cursor = int32_t(start + 1);
    return ReadField(text, cursor, field);
}

bool DelimitedFieldNext(std::string_view text, int32_t& cursor, std::string& field)
{
    return ReadField(text, cursor, field);
}

bool SignatureFirstParameter(std::string_view signature, int32_t& cursor, std::string& type)
{
    if (!DelimitedFieldFirst(signature, '(', cursor, type))
        return false;
    if (type.empty() && cursor < 0) {
        // "()": no parameters at all.
        return false;
    }
    return true;
}

bool SignatureNextParameter(std::string_view signature, int32_t& cursor, std::string& type)
{
    return DelimitedFieldNext(signature, cursor, type);
}

ParsedType ParseTypeName(std::string_view name)
{
    for (int32_t code = kTypeVoid; code <= kTypeObjectArray; ++code) {
        if (name == TypeName(code))
            return {code, std::string()};
    }
    if (name.size() > 2 && name.substr(name.size() - 2) == "[]")
        return {kTypeObjectArray, std::string(name.substr(0, name.size() - 2))};
    return {kTypeObject, std::string(name)};
}

}  // namespace GSCompiler
