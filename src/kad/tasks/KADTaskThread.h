// The thread that works one KADTask, or the work itself run on the calling
// thread (RunInline). Subclasses put the work in Run.
#pragma once

#include <atomic>
#include <cstdint>

#include "nyx/files/File.h"
#include "nyx/base/Thread.h"

class KADTask;
struct statvfs;

class KADTaskThread {
public:
    // The least a task may find free on a volume it is to write to.
    static constexpr uint64_t kMinFreeBytes = 100ull << 20;

    using StatFunction = int (*)(const char* path, struct statvfs* out);

    KADTaskThread() = default;
    // Waits for the thread when it still runs. A subclass whose Run uses its
    // own members waits in its own destructor (Wait).
    virtual ~KADTaskThread();
    KADTaskThread(const KADTaskThread&) = delete;
    KADTaskThread& operator=(const KADTaskThread&) = delete;

    // Works the task on the calling thread and returns what Run returns.
    uint32_t RunInline(KADTask& task);
    // Works the task on a thread of its own; the task's finished hook is
    // called there when the work has ended. KADTask::Start calls this.
    bool Start(KADTask& task);
    // Until the thread started by Start has ended; at once without one.
    void Wait();

    // The bytes the volume of the folder has available to an unprivileged
    // caller are at least kMinFreeBytes; false when they cannot be learned.
    virtual bool HasEnoughDiskSpace(const Nyx::File::Path& folder) const;

    // The thread inside Run, 0 when none is.
    Nyx::Thread::Id WorkingThreadId() const noexcept { return workingThread_.load(std::memory_order_acquire); }
    KADTask* Task() const noexcept { return task_; }

    // For tests: what HasEnoughDiskSpace asks instead of statvfs; null puts
    // statvfs back.
    static void SetStatFunctionForTest(StatFunction stat);

protected:
    // The work; none here. The value is the thread's exit code.
    virtual uint32_t Run();

private:
    void Body();

    std::atomic<Nyx::Thread::Id> workingThread_{0};
    KADTask* task_ = nullptr;
    // Set once the thread has worked the task, so that it is not worked
    // twice; RunInline clears it.
    std::atomic<bool> done_{false};
    Nyx::Thread thread_;
};
