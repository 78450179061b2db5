#include "nyx/scene/ReferencePoint.h"

namespace Nyx {

std::vector<PString> ReferencePoint::GetSubNames(const PString& name)
{
    std::vector<PString> parts;
    const std::string_view text = name.View();
    size_t from = 0;
    for (;;) {
        const size_t dot = text.find('.', from);
        parts.emplace_back(text.substr(from, dot == std::string_view::npos ? std::string_view::npos : dot - from));
        if (dot == std::string_view::npos)
            return parts;
        from = dot + 1;
    }
}

}  // namespace Nyx
