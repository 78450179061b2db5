#include "gs/runtime/interp/GSThread.h"

#include "gs/runtime/library/GSFunction.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/objects/GSContext.h"
#include "gs/runtime/objects/GSGameObject.h"
#include "gs/runtime/objects/GSScriptInstance.h"
#include "gs/runtime/router/GSRouter.h"
#include "gs/support/ScriptLogHook.h"

namespace GSRuntime {

GSThread::GSThread(GSGameObject* threadOwner, uint32_t threadFlags) : flags(threadFlags), owner(threadOwner) {}

GSThread::~GSThread() { Reset(); }

void GSThread::Reset()
{
    stack.Clear();
    GSRouter* router = owner ? owner->Router() : nullptr;
    if (router) {
        for (GSMessage* message : queue)
            router->FreeMessage(message);
        for (const Block& clause : clauses)
            router->Unsubscribe(*owner, clause.major);
    }
    queue.clear();
    clauses.clear();
    state = kRunning;
    resumeOffset = 0;
    timer = 0.0f;
}

void GSThread::DropClauses()
{
    if (GSRouter* router = owner ? owner->Router() : nullptr) {
        for (const Block& clause : clauses)
            router->Unsubscribe(*owner, clause.major);
    }
    clauses.clear();
}

bool GSThread::Matches(const GSMessage& message, const Block** clause) const noexcept
{
    for (const Block& c : clauses) {
        if (c.major == message.major && (c.minor == message.minor || c.minor == GSRouter::kAnyMinor)) {
            *clause = &c;
            return true;
        }
    }
    return false;
}

bool GSThread::Wake(const GSMessage& message, const Block& clause)
{
    // The code at the clause starts with the message on the stack: without
    // room for it the thread cannot go on, and stays blocked.
    if (!stack.HasRoom(1))
        return false;
    stack.Push(MakeReference(owner->Context()->CreateMessageObject(message)));
    resumeOffset = clause.offset;
    state = kRunning;
    timer = 0.0f;
    return true;
}

bool GSThread::QueueMessage(const GSMessage& message, bool queueIt)
{
    if (!owner || !owner->Router() || !owner->Context())
        return false;
    const Block* clause = nullptr;
    if (!Matches(message, &clause))
        return false;
    if (state == kBlocked)
        return Wake(message, *clause);
    if (!queueIt)
        return true;
    if (queue.size() >= kQueueLimit) {
        ++droppedMessages;
        return true;
    }
    GSMessage* copy = owner->Router()->AllocateMessage();
    *copy = message;
    copy->delay |= GSMessage::kPooled;
    queue.push_back(copy);
    return true;
}

bool GSThread::WakeFromQueue()
{
    GSRouter* router = owner ? owner->Router() : nullptr;
    if (!router || !owner->Context())
        return false;
    bool woken = false;
    std::vector<GSMessage*> kept;
    for (GSMessage* message : queue) {
        const Block* clause = nullptr;
        if (!Matches(*message, &clause)) {
            router->FreeMessage(message);
        } else if (!woken && state == kBlocked && Wake(*message, *clause)) {
            woken = true;
            router->FreeMessage(message);
        } else {
            kept.push_back(message);
        }
    }
    queue.swap(kept);
    return woken;
}

void GSThread::RaiseException(const char* text, bool warningOnly)
{
    if (!warningOnly)
        state = kEnded;
    const GSLibrary* library = stack.frame ? GSStack::RecordFunction(stack.frame)->library : nullptr;
    if (library)
        ScriptLog("%s (file %s)", text, library->name.c_str());
    else
        ScriptLog("%s", text);
}

bool GSThread::SetAside(SavedRun& saved) noexcept
{
    if (!stack.HasRoom(1))
        return false;
    saved = SavedRun{stack.frame, stack.top, state, resumeOffset};
    stack.Push(0);
    stack.frame = nullptr;
    // The nested run starts afresh, whatever the outer one was doing.
    state = kRunning;
    resumeOffset = 0;
    return true;
}

void GSThread::Restore(const SavedRun& saved) noexcept
{
    stack.frame = saved.frame;
    stack.top = saved.top;
    state = saved.state;
    resumeOffset = saved.resumeOffset;
}

}  // namespace GSRuntime
