// The command words of the database repair and of the bulk delete.
#include "cli/RepairCommands.h"

#include <cstdio>

#include "cli/CommandHandlers.h"
#include "config/kuid/KUIDRing.h"
#include "config/results/KestroProperty.h"
#include "config/results/ResultsLog.h"
#include "core/process/CrashReporter.h"
#include "kad/requests/KADFilterElement.h"
#include "kad/requests/KADRequests.h"
#include "kad/tasks/KADTask.h"
#include "kad/tasks/KADTaskRepairDatabase.h"

int RunDatabaseRepair(ResultsLog& log, uint32_t mode)
{
    KADTask task;
    uint32_t run;
    {
        KADTaskRepairDatabase repair(mode, nullptr);
        run = repair.RunInline(task);
    }
    log.CopyFrom(task);
    // A repair the daemon could not be asked to finish failed; one that
    // ended reports its errors with 255.
    if (run == KADTaskRepairDatabase::kRunLinkLost)
        return -1;
    return task.GetErrorCount() > 0 ? 255 : 0;
}

int RepairDatabaseCommand(ResultsLog& log, uint32_t mode)
{
    std::printf("Repairing asset database (this may take some time)\n");
    // Ctrl-C, a closed terminal or a terminate request cancel the repair
    // instead of ending the process part-way. After such a request the
    // process is not let go before it has printed the results and left on
    // its own; otherwise the console events end it again as before.
    CrashReporter::Install(false);
    int code = RunDatabaseRepair(log, mode);
    if (!CrashReporter::QuitRequested())
        CrashReporter::AllowExit();
    return code;
}

int VrqDeleteAllCommand(ResultsLog& log)
{
    KADFilterElementBool local(KADFilterElementBool::kLocal);
    KUIDRing found;
    KADRequests::SearchAssets(&local, found);
    // Every asset is asked for, whatever became of the one before; each that
    // stays is named.
    int result = 0;
    for (const KUID& kuid : found) {
        if (KADRequests::DeleteAsset(kuid, 1, nullptr))
            continue;
        PropertyRef asset;
        asset.Reset(new KestroPropertyAssetID(Nyx::PString("AssetID"), kuid));
        ResultsLog::AddResult(log, ResultsLog::kError, asset, Nyx::String("Unable to delete asset."));
        result = -1;
    }
    return result;
}
