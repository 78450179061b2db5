// The native object behind the script class KUID: one asset identity.
// Scripts get these only through KUIDObjectCache, so every KUID object a
// script holds is the one living object of its value.
#pragma once

#include "config/kuid/KUID.h"
#include "gs/runtime/objects/GSObject.h"

class GSMachine;

namespace GSRuntime {
class GSClass;
class GSThread;
}

class GSOKUID : public KUID, public GSRuntime::GSObject {
public:
    explicit GSOKUID(const KUID& kuid) : KUID(kuid) {}
    // Leaves the cache before the object part goes.
    ~GSOKUID() override;

    const KUID& Value() const noexcept { return *this; }

    static void RegisterNatives(GSMachine& machine);
    static bool LoadScriptClass(GSMachine& machine);
    // The class its objects attach, from the system class slots.
    static GSRuntime::GSClass* ScriptClass() noexcept;

    void NativeGetName(GSRuntime::GSThread& thread);
    void NativeGetHTMLString(GSRuntime::GSThread& thread);
    void NativeGetLogString(GSRuntime::GSThread& thread);
    void NativeGetBaseString(GSRuntime::GSThread& thread);
};
