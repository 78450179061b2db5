#include "kad/tasks/KADTaskThread.h"

#include <sys/statvfs.h>

#include "kad/tasks/KADTask.h"

namespace {

std::atomic<KADTaskThread::StatFunction> g_stat{&::statvfs};

}  // namespace

KADTaskThread::~KADTaskThread() { Wait(); }

void KADTaskThread::SetStatFunctionForTest(StatFunction stat) { g_stat.store(stat ? stat : &::statvfs); }

uint32_t KADTaskThread::RunInline(KADTask& task)
{
    workingThread_.store(Nyx::Thread::CurrentId(), std::memory_order_release);
    task_ = &task;
    done_.store(false, std::memory_order_release);
    uint32_t code = Run();
    workingThread_.store(0, std::memory_order_release);
    return code;
}

bool KADTaskThread::Start(KADTask& task)
{
    if (thread_.IsRunning())
        return false;
    task_ = &task;
    return thread_.Start([this]() { Body(); });
}

void KADTaskThread::Wait() { thread_.Join(); }

void KADTaskThread::Body()
{
    if (!done_.exchange(true, std::memory_order_acq_rel)) {
        workingThread_.store(Nyx::Thread::CurrentId(), std::memory_order_release);
        Run();
        workingThread_.store(0, std::memory_order_release);
    }
    if (task_) {
        task_->SetRunning(false);
        task_->OnFinished();
    }
}

uint32_t KADTaskThread::Run() { return 0; }

bool KADTaskThread::HasEnoughDiskSpace(const Nyx::File::Path& folder) const
{
    struct statvfs st {};
    if (g_stat.load()(folder.c_str(), &st) != 0)
        return false;
    const uint64_t blockSize = st.f_frsize ? st.f_frsize : st.f_bsize;
    if (blockSize == 0)
        return false;
    // Counted in blocks: the volume's bytes need not fit 64 bits.
    const uint64_t blocksNeeded = (kMinFreeBytes + blockSize - 1) / blockSize;
    return uint64_t(st.f_bavail) >= blocksNeeded;
}
