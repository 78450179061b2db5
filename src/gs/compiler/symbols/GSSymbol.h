// The names one compile knows: source files (dependencies), variables,
// functions and classes. Symbols live in their table's block pool, their
// texts in its page memory; the table destroys them when their scope
// closes or when it is cleared.
#pragma once

#include <cstdint>
#include <string>

#include "gs/support/IntrusiveHash.h"

namespace GSCompiler {

class CompileSession;

enum SymbolKind : int32_t {
    kSymbolDependency = 1,
    kSymbolVariable = 2,
    kSymbolFunction = 3,
    kSymbolClass = 4,
    kSymbolTable = 5
};

// Flags the checker keeps on symbols beside the declaration specifiers
// (the low nine bits, as on syntax nodes).
enum SymbolFlags : uint32_t {
    kSymbolNoBody = 0x10000,      // a prototype not yet defined
    kSymbolHasThreads = 0x20000,  // a class with a thread function
};

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
    // Hash, and the hash of the name in lower case for lookups: dependency
    // names that differ only in case compare equal.
    void Hashes(uint32_t& hash, uint32_t& lookupHash) const noexcept override;

    // The symbol's description for the table dump.
    virtual std::string Describe() const;
    // Adds the description to a message sink, as one message.
    void Dump(CompileSession& sink) const;
    // Empties what the symbol owns.
    virtual void Clear() {}
    // Takes a member out of this symbol's table; false when it is none.
    virtual bool Remove(GSSymbol& member);

    bool Is(SymbolKind k) const noexcept { return kind == k; }

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
    GSSymbol* owner = nullptr;
};

// A symbol that only looks others up by its name (and level and kind): it
// is hashed once, however many tables it is looked up in.
class GSLookupKey : public GSSymbol {
public:
    explicit GSLookupKey(const char* text, int32_t level = kAnyScope, int32_t keyKind = 0)
    {
        name = text;
        scopeLevel = level;
        kind = keyKind;
        GSSymbol::Hashes(hash_, lookupHash_);
    }
    uint32_t Hash() const noexcept override { return hash_; }
    void Hashes(uint32_t& hash, uint32_t& lookupHash) const noexcept override
    {
        hash = hash_;
        lookupHash = lookupHash_;
    }

private:
    uint32_t hash_ = 0;
    uint32_t lookupHash_ = 0;
};

class GSDependentSymbol : public GSSymbol {
public:
    std::string Describe() const override;

    uint32_t sourceCrc = 0;
    uint32_t fileNameCrc = 0;
};

// Describes a variable or a function: "index:level:type name specifiers",
// the type followed by "<Class>" when it is a class.
std::string DescribeMember(const GSSymbol& symbol, const char* className);

class GSVariableSymbol : public GSSymbol {
public:
    std::string Describe() const override { return DescribeMember(*this, className); }

    // The class of an object or object-array type; null for none.
    const char* className = nullptr;
    // A define constant's value: its constant type (-1 for none yet), its
    // 32-bit value or its text.
    int32_t constantType = -1;
    union {
        int32_t number;
        float real;
        const char* text;
        uintptr_t bits;
    } constant{};
};

class GSFunctionSymbol : public GSSymbol {
public:
    std::string Describe() const override { return DescribeMember(*this, returnClass); }

    // "$return@Class::name(parameters)"; the symbol's name is the part after
    // "::".
    const char* signature = nullptr;
    // 1 ("me") + the parameters; the locals; the highest temporary slot.
    int32_t argumentSlots = 1;
    int32_t localSlots = 0;
    int32_t temporarySlots = 0;
    const char* returnClass = nullptr;
};

}  // namespace GSCompiler
