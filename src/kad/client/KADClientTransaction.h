// One outstanding daemon request: its id, the event its requester waits on,
// and the objects that take what the daemon sends about it before the reply
// (answers to questions, results). Lives on the requester's stack; the
// process-wide pending table maps ids to the registered ones.
//
// The receiver thread reads each reply whole into the stream its requester
// gave, then wakes the requester: one hand-over a reply, and the socket's
// read side never leaves the receiver.
//
// Locks: the table lock guards the table, the next id and each registered
// transaction's flags; the results lock keeps a results log from leaving
// the registry while the receiver writes into it. The table lock is taken
// before the results lock, never after.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>

#include "config/kuid/KUID.h"
#include "nyx/base/String.h"

class KADClientCallback;
class ResultsLog;
class TStream;

class KADClientTransaction {
public:
    // The longest a waiter spins before it sleeps; how long it really spins
    // follows how soon recent replies came (see Wait).
    static constexpr uint32_t kMaxSpinUs = 20;
    // A main thread waiting for a reply looks for queued main-thread jobs at
    // least this often, besides being woken when the client queues one.
    static constexpr int kMainThreadPollMs = 50;
    // A requester whose request waits in the send queue looks after it at
    // least this often.
    static constexpr int kSendQueuePollMs = 10;

    // The reply's payload is appended to `reply` (none: it is read and
    // dropped).
    KADClientTransaction(KADClientCallback* callback = nullptr, ResultsLog* log = nullptr, bool keepLog = false,
                         TStream* reply = nullptr);
    // Destroy.
    ~KADClientTransaction();
    KADClientTransaction(const KADClientTransaction&) = delete;
    KADClientTransaction& operator=(const KADClientTransaction&) = delete;

    // Takes the next id (never 0) and enters the transaction in the pending
    // table; its results log, if any, is registered under the id.
    void Register();
    // Leaves the table (and, unless the log is kept, the log leaves the
    // registry). Nothing when not registered.
    void Unregister();
    // Unregister, then wait until no question thread still uses the
    // transaction's callback.
    void Destroy();
    // Registers the results log under the id again.
    void SetResultsLog();

    // Marks the request as sent on the connection with that serial: its
    // reply may now come, and the loss of that connection (and only that
    // one) fails it. Clears an earlier failure, so a request sent again on
    // a new connection waits afresh.
    void Arm(uint64_t linkSerial);
    // The request waits in the client's send queue: Wait does not end
    // before SendEnded, whatever else arrives (its frame lives in the
    // requester's stack). SendEnded(false) fails it: it never went out.
    void SendQueued();
    void SendEnded(bool sent);
    // Waits for the reply or the loss of the link; false when the link was
    // lost or the reply stream did not take the whole payload, and at once
    // when the transaction was never registered. On the main thread it runs
    // the queued main-thread jobs meanwhile (those an application-lock wait
    // would run too): the daemon's questions about this very request reach
    // their answer through such a job.
    bool Wait();

    uint32_t GetId() const noexcept { return id_; }
    // Whether Wait would return at once (the reply is in or the link was
    // lost); for tests, which cannot tell from Wait's answer alone whom a
    // lost link failed.
    bool WaitEnded() const noexcept { return Ended(event_.load(std::memory_order_acquire)); }

    // The receiver found a reply for the id on the connection of that
    // serial: the transaction leaves the table and is handed to the receiver,
    // which fills its reply stream and then Completes it. Null (and a log
    // line) when no request of that id waits for a reply on that connection.
    static KADClientTransaction* TakeForReply(uint32_t id, uint64_t linkSerial);
    // Where the receiver appends the reply's payload; null to drop it.
    TStream* ReplyStream() const noexcept { return reply_; }
    // Ends the wait of a transaction taken for its reply: `whole` false when
    // the link broke inside the reply or the stream took less than all.
    void Complete(bool whole);
    // The same, but a sleeping requester is left for the caller to wake
    // (futexword::WakeAll on the word returned; null when nobody sleeps),
    // so that a receiver can hand out a batch of replies before it lets the
    // first of their requesters take its processor.
    std::atomic<uint32_t>* CompleteLater(bool whole);
    // Fails every pending transaction armed on that connection.
    static void FailAll(uint64_t linkSerial);
    // A question of the daemon about the request of that id: false when the
    // id is not pending; otherwise the answer is 2 without a callback, else
    // the callback's. The transaction outlives the call.
    static bool AskCallback(uint32_t id, const Nyx::String& question, const KUID& asset, uint32_t& answer);
    // Reads one results stream into the log registered under the id, or into
    // a scratch log when there is none, so that the payload is always
    // consumed.
    static void DeliverResults(uint32_t id, TStream& results);

    // A main-thread job has been queued: the main thread, when it waits for
    // a reply, runs it now rather than at its next poll.
    static void WakeMainThreadWaiter();

    static size_t PendingCount();
    // The id the next Register hands out; for tests of the wrap-around.
    static void SetNextId(uint32_t id);

private:
    // Bits of event_.
    static constexpr uint32_t kReplied = 1;   // the reply arrived or the link was lost
    static constexpr uint32_t kJobs = 2;      // a main-thread job waits for the main thread
    static constexpr uint32_t kSleeping = 4;  // the requester sleeps (or is about to): wake it
    static constexpr uint32_t kSendPending = 8;  // another thread has yet to send the request

    // The wait is over: the reply is in (or the link lost), and no other
    // thread still holds the request's frame.
    static bool Ended(uint32_t state) noexcept { return (state & (kReplied | kSendPending)) == kReplied; }

    // Sleeps until the word changes from `state` (kSleeping is added first,
    // so that whoever changes it knows to wake this thread), or the time-out.
    void SleepWhile(uint32_t state, int timeoutMs);
    // Sets bits and wakes the requester when it sleeps.
    void Signal(uint32_t bits);

    // Spins while recent replies came within the spin; false when this one
    // did not (the caller then sleeps).
    bool SpinForReply();
    void SleepForReply();
    void ServeMainThreadUntilReplied();

    uint32_t id_ = 0;
    // The reply event, a futex word (FutexWord.h): kReplied once the reply
    // is in or the link was lost.
    std::atomic<uint32_t> event_{0};
    KADClientCallback* callback_;
    ResultsLog* log_;
    TStream* reply_;
    uint8_t keepLog_;
    // Changed under the table lock.
    std::atomic<uint8_t> registered_{0};
    std::atomic<uint8_t> failed_{0};
    // The connection the request went out on: set by its requester before
    // the send, read by the receivers and by FailAll.
    std::atomic<uint64_t> linkSerial_{0};
    // Question threads using the callback; counted in under the table lock.
    std::atomic<uint32_t> users_{0};
};
