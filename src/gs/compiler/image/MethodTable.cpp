#include "gs/compiler/image/MethodTable.h"

#include <cstring>
#include <string_view>

#include "gs/compiler/driver/CompileSession.h"
#include "gs/compiler/symbols/GSClassSymbol.h"

namespace GSCompiler {

namespace {

// "$type@": what a signature says of the return type.
std::string_view ReturnPart(const char* signature)
{
    const std::string_view text = signature ? signature : "";
    const size_t at = text.find('@');
    return text.substr(0, at == std::string_view::npos ? text.size() : at);
}

bool SameName(const GSFunctionSymbol& a, const GSFunctionSymbol& b)
{
    return a.name && b.name && std::strcmp(a.name, b.name) == 0;
}

}  // namespace

bool BuildMethodTable(const GSClassSymbol& cls, CompileSession* sink, std::vector<MethodEntry>& table)
{
    table.clear();
    // Base lists hold no cycles and are bounded, so this recursion is too.
    for (const GSClassSymbol::Base& base : cls.bases) {
        if (!base.direct)
            continue;
        std::vector<MethodEntry> inherited;
        if (!BuildMethodTable(*base.symbol, sink, inherited))
            return false;
        for (const MethodEntry& entry : inherited)
            table.push_back({entry.function, entry.partOffset + uint32_t(base.fieldOffset)});
    }
    for (GSSymbol* member : cls.members) {
        if (!member->Is(kSymbolFunction))
            continue;
        auto* own = static_cast<GSFunctionSymbol*>(member);
        for (MethodEntry& entry : table) {
            if (!SameName(*entry.function, *own))
                continue;
            if (ReturnPart(entry.function->signature) != ReturnPart(own->signature)) {
                if (sink) {
                    sink->AddMessage("Wrong return type on function: ");
                    sink->AddMessage(own->signature ? own->signature : "");
                    sink->AddMessage("\n");
                }
                return false;
            }
            entry = {own, 0};
        }
        table.push_back({own, 0});
    }
    return true;
}

}  // namespace GSCompiler
