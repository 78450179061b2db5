// The script object of a library asset: a scriptable object whose class is
// the asset's script (a "Library"), kept in its context's Library list as a
// world item ('gslb'). Its natives call the library's native plug-in,
// issue, re-issue, merge and check security tokens, reach the asset's
// online access and drive a system-menu icon through the context.
#pragma once

#include <cstdint>

#include "config/results/NuMessageRecipient.h"
#include "scriptapi/library/KNI.h"
#include "scriptapi/objects/ScriptableObject.h"
#include "scriptapi/world/WorldListItem.h"

class GSMachine;
class GSOLibrarySpec;

namespace GSRuntime {
class GSArray;
class GSThread;
}

class GSOLibrary : public ScriptableObject, public WorldListItem, public NuMessageRecipient {
public:
    static constexpr uint32_t kTypeCode = 0x67736C62u;  // 'gslb'
    static constexpr const char* kGetPropertiesSignature = "$Soup@PropertyObject::GetProperties()";

    // The online-access object of an asset in a context, as its script
    // instance with one count for the caller; null when there is none. The
    // online module provides it.
    using OnlineAccessLookup = GSRuntime::GSSlot* (*)(KestroScriptContext& context, const KUID& asset);
    static void SetOnlineAccessLookup(OnlineAccessLookup lookup) noexcept;

    // Holds the description for its life; loads the description's plug-in, if it names one.
    GSOLibrary(KestroScriptContext* context, GSOLibrarySpec* spec);
    ~GSOLibrary() override;

    GlimmerkitSpec* GetSpec() override;
    // Whether the library has its description, and its KUID when asked,
    // without taking a reference (the object holds one for its life).
    bool HasSpec(KUID* kuid = nullptr) const noexcept;
    GSOLibrarySpec* LibrarySpec() const noexcept { return spec_; }
    KNIObject* Plugin() const noexcept { return plugin_; }

    // The script's properties as a new reference, or null (logged unless
    // the object failed).
    ChunkRef GetProperties();
    // Hands pending properties to the script.
    void SetLibraryProperties();

    // World item.
    uint32_t GetTypeCode() override { return kTypeCode; }
    KUID GetKUID() override;
    // A u32 0, then the properties as a binary config (an empty one when
    // the script gives none).
    void Save(TStream& stream) override;
    void Load(TStream& stream) override;

    // A "click" from the icon's source becomes the script message
    // "Interface"/"ClickSystemButton" (false: taken); anything else true.
    bool ReceiveMessage(NuMessageData& message) override;

    // The text the missing-plug-in report names the library by.
    Nyx::String Describe();

    static void RegisterNatives(GSMachine& machine);

    // Each gives false, a failed native call, when the library has no description
    // or a parameter does not pass.
    bool NativeGetOnlineAccess(GSRuntime::GSThread& thread);
    bool NativeLibraryCallNative(GSRuntime::GSThread& thread);
    bool NativeIssueSecurityToken(GSRuntime::GSThread& thread);
    bool NativeReIssueSecurityToken(GSRuntime::GSThread& thread);
    bool NativeMergeSecurityTokens(GSRuntime::GSThread& thread);
    bool NativeValidateByLibrary(GSRuntime::GSThread& thread);
    bool NativeValidateByKUID(GSRuntime::GSThread& thread);
    bool NativeAddSystemMenuIcon(GSRuntime::GSThread& thread);
    bool NativeBlinkSystemMenuIcon(GSRuntime::GSThread& thread);
    bool NativeRemoveSystemMenuIcon(GSRuntime::GSThread& thread);
    bool NativeShowSystemMenuIconMenu(GSRuntime::GSThread& thread);

    // The plug-in function's string answer, "" when it gives none.
    Nyx::String CallPlugin(const char* function, GSRuntime::GSArray* strings);

private:
    GSOLibrarySpec* spec_;
    uint8_t flag_ = 0;
    uint32_t iconSource_ = 0;
    KNIObject* plugin_ = nullptr;
};
