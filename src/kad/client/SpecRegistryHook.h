// The asset-description registry as the daemon client sees it. The registry itself
// belongs to the script classes, which sit above this library; the client
// only decides when one exists (from a successful start to the stop) and
// asks it for an asset's config before it asks the daemon.
//
// The script layer installs its factory at start-up, before the client
// starts. Without one the client holds a registry that never finds anything.
#pragma once

#include <memory>

#include "config/tree/ACSChunk.h"
#include "config/kuid/KUID.h"

class SpecRegistryHook {
public:
    using Factory = std::unique_ptr<SpecRegistryHook> (*)();

    SpecRegistryHook() = default;
    SpecRegistryHook(const SpecRegistryHook&) = delete;
    SpecRegistryHook& operator=(const SpecRegistryHook&) = delete;
    // Purges the registry.
    virtual ~SpecRegistryHook() = default;

    // A new reference to the config of the registered description of that asset,
    // its last use stamped; null when none is registered (always for the
    // null KUID).
    virtual ChunkRef FindConfig(const KUID& kuid) = 0;
    // Drops the descriptions nobody holds and logs those still held. The command
    // host runs it after every job; a registry without descriptions of its own has
    // nothing to drop.
    virtual void PurgeAndReportLeaks() {}

    // Null puts the empty registry back.
    static void SetFactory(Factory factory);
    // A registry from the installed factory, or the empty one.
    static std::unique_ptr<SpecRegistryHook> Create();
};
