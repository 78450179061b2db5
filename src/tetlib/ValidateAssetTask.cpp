#include "tetlib/ValidateAssetTask.h"

#include "config/ResultsLog.h"
#include "core/JobQueue.h"
#include "core/TCXCallback.h"

namespace {

// Loading meshes and textures goes through the engine, which only the main
// thread may drive, and validation must not start inside an application-lock
// wait: the command host's own polling runs it.
constexpr uint32_t kValidateJobFlags = JobQueue::kMainThreadOnly | JobQueue::kCarried | JobQueue::kNotInLockWait;

struct ValidateAssetTask {
    Nyx::PString archiveName;
    Nyx::File::Path folder;
    ResultsLog* log;
    uint8_t result = 0;

    void Run(void*)
    {
        ResultsLog::AddResult(*log, ResultsLog::kError,
                              Nyx::String("Asset validation is not available in this build."));
        result = 0;
    }
};

}  // namespace

bool MakeValidateAssetTaskCallback(const Nyx::PString& archiveName, const Nyx::File::Path& folder, ResultsLog& log)
{
    ValidateAssetTask task{archiveName, folder, &log};
    // Waits for the job: the task lives on this stack until it ran, and a
    // job discarded at shut-down leaves the result at 0.
    JobQueue::Instance().Submit(new TCXCallbackCPPVoidPtr<ValidateAssetTask>(&task, &ValidateAssetTask::Run),
                                kValidateJobFlags);
    return task.result != 0;
}
