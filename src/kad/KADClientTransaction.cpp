#include "kad/KADClientTransaction.h"

#include <map>
#include <mutex>

#include "config/ResultsLog.h"
#include "config/ResultsLogRegistry.h"
#include "core/Log.h"
#include "kad/KADClient.h"
#include "kad/SpinWait.h"
#include "nyx/CriticalSection.h"

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

}  // namespace

KADClientTransaction::KADClientTransaction(KADClientCallback* callback, ResultsLog* log, bool keepLog)
    : callback_(callback), log_(log), keepLog_(keepLog ? 1 : 0)
{
}

KADClientTransaction::~KADClientTransaction() { Destroy(); }

void KADClientTransaction::Register()
{
    PendingTable& table = Table();
    Nyx::SingleLock hold(table.lock);
    if (registered_)
        return;
    // After a wrap-around an id may still belong to a request that has been
    // waiting all along; it is passed over like 0.
    uint32_t id = table.nextId;
    while (id == 0 || table.pending.count(id) != 0)
        ++id;
    table.nextId = id + 1 == 0 ? 1 : id + 1;
    id_ = id;
    registered_ = 1;
    table.pending[id_] = this;
    if (log_) {
        Nyx::SingleLock results(ResultsLock());
        ResultsLogRegistry::Set(id_, log_);
    }
}

void KADClientTransaction::Unregister()
{
    PendingTable& table = Table();
    Nyx::SingleLock hold(table.lock);
    if (!registered_)
        return;
    if (!keepLog_) {
        Nyx::SingleLock results(ResultsLock());
        ResultsLogRegistry::Remove(id_);
    }
    table.pending.erase(id_);
    registered_ = 0;
    failed_.store(0, std::memory_order_release);
}

void KADClientTransaction::Destroy()
{
    Unregister();
    PendingTable& table = Table();
    std::unique_lock<Nyx::CriticalSection> hold(table.lock);
    table.released.wait(hold, [this]() { return users_ == 0; });
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
    Nyx::SingleLock hold(Table().lock);
    linkSerial_ = linkSerial;
    failed_.store(0, std::memory_order_release);
    event_.store(0, std::memory_order_release);
}

bool KADClientTransaction::Wait()
{
    if (id_ == 0)
        return false;
    // Most replies come within a few tens of microseconds.
    if (!SpinUntil([this]() { return event_.load(std::memory_order_acquire) != 0; }, kReplySpinUs))
        event_.wait(0, std::memory_order_acquire);
    event_.store(0, std::memory_order_relaxed);
    return failed_.load(std::memory_order_acquire) == 0;
}

bool KADClientTransaction::ReceiveReply(uint32_t id)
{
    PendingTable& table = Table();
    Nyx::SingleLock hold(table.lock);
    auto it = table.pending.find(id);
    if (it == table.pending.end()) {
        LogMessage("KADClientTransaction::ReceiveReply> received reply for unknown clientTransactionID=%d",
                   static_cast<int>(id));
        return false;
    }
    KADClientTransaction* transaction = it->second;
    transaction->Unregister();
    transaction->failed_.store(0, std::memory_order_release);
    transaction->event_.store(1, std::memory_order_release);
    transaction->event_.notify_all();
    return true;
}

void KADClientTransaction::FailAll(uint64_t linkSerial)
{
    PendingTable& table = Table();
    Nyx::SingleLock hold(table.lock);
    for (auto& [id, transaction] : table.pending) {
        if (transaction->linkSerial_ != linkSerial)
            continue;
        transaction->failed_.store(1, std::memory_order_release);
        transaction->event_.store(1, std::memory_order_release);
        transaction->event_.notify_all();
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
        ++transaction->users_;
    }
    struct Release {
        PendingTable& table;
        KADClientTransaction* transaction;
        ~Release()
        {
            Nyx::SingleLock hold(table.lock);
            --transaction->users_;
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
