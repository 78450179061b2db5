#include "resources/archive/ArchiveCache.h"

#include <memory>

#include "nyx/base/CriticalSection.h"

namespace {

struct Entry {
    Nyx::PString name;
    KestroResourceDatabase* database = nullptr;
    uint32_t useCount = 0;
};

struct Cache {
    // Re-entrant: Acquire purges while it holds it.
    Nyx::CriticalSection lock;
    Entry rows[ArchiveCache::kMaxEntries];
    uint32_t count = 0;
};

// Never destroyed: archives still held at the end stay mounted until the
// process ends, and static destructors must not unmount them under a user.
Cache& TheCache()
{
    static Cache* cache = new Cache;
    return *cache;
}

}  // namespace

KestroResourceDatabase* ArchiveCache::Acquire(const Nyx::PString& name, const Nyx::File::Path& folder)
{
    Cache& cache = TheCache();
    Nyx::SingleLock hold(cache.lock);
    for (uint32_t i = 0; i < cache.count; ++i) {
        if (cache.rows[i].name == name) {
            ++cache.rows[i].useCount;
            return cache.rows[i].database;
        }
    }
    if (cache.count == kMaxEntries) {
        PurgeUnused();
        if (cache.count == kMaxEntries)
            return nullptr;
    }
    // ".ja" is appended, not set: a dotted archive name keeps its whole name.
    Nyx::File::Path archive = folder;
    archive.AddPath(name.View());
    archive = Nyx::File::Path(archive.Str() + ".ja");
    const bool isArchive = Nyx::File::Exists(archive) == 0 && !Nyx::File::IsFolder(archive);
    auto* database = new (std::nothrow) KestroResourceDatabase(folder, name, isArchive);
    if (!database)
        return nullptr;
    Entry& row = cache.rows[cache.count++];
    row.name = name;
    row.database = database;
    row.useCount = 1;
    return database;
}

void ArchiveCache::Release(KestroResourceDatabase* database)
{
    if (!database)
        return;
    Cache& cache = TheCache();
    Nyx::SingleLock hold(cache.lock);
    for (uint32_t i = 0; i < cache.count; ++i) {
        if (cache.rows[i].database == database) {
            // A release without a matching acquire must not wrap the count
            // round and pin the archive for good.
            if (cache.rows[i].useCount > 0)
                --cache.rows[i].useCount;
            return;
        }
    }
}

void ArchiveCache::PurgeUnused()
{
    Cache& cache = TheCache();
    Nyx::SingleLock hold(cache.lock);
    uint32_t i = 0;
    while (i < cache.count) {
        Entry& row = cache.rows[i];
        if (row.database && row.useCount == 0) {
            delete row.database;
            --cache.count;
            // The moved row is looked at next, in this same slot.
            row = cache.rows[cache.count];
            cache.rows[cache.count] = Entry();
        } else {
            ++i;
        }
    }
}

uint32_t ArchiveCache::GetEntryCount()
{
    Cache& cache = TheCache();
    Nyx::SingleLock hold(cache.lock);
    return cache.count;
}

int64_t ArchiveCache::GetUseCount(const Nyx::PString& name)
{
    Cache& cache = TheCache();
    Nyx::SingleLock hold(cache.lock);
    for (uint32_t i = 0; i < cache.count; ++i) {
        if (cache.rows[i].name == name)
            return cache.rows[i].useCount;
    }
    return -1;
}
