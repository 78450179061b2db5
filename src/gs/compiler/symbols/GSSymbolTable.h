// The symbol table of one compile, shared by all its files: the global
// table (source files, classes, and the locals of the function being
// checked, each at the scope depth it was declared at), the scope chains,
// and the numbering of the classes and functions the compiled file refers
// to, which the library lists as its references.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "gs/compiler/symbols/GSClassSymbol.h"
#include "gs/compiler/symbols/GSSymbol.h"
#include "gs/support/BlockMemory.h"
#include "gs/support/FrameMemory.h"
#include "gs/support/IntrusiveHash.h"

namespace GSCompiler {

class SourceContext;

class GSSymbolTable : public GSSymbol {
public:
    static constexpr uint32_t kGlobalBuckets = 61;
    static constexpr uint32_t kTextPageSize = 4096;
    static constexpr uint32_t kBlocksPerChunk = 64;
    // Scope levels run from 0 (the global scope) to kMaxScopeDepth.
    static constexpr int32_t kMaxScopeDepth = 63;

    GSSymbolTable();
    GSSymbolTable(const GSSymbolTable&) = delete;
    GSSymbolTable& operator=(const GSSymbolTable&) = delete;
    ~GSSymbolTable() override;

    // New symbols, not yet entered: the name copied, the kind set, index
    // and reference index -1, type 12. A class records the current file as
    // the one declaring it. Null when memory runs out.
    GSDependentSymbol* CreateDependentSymbol(std::string_view name);
    GSVariableSymbol* CreateVariableSymbol(std::string_view name);
    GSFunctionSymbol* CreateFunctionSymbol(std::string_view name);
    GSClassSymbol* CreateClassSymbol(std::string_view name);
    // Destroys a symbol that was never entered.
    void Destroy(GSSymbol* symbol) noexcept;
    // A copy of a text that lives as long as the table's symbols; null when
    // memory runs out.
    const char* CopyText(std::string_view text) { return texts_.CopyText(text); }

    // Enters a symbol at the current scope depth: into the class's members
    // (with the next field or function index) when a class is given, else
    // into the global table. Entering a function makes it the current one.
    // False when it was entered before or an equal one is there.
    bool Enter(GSSymbol& symbol, GSClassSymbol* inClass = nullptr);

    // The lookup of a name used in code: with a class, its own members,
    // then its resolved bases' depth first, then the scopes out to the
    // global table; without, the global table at any level. A class or
    // function found is numbered (AddReference).
    GSSymbol* FindOrAdd(const char* name, GSClassSymbol* inClass);
    // The lookup of a name used as a value: a local of the open scopes,
    // else a member of the class or its resolved bases, else a global
    // symbol; numbered as by FindOrAdd.
    GSSymbol* FindName(const char* name, GSClassSymbol* inClass);
    // The global symbol of that name at the given level (kAnyScope: the
    // innermost), not numbered.
    GSSymbol* FindGlobal(const char* name, int32_t level = kAnyScope) const;
    GSSymbol* FindGlobal(std::string_view name, int32_t level = kAnyScope) const
    {
        return FindGlobal(std::string(name).c_str(), level);
    }
    // The class of that name, numbered; null when there is none.
    GSClassSymbol* FindClass(const char* name);
    GSClassSymbol* FindClass(std::string_view name) { return FindClass(std::string(name).c_str()); }
    // The source file of that name (compared without regard to case).
    GSDependentSymbol* FindDependency(std::string_view name) const;

    // Collects, up to `capacity`, the functions of the class named `name`
    // that take `argumentCount` arguments; when the class has none and
    // `searchBases` is set, those of each direct base in turn (each base
    // searched the same way). Returns the number collected.
    int32_t FindFunctions(const GSClassSymbol& inClass, std::string_view name, GSFunctionSymbol** found,
                          int32_t capacity, int32_t argumentCount, bool searchBases) const;
    // The class itself (offsets 0) or one of its resolved bases.
    static bool FindBase(const GSClassSymbol& inClass, const char* baseName, GSClassSymbol::Base* found = nullptr)
    {
        return inClass.FindBase(baseName, found);
    }
    // The slot of a field or the method index of a function as seen from a
    // class; a local's frame slot; -1 when the member is none of these.
    static int32_t MemberSlot(const GSSymbol& member, const GSClassSymbol& fromClass) noexcept;

    // Gives a class or function its reference number when it has none (a
    // function's class too).
    void AddReference(GSSymbol& symbol) noexcept;
    // Unnumbers every class and function reference, so only the file
    // checked next is numbered.
    void ResetReferences() noexcept;
    int32_t ClassReferenceCount() const noexcept { return classReferences_; }
    int32_t FunctionReferenceCount() const noexcept { return functionReferences_; }

    // False, with nothing opened, at the deepest level.
    bool OpenScope() noexcept;
    // Destroys the innermost scope's symbols, taking each out of the table
    // or class that holds it. The global scope is never closed.
    void CloseScope() noexcept;
    int32_t ScopeDepth() const noexcept { return scopeDepth_; }

    // Forgets every symbol and name.
    void Clear() override;
    bool Remove(GSSymbol& member) override;
    // "Symbol Table", then every symbol from the global scope's oldest on.
    std::string Describe() const override;

    GSDependentSymbol* CurrentFile() const noexcept { return currentFile_; }
    void SetCurrentFile(GSDependentSymbol* file) noexcept { currentFile_ = file; }
    SourceContext* CurrentContext() const noexcept { return currentContext_; }
    void SetCurrentContext(SourceContext* context) noexcept { currentContext_ = context; }
    GSFunctionSymbol* CurrentFunction() const noexcept { return currentFunction_; }
    void SetCurrentFunction(GSFunctionSymbol* function) noexcept { currentFunction_ = function; }
    uint32_t Count() const noexcept { return global_.Count(); }
    // Calls visit(symbol) for every symbol of the global table, in its
    // bucket order.
    template <typename Visit>
    void ForEachGlobal(Visit visit) const
    {
        for (Utils::IHashNode* n = global_.Begin(); n; n = global_.Next(*n))
            visit(*static_cast<GSSymbol*>(n));
    }

    // The resolver stamps the classes of one base list with a fresh mark.
    uint32_t NextVisitMark() noexcept { return ++visitMark_; }

private:
    template <typename T>
    T* Create(std::string_view name, int32_t kind);
    void DestroyScope(int32_t level, bool unlink) noexcept;
    void Reset();

    Utils::BlockMemory pool_;
    Utils::FrameMemory texts_;
    int32_t scopeDepth_ = 0;
    GSSymbol* scopes_[kMaxScopeDepth + 1] = {};
    Utils::IntrusiveHash global_;
    GSFunctionSymbol* currentFunction_ = nullptr;
    GSDependentSymbol* currentFile_ = nullptr;
    SourceContext* currentContext_ = nullptr;
    int32_t classReferences_ = 0;
    int32_t functionReferences_ = 0;
    uint32_t visitMark_ = 0;
};

}  // namespace GSCompiler
