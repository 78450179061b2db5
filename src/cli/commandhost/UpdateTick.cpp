#include "cli/commandhost/UpdateTick.h"

#include "core/threads/JobQueue.h"

void UpdateTick()
{
    JobQueue& queue = JobQueue::Instance();
    while (queue.Process(0) != 0) {
    }
}
