#include "gs/runtime/library/FunctionSignature.h"

#include <algorithm>
#include <iterator>

namespace GSRuntime {

namespace {

constexpr std::string_view kArraySuffix = "[]";

}  // namespace

bool FunctionSignature::Parse(std::string_view text, FunctionSignature& out) noexcept
{
    out = FunctionSignature{};
    std::string_view rest = text;
    if (!rest.empty() && rest.front() == '$') {
        const size_t at = rest.find('@');
        if (at == std::string_view::npos || at == 1)
            return false;
        out.returns = rest.substr(1, at - 1);
        rest.remove_prefix(at + 1);
    } else if (rest.substr(0, 2) != "::") {
        return false;
    }
    const size_t colons = rest.find("::");
    if (colons == std::string_view::npos)
        return false;
    out.tail = rest.substr(colons + 2);
    const size_t open = out.tail.find('(');
    if (open == 0 || open == std::string_view::npos || out.tail.back() != ')')
        return false;
    out.arguments = out.tail.substr(open + 1, out.tail.size() - open - 2);
    if (out.arguments.find_first_of("()") != std::string_view::npos)
        return false;
    if (!out.arguments.empty() &&
        (out.arguments.front() == ',' || out.arguments.back() == ',' ||
         out.arguments.find(",,") != std::string_view::npos))
        return false;
    return true;
}

uint32_t FunctionSignature::ReturnCode() const noexcept { return returns.empty() ? 0 : TypeCodeOf(returns); }

uint32_t FunctionSignature::ArgumentCount() const noexcept
{
    return arguments.empty() ? 0 : uint32_t(std::count(arguments.begin(), arguments.end(), ',')) + 1;
}

std::string_view FunctionSignature::Argument(uint32_t i) const noexcept
{
    std::string_view rest = arguments;
    for (; i > 0; --i)
        rest.remove_prefix(rest.find(',') + 1);
    return rest.substr(0, rest.find(','));
}

uint32_t TypeCodeOf(std::string_view typeName) noexcept
{
    static constexpr std::string_view kNames[] = {"void",   "bool",   "int",    "float",   "string",   "object",
                                                  "void[]", "bool[]", "int[]", "float[]", "string[]", "object[]"};
    constexpr uint32_t kObject = 5, kObjectArray = 11;
    const auto* named = std::find(std::begin(kNames), std::end(kNames), typeName);
    if (named != std::end(kNames))
        return uint32_t(named - std::begin(kNames));
    const bool array = typeName.size() > kArraySuffix.size() && typeName.ends_with(kArraySuffix);
    return array ? kObjectArray : kObject;
}

bool IsReferenceTypeCode(uint32_t code) noexcept { return code == 4 || code == 5 || (code >= 7 && code <= 11); }

}  // namespace GSRuntime
