#include "kad/requests/AuthorNames.h"

#include <map>
#include <mutex>

#include "kad/requests/AssetRecord.h"
#include "kad/requests/KADRequests.h"

namespace {

std::mutex g_lock;
std::map<int32_t, Nyx::PString> g_names;

}  // namespace

Nyx::PString GetAuthorName(int32_t authorId)
{
    {
        std::lock_guard<std::mutex> hold(g_lock);
        auto found = g_names.find(authorId);
        if (found != g_names.end())
            return found->second;
    }
    // Asked without the lock: the call waits on the daemon.
    Nyx::PString name;
    if (!KADRequests::GetAuthorName(authorId, name))
        return Nyx::PString();
    std::lock_guard<std::mutex> hold(g_lock);
    g_names.emplace(authorId, name);
    return name;
}

Nyx::PString LookupAuthorName(const AssetRecord& record) { return GetAuthorName(record.authorId); }

void ClearAuthorNames()
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_names.clear();
}
