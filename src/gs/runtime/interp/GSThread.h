// A script thread: one cooperative strand of script execution on its own
// value stack. Game objects own the threads that run their methods; the
// script machine owns one static thread for calls from native code.
#pragma once

#include <cstdint>
#include <vector>

#include "gs/runtime/interp/GSExitCode.h"
#include "gs/runtime/interp/GSStack.h"
#include "gs/support/DoubleLinkList.h"

namespace GSRuntime {

class GSGameObject;
struct GSMessage;

class GSThread : public Utils::IDoubleLinkListNode {
public:
    // States.
    static constexpr uint32_t kRunning = 0;
    static constexpr uint32_t kBlocked = 1;  // sleeping (timer above 0) or waiting for a message
    static constexpr uint32_t kEnded = 2;
    // Flags.
    static constexpr uint32_t kStaticThread = 1;  // no owner: may not wait or send
    static constexpr size_t kQueueLimit = 48;

    // A clause of the wait the thread blocks in.
    struct Block {
        uint16_t major;
        uint16_t minor;  // 1: any minor
        uint32_t offset;
    };
    // What a nested run on this thread sets aside.
    struct SavedRun {
        GSSlot* frame;
        GSSlot* top;
        uint32_t state;
        uint32_t resumeOffset;
    };

    GSThread(GSGameObject* owner, uint32_t flags);
    ~GSThread() override;

    // Empties the stack, gives back queued messages and clause
    // subscriptions, and zeroes the run state.
    void Reset();

    // Runs the thread until it finishes, blocks, fails or runs out of its
    // budget (the interpreter). dt counts down a sleeping thread's timer.
    GSExitCode Execute(float dt);

    // Offers a router message: a blocked thread with a matching clause
    // wakes with the Message object pushed; a running one queues it when
    // asked (a full queue drops it, counted, and still says true). False
    // when nothing matches or the thread cannot take messages.
    bool QueueMessage(const GSMessage& message, bool queueIt);
    // After a wait has blocked the thread: the first queued message that
    // matches wakes it; later matching ones stay, the others go.
    bool WakeFromQueue();

    // A script exception from a native: "%s (file %s)" or "%s" to the log;
    // the thread ends unless it is only a warning.
    void RaiseException(const char* text, bool warningOnly);

    // Nested runs: SetAside keeps the frame, top, state and resume offset,
    // pushes one empty slot and clears the frame (false, nothing changed,
    // when there is no room); Restore puts them back.
    bool SetAside(SavedRun& saved) noexcept;
    void Restore(const SavedRun& saved) noexcept;
    // Drops the clauses of the last wait, with their subscriptions.
    void DropClauses();

    uint32_t state = kRunning;
    uint32_t resumeOffset = 0;
    uint32_t flags;
    GSStack stack;
    std::vector<Block> clauses;
    std::vector<GSMessage*> queue;
    float timer = 0.0f;
    GSGameObject* owner;
    uint32_t droppedMessages = 0;  // matching messages a full queue refused

private:
    bool Wake(const GSMessage& message, const Block& clause);
    bool Matches(const GSMessage& message, const Block** clause) const noexcept;
};

}  // namespace GSRuntime
