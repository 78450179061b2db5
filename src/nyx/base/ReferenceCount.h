// Intrusive, atomic reference counts. An object starts with no references;
// the holder that takes the first one owns it, and the release that drops the
// last one destroys it through DeleteThis.
#pragma once

#include <atomic>
#include <cstdint>

namespace Nyx {

class ProtectedLong {
public:
    explicit ProtectedLong(int32_t v = 0) noexcept : v_(v) {}
    int32_t Increment() noexcept { return v_.fetch_add(1, std::memory_order_acq_rel) + 1; }
    int32_t Decrement() noexcept { return v_.fetch_sub(1, std::memory_order_acq_rel) - 1; }
    int32_t Get() const noexcept { return v_.load(std::memory_order_acquire); }
    void Set(int32_t v) noexcept { v_.store(v, std::memory_order_release); }

private:
    std::atomic<int32_t> v_;
};

class ReferenceCount {
public:
    ReferenceCount() noexcept = default;
    ReferenceCount(const ReferenceCount&) noexcept {}  // a copy is a new object: no references
    ReferenceCount& operator=(const ReferenceCount&) noexcept { return *this; }
    virtual ~ReferenceCount() = default;

    void AddRef() noexcept { refs_.Increment(); }
    // Drops one reference; true when that was the last and the object is gone.
    bool Release() noexcept
    {
        if (refs_.Decrement() == 0) {
            DeleteThis();
            return true;
        }
        return false;
    }
    int32_t RefCount() const noexcept { return refs_.Get(); }

protected:
    virtual void DeleteThis() noexcept { delete this; }

private:
    ProtectedLong refs_;
};

// The engine keeps a separate multi-processor variant; here every count is
// atomic, so it is the same class.
using ReferenceCountMP = ReferenceCount;

}  // namespace Nyx
