#include "core/threads/BusyGate.h"

bool BusyGate::ClaimLocked()
{
    if (count_ != 0)
        return false;
    count_ = 1;
    busy_.store(1, std::memory_order_release);
    idle_.Reset();
    return true;
}

bool BusyGate::TryAcquire()
{
    Nyx::SingleLock guard(lock_);
    return ClaimLocked();
}

void BusyGate::Acquire()
{
    if (TryAcquire())
        return;
    {
        Nyx::SingleLock guard(lock_);
        ++waiters_;
    }
    // The event is manual-reset and only changed under lock_, so a release
    // between our failed claim and the wait leaves it set: no wake-up is lost.
    for (;;) {
        idle_.Wait();
        Nyx::SingleLock guard(lock_);
        if (ClaimLocked()) {
            --waiters_;
            return;
        }
    }
}

void BusyGate::Release()
{
    Nyx::SingleLock guard(lock_);
    // A stray second release must not wrap the count, which would leave the
    // gate claimed for good.
    if (count_ != 0)
        --count_;
    busy_.store(0, std::memory_order_release);
    idle_.Set();
}
