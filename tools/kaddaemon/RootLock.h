// The lock that makes one daemon the only one to serve a data root and
// change it: an flock on the root's "editing" folder, which no daemon
// renames or removes, so the root needs no file of its own for it. The
// kernel lets it go when the process ends, however it ends.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kaddaemon {

class RootLock {
public:
    RootLock() = default;
    ~RootLock() { Release(); }
    RootLock(const RootLock&) = delete;
    RootLock& operator=(const RootLock&) = delete;

    // Takes the lock on <root>/editing, trying for up to `waitMs` (0: once),
    // or until `giveUp` answers true. False when another process holds it
    // all that time, or the folder cannot be opened.
    bool Take(const std::string& root, int waitMs, const std::function<bool()>& giveUp = {});
    void Release() noexcept;
    bool Held() const noexcept { return fd_ >= 0; }

    // The process that holds the lock on <root>/editing, as the kernel's
    // lock table tells; 0 when none is found.
    static uint32_t Holder(const std::string& root);
    // "process N (name)", or "another process" when it is not known; for
    // the user, who may want to end or resume it.
    static std::string DescribeHolder(const std::string& root);

private:
    int fd_ = -1;
};

}  // namespace kaddaemon
