#include "kad/client/KADClientTransaction.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "config/results/ResultsLog.h"
#include "config/results/ResultsLogRegistry.h"
#include "core/threads/JobQueue.h"
#include "core/process/Log.h"
#include "core/process/ProcessState.h"
#include "kad/client/FutexWord.h"
#include "kad/client/KADClient.h"
#include "kad/client/SpinWait.h"
#include "nyx/base/CriticalSection.h"

namespace {

struct PendingTable {
    Nyx::CriticalSection lock;
    // A question thread let go of a transaction.
    std::condition_variable_any released;
    std::map<uint32_t, KADClientTransaction*> pending;
    uint32_t nextId = 1;
};

// Neither is ever destroyed: a request may still end while static objects
// go at exit.
PendingTable& Table()
{
    static PendingTable* table = new PendingTable;
    return *table;
}

Nyx::CriticalSection& ResultsLock()
{
    static Nyx::CriticalSection* lock = new Nyx::CriticalSection;
    return *lock;
}

// The event word of the transaction the main thread waits on, if it waits;
// whoever queues a main-thread job flags it there. A nested wait (a job run
// from inside a wait makes a request of its own) stacks on the outer one.
struct MainWaiter {
    std::mutex lock;
    std::atomic<uint32_t>* event = nullptr;
};

MainWaiter& TheMainWaiter()
{
    static MainWaiter* waiter = new MainWaiter;
    return *waiter;
}

// How long waiters spin: replies that came within the spin lengthen it,
// those that did not shorten it, down to nothing on a machine too busy for
// spinning to pay. At 0, one wait in kProbeEvery spins a little to learn
// whether that has changed. Only a lone waiter spins: with several requests
// out, the others' replies come first, and a spinning thread only takes
// the processor the receiver and the daemon need to get to them.
struct SpinPolicy {
    static constexpr uint32_t kProbeEvery = 32;
    static constexpr uint32_t kProbeUs = 10;
    std::atomic<uint32_t> budgetUs{KADClientTransaction::kMaxSpinUs};
    std::atomic<uint32_t> waiting{0};
    std::atomic<uint32_t> waits{0};
};

SpinPolicy g_spin;

}  // namespace

KADClientTransaction::KADClientTransaction(KADClientCallback* callback, ResultsLog* log, bool keepLog, TStream* reply)
    : callback_(callback), log_(log), reply_(reply), keepLog_(keepLog ? 1 : 0)
{
}

KADClientTransaction::~KADClientTransaction() { Destroy(); }

void KADClientTransaction::Register()
{
    PendingTable& table = Table();
    Nyx::SingleLock hold(table.lock);
    if (registered_.load(std::memory_order_relaxed))
        return;
    // After a wrap-around an id may still belong to a request that has been
    // waiting all along; it is passed over like 0.
    uint32_t id = table.nextId;
    while (id == 0 || table.pending.count(id) != 0)
        ++id;
    table.nextId = id + 1 == 0 ? 1 : id + 1;
    id_ = id;
    registered_.store(1, std::memory_order_release);
    table.pending[id_] = this;
    if (log_) {
        Nyx::SingleLock results(ResultsLock());
        ResultsLogRegistry::Set(id_, log_);
    }
}

void KADClientTransaction::Unregister()
{
    // Once out of the table a transaction never goes back in behind its
    // owner's back, so the common case (the receiver took it out for its
    // reply) needs no lock.
    if (!registered_.load(std::memory_order_acquire))
        return;
    PendingTable& table = Table();
    Nyx::SingleLock hold(table.lock);
    if (!registered_.load(std::memory_order_relaxed))
        return;
    if (!keepLog_) {
        Nyx::SingleLock results(ResultsLock());
        ResultsLogRegistry::Remove(id_);
    }
    table.pending.erase(id_);
    registered_.store(0, std::memory_order_release);
    failed_.store(0, std::memory_order_release);
}

void KADClientTransaction::Destroy()
{
    Unregister();
    // A question thread counts itself in only while the transaction is in
    // the table, so out of it a count of 0 stays 0.
    if (users_.load(std::memory_order_acquire) == 0)
        return;
    PendingTable& table = Table();
    std::unique_lock<Nyx::CriticalSection> hold(table.lock);
    table.released.wait(hold, [this]() { return users_.load(std::memory_order_relaxed) == 0; });
}

void KADClientTransaction::SetResultsLog()
{
    if (!log_ || id_ == 0)
        return;
    Nyx::SingleLock results(ResultsLock());
    ResultsLogRegistry::Set(id_, log_);
}

void KADClientTransaction::Arm(uint64_t linkSerial)
{
    linkSerial_.store(linkSerial, std::memory_order_release);
    failed_.store(0, std::memory_order_release);
    event_.fetch_and(~kReplied, std::memory_order_acq_rel);
}

void KADClientTransaction::SendQueued() { event_.fetch_or(kSendPending, std::memory_order_acq_rel); }

void KADClientTransaction::SendEnded(bool sent)
{
    uint32_t before;
    if (sent) {
        before = event_.fetch_and(~kSendPending, std::memory_order_acq_rel);
        // A requester still waiting for its reply need not be woken for
        // this; one whose reply came already waits only for it.
        if ((before & kSleeping) && (before & kReplied))
            futexword::WakeAll(event_);
        return;
    }
    failed_.store(1, std::memory_order_release);
    before = event_.load(std::memory_order_relaxed);
    while (!event_.compare_exchange_weak(before, (before | kReplied) & ~kSendPending, std::memory_order_acq_rel)) {
    }
    if (before & kSleeping)
        futexword::WakeAll(event_);
}

bool KADClientTransaction::Wait()
{
    if (id_ == 0)
        return false;
    const bool alone = g_spin.waiting.fetch_add(1, std::memory_order_acq_rel) == 0;
    if (!(alone && SpinForReply())) {
        if (IsMainThread())
            ServeMainThreadUntilReplied();
        else
            SleepForReply();
    }
    g_spin.waiting.fetch_sub(1, std::memory_order_acq_rel);
    event_.store(0, std::memory_order_relaxed);
    return failed_.load(std::memory_order_acquire) == 0;
}

bool KADClientTransaction::SpinForReply()
{
    auto replied = [this]() { return Ended(event_.load(std::memory_order_acquire)); };
    uint32_t budget = g_spin.budgetUs.load(std::memory_order_relaxed);
    if (budget == 0) {
        if (g_spin.waits.fetch_add(1, std::memory_order_relaxed) % SpinPolicy::kProbeEvery != 0)
            return replied();
        budget = SpinPolicy::kProbeUs;
    }
    // Another request going out meanwhile ends the spin: its reply comes
    // first, and its requester wants the processor.
    const bool got = SpinUntil(
        [&]() { return replied() || g_spin.waiting.load(std::memory_order_relaxed) > 1; }, budget)
        && replied();
    const uint32_t next = got ? std::min(kMaxSpinUs, std::max(2 * budget, SpinPolicy::kProbeUs)) : budget / 4;
    g_spin.budgetUs.store(next, std::memory_order_relaxed);
    return got;
}

void KADClientTransaction::SleepWhile(uint32_t state, int timeoutMs)
{
    if (!(state & kSleeping)) {
        if (!event_.compare_exchange_strong(state, state | kSleeping, std::memory_order_acq_rel))
            return;  // it changed meanwhile: the caller looks again
        state |= kSleeping;
    }
    futexword::Wait(event_, state, timeoutMs);
}

void KADClientTransaction::Signal(uint32_t bits)
{
    // A requester that only spins needs no system call to see the change.
    if (event_.fetch_or(bits, std::memory_order_acq_rel) & kSleeping)
        futexword::WakeAll(event_);
}

void KADClientTransaction::SleepForReply()
{
    for (;;) {
        const uint32_t state = event_.load(std::memory_order_acquire);
        if (Ended(state))
            return;
        // A request still queued is sent by whoever holds the link; should
        // that ever be missed, the requester sends it itself.
        if (state & kSendPending) {
            SleepWhile(state, kSendQueuePollMs);
            if (event_.load(std::memory_order_acquire) & kSendPending)
                KADClient::SendQueuedRequests();
            continue;
        }
        SleepWhile(state, -1);
    }
}

void KADClientTransaction::ServeMainThreadUntilReplied()
{
    MainWaiter& waiter = TheMainWaiter();
    std::atomic<uint32_t>* outer;
    {
        std::lock_guard<std::mutex> hold(waiter.lock);
        outer = waiter.event;
        waiter.event = &event_;
    }
    for (;;) {
        uint32_t state = event_.load(std::memory_order_acquire);
        if (Ended(state))
            break;
        if (state & kJobs) {
            event_.fetch_and(~kJobs, std::memory_order_acq_rel);
            state &= ~kJobs;
        }
        if (state & kSendPending)
            KADClient::SendQueuedRequests();
        // A job queued from here on flags the word, and the sleep below
        // returns at once.
        JobQueue& queue = JobQueue::Instance();
        while (queue.Process(JobQueue::kNotInLockWait) != 0) {
        }
        state = event_.load(std::memory_order_acquire);
        if (Ended(state) || (state & kJobs))
            continue;
        SleepWhile(state, (state & kSendPending) ? kSendQueuePollMs : kMainThreadPollMs);
    }
    std::lock_guard<std::mutex> hold(waiter.lock);
    waiter.event = outer;
}

void KADClientTransaction::WakeMainThreadWaiter()
{
    MainWaiter& waiter = TheMainWaiter();
    std::lock_guard<std::mutex> hold(waiter.lock);
    if (!waiter.event)
        return;
    if (waiter.event->fetch_or(kJobs, std::memory_order_acq_rel) & kSleeping)
        futexword::WakeAll(*waiter.event);
}

KADClientTransaction* KADClientTransaction::TakeForReply(uint32_t id, uint64_t linkSerial)
{
    PendingTable& table = Table();
    Nyx::SingleLock hold(table.lock);
    auto it = table.pending.find(id);
    // A request not yet sent on this connection cannot have a reply on it.
    if (it == table.pending.end() || it->second->linkSerial_.load(std::memory_order_acquire) != linkSerial) {
        LogMessage("KADClientTransaction::ReceiveReply> received reply for unknown clientTransactionID=%d",
                   static_cast<int>(id));
        return nullptr;
    }
    KADClientTransaction* transaction = it->second;
    transaction->Unregister();
    return transaction;
}

void KADClientTransaction::Complete(bool whole)
{
    if (std::atomic<uint32_t>* sleeper = CompleteLater(whole))
        futexword::WakeAll(*sleeper);
}

std::atomic<uint32_t>* KADClientTransaction::CompleteLater(bool whole)
{
    failed_.store(whole ? 0 : 1, std::memory_order_release);
    // Once the bit is set the requester may return and its transaction go;
    // a late wake-up of the word it lived in is only a spurious one.
    return (event_.fetch_or(kReplied, std::memory_order_acq_rel) & kSleeping) ? &event_ : nullptr;
}

void KADClientTransaction::FailAll(uint64_t linkSerial)
{
    PendingTable& table = Table();
    Nyx::SingleLock hold(table.lock);
    for (auto& [id, transaction] : table.pending) {
        if (transaction->linkSerial_.load(std::memory_order_acquire) != linkSerial)
            continue;
        transaction->failed_.store(1, std::memory_order_release);
        transaction->Signal(kReplied);
    }
}

bool KADClientTransaction::AskCallback(uint32_t id, const Nyx::String& question, const KUID& asset, uint32_t& answer)
{
    PendingTable& table = Table();
    KADClientTransaction* transaction;
    KADClientCallback* callback;
    {
        Nyx::SingleLock hold(table.lock);
        auto it = table.pending.find(id);
        if (it == table.pending.end())
            return false;
        transaction = it->second;
        callback = transaction->callback_;
        if (!callback) {
            answer = 2;
            return true;
        }
        // The requester's Destroy waits for this count, so the callback
        // object (owned by the requester) stays valid while it runs.
        transaction->users_.fetch_add(1, std::memory_order_acq_rel);
    }
    struct Release {
        PendingTable& table;
        KADClientTransaction* transaction;
        ~Release()
        {
            Nyx::SingleLock hold(table.lock);
            transaction->users_.fetch_sub(1, std::memory_order_acq_rel);
            table.released.notify_all();
        }
    } release{table, transaction};
    Nyx::String text;
    answer = callback->Answer(question, text, asset, 0);
    return true;
}

void KADClientTransaction::DeliverResults(uint32_t id, TStream& results)
{
    Nyx::SingleLock hold(ResultsLock());
    if (ResultsLog* log = ResultsLogRegistry::Get(id)) {
        ReadResults(results, *log);
        return;
    }
    ResultsLog scratch;
    ReadResults(results, scratch);
}

size_t KADClientTransaction::PendingCount()
{
    PendingTable& table = Table();
    Nyx::SingleLock hold(table.lock);
    return table.pending.size();
}

void KADClientTransaction::SetNextId(uint32_t id)
{
    PendingTable& table = Table();
    Nyx::SingleLock hold(table.lock);
    table.nextId = id;
}
