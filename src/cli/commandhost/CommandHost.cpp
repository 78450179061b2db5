#include "cli/commandhost/CommandHost.h"

#include "cli/CommandHandlers.h"
#include "cli/commandhost/CommandHostJob.h"
#include "cli/commandhost/PendingSaves.h"
#include "scriptapi/UpdateTick.h"
#include "core/process/CrashReporter.h"
#include "core/threads/JobQueue.h"
#include "core/process/Log.h"
#include "core/streams/TStream.h"
#include "kad/client/KADClient.h"
#include "nyx/base/Thread.h"

namespace {

// The daemon answers these with nothing the host needs.
void SendEmptyRequest(uint32_t number)
{
    TBuffer payload;
    TBuffer reply;
    KADClient::CallDaemon(number, payload, reply);
}

}  // namespace

void RunCommandHost()
{
    // What the saves of a host killed part-way left goes before this host
    // takes any job.
    PendingSaves(KADClient::GetSettings().path.Str()).RemoveStale();
    KADClient::SetCommandHostCallback(&CommandHostCallback);
    SendEmptyRequest(CommandHost::kRequestRegister);
    CrashReporter::Install(false);
    CrashReporter::DisableConsoleClose();
    LogMessage("KADCommandHost");

    JobQueue& queue = JobQueue::Instance();
    uint32_t pass = 0;
    while (KADClient::IsConnected() && !CrashReporter::QuitRequested()) {
        queue.WaitEvent(CommandHost::kPassWaitMs);
        if (++pass % CommandHost::kKeepAlivePasses == 0)
            SendEmptyRequest(CommandHost::kRequestKeepAlive);
        UpdateTick();
        KADClient::Update();
    }

    KADClient::SetCommandHostCallback(nullptr);
    CrashReporter::AllowExit();
    LogMessage("Shutting down...");
    // Jobs queued before the end still run, those of workers included.
    for (;;) {
        if (queue.Process(0) == 0 && !queue.HasPendingJobs())
            break;
        Nyx::Thread::Sleep(CommandHost::kDrainWaitMs);
    }
}

int CommandHostCommand(ResultsLog&)
{
    RunCommandHost();
    return 0;
}
