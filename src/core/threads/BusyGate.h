// A one-holder gate that other threads can wait on: claimed by one thread,
// released by any (a job run elsewhere may be the one to release it).
#pragma once

#include <atomic>
#include <cstdint>

#include "nyx/base/CriticalSection.h"
#include "nyx/base/WEvent.h"

class BusyGate {
public:
    BusyGate() = default;
    BusyGate(const BusyGate&) = delete;
    BusyGate& operator=(const BusyGate&) = delete;

    // Claims the gate when it is free.
    bool TryAcquire();
    // Claims the gate, waiting for as long as it takes.
    void Acquire();
    // Frees the gate and wakes its waiters. The releasing thread need not be
    // the one that claimed it.
    void Release();

private:
    // Under lock_: claims when free.
    bool ClaimLocked();

    uint32_t count_ = 0;             // 0 free, 1 claimed
    std::atomic<uint8_t> busy_{0};   // 1 while claimed
    uint32_t waiters_ = 0;           // threads blocked in Acquire
    Nyx::CriticalSection lock_;      // guards the three fields
    Nyx::WEvent idle_{true, true};   // manual reset; set while the gate is free
};
