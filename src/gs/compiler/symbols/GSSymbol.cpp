#include "gs/compiler/symbols/GSSymbol.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "gs/compiler/driver/CompileSession.h"
#include "gs/compiler/types/TypeNames.h"

namespace GSCompiler {

uint32_t GSSymbol::Hash() const noexcept
{
    uint32_t h = 0;
    if (name) {
        for (const char* c = name; *c; ++c)
            h = 3 * h + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*c)));
    }
    return h;
}

void GSSymbol::Hashes(uint32_t& hash, uint32_t& lookupHash) const noexcept
{
    uint32_t h = 0, folded = 0;
    if (name) {
        for (const char* c = name; *c; ++c) {
            const char lower = *c >= 'A' && *c <= 'Z' ? char(*c - 'A' + 'a') : *c;
            h = 3 * h + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*c)));
            folded = 3 * folded + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(lower)));
        }
    }
    hash = h;
    lookupHash = folded;
}

int GSSymbol::Compare(const Utils::IHashNode& otherNode) const noexcept
{
    const auto& other = static_cast<const GSSymbol&>(otherNode);
    const char* a = name ? name : "";
    const char* b = other.name ? other.name : "";
    int order;
    if (kind == kSymbolDependency && other.kind == kSymbolDependency) {
        order = ::strcasecmp(a, b);
    } else {
        // Names are short: a loop of its own beats a call. Bytes compare
        // unsigned, as strcmp does.
        while (*a && *a == *b) {
            ++a;
            ++b;
        }
        order = int(static_cast<unsigned char>(*a)) - int(static_cast<unsigned char>(*b));
    }
    if (order != 0)
        return order < 0 ? -1 : 1;
    if (scopeLevel == kAnyScope || other.scopeLevel == kAnyScope || scopeLevel == other.scopeLevel)
        return 0;
    return scopeLevel > other.scopeLevel ? -1 : 1;
}

std::string GSSymbol::Describe() const { return name ? name : ""; }

bool GSSymbol::Remove(GSSymbol&) { return false; }

void GSSymbol::Dump(CompileSession& sink) const { sink.AddMessage(Describe()); }

std::string GSDependentSymbol::Describe() const
{
    char crcs[64];
    std::snprintf(crcs, sizeof crcs, "\", crc 0x%X, filename crc 0x%X\n", sourceCrc, fileNameCrc);
    return std::string("\nDependent \"") + (name ? name : "") + crcs;
}

std::string DescribeMember(const GSSymbol& symbol, const char* className)
{
    std::string text = std::to_string(symbol.index) + ":" + std::to_string(symbol.scopeLevel) + ":";
    text += TypeName(symbol.type);
    if (className) {
        text += '<';
        text += className;
        text += '>';
    }
    text += ' ';
    text += symbol.name ? symbol.name : "";
    text += ' ';
    text += SpecifierNames(symbol.flags);
    return text;
}

}  // namespace GSCompiler
