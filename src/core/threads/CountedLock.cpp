#include "core/threads/CountedLock.h"

void CountedLock::Lock()
{
    cs_.Enter();
    ++count_;
}

void CountedLock::Unlock()
{
    --count_;
    cs_.Leave();
}
