// The native object behind the script class Soup: a script's view of one
// config container. Soups the tool hands out as views of its own data are
// locked (read-only to scripts); soups scripts make are not.
//
// Tag names arrive in any case and are used lower-cased, so "A" and "a"
// name the same tag.
#pragma once

#include <utility>

#include "config/tree/ACSChunk.h"
#include "gs/runtime/objects/GSObject.h"

class GSMachine;

namespace GSRuntime {
class GSClass;
class GSThread;
}

class GSOSoup : public GSRuntime::GSObject {
public:
    // An empty, unlocked soup.
    explicit GSOSoup(GSRuntime::GSContext* context);
    // A locked view sharing the container (which may be null).
    GSOSoup(GSRuntime::GSContext* context, const ChunkRef& container);
    ~GSOSoup() override = default;

    // A new soup of either form with the script class attached and owned by
    // its instance (one count, the caller's); null without the class.
    static GSOSoup* Create(GSRuntime::GSContext* context);
    static GSOSoup* CreateLocked(GSRuntime::GSContext* context, const ChunkRef& container);

    const ChunkRef& Soup() const noexcept { return soup_; }
    // Native code gives the soup new content (null for none), locked or not.
    void SetSoup(ChunkRef soup) noexcept { soup_ = std::move(soup); }
    bool Locked() const noexcept { return locked_; }

    static void RegisterNatives(GSMachine& machine);
    static bool LoadScriptClass(GSMachine& machine);
    // The class its objects attach, from the system class slots.
    static GSRuntime::GSClass* ScriptClass() noexcept;

    void NativeCountTags(GSRuntime::GSThread& thread);
    void NativeGetNamedTag(GSRuntime::GSThread& thread);
    void NativeGetNamedSoup(GSRuntime::GSThread& thread);
    void NativeGetIndexedTagName(GSRuntime::GSThread& thread);
    void NativeGetIndexForNamedTag(GSRuntime::GSThread& thread);
    void NativeGetNamedTagAsKUID(GSRuntime::GSThread& thread);
    void NativeGetNamedTagAsInt(GSRuntime::GSThread& thread);
    void NativeGetNamedTagAsIntOr(GSRuntime::GSThread& thread);
    void NativeGetNamedTagAsFloat(GSRuntime::GSThread& thread);
    void NativeGetNamedTagAsFloatOr(GSRuntime::GSThread& thread);
    void NativeSetString(GSRuntime::GSThread& thread);
    void NativeSetFloat(GSRuntime::GSThread& thread);
    void NativeSetInt(GSRuntime::GSThread& thread);
    void NativeSetKUID(GSRuntime::GSThread& thread);
    void NativeSetNamedSoup(GSRuntime::GSThread& thread);
    void NativeRemoveNamedTag(GSRuntime::GSThread& thread);
    void NativeCopy(GSRuntime::GSThread& thread);
    void NativeClear(GSRuntime::GSThread& thread);
    void NativeIsLocked(GSRuntime::GSThread& thread);

private:
    // False, with the text raised, when the soup is locked.
    bool CheckUnlocked(GSRuntime::GSThread& thread, const char* text);
    // Parameter 1 as a lower-case interned tag name, strictly.
    static bool NameParam(GSRuntime::GSThread& thread, Nyx::PString& name);

    ChunkRef soup_;
    bool locked_;
};
