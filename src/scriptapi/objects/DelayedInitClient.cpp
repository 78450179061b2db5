#include "scriptapi/objects/DelayedInitClient.h"

#include "scriptapi/objects/DelayedInitManager.h"

void DelayedInitClient::Register(DelayedInitManager* manager)
{
    constexpr uint8_t kAllDone = kPhase1Done | kPhase2Done | kPhase3Done;
    if (!manager || (initState_ & kAllDone) == kAllDone || (initState_ & kWaiting))
        return;
    initState_ |= kWaiting;
    manager->Append(this);
}

void DelayedInitClient::Unregister(DelayedInitManager* manager)
{
    if (!(initState_ & kWaiting))
        return;
    if (manager)
        manager->Erase(this);
    initState_ &= static_cast<uint8_t>(~kWaiting);
}

void DelayedInitClient::RunPendingPhases(DelayedInitManager* manager)
{
    if (!(initState_ & kPhase1Done))
        SetInitFlag1();
    if (!(initState_ & kPhase2Done))
        SetInitFlag2();
    if (!(initState_ & kPhase3Done))
        SetInitFlag4();
    Unregister(manager);
}
