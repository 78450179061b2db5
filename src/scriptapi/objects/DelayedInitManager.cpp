#include "scriptapi/objects/DelayedInitManager.h"

#include "scriptapi/objects/DelayedInitClient.h"

DelayedInitManager::~DelayedInitManager()
{
    for (DelayedInitClient* client : waiting_)
        client->initState_ &= static_cast<uint8_t>(~DelayedInitClient::kWaiting);
    waiting_.Clear();
}

void DelayedInitManager::RunPending()
{
    while (!waiting_.Empty()) {
        DelayedInitClient* client = *waiting_.begin();
        client->RunPendingPhases(this);
        // A client whose phases did not take it out must not hold the walk.
        if (!waiting_.Empty() && *waiting_.begin() == client) {
            Erase(client);
            client->initState_ &= static_cast<uint8_t>(~DelayedInitClient::kWaiting);
        }
    }
}

bool DelayedInitManager::Erase(DelayedInitClient* client)
{
    // The blocks from the last one back, each from its end; a client waits
    // once at most.
    ClientRing::Block* first = waiting_.FirstBlock();
    if (!first)
        return false;
    int64_t index = waiting_.Count();
    ClientRing::Block* block = first->prev;
    for (;;) {
        for (uint32_t i = block->count; i > 0; --i) {
            --index;
            if (block->entries[i - 1] == client) {
                waiting_.Erase(waiting_.IteratorAt(index));
                return true;
            }
        }
        if (block == first)
            return false;
        block = block->prev;
    }
}
