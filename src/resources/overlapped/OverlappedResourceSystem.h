// The process's background-resource system: jobs (a work function and a
// completion function over one piece of data) queued oldest first and run
// when the system is asked to, cancelled jobs dropped. At most one system
// exists at a time, reached through Get(); the tool itself creates none, so
// code that asks for background work must do without it.
//
// This system runs its jobs on the thread that calls RunQueued or Finish:
// there is no worker thread, so work and completion never overlap the
// caller.
#pragma once

#include <cstdint>
#include <deque>

#include "nyx/base/PString.h"

class OverlappedResourceSystem;

class OverlappedResourceCallback {
public:
    // Jobs in state kIdle (never queued, or refused) or kCompleted are
    // finished.
    enum State : uint32_t {
        kIdle = 0,
        kQueued = 1,
        kRunning = 2,
        kCompleted = 4,
    };
    using Function = void (*)(void* data);

    OverlappedResourceCallback(const Nyx::PString& name, Function work, Function completion, void* data) noexcept
        : name_(name), work_(work), completion_(completion), data_(data)
    {
    }
    OverlappedResourceCallback(const OverlappedResourceCallback&) = delete;
    OverlappedResourceCallback& operator=(const OverlappedResourceCallback&) = delete;
    // Leaves the queue of the system it is queued in.
    ~OverlappedResourceCallback();

    const Nyx::PString& GetName() const noexcept { return name_; }
    State GetState() const noexcept { return state_; }
    bool IsFinished() const noexcept { return state_ == kIdle || state_ == kCompleted; }
    // A cancelled job runs neither function.
    void Cancel() noexcept { cancelled_ = true; }
    bool IsCancelled() const noexcept { return cancelled_; }

private:
    friend class OverlappedResourceSystem;

    Nyx::PString name_;
    Function work_;
    Function completion_;
    void* data_;
    State state_ = kIdle;
    bool cancelled_ = false;
    OverlappedResourceSystem* system_ = nullptr;
};

class OverlappedResourceSystem {
public:
    static constexpr uint32_t kMaxQueued = 5000;

    // The current system, or null while none exists.
    static OverlappedResourceSystem* Get() noexcept;

    // Becomes the current system; a second one at the same time does not.
    OverlappedResourceSystem();
    OverlappedResourceSystem(const OverlappedResourceSystem&) = delete;
    OverlappedResourceSystem& operator=(const OverlappedResourceSystem&) = delete;
    // Drops the jobs still queued (they go back to kIdle, unrun).
    ~OverlappedResourceSystem();

    // False, and the job left idle, when it is queued already or the queue
    // is full.
    bool Queue(OverlappedResourceCallback* job);
    // Runs every queued job, oldest first; returns how many ran.
    uint32_t RunQueued();
    // Completes one job now: a queued job runs (or, cancelled, is dropped
    // and marked completed); others are left as they are.
    void Finish(OverlappedResourceCallback* job);
    uint32_t GetQueuedCount() const noexcept { return static_cast<uint32_t>(queue_.size()); }

private:
    void Run(OverlappedResourceCallback* job);
    void Remove(OverlappedResourceCallback* job);

    std::deque<OverlappedResourceCallback*> queue_;
};
