// The process-wide registry of asset descriptions: a hash table by KUID (4093
// buckets), the list of every registered description, the descriptions waiting to be
// deleted and the description factories. The daemon client creates it when it
// starts and destroys it when it stops; every operation holds one
// process-wide recursive lock, and description counts are atomic.
#pragma once

#include <cstdint>
#include <memory>

#include "config/kuid/KUID.h"
#include "config/tree/ACSChunk.h"
#include "core/containers/BlockRing.h"
#include "kad/client/SpecRegistryHook.h"
#include "nyx/files/File.h"
#include "nyx/base/PString.h"
#include "nyx/base/String.h"

class GlimmerkitSpec;
class QXSpecFactory;

class SpecRegistry : public SpecRegistryHook {
public:
    static constexpr uint32_t kBucketCount = 4093;
    // The KUID that never names an asset of its own.
    static constexpr KUID kReservedKUID{-1, -2, 127};

    // Which descriptions a lookup accepts; null accepts any.
    using AcceptFilter = bool (*)(const GlimmerkitSpec* spec);
    using SpecRing = BlockRing<GlimmerkitSpec*>;
    // A bucket keeps each description's KUID beside it, so a lookup compares
    // within the bucket's blocks instead of visiting every description. Its
    // blocks hold more than a bucket mostly does (about 25 with 100,000
    // descriptions), so that a lookup reads on in one block rather than
    // waiting for the next one to be fetched.
    struct TableEntry {
        KUID kuid;
        GlimmerkitSpec* spec;
    };
    using BucketRing = BlockRing<TableEntry, 32>;
    using FactoryRing = BlockRing<QXSpecFactory*>;

    // Becomes the process's registry.
    SpecRegistry();
    // Purges, reports the descriptions still held and stops being the process's.
    ~SpecRegistry() override;

    static SpecRegistry* Instance() noexcept;
    static uint32_t BucketOf(const KUID& kuid) noexcept;

    // The registered description of the KUID with one more reference; null for the
    // null and the reserved KUID.
    GlimmerkitSpec* Find(const KUID& kuid);
    // Finds the asset's description or loads it through the daemon; the result (also
    // left in `out`) carries one reference for the caller.
    GlimmerkitSpec* FindByKUID(GlimmerkitSpec*& out, const KUID& kuid, AcceptFilter filter, bool keep);
    // Loads the description of the asset in that folder; one reference for the
    // caller. The folder splits at its last component into folder and
    // sub-path.
    GlimmerkitSpec* LoadSpec(GlimmerkitSpec*& out, const KUID& kuid, const Nyx::File::Path& folder,
                             AcceptFilter filter, bool keep);
    // Chooses a factory by the config's kind and registers what it makes;
    // one reference for the caller.
    GlimmerkitSpec* CreateSpec(GlimmerkitSpec*& out, const Nyx::PString& archiveName, const Nyx::String& folder,
                               const Nyx::String& subPath, const ChunkRef& config, const KUID& kuid);
    bool Add(GlimmerkitSpec* spec);
    // Decides whether a retired description stays in the table; one that does not
    // waits on the pending list.
    void Unregister(GlimmerkitSpec* spec);
    // Deletes the registered descriptions nobody holds; true when any went.
    bool PurgeUnused();
    // Deletes the pending descriptions nobody holds and every unused one, logs
    // "Leaked specs:" with the descriptions still held, and deletes the factories.
    void PurgeAndReportLeaks() override;

    void AddFactory(QXSpecFactory* factory);
    void RemoveFactory(QXSpecFactory* factory);
    void SetDefaultFactory(QXSpecFactory* factory);
    QXSpecFactory* DefaultFactory();

    // The config of the registered description, its last use stamped.
    ChunkRef FindConfig(const KUID& kuid) override;

    uint32_t EntryCount();
    uint32_t ActiveCount();
    uint32_t PendingCount();

private:
    friend class GlimmerkitSpec;

    // Takes a description that is being destroyed out of every list and the table.
    void Forget(GlimmerkitSpec* spec);
    bool RemoveFromTable(GlimmerkitSpec* spec);
    GlimmerkitSpec* LookUp(const KUID& kuid);
    // Lets a description that is still retiring go unless it stays registered.
    static bool KeepAfterRetire(GlimmerkitSpec* spec);

    SpecRing active_;
    SpecRing pending_;
    FactoryRing factories_;
    std::unique_ptr<BucketRing[]> buckets_;
    uint32_t entries_ = 0;
    QXSpecFactory* defaultFactory_ = nullptr;
    // The description PurgeUnused is deleting, already off the active list.
    GlimmerkitSpec* purging_ = nullptr;
};

// The run-time type test of FindKestroBaseSpec.
bool IsKestroBaseSpec(const GlimmerkitSpec* spec);
