#include "kad/client/Housekeeping.h"

#include "core/process/ProcessState.h"
#include "nyx/base/PString.h"

void PurgeUnusedResources()
{
    if (!IsMainThread())
        return;
    if (UnusedResourceDropper drop = GetUnusedResourceDropper())
        drop();
    Nyx::PStringCache::CollectGarbage();
}
