// The native object behind the script class Asset: a script's handle on one
// installed asset, by its resolved KUID. Its natives read the asset's
// information record, config, string table, dependencies, images and
// "kuid-table" through the asset's description and the daemon.
//
// Asset objects are shared: one object per (script context, resolved KUID),
// found through a process-wide list, and a process-wide map remembers which
// KUIDs the daemon resolved to others. Both are used without a lock, from
// the thread that runs scripts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "config/kuid/KUID.h"
#include "config/tree/ACSChunk.h"
#include "gs/runtime/objects/GSObject.h"
#include "kad/requests/AssetRecord.h"

class GSMachine;
class KestroBaseSpec;

namespace GSRuntime {
class GSClass;
class GSThread;
}

class GSOAsset : public GSRuntime::GSObject {
public:
    // Constructed through GetAssetObject only.
    GSOAsset(GSRuntime::GSContext* context, const KUID& kuid);
    ~GSOAsset() override;

    // The context's object for the KUID (resolved through the daemon),
    // with one reference added to its instance for whoever stores or pushes
    // it; null for the null KUID, one that resolves to nothing, or without
    // the script class.
    static GSOAsset* GetAssetObject(GSRuntime::GSContext* context, const KUID& kuid);
    // Pushes GetAssetObject's answer (null when none), handing over its
    // reference.
    static void Push(GSRuntime::GSThread& thread, GSRuntime::GSContext* context, const KUID& kuid);

    const KUID& Kuid() const noexcept { return kuid_; }
    const AssetRecord& Info();
    uint32_t LastUsed() const noexcept { return lastUsed_; }

    // Whether a script's image name stays inside the asset's folder: no
    // leading "/" and no ".." component, "\" read as "/".
    static bool ImageNameAllowed(std::string_view name) noexcept;

    // Living objects and remembered resolutions, for tests.
    static size_t Count() noexcept;
    static size_t ResolutionCount() noexcept;

    static void RegisterNatives(GSMachine& machine);
    static bool LoadScriptClass(GSMachine& machine);
    // The class its objects attach, from the system class slots.
    static GSRuntime::GSClass* ScriptClass() noexcept;

    void NativeGetKUID(GSRuntime::GSThread& thread);
    void NativeGetLocalisedName(GSRuntime::GSThread& thread);
    void NativeGetLocalisedDescription(GSRuntime::GSThread& thread);
    void NativeGetCreatorName(GSRuntime::GSThread& thread);
    void NativeLookupKUIDTable(GSRuntime::GSThread& thread);
    void NativeFindAsset(GSRuntime::GSThread& thread);
    void NativeGetStringTable(GSRuntime::GSThread& thread);
    void NativeGetConfigSoup(GSRuntime::GSThread& thread);
    void NativeGetDependencyList(GSRuntime::GSThread& thread);
    void NativeSupportsKestroBuildVersion(GSRuntime::GSThread& thread);
    void NativeLoadImage(GSRuntime::GSThread& thread);
    void NativeIsLocallyModified(GSRuntime::GSThread& thread);
    void NativeGetInfoURL(GSRuntime::GSThread& thread);
    void NativeGetIsFavorite(GSRuntime::GSThread& thread);
    void NativeSetIsFavorite(GSRuntime::GSThread& thread);
    void NativeGetParent(GSRuntime::GSThread& thread);
    void NativeGetCategoryEra(GSRuntime::GSThread& thread);
    void NativeGetCategoryRegion(GSRuntime::GSThread& thread);

private:
    // The living object of this context and KUID, with a reference added.
    static GSOAsset* Find(GSRuntime::GSContext* context, const KUID& kuid);
    // The description, found once and kept; the caller takes its own reference.
    KestroBaseSpec* Spec();
    // The "kuid-table" entry of parameter 1; false (with the exception
    // raised) when there is none.
    bool LookupTable(GSRuntime::GSThread& thread, KUID& out);

    KestroBaseSpec* spec_ = nullptr;  // one reference held
    KUID kuid_;
    GSOAsset* prev_ = nullptr;
    GSOAsset* next_ = nullptr;
    bool infoLoaded_ = false;
    AssetRecord info_;
    uint32_t lastUsed_ = 0;
    ChunkRef config_;
};
