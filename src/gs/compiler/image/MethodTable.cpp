#include "gs/compiler/image/MethodTable.h"

#include <cstring>
#include <string_view>
#include <unordered_map>

#include "gs/compiler/driver/CompileSession.h"
#include "gs/compiler/symbols/GSClassSymbol.h"

namespace GSCompiler {

namespace {

// Up to this many inherited entries are compared one by one.
constexpr size_t kScanLimit = 16;

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
    // Own names are unique within the class, so an own function can only
    // replace inherited entries; those are found by name when there are
    // many of them.
    const size_t inherited = table.size();
    std::unordered_map<std::string_view, std::vector<size_t>> byName;
    if (inherited > kScanLimit) {
        for (size_t i = 0; i < inherited; ++i) {
            if (table[i].function->name)
                byName[table[i].function->name].push_back(i);
        }
    }
    for (GSSymbol* member : cls.members) {
        if (!member->Is(kSymbolFunction))
            continue;
        auto* own = static_cast<GSFunctionSymbol*>(member);
        auto replace = [&](MethodEntry& entry) {
            if (!SameName(*entry.function, *own))
                return true;
            if (ReturnPart(entry.function->signature) != ReturnPart(own->signature)) {
                if (sink) {
                    sink->AddMessage("Wrong return type on function: ");
                    sink->AddMessage(own->signature ? own->signature : "");
                    sink->AddMessage("\n");
                }
                return false;
            }
            entry = {own, 0};
            return true;
        };
        if (inherited <= kScanLimit) {
            for (size_t i = 0; i < inherited; ++i) {
                if (!replace(table[i]))
                    return false;
            }
        } else if (own->name) {
            const auto it = byName.find(own->name);
            if (it != byName.end()) {
                for (size_t i : it->second) {
                    if (!replace(table[i]))
                        return false;
                }
            }
        }
        table.push_back({own, 0});
    }
    return true;
}

}  // namespace GSCompiler
