// The repair of the daemon's asset database: asks the daemon to repair
// (request 3) and polls it (request 4) until the repair has ended, the
// task is cancelled, the process is asked to quit, or the daemon connection
// the repair was started on is lost. A repair that could not be asked for,
// or whose connection was lost, has not done what it was asked: it says so
// as an error and ends with kRunLinkLost. Only one repair runs in a process
// at a time.
#pragma once

#include <cstdint>

#include "kad/tasks/KADTaskThread.h"

class ResultsLog;

class KADTaskRepairDatabase : public KADTaskThread {
public:
    static constexpr uint32_t kFirstWaitMs = 1000;
    static constexpr uint32_t kPollWaitMs = 250;
    // What Run (and RunInline) give: the repair ended (done, cancelled, or
    // refused as a second one), or the daemon could not be reached to the
    // end.
    static constexpr uint32_t kRunEnded = 0;
    static constexpr uint32_t kRunLinkLost = 1;

    // How the repair waits; tests replace it.
    using WaitFunction = void (*)(uint32_t ms);

    // Mode 50, 100 or 150. The daemon's results for the repair go to the
    // report target, or to the task when it is null.
    KADTaskRepairDatabase(uint32_t mode, ResultsLog* reportTarget);
    ~KADTaskRepairDatabase() override;

    // A repair is at work in this process.
    static bool IsRunning();
    // The report target, else the task; null before a task is given.
    ResultsLog* ReportTarget() const;
    uint32_t Mode() const noexcept { return mode_; }

    // For tests: null puts the real wait back.
    static void SetWaitFunctionForTest(WaitFunction wait);

protected:
    uint32_t Run() override;

private:
    // False when the daemon could not be reached to the repair's end.
    bool StartAndPoll(KADTask& task);

    uint32_t mode_;
    ResultsLog* reportTarget_;
};
