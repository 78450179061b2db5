#include "resources/archive/SubstHandle.h"

#include "core/files/ContentRoot.h"
#include "resources/archive/ArchiveCache.h"

SubstHandle OpenSubst(const char* name)
{
    SubstHandle handle;
    if (!name || !*name) {
        handle.ok = true;
        return handle;
    }
    handle.database = ArchiveCache::Acquire(Nyx::PString(name), GetContentRootPath());
    handle.ok = handle.database != nullptr;
    return handle;
}

void CloseSubst(const SubstHandle& handle) { ArchiveCache::Release(handle.database); }

void SubstHandle::Close()
{
    ok = false;
    ArchiveCache::Release(database);
    database = nullptr;
}
