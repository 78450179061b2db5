#include "core/threads/AppLock.h"

#include "core/threads/BlockingScreen.h"
#include "core/threads/JobQueue.h"
#include "core/process/ProcessState.h"
#include "nyx/base/PString.h"
#include "nyx/base/Time.h"

namespace {

// Constructed before main, whatever order the static initialisers run in.
[[maybe_unused]] AppLock& g_appLockAtStart = AppLock::Instance();

}  // namespace

AppLock& AppLock::Instance()
{
    static AppLock lock;
    return lock;
}

bool AppLock::TryAcquireLocked(bool exclusive, Nyx::Thread::Id self)
{
    bool granted;
    if (count_ == 0) {
        granted = exclusive || waiters_ == 0;
    } else if (holders_.Find(self) != holders_.end()) {
        if (!exclusive) {
            granted = true;
        } else {
            // Only a thread that already holds it exclusively, and alone, may
            // take it exclusively again; a shared holder never can.
            granted = busy_.load(std::memory_order_relaxed) != 0;
            for (auto it = holders_.begin(); granted && it != holders_.end(); ++it)
                granted = *it == self;
        }
    } else {
        granted = !exclusive && busy_.load(std::memory_order_relaxed) == 0 && waiters_ == 0;
    }
    if (!granted)
        return false;
    ++count_;
    if (exclusive)
        busy_.store(1, std::memory_order_relaxed);
    holders_.Append(self);
    return true;
}

bool AppLock::TryAcquire(bool exclusive)
{
    Nyx::SingleLock guard(lock_);
    return TryAcquireLocked(exclusive, Nyx::Thread::CurrentId());
}

bool AppLock::Release()
{
    Nyx::SingleLock guard(lock_);
    // A release without a matching acquisition would otherwise take away
    // another thread's hold, or wrap the count and leave the lock taken.
    auto it = holders_.Find(Nyx::Thread::CurrentId());
    if (it == holders_.end())
        return false;
    holders_.Erase(it);
    if (--count_ != 0)
        return false;
    busy_.store(0, std::memory_order_relaxed);
    return true;
}

void AppLock::Tidy(bool first)
{
    if (first)
        BlockingScreen::Instance().Show();
    else
        BlockingScreen::Instance().Refresh();
    if (UnusedResourceDropper drop = GetUnusedResourceDropper())
        drop();
    Nyx::PStringCache::CollectGarbage();
}

bool AppLock::Acquire(bool exclusive)
{
    const Nyx::Thread::Id self = Nyx::Thread::CurrentId();
    {
        Nyx::SingleLock guard(lock_);
        if (TryAcquireLocked(exclusive, self))
            return true;
        if (exclusive)
            ++waiters_;
    }
    const bool onMainThread = IsMainThread();
    uint32_t lastTidy = Nyx::Time::GetTickCount();
    bool screenShown = false;
    for (int32_t retry = -100;; ++retry) {
        {
            Nyx::SingleLock guard(lock_);
            if (TryAcquireLocked(exclusive, self)) {
                if (exclusive)
                    --waiters_;
                break;
            }
        }
        Nyx::Thread::Sleep(RetrySleepMs(retry));
        if (onMainThread) {
            uint32_t now = Nyx::Time::GetTickCount();
            if (now - lastTidy > tidyIntervalMs_) {
                lastTidy = now;
                Tidy(!screenShown);
                screenShown = true;
            }
            JobQueue::Instance().Process(JobQueue::kNotInLockWait);
        }
    }
    if (screenShown)
        BlockingScreen::Instance().Hide();
    return true;
}

bool AcquireAppLock(bool exclusive) { return AppLock::Instance().Acquire(exclusive); }

bool ReleaseAppLock() { return AppLock::Instance().Release(); }
