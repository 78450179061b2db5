// Recursive lock and its scoped holder.
#pragma once

#include <mutex>

namespace Nyx {

class CriticalSection {
public:
    void Enter() { m_.lock(); }
    bool TryEnter() { return m_.try_lock(); }
    void Leave() { m_.unlock(); }
    // Lockable interface, so std::lock_guard and std::condition_variable_any work.
    void lock() { m_.lock(); }
    bool try_lock() { return m_.try_lock(); }
    void unlock() { m_.unlock(); }

private:
    std::recursive_mutex m_;
};

class SingleLock {
public:
    explicit SingleLock(CriticalSection& cs) : cs_(cs) { cs_.Enter(); }
    ~SingleLock() { cs_.Leave(); }
    SingleLock(const SingleLock&) = delete;
    SingleLock& operator=(const SingleLock&) = delete;

private:
    CriticalSection& cs_;
};

}  // namespace Nyx
