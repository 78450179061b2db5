#include <cstdio>

#include "cli/BatchMode.h"
#include "cli/CommandGuard.h"
#include "cli/Environment.h"
#include "cli/HelpText.h"
#include "cli/RunCommand.h"
#include "cli/ScriptApiSetup.h"
#include "config/results/ResultsLog.h"
#include "core/process/ProcessState.h"
#include "gs/compiler/ScriptLogHook.h"
#include "kad/discovery/ProcessLaunch.h"
#include "nyx/base/PString.h"
#include "platform/ProcessExit.h"

int main(int argc, char** argv)
{
    Nyx::File::Path programPath;
    if (!GetModulePath(programPath))
        return -1;

    if (argc < 2) {
        PrintHelpText();
        return -1;
    }
    if (Nyx::PStringCache::ToLower(Nyx::PString(argv[1])) == Nyx::PString("help")) {
        PrintHelpText();
        return 0;
    }

    InstallScriptApi();
    EngineContext context;
    if (InitEnvironment(context, argv[0], argc, argv) != 0) {
        std::fputs("- Init failed\n", stderr);
        ShutdownEnvironment(context);
        return -1;
    }
    SetApplicationId(Nyx::String("KestroUtil"));
    ScriptLogHook = ScriptLogSink;

    int code;
    if (argv[1][0] != '@') {
        ResultsLog log;
        code = RunCommandGuarded(log, context, argc, argv);
        PrintResults(log);
    } else {
        bool fileMissing = false;
        code = RunBatch(context, argv[0], argv[1] + 1, fileMissing);
        if (fileMissing) {
            ShutdownEnvironment(context);
            return -1;
        }
    }

    ShutdownEnvironment(context);
    Platform::TerminateProcess(code);
}
