#include "config/results/NuMessageRecipient.h"

NuMessageRecipient* NuMessageRecipient::GetForwardTarget()
{
    return nullptr;
}

bool NuMessageRecipient::ReceiveMessage(NuMessageData& message)
{
    if (NuMessageRecipient* target = GetForwardTarget())
        return target->ReceiveMessage(message);
    return true;
}

NuMessageRecipient::~NuMessageRecipient()
{
    // The close parties may close further pipes of this list from their
    // handlers, so the head is read afresh each time.
    while (pipes_.head)
        ClosePipe(pipes_.head);
}

NuMessagePipe* NuMessageRecipient::OpenPipe(NuMessageRecipient* receiver, NuMessageRecipient* closeParty)
{
    auto* pipe = new NuMessagePipe;
    pipe->receiver = receiver;
    pipe->closeParty = closeParty;
    pipe->list = &pipes_;
    pipe->previous = pipes_.tail;
    if (pipes_.tail)
        pipes_.tail->next = pipe;
    else
        pipes_.head = pipe;
    pipes_.tail = pipe;
    return pipe;
}

void NuMessageRecipient::ClosePipe(NuMessagePipe* pipe)
{
    if (!pipe)
        return;
    NuMessageRecipient* closeParty = pipe->closeParty;
    pipe->closeParty = nullptr;
    if (NuMessagePipeList* list = pipe->list) {
        if (pipe->previous)
            pipe->previous->next = pipe->next;
        else
            list->head = pipe->next;
        if (pipe->next)
            pipe->next->previous = pipe->previous;
        else
            list->tail = pipe->previous;
        pipe->previous = nullptr;
        pipe->next = nullptr;
        pipe->list = nullptr;
    }
    NuMessageRecipient* receiver = pipe->receiver;
    delete pipe;
    if (closeParty) {
        NuMessageData closed(NuMessagePipeClosed(), receiver);
        closeParty->ReceiveMessage(closed);
    }
}

void NuMessageRecipient::PostMessage(NuMessageData& message)
{
    NuMessagePipe* pipe = pipes_.head;
    while (pipe) {
        NuMessagePipe* next = pipe->next;
        if (pipe->receiver)
            pipe->receiver->ReceiveMessage(message);
        pipe = next;
    }
}
