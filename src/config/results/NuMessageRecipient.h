// Objects that receive messages, and the pipes through which a recipient
// sends its own messages on to listeners.
//
// A pipe lives in the pipe list of the recipient that sends through it (and
// that owns it). Every message posted by that recipient goes to the pipe's
// receiver; when the pipe closes, its close party (usually the receiver
// itself) is told "pipe-closed", so a listener learns that it will hear no
// more. A recipient closes all its pipes when it is destroyed.
//
// The pipe list has no lock of its own: whoever posts, opens and closes
// pipes of one recipient serialises those calls (a ResultsLog posts only
// under its lock, so its listeners open and close pipes holding that lock).
#pragma once

#include "config/results/NuMessageData.h"

class NuMessageRecipient;
struct NuMessagePipeList;

struct NuMessagePipe {
    NuMessagePipe* previous = nullptr;
    NuMessagePipe* next = nullptr;
    NuMessagePipeList* list = nullptr;  // null once unlinked
    NuMessageRecipient* closeParty = nullptr;
    NuMessageRecipient* receiver = nullptr;
};

struct NuMessagePipeList {
    NuMessagePipe* head = nullptr;
    NuMessagePipe* tail = nullptr;
};

class NuMessageRecipient {
public:
    NuMessageRecipient() = default;
    NuMessageRecipient(const NuMessageRecipient&) = delete;
    NuMessageRecipient& operator=(const NuMessageRecipient&) = delete;

    // Where incoming messages are passed on to; none by default.
    virtual NuMessageRecipient* GetForwardTarget();
    // Passes the message on to the forward target and gives its answer;
    // without one the message is taken (true).
    virtual bool ReceiveMessage(NuMessageData& message);
    // Closes every pipe, head first.
    virtual ~NuMessageRecipient();

    // Appends a pipe to this recipient's list and gives it; the recipient
    // owns it until ClosePipe. Either party may be null.
    NuMessagePipe* OpenPipe(NuMessageRecipient* receiver, NuMessageRecipient* closeParty);
    // Unlinks the pipe, tells its close party "pipe-closed" (data: the
    // pipe's receiver) and frees it. The pipe must not be used afterwards.
    static void ClosePipe(NuMessagePipe* pipe);
    // Hands the message to the receiver of each pipe, head first. A receiver
    // may close its own pipe while it handles the message.
    void PostMessage(NuMessageData& message);

    const NuMessagePipeList& Pipes() const noexcept { return pipes_; }

private:
    NuMessagePipeList pipes_;
};
