#include "gs/compiler/symbols/GSClassSymbol.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "gs/compiler/types/TypeNames.h"

namespace GSCompiler {

GSClassSymbol::GSClassSymbol()
{
    kind = kSymbolClass;
    table_.Init(kMemberBuckets);
}

std::string GSClassSymbol::Describe() const
{
    const std::string rule(40, '=');
    std::string text = rule + "\n" + std::to_string(scopeLevel) + ":" + (name ? name : "") + " " +
                       SpecifierNames(flags) + " (" +
                       (declaringFile && declaringFile->name ? declaringFile->name : "") + ")::";
    for (const Base& base : bases)
        text += std::to_string(base.fieldOffset) + ":" + (base.symbol->name ? base.symbol->name : "") + ",";
    text += '\n';
    text += rule;
    for (const GSSymbol* member : members) {
        text += '\n';
        text += member->Describe();
    }
    return text;
}

namespace {

// A function symbol's name is "name(types)"; its texts live as long as it.
std::string_view FunctionName(const GSSymbol& function)
{
    std::string_view name = function.name ? function.name : "";
    return name.substr(0, name.find('('));
}

}  // namespace

const std::vector<GSSymbol*>* GSClassSymbol::FunctionsNamed(std::string_view functionName) const
{
    auto it = functionsByName_.find(functionName);
    return it == functionsByName_.end() ? nullptr : &it->second;
}

void GSClassSymbol::Clear()
{
    table_.Init(kMemberBuckets);
    functionsByName_.clear();
    members.clear();
    bases.clear();
    pending.clear();
    ownFieldCount = ownFunctionCount = 0;
    fieldOffset = kFirstFieldSlot;
    functionOffset = 0;
}

bool GSClassSymbol::Remove(GSSymbol& member)
{
    Utils::IntrusiveHash::Position at = table_.Find(member);
    if (at.Node() != &member)
        return false;
    table_.Remove(at);
    members.erase(std::remove(members.begin(), members.end(), &member), members.end());
    if (member.Is(kSymbolFunction)) {
        auto it = functionsByName_.find(FunctionName(member));
        if (it != functionsByName_.end()) {
            std::vector<GSSymbol*>& named = it->second;
            named.erase(std::remove(named.begin(), named.end(), &member), named.end());
            if (named.empty())
                functionsByName_.erase(it);
        }
    }
    return true;
}

bool GSClassSymbol::AddMember(GSSymbol& member)
{
    if (!table_.Insert(member))
        return false;
    if (member.Is(kSymbolVariable))
        member.index = ownFieldCount++;
    else if (member.Is(kSymbolFunction))
        member.index = ownFunctionCount++;
    members.push_back(&member);
    if (member.Is(kSymbolFunction))
        functionsByName_[FunctionName(member)].push_back(&member);
    return true;
}

GSSymbol* GSClassSymbol::FindOwnMember(const GSSymbol& key) const noexcept
{
    return static_cast<GSSymbol*>(table_.Find(key).Node());
}

namespace {

using NameKey = GSLookupKey;

}  // namespace

GSSymbol* GSClassSymbol::FindOwnMember(const char* memberName) const
{
    return FindOwnMember(NameKey(memberName ? memberName : ""));
}

GSSymbol* GSClassSymbol::FindMember(const char* memberName) const
{
    return FindMember(NameKey(memberName ? memberName : ""));
}

GSSymbol* GSClassSymbol::FindMember(const GSSymbol& key) const noexcept
{
    if (GSSymbol* own = FindOwnMember(key))
        return own;
    // The base list holds every base, each direct one followed by the bases
    // it brought in: its order is depth first.
    for (const Base& base : bases) {
        if (GSSymbol* inherited = base.symbol->FindOwnMember(key))
            return inherited;
    }
    return nullptr;
}

bool GSClassSymbol::FindBase(const char* baseName, Base* found) const noexcept
{
    if (!baseName)
        return false;
    if (name && std::strcmp(name, baseName) == 0) {
        if (found)
            *found = Base{const_cast<GSClassSymbol*>(this), 0, 0, true};
        return true;
    }
    for (const Base& base : bases) {
        if (base.symbol->name && std::strcmp(base.symbol->name, baseName) == 0) {
            if (found)
                *found = base;
            return true;
        }
    }
    return false;
}

}  // namespace GSCompiler
