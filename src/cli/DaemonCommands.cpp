// The command words that only talk to the daemon connection itself.
#include "cli/CommandHandlers.h"

#include "kad/client/KADClient.h"

int CloseDaemonCommand(ResultsLog&)
{
    KADClient::CloseDaemon();
    return 0;
}
