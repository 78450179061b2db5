#include "kad/tasks/KADTask.h"

#include "kad/tasks/KADTaskThread.h"

KADTask::KADTask() = default;

KADTask::~KADTask() { StopThread(); }

void KADTask::OnProgress(float) {}

void KADTask::OnSignal() {}

void KADTask::OnSignalValue(uint32_t) {}

void KADTask::OnStatusText(const Nyx::String&) {}

void KADTask::OnFinished() {}

uint32_t KADTask::Query() { return 0; }

bool KADTask::Start(std::unique_ptr<KADTaskThread> thread)
{
    if (!thread || thread_)
        return false;
    thread_ = std::move(thread);
    SetRunning(true);
    if (!thread_->Start(*this)) {
        SetRunning(false);
        thread_.reset();
        return false;
    }
    return true;
}

void KADTask::StopThread()
{
    if (!thread_)
        return;
    RequestCancel();
    thread_->Wait();
    thread_.reset();
}
