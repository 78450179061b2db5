// What the daemon resolved each requested KUID to, for the description lookups:
// a stored null KUID records that the asset has no description. The first lookup
// of a process empties it (the reset flag starts set).
#pragma once

#include <map>
#include <mutex>
#include <tuple>

#include "config/kuid/KUID.h"

class KUIDResolutionCache {
public:
    static KUIDResolutionCache& Instance();

    // Empties the map when the reset flag is set, and clears the flag.
    void ResetIfPending();
    // Sets the reset flag again (the next lookup starts empty).
    void RequestReset();
    bool Lookup(const KUID& requested, KUID& resolved) const;
    void Store(const KUID& requested, const KUID& resolved);
    size_t Count() const;

private:
    struct Order {
        bool operator()(const KUID& a, const KUID& b) const noexcept
        {
            return std::tie(a.user, a.content, a.version) < std::tie(b.user, b.content, b.version);
        }
    };

    mutable std::mutex lock_;
    std::map<KUID, KUID, Order> map_;
    bool resetPending_ = true;
};
