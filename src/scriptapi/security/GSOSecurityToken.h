// The native object behind the script class SecurityToken: a capability a
// library (the issuer) hands to another asset's script. For each issuer,
// in the order they joined, it records which named rights it grants to
// which asset KUID. Library natives issue, re-issue, merge and check
// tokens; scripts can only ask whether an asset it names is modified.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <vector>

#include "config/kuid/KUID.h"
#include "gs/runtime/objects/GSObject.h"
#include "nyx/base/PString.h"

class GSMachine;
class WorldListItem;

namespace GSRuntime {
class GSArray;
class GSThread;
}

class GSOSecurityToken : public GSRuntime::GSObject {
public:
    // The three words in order.
    struct KUIDOrder {
        bool operator()(const KUID& a, const KUID& b) const noexcept
        {
            if (a.user != b.user)
                return a.user < b.user;
            if (a.content != b.content)
                return a.content < b.content;
            return a.version < b.version;
        }
    };
    using RightsSet = std::set<Nyx::PString>;
    using RightsTable = std::map<KUID, RightsSet, KUIDOrder>;
    struct IssuerEntry {
        WorldListItem* issuer;
        RightsTable records;
    };

    // The right that lets a holder re-issue a token, and the one the Asset
    // class checks; both interned once.
    static const Nyx::PString& DuplicateTokenRight();
    static const Nyx::PString& InfoURLRight();

    // One issuer granting the array's rights to the KUID. Both forms take
    // the SecurityToken class in the context when its slot holds one; who
    // owns the object is the caller's choice.
    GSOSecurityToken(GSRuntime::GSContext* context, WorldListItem* issuer, const KUID& kuid,
                     GSRuntime::GSArray* rights);
    // A deep copy of every entry.
    GSOSecurityToken(GSRuntime::GSContext* context, const GSOSecurityToken& source);
    ~GSOSecurityToken() override = default;

    // The set holds the array's strings afterwards and nothing else; other
    // elements are passed by.
    static void SetRights(RightsSet& set, GSRuntime::GSArray* rights);

    // Whether the issuer's first record for the KUID holds the right.
    static bool HasRight(const WorldListItem* issuer, const GSOSecurityToken& token, const KUID& kuid,
                         const Nyx::PString& right);

    // A copy for the caller to hand on, or null (an unauthorised caller is
    // logged).
    GSOSecurityToken* ReIssueToken(GSRuntime::GSContext* context, WorldListItem* caller, const KUID& kuid,
                                   GSRuntime::GSArray* rights) const;
    // The tokens of the array joined into a new one; null when it holds
    // none.
    static GSOSecurityToken* MergeSecurityTokens(GSRuntime::GSContext* context, GSRuntime::GSArray* tokens);

    // Whether an asset any record names is locally modified; each asset's
    // description asks the daemon once and remembers.
    bool OwnerLocallyModified() const;

    const std::vector<IssuerEntry>& Issuers() const noexcept { return issuers_; }
    // The entry of an issuer, or null.
    const IssuerEntry* FindIssuer(const WorldListItem* issuer) const noexcept;

    static void RegisterNatives(GSMachine& machine);
    void NativeIsOwnerLocallyModified(GSRuntime::GSThread& thread);

private:
    IssuerEntry* FindIssuer(const WorldListItem* issuer) noexcept;
    void AttachScriptClass(GSRuntime::GSContext* context);

    std::vector<IssuerEntry> issuers_;
};
