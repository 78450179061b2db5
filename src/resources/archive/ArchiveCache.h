// The archives the program has opened: each one mounted under its own name
// while it is cached, with a count of the users that hold it.
//
// An archive named X in a folder is the file X.ja there when there is one
// (recognised, not read), else the folder X, mounted as the engine mount X.
#pragma once

#include <cstdint>

#include "nyx/files/File.h"
#include "nyx/base/PString.h"
#include "resources/archive/KestroResourceDatabase.h"

class ArchiveCache {
public:
    static constexpr uint32_t kMaxEntries = 256;

    // The archive of that name with one more use; a new name is mounted from
    // the folder. Null when the table is full of archives in use. A name
    // already cached is returned whatever folder is given.
    static KestroResourceDatabase* Acquire(const Nyx::PString& name, const Nyx::File::Path& folder);
    // Gives one use back; the archive stays mounted until a purge. Null and
    // archives the cache does not hold are ignored.
    static void Release(KestroResourceDatabase* database);
    // Unmounts and forgets every archive nobody uses.
    static void PurgeUnused();

    // For diagnostics and tests: rows in the table, and the use count of a
    // name (-1 when not cached).
    static uint32_t GetEntryCount();
    static int64_t GetUseCount(const Nyx::PString& name);
};
