#include "nyx/base/Thread.h"

#include <atomic>
#include <chrono>
#include <system_error>

namespace Nyx {
namespace {

std::atomic<Thread::Id> g_nextId{1};

// 0 until the thread first asks; threads started here get theirs in Start,
// so GetId and CurrentId agree from the first instruction of the function.
thread_local Thread::Id t_currentId = 0;

}  // namespace

Thread::~Thread() { Join(); }

bool Thread::Start(std::function<void()> fn)
{
    if (t_.joinable() || !fn)
        return false;
    Id id = g_nextId.fetch_add(1, std::memory_order_relaxed);
    try {
        t_ = std::thread([id, fn = std::move(fn)]() {
            t_currentId = id;
            fn();
        });
    } catch (const std::system_error&) {
        return false;
    }
    id_ = id;
    return true;
}

void Thread::Join()
{
    if (!t_.joinable())
        return;
    // A thread cannot wait for itself; it lets go of its handle instead.
    if (t_.get_id() == std::this_thread::get_id())
        t_.detach();
    else
        t_.join();
}

Thread::Id Thread::CurrentId()
{
    if (t_currentId == 0)
        t_currentId = g_nextId.fetch_add(1, std::memory_order_relaxed);
    return t_currentId;
}

void Thread::Sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void Thread::Yield() { std::this_thread::yield(); }

}  // namespace Nyx
