#include "gs/compiler/symbols/GSSymbolTable.h"

#include <strings.h>

#include <cstring>
#include <new>
#include <string>

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

int GSSymbol::Compare(const Utils::IHashNode& otherNode) const noexcept
{
    const auto& other = static_cast<const GSSymbol&>(otherNode);
    const char* a = name ? name : "";
    const char* b = other.name ? other.name : "";
    int order = (kind == kSymbolDependency && other.kind == kSymbolDependency) ? ::strcasecmp(a, b)
                                                                              : std::strcmp(a, b);
    if (order != 0)
        return order < 0 ? -1 : 1;
    if (scopeLevel == kAnyScope || other.scopeLevel == kAnyScope || scopeLevel == other.scopeLevel)
        return 0;
    return scopeLevel > other.scopeLevel ? -1 : 1;
}

GSSymbolTable::GSSymbolTable()
{
    pool_.Init(kBlockSize, kBlocksPerChunk, 0);
    texts_.StartPages(kTextPageSize);
    global_.Init(kGlobalBuckets);
}

GSSymbolTable::~GSSymbolTable() { DestroyAll(); }

GSDependentSymbol* GSSymbolTable::CreateDependentSymbol(std::string_view name)
{
    static_assert(sizeof(GSDependentSymbol) <= kBlockSize, "a symbol fits one block");
    const char* copy = texts_.CopyText(name);
    void* block = copy ? pool_.Alloc() : nullptr;
    if (!block)
        return nullptr;
    auto* symbol = new (block) GSDependentSymbol;
    symbol->name = copy;
    symbol->kind = kSymbolDependency;
    return symbol;
}

bool GSSymbolTable::Enter(GSSymbol& symbol)
{
    if (symbol.owner)
        return false;
    symbol.scopeLevel = scopeDepth_;
    if (!global_.Insert(symbol))
        return false;
    symbol.owner = this;
    symbol.nextInScope = entered_;
    entered_ = &symbol;
    return true;
}

GSDependentSymbol* GSSymbolTable::FindDependency(std::string_view name) const
{
    std::string text(name);
    GSDependentSymbol key;
    key.name = text.c_str();
    key.kind = kSymbolDependency;
    key.scopeLevel = GSSymbol::kAnyScope;
    Utils::IHashNode* found = global_.Find(key).Node();
    auto* symbol = static_cast<GSSymbol*>(found);
    return symbol && symbol->kind == kSymbolDependency ? static_cast<GSDependentSymbol*>(symbol) : nullptr;
}

void GSSymbolTable::DestroyAll() noexcept
{
    for (GSSymbol* s = entered_; s;) {
        GSSymbol* next = s->nextInScope;
        s->~GSSymbol();
        s = next;
    }
    entered_ = nullptr;
}

void GSSymbolTable::Clear()
{
    DestroyAll();
    global_.Init(kGlobalBuckets);
    pool_.Init(kBlockSize, kBlocksPerChunk, 0);
    texts_.StartPages(kTextPageSize);
    scopeDepth_ = 0;
    currentFile_ = nullptr;
    currentContext_ = nullptr;
    classReferences_ = functionReferences_ = 0;
}

void GSSymbolTable::ResetReferences() noexcept
{
    for (GSSymbol* s = entered_; s; s = s->nextInScope) {
        if (s->kind == kSymbolClass || s->kind == kSymbolFunction)
            s->referenceIndex = -1;
    }
    classReferences_ = functionReferences_ = 0;
}

}  // namespace GSCompiler
