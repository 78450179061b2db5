#include "config/results/ResultsLogRegistry.h"

#include <map>

#include "nyx/base/CriticalSection.h"

namespace {

struct Registry {
    Nyx::CriticalSection lock;
    std::map<uint32_t, ResultsLog*> logs;
};

// Never destroyed: a log that outlives static destruction still leaves it.
Registry& TheRegistry()
{
    static Registry* registry = new Registry;
    return *registry;
}

}  // namespace

void ResultsLogRegistry::Set(uint32_t key, ResultsLog* log)
{
    Registry& r = TheRegistry();
    Nyx::SingleLock hold(r.lock);
    r.logs[key] = log;
}

ResultsLog* ResultsLogRegistry::Get(uint32_t key)
{
    Registry& r = TheRegistry();
    Nyx::SingleLock hold(r.lock);
    auto it = r.logs.find(key);
    return it == r.logs.end() ? nullptr : it->second;
}

void ResultsLogRegistry::Remove(uint32_t key)
{
    Registry& r = TheRegistry();
    Nyx::SingleLock hold(r.lock);
    r.logs.erase(key);
}

void ResultsLogRegistry::Unregister(const ResultsLog* log)
{
    Registry& r = TheRegistry();
    Nyx::SingleLock hold(r.lock);
    std::erase_if(r.logs, [log](const auto& entry) { return entry.second == log; });
}
