// A long-running asset-database job: a results log that also hears the
// job's progress and status texts, and owns the thread that works it when
// it runs on one (KADTaskThread).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "config/results/ResultsLog.h"
#include "nyx/base/String.h"

class KADTaskThread;

class KADTask : public ResultsLog {
public:
    KADTask();
    // Stops a thread still working the task (StopThread) before the log
    // goes.
    ~KADTask() override;
    KADTask(const KADTask&) = delete;
    KADTask& operator=(const KADTask&) = delete;

    // What the work reports besides its results; nothing happens here. A
    // task worked on a thread of its own hears them on that thread. The
    // hooks stand in the order the task interface has always had.
    virtual void OnProgress(float progress);
    // Two hooks for the work of other task classes, one bare and one with a
    // value; no work of this program calls them.
    virtual void OnSignal();
    virtual void OnSignalValue(uint32_t value);
    virtual void OnStatusText(const Nyx::String& text);
    // Called on the task thread once the thread's work has ended.
    virtual void OnFinished();
    // A question a task class may answer for its work; no work of this
    // program asks it. 0 here.
    virtual uint32_t Query();

    // Hands the task to a thread of its own, which it owns from now on, and
    // marks it running. False, with the thread dropped, when a thread is
    // attached already or the thread does not start.
    bool Start(std::unique_ptr<KADTaskThread> thread);
    // Asks the attached thread to stop, waits for it and drops it; nothing
    // without one. A task class that overrides the hooks calls this in its
    // own destructor, so that the thread never calls into a task that is
    // half destroyed.
    void StopThread();

    // The work stops at its next look once this is set.
    bool IsCancelRequested() const noexcept { return cancelRequested_.load(std::memory_order_acquire); }
    void RequestCancel() noexcept { cancelRequested_.store(true, std::memory_order_release); }
    // Set by Start; cleared by the task thread when its work has ended.
    bool IsRunning() const noexcept { return running_.load(std::memory_order_acquire); }
    void SetRunning(bool running) noexcept { running_.store(running, std::memory_order_release); }

private:
    std::atomic<bool> cancelRequested_{false};
    std::atomic<bool> running_{false};
    std::unique_ptr<KADTaskThread> thread_;
};
