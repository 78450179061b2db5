// The tool's script context: the world that asset scripts run in, and the
// natives of its script class KestroScriptBase (clock, asset searches, the
// system-call hook, opening a URL, logging). The tool's own roads make
// none; test programs make one to run scripts.
//
// The context's operations are virtual so that a host with a menu, a
// browser or a parent world can answer them; this tool answers each with
// nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/kuid/KUID.h"
#include "config/kuid/KUIDRing.h"
#include "config/results/KestroProperty.h"
#include "config/tree/ACSChunk.h"
#include "gs/runtime/objects/GSContext.h"
#include "nyx/base/PString.h"
#include "scriptapi/objects/DelayedInitManager.h"
#include "scriptapi/world/WorldList.h"

class GSMachine;
class GSOLibrary;
struct KNIObject;

// Objects made in the context wait in its delayed-initialisation manager
// until their set-up phases run.
class KestroScriptContext : public GSRuntime::GSContext, public DelayedInitManager, public IdentifiableType {
public:
    explicit KestroScriptContext(GSMachine* machine = nullptr);
    ~KestroScriptContext() override;

    virtual void SetSystemMenuIcon(GSOLibrary* library, const KUID& icon, const Nyx::PString& text,
                                   const Nyx::PString& tooltip);
    virtual void BlinkSystemMenuIcon(GSOLibrary* library, int32_t count);
    virtual void ShowSystemMenuIconMenu(GSOLibrary* library, GSRuntime::GSObject* menu);
    // Gives the call's result container (null here: the arguments are only
    // written out as config text).
    virtual void SystemCall(ChunkRef& result, const Nyx::PString& name, const ChunkRef& arguments);
    virtual bool OpenURL(const Nyx::PString& url);
    virtual void LibraryAdded(GSOLibrary* library);
    virtual KestroScriptContext* ParentContext();

    // While nonzero no Library may join the context.
    uint32_t listLocked = 0;
    // The Library objects of the asset libraries scripts of this context
    // use; emptied first when the context ends.
    WorldList libraries;

    // The Library object of a library asset in this context, made and
    // started on first use; null (logged) when there is none or its script
    // failed at start. The null KUID gives null without a word.
    GSOLibrary* GetScriptLibrary(const KUID& kuid);
    // The plug-in "<data root>/bin/plugins/<name>.so" started with this
    // context's handle: its library object, or null. Names that could
    // leave the folder are refused.
    static KNIObject* LoadNativePlugin(KestroScriptContext* context, const Nyx::PString& name);
    static bool PluginNameAllowed(std::string_view name);
    // What this context's plug-ins are given.
    KNIObject* NativeInterfaceHandle() const noexcept { return nativeInterface_; }

    static void RegisterNatives(GSMachine& machine);

    void NativeGetSeconds(GSRuntime::GSThread& thread);
    void NativeGetLibrary(GSRuntime::GSThread& thread);
    void NativeFindAsset(GSRuntime::GSThread& thread);
    void NativeGetAssetList(GSRuntime::GSThread& thread);
    void NativeGetAssetListInCategory(GSRuntime::GSThread& thread);
    void NativeSearchAssets(GSRuntime::GSThread& thread);
    void NativeFindUpdatedAssets(GSRuntime::GSThread& thread);
    void NativeKestroSystemCall(GSRuntime::GSThread& thread);
    void NativeOpenURL(GSRuntime::GSThread& thread);
    void NativeLog(GSRuntime::GSThread& thread);

private:
    // Pushes a new array of the Asset objects of the KUIDs (of their newest
    // versions with `newest`), those without an object left out.
    void PushAssetArray(GSRuntime::GSThread& thread, const KUIDRing& kuids, bool newest);
    // GetAssetList's search for the kind's category code (none: empty).
    void SearchKind(GSRuntime::GSThread& thread, const std::string& kind, const Nyx::String& code);

    KNIObject* nativeInterface_;
};
