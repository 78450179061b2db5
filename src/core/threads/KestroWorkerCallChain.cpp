#include "core/threads/KestroWorkerCallChain.h"

#include "nyx/base/Thread.h"

KestroWorkerCallChain::~KestroWorkerCallChain()
{
    for (const JobEntry& call : calls_)
        delete call.callback;
}

JobQueue& KestroWorkerCallChain::Queue() noexcept
{
    JobQueue* queue = queue_.load(std::memory_order_acquire);
    return queue ? *queue : JobQueue::Instance();
}

void KestroWorkerCallChain::AppendCall(TCXCallbackBase* callback, uint32_t flags)
{
    if (!callback)
        return;
    Nyx::SingleLock guard(callsLock_);
    calls_.push_back(JobEntry{callback, 0, nullptr, flags | JobQueue::kAsync, nullptr});
}

void KestroWorkerCallChain::Start()
{
    {
        Nyx::SingleLock guard(callsLock_);
        if (calls_.empty())
            return;
    }
    gate_.Acquire();
    running_.store(1, std::memory_order_release);
    queue_.store(&JobQueue::Instance(), std::memory_order_release);
    DispatchNext();
}

void KestroWorkerCallChain::EndRun()
{
    running_.store(0, std::memory_order_release);
    gate_.Release();
}

void KestroWorkerCallChain::DispatchNext()
{
    JobEntry front{};
    {
        Nyx::SingleLock guard(callsLock_);
        if (!calls_.empty())
            front = calls_.front();
    }
    if (!front.callback) {
        // A call appended from here on belongs to the next Start, which waits
        // for this release.
        EndRun();
        return;
    }
    auto* job = new TCXCallbackCPPVoidPtr<KestroWorkerCallChain>(this, &KestroWorkerCallChain::RunFront);
    // Refused only once the queue has shut down: nothing would ever run the
    // rest, so the run ends here rather than leave WaitIdle waiting for good.
    if (!Queue().Submit(job, front.flags, reinterpret_cast<intptr_t>(this), front.gate))
        EndRun();
}

void KestroWorkerCallChain::RunFront(void*)
{
    TCXCallbackBase* callback;
    {
        Nyx::SingleLock guard(callsLock_);
        callback = calls_.front().callback;
    }
    JobQueue::RunJob(callback, 0);
    {
        Nyx::SingleLock guard(callsLock_);
        calls_.pop_front();
    }
    delete callback;
    DispatchNext();
}

void KestroWorkerCallChain::WaitIdle()
{
    for (;;) {
        if (gate_.TryAcquire()) {
            gate_.Release();
            return;
        }
        if (Queue().Process(0) == 0)
            Nyx::Thread::Sleep(10);
    }
}
