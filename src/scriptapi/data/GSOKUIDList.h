// The native object behind the script class KUIDList: a set of KUIDs in
// the order they were added. Lists the tool hands to scripts are locked
// copies; lists scripts make are not.
//
// Membership is a linear search, so filling a list costs quadratic time;
// script lists are short.
#pragma once

#include "config/kuid/KUIDRing.h"
#include "gs/runtime/objects/GSObject.h"

class GSMachine;

namespace GSRuntime {
class GSClass;
class GSThread;
}

class GSOKUIDList : public GSRuntime::GSObject {
public:
    // An empty, unlocked list.
    explicit GSOKUIDList(GSRuntime::GSContext* context);
    // A locked copy of the entries, in their order.
    GSOKUIDList(GSRuntime::GSContext* context, const KUIDRing& entries);
    ~GSOKUIDList() override = default;

    // Either form with the script class attached, owned by its instance
    // (one count, the caller's); null without the class.
    static GSOKUIDList* Create(GSRuntime::GSContext* context);
    static GSOKUIDList* CreateLocked(GSRuntime::GSContext* context, const KUIDRing& entries);

    const KUIDRing& List() const noexcept { return list_; }
    bool Locked() const noexcept { return locked_; }

    static void RegisterNatives(GSMachine& machine);
    static bool LoadScriptClass(GSMachine& machine);
    // The class its objects attach, from the system class slots.
    static GSRuntime::GSClass* ScriptClass() noexcept;

    void NativeCountKUIDs(GSRuntime::GSThread& thread);
    void NativeAddKUID(GSRuntime::GSThread& thread);
    void NativeRemoveKUID(GSRuntime::GSThread& thread);
    void NativeHasKUID(GSRuntime::GSThread& thread);
    void NativeGetIndexedKUID(GSRuntime::GSThread& thread);
    void NativeCopy(GSRuntime::GSThread& thread);
    void NativeClear(GSRuntime::GSThread& thread);
    void NativeIsLocked(GSRuntime::GSThread& thread);

private:
    bool CheckUnlocked(GSRuntime::GSThread& thread, const char* text);
    static void CopyEntries(KUIDRing& to, const KUIDRing& from);

    KUIDRing list_;
    bool locked_;
};
