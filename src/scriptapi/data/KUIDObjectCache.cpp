#include "scriptapi/data/KUIDObjectCache.h"

#include <map>

#include "gs/runtime/interp/GSThread.h"
#include "scriptapi/binding/ScriptObjects.h"
#include "scriptapi/data/GSOKUID.h"

namespace {

struct WholeKUIDOrder {
    bool operator()(const KUID& a, const KUID& b) const noexcept
    {
        if (a.user != b.user)
            return a.user < b.user;
        if (a.content != b.content)
            return a.content < b.content;
        return a.version < b.version;
    }
};

std::map<KUID, GSOKUID*, WholeKUIDOrder>& Map()
{
    static auto* map = new std::map<KUID, GSOKUID*, WholeKUIDOrder>;
    return *map;
}

}  // namespace

GSOKUID* KUIDObjectCache::FindOrCreate(GSRuntime::GSContext* context, const KUID& kuid, bool* created)
{
    if (created)
        *created = false;
    auto& map = Map();
    if (auto it = map.find(kuid); it != map.end())
        return it->second;
    GSOKUID* object = ScriptObjects::Adopt(new GSOKUID(kuid), GSOKUID::ScriptClass(), context);
    if (!object)
        return nullptr;
    map.emplace(kuid, object);
    if (created)
        *created = true;
    return object;
}

void KUIDObjectCache::Push(GSRuntime::GSThread& thread, GSRuntime::GSContext* context, const KUID& kuid)
{
    bool created = false;
    GSOKUID* object = FindOrCreate(context, kuid, &created);
    if (created)
        ScriptObjects::PushNew(thread, object);
    else
        thread.stack.PushObjectRef(object);
}

size_t KUIDObjectCache::Count() noexcept
{
    return Map().size();
}

void KUIDObjectCache::Forget(const GSOKUID& object) noexcept
{
    auto& map = Map();
    if (auto it = map.find(object.Value()); it != map.end() && it->second == &object)
        map.erase(it);
}
