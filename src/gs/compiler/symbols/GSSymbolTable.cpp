#include "gs/compiler/symbols/GSSymbolTable.h"

#include <algorithm>
#include <new>
#include <string>


namespace GSCompiler {

namespace {

constexpr uint32_t kBlockSize = uint32_t(std::max({sizeof(GSDependentSymbol), sizeof(GSVariableSymbol),
                                                   sizeof(GSFunctionSymbol), sizeof(GSClassSymbol)}));

using Key = GSLookupKey;

}  // namespace

GSSymbolTable::GSSymbolTable()
{
    kind = kSymbolTable;
    pool_.Init(kBlockSize, kBlocksPerChunk, 0);
    texts_.StartPages(kTextPageSize);
    global_.Init(kGlobalBuckets);
}

GSSymbolTable::~GSSymbolTable()
{
    for (int32_t level = scopeDepth_; level >= 0; --level)
        DestroyScope(level, false);
}

template <typename T>
T* GSSymbolTable::Create(std::string_view name, int32_t symbolKind)
{
    static_assert(sizeof(T) <= kBlockSize, "a symbol fits one block");
    const char* copy = texts_.CopyText(name);
    void* block = copy ? pool_.Alloc() : nullptr;
    if (!block)
        return nullptr;
    T* symbol = new (block) T;
    symbol->name = copy;
    symbol->kind = symbolKind;
    return symbol;
}

GSDependentSymbol* GSSymbolTable::CreateDependentSymbol(std::string_view name)
{
    return Create<GSDependentSymbol>(name, kSymbolDependency);
}

GSVariableSymbol* GSSymbolTable::CreateVariableSymbol(std::string_view name)
{
    return Create<GSVariableSymbol>(name, kSymbolVariable);
}

GSFunctionSymbol* GSSymbolTable::CreateFunctionSymbol(std::string_view name)
{
    return Create<GSFunctionSymbol>(name, kSymbolFunction);
}

GSClassSymbol* GSSymbolTable::CreateClassSymbol(std::string_view name)
{
    GSClassSymbol* symbol = Create<GSClassSymbol>(name, kSymbolClass);
    if (symbol)
        symbol->declaringFile = currentFile_;
    return symbol;
}

void GSSymbolTable::Destroy(GSSymbol* symbol) noexcept
{
    if (!symbol || symbol->owner)
        return;
    symbol->~GSSymbol();
    pool_.Free(symbol);
}

bool GSSymbolTable::Enter(GSSymbol& symbol, GSClassSymbol* inClass)
{
    if (symbol.owner)
        return false;
    symbol.scopeLevel = scopeDepth_;
    if (inClass) {
        if (!inClass->AddMember(symbol))
            return false;
        symbol.owner = inClass;
    } else {
        if (!global_.Insert(symbol))
            return false;
        symbol.owner = this;
    }
    symbol.nextInScope = scopes_[scopeDepth_];
    scopes_[scopeDepth_] = &symbol;
    if (symbol.Is(kSymbolFunction))
        currentFunction_ = static_cast<GSFunctionSymbol*>(&symbol);
    return true;
}

GSSymbol* GSSymbolTable::FindGlobal(const char* name, int32_t level) const
{
    Key key(name, level);
    return static_cast<GSSymbol*>(global_.Find(key).Node());
}

GSSymbol* GSSymbolTable::FindOrAdd(const char* name, GSClassSymbol* inClass)
{
    Key key(name, kAnyScope);
    GSSymbol* found = inClass ? inClass->FindMember(key) : nullptr;
    if (!found)
        found = static_cast<GSSymbol*>(global_.Find(key).Node());
    if (found)
        AddReference(*found);
    return found;
}

GSSymbol* GSSymbolTable::FindName(const char* name, GSClassSymbol* inClass)
{
    Key key(name, kAnyScope);
    GSSymbol* global = static_cast<GSSymbol*>(global_.Find(key).Node());
    GSSymbol* found = global && global->scopeLevel > 0 ? global : nullptr;
    if (!found && inClass)
        found = inClass->FindMember(key);
    if (!found)
        found = global;
    if (found)
        AddReference(*found);
    return found;
}

GSClassSymbol* GSSymbolTable::FindClass(const char* name)
{
    GSSymbol* found = FindGlobal(name, 0);
    if (!found || !found->Is(kSymbolClass))
        return nullptr;
    AddReference(*found);
    return static_cast<GSClassSymbol*>(found);
}

GSDependentSymbol* GSSymbolTable::FindDependency(std::string_view name) const
{
    const std::string text(name);
    Key key(text.c_str(), kAnyScope, kSymbolDependency);
    auto* symbol = static_cast<GSSymbol*>(global_.Find(key).Node());
    return symbol && symbol->Is(kSymbolDependency) ? static_cast<GSDependentSymbol*>(symbol) : nullptr;
}

int32_t GSSymbolTable::FindFunctions(const GSClassSymbol& inClass, std::string_view name, GSFunctionSymbol** found,
                                     int32_t capacity, int32_t argumentCount, bool searchBases) const
{
    int32_t count = 0;
    if (const std::vector<GSSymbol*>* named = inClass.FunctionsNamed(name)) {
        for (GSSymbol* member : *named) {
            if (count >= capacity)
                return count;
            auto* function = static_cast<GSFunctionSymbol*>(member);
            if (function->argumentSlots - 1 == argumentCount)
                found[count++] = function;
        }
    }
    if (count > 0 || !searchBases)
        return count;
    // Base lists hold no cycles (the resolver refuses them) and are bounded
    // in length, so this recursion is too.
    for (const GSClassSymbol::Base& base : inClass.bases) {
        if (base.direct && count < capacity)
            count += FindFunctions(*base.symbol, name, found + count, capacity - count, argumentCount, true);
    }
    return count;
}

int32_t GSSymbolTable::MemberSlot(const GSSymbol& member, const GSClassSymbol& fromClass) noexcept
{
    if (member.scopeLevel > 0 && member.owner && member.owner->Is(kSymbolTable))
        return member.index;
    const bool isFunction = member.Is(kSymbolFunction);
    if (!isFunction && !member.Is(kSymbolVariable))
        return -1;
    if (member.owner == &fromClass)
        return (isFunction ? fromClass.functionOffset : fromClass.fieldOffset) + member.index;
    for (const GSClassSymbol::Base& base : fromClass.bases) {
        if (base.symbol == member.owner) {
            return isFunction ? base.functionOffset + base.symbol->functionOffset + member.index
                              : base.fieldOffset + base.symbol->fieldOffset + member.index;
        }
    }
    return -1;
}

void GSSymbolTable::AddReference(GSSymbol& symbol) noexcept
{
    if (symbol.Is(kSymbolClass)) {
        if (symbol.referenceIndex < 0)
            symbol.referenceIndex = classReferences_++;
    } else if (symbol.Is(kSymbolFunction)) {
        if (symbol.referenceIndex < 0)
            symbol.referenceIndex = functionReferences_++;
        if (symbol.owner && symbol.owner->Is(kSymbolClass) && symbol.owner->referenceIndex < 0)
            symbol.owner->referenceIndex = classReferences_++;
    }
}

void GSSymbolTable::ResetReferences() noexcept
{
    for (int32_t level = 0; level <= scopeDepth_; ++level) {
        for (GSSymbol* s = scopes_[level]; s; s = s->nextInScope) {
            if (s->Is(kSymbolClass) || s->Is(kSymbolFunction))
                s->referenceIndex = -1;
        }
    }
    classReferences_ = functionReferences_ = 0;
}

bool GSSymbolTable::OpenScope() noexcept
{
    if (scopeDepth_ >= kMaxScopeDepth)
        return false;
    ++scopeDepth_;
    return true;
}

void GSSymbolTable::DestroyScope(int32_t level, bool unlink) noexcept
{
    for (GSSymbol* s = scopes_[level]; s;) {
        GSSymbol* next = s->nextInScope;
        if (unlink && s->owner)
            s->owner->Remove(*s);
        if (s == currentFunction_)
            currentFunction_ = nullptr;
        s->~GSSymbol();
        pool_.Free(s);
        s = next;
    }
    scopes_[level] = nullptr;
}

void GSSymbolTable::CloseScope() noexcept
{
    if (scopeDepth_ == 0)
        return;
    DestroyScope(scopeDepth_, true);
    --scopeDepth_;
}

bool GSSymbolTable::Remove(GSSymbol& member)
{
    Utils::IntrusiveHash::Position at = global_.Find(member);
    if (at.Node() != &member)
        return false;
    global_.Remove(at);
    return true;
}

void GSSymbolTable::Reset()
{
    for (int32_t level = scopeDepth_; level >= 0; --level)
        DestroyScope(level, false);
    scopeDepth_ = 0;
    global_.Init(kGlobalBuckets);
    pool_.Init(kBlockSize, kBlocksPerChunk, 0);
    texts_.Reset();
    texts_.StartPages(kTextPageSize);
    currentFunction_ = nullptr;
    currentFile_ = nullptr;
    currentContext_ = nullptr;
    classReferences_ = functionReferences_ = 0;
}

void GSSymbolTable::Clear() { Reset(); }

std::string GSSymbolTable::Describe() const
{
    std::string text = "Symbol Table";
    for (int32_t level = 0; level <= scopeDepth_; ++level) {
        // Each chain runs newest first; the dump reads oldest first.
        std::vector<const GSSymbol*> chain;
        for (const GSSymbol* s = scopes_[level]; s; s = s->nextInScope) {
            if (s->owner == this)
                chain.push_back(s);
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            text += '\n';
            text += (*it)->Describe();
        }
    }
    return text;
}

}  // namespace GSCompiler
