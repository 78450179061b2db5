// The names one compile knows. So far it holds the compile's source files
// (dependency symbols): each file is entered once, under its bare name,
// which compares without regard to case, and keeps its two checksums and
// the number under which the library lists it.
#pragma once

#include <cstdint>
#include <string_view>

#include "gs/support/BlockMemory.h"
#include "gs/support/FrameMemory.h"
#include "gs/support/IntrusiveHash.h"

namespace GSCompiler {

class GSSymbolTable;
class SourceContext;

enum SymbolKind : int32_t { kSymbolDependency = 1, kSymbolVariable = 2, kSymbolFunction = 3, kSymbolClass = 4, kSymbolTable = 5 };

class GSSymbol : public Utils::IHashNode {
public:
    static constexpr int32_t kAnyScope = -1;

    // h = 3h + c over the name's bytes taken as signed, in unsigned 32-bit
    // arithmetic; 0 without a name.
    uint32_t Hash() const noexcept override;
    // Dependency names compare without regard to case, all others byte by
    // byte; equal names order by scope level, the higher first, and a level
    // of kAnyScope on either side matches any.
    int Compare(const Utils::IHashNode& other) const noexcept override;

    const char* name = nullptr;
    int32_t index = -1;
    int32_t referenceIndex = -1;
    int32_t type = 12;
    int32_t scopeLevel = kAnyScope;
    uint32_t flags = 0;
    int32_t reserved = 0;
    int32_t kind = 0;
    GSSymbol* nextInScope = nullptr;
    // The class or the table that holds the symbol; null until entered.
    const void* owner = nullptr;
};

class GSDependentSymbol : public GSSymbol {
public:
    uint32_t sourceCrc = 0;
    uint32_t fileNameCrc = 0;
};

class GSSymbolTable {
public:
    static constexpr uint32_t kGlobalBuckets = 61;
    static constexpr uint32_t kTextPageSize = 4096;
    static constexpr uint32_t kBlockSize = 128;
    static constexpr uint32_t kBlocksPerChunk = 64;

    GSSymbolTable();
    GSSymbolTable(const GSSymbolTable&) = delete;
    GSSymbolTable& operator=(const GSSymbolTable&) = delete;
    ~GSSymbolTable();

    // A dependency symbol of that name, not yet entered; null when memory
    // runs out.
    GSDependentSymbol* CreateDependentSymbol(std::string_view name);
    // Enters a symbol in the global table at the current scope depth; false
    // when it was entered before or an equal one is there.
    bool Enter(GSSymbol& symbol);
    // The global symbol of that name at any level (a dependency name
    // without regard to case), or null.
    GSDependentSymbol* FindDependency(std::string_view name) const;

    // Forgets every symbol and name.
    void Clear();
    // Unnumbers every class and function reference, so only the file
    // checked next is numbered.
    void ResetReferences() noexcept;

    GSDependentSymbol* CurrentFile() const noexcept { return currentFile_; }
    void SetCurrentFile(GSDependentSymbol* file) noexcept { currentFile_ = file; }
    SourceContext* CurrentContext() const noexcept { return currentContext_; }
    void SetCurrentContext(SourceContext* context) noexcept { currentContext_ = context; }
    uint32_t Count() const noexcept { return global_.Count(); }

private:
    void DestroyAll() noexcept;

    Utils::BlockMemory pool_;
    Utils::FrameMemory texts_;
    int32_t scopeDepth_ = 0;
    Utils::IntrusiveHash global_;
    GSSymbol* entered_ = nullptr;  // every entered symbol, for clean-up
    GSDependentSymbol* currentFile_ = nullptr;
    SourceContext* currentContext_ = nullptr;
    int32_t classReferences_ = 0;
    int32_t functionReferences_ = 0;
};

}  // namespace GSCompiler
