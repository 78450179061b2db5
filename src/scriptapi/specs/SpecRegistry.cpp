#include "scriptapi/specs/SpecRegistry.h"

#include <atomic>
#include <string>

#include "config/formats/ConfigFile.h"
#include "config/tree/TDBContainerTag.h"
#include "core/process/Log.h"
#include "kad/requests/KADRequests.h"
#include "nyx/base/CriticalSection.h"
#include "scriptapi/UpdateTick.h"
#include "scriptapi/specs/GlimmerkitSpec.h"
#include "scriptapi/specs/KUIDResolutionCache.h"
#include "scriptapi/specs/SpecFactory.h"

namespace {

Nyx::CriticalSection& RegistryLock()
{
    static Nyx::CriticalSection lock;
    return lock;
}

std::atomic<SpecRegistry*> g_instance{nullptr};

template <class Ring, class T>
bool EraseFrom(Ring& ring, T entry)
{
    auto it = ring.Find(entry);
    if (it == ring.end())
        return false;
    ring.Erase(it);
    return true;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// The asset's config from its folder: the binary form when there is one.
ChunkRef LoadFolderConfig(const Nyx::File::Path& folder)
{
    Nyx::File::Path withSlash = folder;
    withSlash.EnsureTrailingSeparator();
    ChunkRef config;
    if (LoadConfigFile(config, withSlash.c_str(), "config.chump") && config)
        return config;
    config = ChunkRef();
    if (LoadConfigFile(config, withSlash.c_str(), "config.txt"))
        return config;
    return ChunkRef();
}

}  // namespace

SpecRegistry::SpecRegistry() : buckets_(new BucketRing[kBucketCount])
{
    g_instance.store(this, std::memory_order_release);
}

SpecRegistry::~SpecRegistry()
{
    PurgeAndReportLeaks();
    Nyx::SingleLock hold(RegistryLock());
    // Descriptions still held outlive the registry: they must not reach back into
    // it when they go.
    SpecRegistry* self = this;
    g_instance.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
    for (uint32_t i = 0; i < kBucketCount; ++i)
        buckets_[i].Clear();
    active_.Clear();
    pending_.Clear();
    factories_.Clear();
}

SpecRegistry* SpecRegistry::Instance() noexcept { return g_instance.load(std::memory_order_acquire); }

uint32_t SpecRegistry::BucketOf(const KUID& kuid) noexcept
{
    const uint32_t w0 = static_cast<uint32_t>(kuid.user);
    const uint32_t w1 = static_cast<uint32_t>(kuid.content);
    const uint32_t w2 = static_cast<uint32_t>(kuid.version);
    return ((w1 << 5) ^ w2 ^ w0) % kBucketCount;
}

GlimmerkitSpec* SpecRegistry::LookUp(const KUID& kuid)
{
    // The content id first: many assets share their author's user id.
    for (const TableEntry& entry : buckets_[BucketOf(kuid)]) {
        if (entry.kuid.content == kuid.content && entry.kuid == kuid)
            return entry.spec;
    }
    return nullptr;
}

GlimmerkitSpec* SpecRegistry::Find(const KUID& kuid)
{
    if (kuid == KUID::Null || kuid == kReservedKUID)
        return nullptr;
    Nyx::SingleLock hold(RegistryLock());
    GlimmerkitSpec* spec = LookUp(kuid);
    // Counted before the lock goes: a purge on another thread would
    // otherwise see the count 0 and delete the description under the caller.
    if (spec)
        spec->AddReference();
    return spec;
}

bool SpecRegistry::KeepAfterRetire(GlimmerkitSpec* spec)
{
    spec->Retire();
    return spec->StaysRegistered() && !spec->HasNullKUID();
}

GlimmerkitSpec* SpecRegistry::FindByKUID(GlimmerkitSpec*& out, const KUID& kuid, AcceptFilter filter, bool keep)
{
    out = nullptr;
    if (kuid == KUID::Null)
        return nullptr;
    KUIDResolutionCache& cache = KUIDResolutionCache::Instance();
    cache.ResetIfPending();

    KUID resolved;
    if (cache.Lookup(kuid, resolved)) {
        if (resolved == KUID::Null)
            return nullptr;
    } else {
        resolved = KADRequests::ResolveKUID(kuid);
    }

    if (GlimmerkitSpec* found = Find(resolved)) {
        GlimmerkitSpec* result = nullptr;
        if (filter && !filter(found)) {
            cache.Store(kuid, resolved);
        } else if (!KeepAfterRetire(found)) {
            cache.Store(kuid, KUID::Null);
        } else {
            found->AddReference();
            result = found;
        }
        found->Release();
        out = result;
        return result;
    }

    Nyx::PString name;
    Nyx::File::Path path;
    KADRequests::GetAssetFilePath(resolved, 0, name, path);
    if (path.Empty()) {
        cache.Store(kuid, KUID::Null);
        return nullptr;
    }
    GlimmerkitSpec* loaded = nullptr;
    LoadSpec(loaded, resolved, path, filter, keep);
    if (loaded)
        cache.Store(kuid, resolved);
    out = loaded;
    return loaded;
}

GlimmerkitSpec* SpecRegistry::LoadSpec(GlimmerkitSpec*& out, const KUID& kuid, const Nyx::File::Path& folder,
                                       AcceptFilter filter, bool keep)
{
    out = nullptr;
    ChunkRef config = LoadFolderConfig(folder);
    if (config.IsNullOrUntyped() || config.ChildCount() == 0)
        return nullptr;

    Nyx::File::Path whole = folder;
    whole.RemoveTrailingSeparator();
    std::string parent(whole.Folder());
    const std::string last(whole.FileName());
    Nyx::File::Path parentPath(parent);
    if (parentPath.Length() > 1)
        parentPath.RemoveTrailingSeparator();

    GlimmerkitSpec* spec = nullptr;
    CreateSpec(spec, Nyx::PString(), Nyx::String(parentPath.Str()), Nyx::String(last), config, kuid);
    if (!spec)
        return nullptr;
    if (filter && !filter(spec)) {
        spec->Release();
        return nullptr;
    }
    if (!keep && !KeepAfterRetire(spec)) {
        spec->Release();
        return nullptr;
    }
    out = spec;
    return spec;
}

GlimmerkitSpec* SpecRegistry::CreateSpec(GlimmerkitSpec*& out, const Nyx::PString& archiveName,
                                         const Nyx::String& folder, const Nyx::String& subPath,
                                         const ChunkRef& config, const KUID& kuid)
{
    out = nullptr;
    Nyx::SingleLock hold(RegistryLock());
    const Nyx::PString kind = TDBContainerTag::GetString(config, Nyx::PString("kind"));
    QXSpecFactory* chosen = nullptr;
    for (QXSpecFactory* factory : factories_) {
        if (EqualsIgnoringCase(factory->Name().View(), kind.View())) {
            chosen = factory;
            break;
        }
    }
    if (!chosen)
        chosen = defaultFactory_;
    if (!chosen)
        return nullptr;
    GlimmerkitSpec* spec = chosen->Create(kuid, archiveName, folder, subPath, config);
    if (!spec)
        return nullptr;
    if (!Add(spec)) {
        delete spec;
        return nullptr;
    }
    spec->AddReference();
    out = spec;
    return spec;
}

bool SpecRegistry::Add(GlimmerkitSpec* spec)
{
    Nyx::SingleLock hold(RegistryLock());
    active_.Append(spec);
    buckets_[BucketOf(spec->GetKUID())].Append(TableEntry{spec->GetKUID(), spec});
    ++entries_;
    return true;
}

void SpecRegistry::Unregister(GlimmerkitSpec* spec)
{
    Nyx::SingleLock hold(RegistryLock());
    if (spec->HasNullKUID())
        spec->SetStaysRegistered(false);
    else
        spec->SetStaysRegistered(spec->CanStayRegistered());
    if (spec->StaysRegistered()) {
        spec->OnStayRegistered();
        return;
    }
    RemoveFromTable(spec);
    EraseFrom(active_, spec);
    if (pending_.Find(spec) == pending_.end())
        pending_.Append(spec);
}

bool SpecRegistry::RemoveFromTable(GlimmerkitSpec* spec)
{
    BucketRing& bucket = buckets_[BucketOf(spec->GetKUID())];
    for (auto it = bucket.begin(); it != bucket.end(); ++it) {
        if (it->spec == spec) {
            bucket.Erase(it);
            --entries_;
            return true;
        }
    }
    return false;
}

void SpecRegistry::Forget(GlimmerkitSpec* spec)
{
    Nyx::SingleLock hold(RegistryLock());
    EraseFrom(pending_, spec);
    // One the purge has just taken off the active list is not looked for
    // there again: a purge of many would read the list once for each.
    if (spec != purging_)
        EraseFrom(active_, spec);
    RemoveFromTable(spec);
}

bool SpecRegistry::PurgeUnused()
{
    Nyx::SingleLock hold(RegistryLock());
    bool deleted = false;
    for (auto it = active_.begin(); it != active_.end();) {
        GlimmerkitSpec* spec = *it;
        if (spec->ReferenceCount() != 0) {
            ++it;
            continue;
        }
        spec->DetachSafePointers();
        if (spec->ReferenceCount() != 0) {
            ++it;
            continue;
        }
        it = active_.Erase(it);
        purging_ = spec;
        delete spec;
        purging_ = nullptr;
        deleted = true;
    }
    return deleted;
}

void SpecRegistry::PurgeAndReportLeaks()
{
    Nyx::SingleLock hold(RegistryLock());
    // A pending description that someone still holds stays: deleting it would pull
    // it from under its holder. It is reported below instead.
    for (auto it = pending_.begin(); it != pending_.end();) {
        GlimmerkitSpec* spec = *it;
        if (spec->ReferenceCount() != 0) {
            ++it;
            continue;
        }
        it = pending_.Erase(it);
        delete spec;
    }
    while (PurgeUnused()) {
    }
    if (!active_.Empty() || !pending_.Empty()) {
        LogMessage("Leaked specs:");
        for (const SpecRing* ring : {&active_, &pending_}) {
            for (GlimmerkitSpec* spec : *ring)
                LogMessage("  (%4d) - %s", spec->ReferenceCount(), spec->Describe().c_str());
        }
    }
    while (!factories_.Empty()) {
        QXSpecFactory* factory = *factories_.begin();
        // The destructor takes it off the list; make sure it is off even
        // for a factory whose destructor does not.
        EraseFrom(factories_, factory);
        delete factory;
    }
}

void SpecRegistry::AddFactory(QXSpecFactory* factory)
{
    Nyx::SingleLock hold(RegistryLock());
    if (factory && factories_.Find(factory) == factories_.end())
        factories_.Append(factory);
}

void SpecRegistry::RemoveFactory(QXSpecFactory* factory)
{
    Nyx::SingleLock hold(RegistryLock());
    EraseFrom(factories_, factory);
    if (defaultFactory_ == factory)
        defaultFactory_ = nullptr;
}

void SpecRegistry::SetDefaultFactory(QXSpecFactory* factory)
{
    Nyx::SingleLock hold(RegistryLock());
    defaultFactory_ = factory;
}

QXSpecFactory* SpecRegistry::DefaultFactory()
{
    Nyx::SingleLock hold(RegistryLock());
    return defaultFactory_;
}

ChunkRef SpecRegistry::FindConfig(const KUID& kuid)
{
    GlimmerkitSpec* spec = Find(kuid);
    if (!spec)
        return ChunkRef();
    ChunkRef config = spec->Config();
    spec->Release();
    return config;
}

uint32_t SpecRegistry::EntryCount()
{
    Nyx::SingleLock hold(RegistryLock());
    return entries_;
}

uint32_t SpecRegistry::ActiveCount()
{
    Nyx::SingleLock hold(RegistryLock());
    return active_.Count();
}

uint32_t SpecRegistry::PendingCount()
{
    Nyx::SingleLock hold(RegistryLock());
    return pending_.Count();
}
