// scriptapi-harness: drives the script API in a process started as the tool
// starts (data folders, the daemon client launching the stand-in, the
// application id, the script log), with the engine log on standard output.
// Copied into a data root's "bin" beside KestroUtil and kaddaemon.
//
//   scriptapi-harness MODE ARGS...
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "cli/CommandGuard.h"
#include "cli/Environment.h"
#include "cli/ScriptApiSetup.h"
#include "core/process/ProcessState.h"
#include "gs/compiler/ScriptLogHook.h"
#include "kad/discovery/ProcessLaunch.h"
#include "scriptapi-harness/HarnessModes.h"

namespace {

int Usage()
{
    std::fputs("usage: scriptapi-harness MODE ARGS...\n", stderr);
    for (const HarnessMode& mode : HarnessModes())
        std::fprintf(stderr, "  %s %s\n", mode.name, mode.usage);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    const HarnessMode* mode = FindHarnessMode(argv[1]);
    if (!mode)
        return Usage();

    Nyx::File::Path programPath;
    if (!GetModulePath(programPath))
        return 2;
    InstallScriptApi();

    // The tool's start-up reads its switches from the command line: this
    // one sends the engine log to standard output.
    std::vector<char*> startArgs(argv, argv + argc);
    static char logSwitch[] = "-nyxlog";
    startArgs.push_back(logSwitch);
    EngineContext context;
    if (InitEnvironmentForProgram(context, programPath, static_cast<int>(startArgs.size()), startArgs.data()) != 0) {
        std::fputs("- Init failed\n", stderr);
        ShutdownEnvironment(context);
        return 2;
    }
    SetApplicationId(Nyx::String("KestroUtil"));
    ScriptLogHook = ScriptLogSink;

    const int code = mode->run(std::span<char* const>(argv + 2, static_cast<size_t>(argc - 2)));
    std::fflush(stdout);

    ScriptLogHook = nullptr;
    ShutdownEnvironment(context);
    return code;
}
