#include "kad/tasks/KADTaskRepairDatabase.h"

#include <atomic>

#include "config/results/InterfaceTextDB.h"
#include "core/process/CrashReporter.h"
#include "kad/client/KADClient.h"
#include "kad/client/LinkWatch.h"
#include "kad/requests/KADRequests.h"
#include "kad/tasks/KADTask.h"
#include "nyx/base/Thread.h"

namespace {

// Set for the whole of a repair's Run. Taken by exchange, so that two
// threads starting a repair at once cannot both find it clear.
std::atomic<bool> g_repairRunning{false};

void RealWait(uint32_t ms) { Nyx::Thread::Sleep(ms); }

std::atomic<KADTaskRepairDatabase::WaitFunction> g_wait{&RealWait};

void Pause(uint32_t ms) { g_wait.load()(ms); }

}  // namespace

KADTaskRepairDatabase::KADTaskRepairDatabase(uint32_t mode, ResultsLog* reportTarget)
    : mode_(mode), reportTarget_(reportTarget)
{
}

KADTaskRepairDatabase::~KADTaskRepairDatabase() { Wait(); }

bool KADTaskRepairDatabase::IsRunning() { return g_repairRunning.load(std::memory_order_acquire); }

ResultsLog* KADTaskRepairDatabase::ReportTarget() const
{
    return reportTarget_ ? reportTarget_ : static_cast<ResultsLog*>(Task());
}

void KADTaskRepairDatabase::SetWaitFunctionForTest(WaitFunction wait) { g_wait.store(wait ? wait : &RealWait); }

uint32_t KADTaskRepairDatabase::Run()
{
    KADTask* task = Task();
    if (!task)
        return kRunEnded;
    if (g_repairRunning.exchange(true, std::memory_order_acq_rel)) {
        task->OnStatusText(GetInterfaceText(Nyx::String("$kadtask_repair_err_duplicate")));
        return kRunEnded;
    }
    const bool reached = StartAndPoll(*task);
    g_repairRunning.store(false, std::memory_order_release);
    if (reached)
        return kRunEnded;
    LinkWatch::ReportLost(*ReportTarget());
    return kRunLinkLost;
}

bool KADTaskRepairDatabase::StartAndPoll(KADTask& task)
{
    // A repair that was never asked for has nothing to poll; polling would
    // only wait for a daemon to be found or started again.
    if (!KADRequests::StartRepair(mode_, ReportTarget()))
        return false;
    // The repair belongs to the daemon connection it was started on. A poll
    // that has to make a new one asks a daemon that may be another, or may
    // have forgotten the repair, and could answer "running" for good.
    const uint64_t link = KADClient::GetLinkSerial();
    Pause(kFirstWaitMs);
    float progress = 0.0f;
    Nyx::String status;
    for (;;) {
        if (KADClient::GetLinkSerial() != link)
            return false;
        bool answered = false;
        const bool running = KADRequests::PollRepair(progress, status, &answered);
        if (!answered || KADClient::GetLinkSerial() != link)
            return false;
        if (!running)
            return true;
        task.OnStatusText(status);
        task.OnProgress(progress);
        Pause(kPollWaitMs);
        // A console close or Ctrl-C cancels the repair, which then ends as
        // any cancelled task does.
        if (CrashReporter::QuitRequested())
            task.RequestCancel();
        if (task.IsCancelRequested())
            return true;
    }
}
