// A joinable thread with a numeric id, and the calling thread's id.
#pragma once

#include <cstdint>
#include <functional>
#include <thread>

namespace Nyx {

class Thread {
public:
    using Id = uint64_t;

    Thread() = default;
    ~Thread();  // joins a thread still running
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts the function on a new thread; false when one is already running
    // or the system refused to create it.
    bool Start(std::function<void()> fn);
    void Join();
    bool IsRunning() const { return t_.joinable(); }
    Id GetId() const { return id_; }

    static Id CurrentId();
    static void Sleep(uint32_t ms);
    static void Yield();

private:
    std::thread t_;
    Id id_ = 0;
};

}  // namespace Nyx
