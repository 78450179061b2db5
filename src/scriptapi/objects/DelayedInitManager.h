// The list of objects whose set-up phases are still to run, kept by a
// script context; RunPending runs them in the order they came.
#pragma once

#include <cstdint>

#include "core/containers/BlockRing.h"

class DelayedInitClient;

class DelayedInitManager {
public:
    using ClientRing = BlockRing<DelayedInitClient*, 64>;

    DelayedInitManager() = default;
    DelayedInitManager(const DelayedInitManager&) = delete;
    DelayedInitManager& operator=(const DelayedInitManager&) = delete;
    // Clients still waiting are let go: they no longer count as waiting.
    virtual ~DelayedInitManager();

    // Runs every waiting client's phases, those that join meanwhile too.
    void RunPending();

    const ClientRing& WaitingClients() const noexcept { return waiting_; }

private:
    friend class DelayedInitClient;

    void Append(DelayedInitClient* client) { waiting_.Append(client); }
    // Searches from the back, where the newest clients are.
    bool Erase(DelayedInitClient* client);

    ClientRing waiting_;
};
