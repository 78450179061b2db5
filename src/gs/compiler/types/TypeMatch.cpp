#include "gs/compiler/types/TypeMatch.h"

#include "gs/compiler/parse/SyntaxNode.h"

namespace GSCompiler {

TypeDescriptor DescriptorOf(const SyntaxNode& node) noexcept
{
    return {node.type, node.className ? std::string_view(node.className) : std::string_view()};
}

bool TypesMatch(const TypeDescriptor& a, const TypeDescriptor& b) noexcept
{
    if ((a.code == kTypeObject && b.code == kTypeNull) || (a.code == kTypeNull && b.code == kTypeObject))
        return true;
    if (a.code != b.code)
        return false;
    return a.code != kTypeObject || a.className == b.className;
}

bool SameType(const SyntaxNode& a, const SyntaxNode& b) noexcept { return TypesMatch(DescriptorOf(a), DescriptorOf(b)); }

bool SameTypeAndClass(int32_t type, std::string_view className, const SyntaxNode& node) noexcept
{
    return TypesMatch({type, className}, DescriptorOf(node));
}

bool MarkValueConsumed(SyntaxNode& node) noexcept
{
    if (!(node.flags & kFlagValueDiscarded))
        return false;
    node.flags |= kFlagValueConsumed;
    return true;
}

}  // namespace GSCompiler
