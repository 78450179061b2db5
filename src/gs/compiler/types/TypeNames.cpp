#include "gs/compiler/types/TypeNames.h"

#include <iterator>

#include "gs/compiler/parse/SyntaxNode.h"

namespace GSCompiler {

std::string_view TypeName(int32_t type) noexcept
{
    static constexpr std::string_view kNames[] = {"void",   "bool",   "int",     "float",    "string",
                                                  "object", "void[]", "bool[]",  "int[]",    "float[]",
                                                  "string[]", "object[]", "", "null"};
    if (type < 0 || type >= int32_t(std::size(kNames)))
        return "illegal type";
    return kNames[type];
}

std::string TypeName(int32_t type, std::string_view className)
{
    if (className.empty() || (type != kTypeObject && type != kTypeObjectArray))
        return std::string(TypeName(type));
    std::string name(className);
    if (type == kTypeObjectArray)
        name += "[]";
    return name;
}

std::string TypeNameOfNode(const SyntaxNode& node)
{
    return TypeName(node.type, node.className ? std::string_view(node.className) : std::string_view());
}

std::string_view ClassOfTypeNode(const SyntaxNode& typeNode) noexcept
{
    if (typeNode.detail != kTypeObject && typeNode.detail != kTypeObjectArray)
        return {};
    const SyntaxNode* name = typeNode.child[0];
    return name && name->value.text ? std::string_view(name->value.text) : std::string_view();
}

std::string TypeNameOfTypeNode(const SyntaxNode& typeNode)
{
    return TypeName(typeNode.detail, ClassOfTypeNode(typeNode));
}

std::string_view OperatorName(int32_t op) noexcept
{
    static constexpr std::string_view kNames[] = {
        "--", "++", ".",  "+",  "-",  "!",  "~",  "--",  "++",  "[,]", "[]",   "()",      "*",    "/",   "%",   "+",   "-",
        "<<", ">>", "<",  ">",  "<=", ">=", "==", "!=",  "&",   "^",   "|",    "and",     "or",   "=",   "size", "isclass",
        "copy", "new"};
    if (op < 0 || op >= int32_t(std::size(kNames)))
        return "";
    return kNames[op];
}

std::string SpecifierNames(uint32_t flags)
{
    struct Word {
        uint32_t flag;
        const char* text;
    };
    static constexpr Word kWords[] = {{kFlagPublic, "public "}, {kFlagNative, "native "},
                                      {kFlagStatic, "static "}, {kFlagFinal, "final "},
                                      {kFlagThread, "thread "}, {kFlagConstructor, "constructor "},
                                      {kFlagGame, "game "},     {kFlagSecured, "secured "},
                                      {kFlagDefine, "define "}};
    std::string names;
    for (const Word& w : kWords) {
        if (flags & w.flag)
            names += w.text;
    }
    return names;
}

}  // namespace GSCompiler
