// A class: its own members in a table of their own, the bases it derives
// from once they are resolved (with where each base's fields and methods
// start inside it), and the base names still waiting to be resolved.
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "gs/compiler/symbols/GSSymbol.h"
#include "gs/support/IntrusiveHash.h"

namespace GSCompiler {

class GSClassSymbol : public GSSymbol {
public:
    static constexpr uint32_t kMemberBuckets = 31;
    // Field slots 0 and 1 of every object belong to the runtime.
    static constexpr int32_t kFirstFieldSlot = 2;

    struct Base {
        GSClassSymbol* symbol;
        int32_t fieldOffset;
        int32_t functionOffset;
        bool direct;
    };
    struct PendingBase {
        const char* name;
        int32_t line;
    };

    GSClassSymbol();

    // "========" rules around "level:name specifiers (file)::" and one
    // "offset:base," per base, then each member's description, a line each.
    std::string Describe() const override;
    void Clear() override;
    bool Remove(GSSymbol& member) override;

    // Enters a member: the next own field or function index. False when an
    // equal member is there.
    bool AddMember(GSSymbol& member);
    // The own member of that name (a key symbol's name and level), or null.
    GSSymbol* FindOwnMember(const GSSymbol& key) const noexcept;
    GSSymbol* FindOwnMember(const char* memberName) const;
    // The member of that name here or, depth first, in a resolved base.
    GSSymbol* FindMember(const GSSymbol& key) const noexcept;
    GSSymbol* FindMember(const char* memberName) const;
    // This class (offsets 0) or one of its resolved bases, by name.
    bool FindBase(const char* baseName, Base* found = nullptr) const noexcept;

    bool Resolved() const noexcept { return pending.empty(); }
    // The own functions named so (the part of their names before "("), in
    // the order entered.
    const std::vector<GSSymbol*>* FunctionsNamed(std::string_view functionName) const;

    std::vector<Base> bases;
    std::vector<PendingBase> pending;
    // The own members in the order they were entered.
    std::vector<GSSymbol*> members;
    GSSymbol* declaringFile = nullptr;
    int32_t ownFieldCount = 0;
    int32_t ownFunctionCount = 0;
    int32_t fieldOffset = kFirstFieldSlot;
    int32_t functionOffset = 0;
    // Set while the bases are being resolved, and when that failed (the
    // failure is reported once).
    bool resolving = false;
    bool resolveFailed = false;
    // The resolver's mark for telling which classes a base list holds.
    uint32_t visitMark = 0;

private:
    Utils::IntrusiveHash table_;
    // Calls look functions up by name alone, whatever their parameters. The
    // keys view the symbols' names, which the table's text memory keeps
    // until the table is cleared.
    std::unordered_map<std::string_view, std::vector<GSSymbol*>> functionsByName_;
};

}  // namespace GSCompiler
