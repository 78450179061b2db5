// The daemon client's handling of notifications: read by the receiver,
// results delivered at once, everything else handed to the main thread in
// arrival order, questions answered from short threads of their own.
#include "kad/client/KADNotification.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <exception>
#include <list>
#include <memory>
#include <mutex>

#include "config/kuid/KUID.h"
#include "core/threads/JobQueue.h"
#include "core/streams/LittleEndian.h"
#include "core/threads/TCXCallback.h"
#include "kad/client/DaemonWire.h"
#include "kad/client/KADClient.h"
#include "kad/client/KADClientLink.h"
#include "kad/client/KADClientTransaction.h"
#include "nyx/base/Thread.h"

namespace {

// A payload is read in steps that double up to its length, so a daemon that
// announces much and sends little costs little memory.
constexpr uint32_t kFirstPayloadStep = 64u * 1024;

struct NotificationQueue {
    std::mutex lock;
    std::deque<std::unique_ptr<KADNotification>> records;
};

struct QuestionThread {
    Nyx::Thread thread;
    std::atomic<bool> done{false};
};

struct QuestionThreads {
    std::mutex lock;
    std::list<std::unique_ptr<QuestionThread>> threads;
};

NotificationQueue& Queue()
{
    static NotificationQueue* queue = new NotificationQueue;
    return *queue;
}

QuestionThreads& Questions()
{
    static QuestionThreads* questions = new QuestionThreads;
    return *questions;
}

std::atomic<KADClient::CommandHostCallback> g_commandHost{nullptr};

// Joins the question threads that have finished (all of them, waiting for
// the rest, when `all` is set).
void ReapQuestionThreads(bool all)
{
    QuestionThreads& questions = Questions();
    std::list<std::unique_ptr<QuestionThread>> finished;
    {
        std::lock_guard<std::mutex> hold(questions.lock);
        for (auto it = questions.threads.begin(); it != questions.threads.end();) {
            auto next = std::next(it);
            if (all || (*it)->done.load(std::memory_order_acquire))
                finished.splice(finished.end(), questions.threads, it);
            it = next;
        }
    }
    finished.clear();  // joins each, outside the lock
}

void AnswerFor(uint32_t transactionId, const Nyx::String& question, const KUID& asset)
{
    uint32_t answer = 0;
    if (!KADClientTransaction::AskCallback(transactionId, question, asset, answer))
        answer = 4;  // the request is no longer waiting
    KADClient::AnswerQuestion(transactionId, answer);
}

}  // namespace

bool KADClient::ReadNotification(KADClientLink& link, uint32_t kind)
{
    uint8_t word[4];
    if (!link.ReadExact(word, sizeof word))
        return false;
    const uint32_t length = LoadLE32(word);
    if (length > DaemonWire::kMaxPayloadLength)
        return false;
    std::unique_ptr<KADNotification> record;
    try {
        record = std::make_unique<KADNotification>();
        record->kind = kind;
        for (uint32_t have = 0; have < length;) {
            uint32_t step = std::min(length - have, std::max(have, kFirstPayloadStep));
            record->buffer.SetDataLength(have + step);
            if (!link.ReadExact(record->buffer.Data() + have, step))
                return false;
            have += step;
        }
    } catch (const std::exception&) {
        // Unread, the payload cannot be skipped either: the link is lost.
        return false;
    }
    record->stream.Rewind();
    DispatchNotification(std::move(record));
    return true;
}

void KADClient::DispatchNotification(std::unique_ptr<KADNotification> record)
{
    // Results are taken at once, ahead of the reply that follows them.
    if (record->IsResults()) {
        HandleNotification(record->kind, record->stream);
        return;
    }
    {
        NotificationQueue& queue = Queue();
        std::lock_guard<std::mutex> hold(queue.lock);
        queue.records.push_back(std::move(record));
    }
    JobQueue::Instance().Submit(new TCXCallbackCIntPtr(&KADClient::RunQueuedNotification),
                                JobQueue::kMainThreadOnly | JobQueue::kAsync);
    // The main thread may be waiting for a reply that waits for this job (a
    // question about the very request it made): it runs the job from there.
    KADClientTransaction::WakeMainThreadWaiter();
}

void KADClient::RunQueuedNotification(intptr_t)
{
    std::unique_ptr<KADNotification> record;
    {
        NotificationQueue& queue = Queue();
        std::lock_guard<std::mutex> hold(queue.lock);
        if (queue.records.empty())
            return;
        record = std::move(queue.records.front());
        queue.records.pop_front();
    }
    HandleNotification(record->kind, record->stream);
}

void KADClient::HandleNotification(uint32_t kind, TStream& payload)
{
    switch (kind) {
    case KADNotification::kKindValue: {
        uint32_t value;
        payload.ReadInt32(value, 0u);
        if (void (*callback)(uint32_t) = GetSettings().callback)
            callback(value);
        break;
    }
    case KADNotification::kKindCommandHost: {
        CommandHostCallback callback = g_commandHost.load(std::memory_order_acquire);
        if (!callback)
            break;
        TBuffer answer;
        callback(payload, answer);
        answer.Rewind();
        TBuffer reply;
        CallDaemon(kRequestCommandHostAnswer, answer, reply);
        reply.Rewind();
        break;
    }
    case KADNotification::kKindQuestion: {
        uint32_t transactionId;
        payload.ReadInt32(transactionId, 0u);
        Nyx::PString question;
        payload.ReadPString(question);
        KUID asset;
        ReadKUID(payload, asset);
        StartQuestion(transactionId, Nyx::String(question), asset);
        break;
    }
    case KADNotification::kKindResults: {
        uint32_t transactionId;
        payload.ReadInt32(transactionId, 0u);
        KADClientTransaction::DeliverResults(transactionId, payload);
        break;
    }
    default:
        break;
    }
}

void KADClient::StartQuestion(uint32_t transactionId, const Nyx::String& question, const KUID& asset)
{
    ReapQuestionThreads(false);
    auto entry = std::make_unique<QuestionThread>();
    QuestionThread* thread = entry.get();
    {
        QuestionThreads& questions = Questions();
        std::lock_guard<std::mutex> hold(questions.lock);
        questions.threads.push_back(std::move(entry));
    }
    // The question's request waits on its requester's thread, which may be
    // this one; the answer must not depend on it.
    bool started = thread->thread.Start([thread, transactionId, question, asset]() {
        AnswerFor(transactionId, question, asset);
        thread->done.store(true, std::memory_order_release);
    });
    if (!started) {
        // No thread to spare: answered here rather than never.
        thread->done.store(true, std::memory_order_release);
        AnswerFor(transactionId, question, asset);
    }
}

void KADClient::JoinQuestionThreads() { ReapQuestionThreads(true); }

void KADClient::AnswerQuestion(uint32_t transactionId, uint32_t answer)
{
    TBuffer payload;
    payload.WriteInt32(transactionId);
    payload.WriteInt32(answer);
    payload.Rewind();
    TBuffer reply;
    CallDaemon(kRequestAnswerQuestion, payload, reply);
    reply.Rewind();
}

void KADClient::DiscardNotifications()
{
    std::deque<std::unique_ptr<KADNotification>> dropped;
    {
        NotificationQueue& queue = Queue();
        std::lock_guard<std::mutex> hold(queue.lock);
        dropped.swap(queue.records);
    }
}

void KADClient::SetCommandHostCallback(CommandHostCallback callback)
{
    g_commandHost.store(callback, std::memory_order_release);
}
