// One outstanding daemon request: its id, the event its requester waits on,
// and the objects that take what the daemon sends about it before the reply
// (answers to questions, results). Lives on the requester's stack; the
// process-wide pending table maps ids to the registered ones.
//
// Locks: the table lock guards the table, the next id and each registered
// transaction's flags; the results lock keeps a results log from leaving
// the registry while the receiver writes into it. The table lock is taken
// before the results lock, never after.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>

#include "config/KUID.h"
#include "nyx/String.h"

class KADClientCallback;
class ResultsLog;
class TStream;

class KADClientTransaction {
public:
    // How long Wait spins before it sleeps.
    static constexpr uint32_t kReplySpinUs = 30;

    KADClientTransaction(KADClientCallback* callback = nullptr, ResultsLog* log = nullptr, bool keepLog = false);
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
    // Waits for the reply or the loss of the link; false when the link was
    // lost, and at once when the transaction was never registered.
    bool Wait();

    uint32_t GetId() const noexcept { return id_; }

    // The receiver found a reply for the id: the transaction leaves the table
    // and its requester wakes to read the payload. False (and a log line)
    // when the id is not pending.
    static bool ReceiveReply(uint32_t id);
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

    static size_t PendingCount();
    // The id the next Register hands out; for tests of the wrap-around.
    static void SetNextId(uint32_t id);

private:
    uint32_t id_ = 0;
    // The reply event (manual reset): 1 once the reply arrived or the link
    // was lost.
    std::atomic<uint32_t> event_{0};
    KADClientCallback* callback_;
    ResultsLog* log_;
    uint8_t keepLog_;
    uint8_t registered_ = 0;
    std::atomic<uint8_t> failed_{0};
    // Under the table lock.
    uint64_t linkSerial_ = 0;
    uint32_t users_ = 0;
};
