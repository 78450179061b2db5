#include "tetlib/steps/ValidateAssetOnMainThread.h"

#include "core/threads/JobQueue.h"
#include "core/threads/TCXCallback.h"
#include "tetlib/steps/ValidateAssetTask.h"

namespace {

// The validation data, the error handler and the definitions have no locks:
// the main thread runs every validation, one at a time, and never inside an
// application-lock wait. The submitter waits.
constexpr uint32_t kValidateJobFlags = JobQueue::kMainThreadOnly | JobQueue::kCarried | JobQueue::kNotInLockWait;

}  // namespace

bool ValidateAssetOnMainThread(const Nyx::PString& folderName, const Nyx::File::Path& assetFolder, ResultsLog& log)
{
    TETLib::ValidateAssetTask task{&folderName, &assetFolder, &log, false};
    // The record lives on this stack until the job ran; a job discarded at
    // shut-down leaves the result false.
    JobQueue::Instance().Submit(
        new TCXCallbackCPPVoidPtr<TETLib::ValidateAssetTask>(&task, &TETLib::ValidateAssetTask::Run),
        kValidateJobFlags);
    return task.succeeded;
}
