// Mode "compileasset FOLDER...": the asset compile road on each folder in
// one process, so the second folder sees what the first left in the script
// machine and the cache. Exit 0 when every compile succeeded, else 255.
#include <cstdio>

#include "cli/RunCommand.h"
#include "config/results/ResultsLog.h"
#include "nyx/files/File.h"
#include "nyx/base/PString.h"
#include "scriptapi-harness/HarnessModes.h"
#include "scriptapi/compile/KADCompileAsset.h"
#include "scriptapi/specs/SpecRegistry.h"

namespace {

int CompileAssets(std::span<char* const> args)
{
    if (args.empty()) {
        std::fputs("compileasset: no asset folder given\n", stderr);
        return 2;
    }
    bool allCompiled = true;
    for (char* folder : args) {
        ResultsLog log;
        const bool compiled = KADCompileAsset(Nyx::PString(), Nyx::File::Path(folder), log);
        std::printf("compileasset %s: %s\n", folder, compiled ? "compiled" : "failed");
        PrintResults(log);
        // As the command host does after every job: descriptions still held show.
        if (SpecRegistry* registry = SpecRegistry::Instance())
            registry->PurgeAndReportLeaks();
        std::fflush(stdout);
        allCompiled = allCompiled && compiled;
    }
    return allCompiled ? 0 : 255;
}

const HarnessModeRegistration kMode({"compileasset", "FOLDER...", &CompileAssets});

}  // namespace
