#include "tetlib/steps/ValidateAssetTask.h"

#include "tetlib/steps/ValidateAssetJob.h"

namespace TETLib {

void ValidateAssetTask::Run(void*)
{
    if (!results || !folderPath) {
        succeeded = false;
        return;
    }
    const Nyx::PString name = assetName ? *assetName : Nyx::PString();
    const Nyx::File::Path path = *folderPath;
    succeeded = RunValidateAssetJob(name, path, *results);
}

}  // namespace TETLib
