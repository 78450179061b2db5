// A recursive lock that counts how deeply it is held. Every ResultsLog
// carries one.
#pragma once

#include <cstdint>

#include "nyx/base/CriticalSection.h"

class CountedLock {
public:
    CountedLock() = default;
    CountedLock(const CountedLock&) = delete;
    CountedLock& operator=(const CountedLock&) = delete;

    void Lock();
    void Unlock();

private:
    Nyx::CriticalSection cs_;
    uint32_t count_ = 0;  // Lock calls not yet matched by Unlock; only touched by the holder
};
