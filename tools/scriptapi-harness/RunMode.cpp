// Mode "run FILE.gs": a script of class Test (a KestroScriptBase) compiled
// and run in a script context of the tool's kind, its script log on
// standard output. Exit 0 when it ran to its end, else 1.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/files/ContentRoot.h"
#include "gs/runtime/registry/GSMachine.h"
#include "scriptapi-harness/HarnessModes.h"
#include "scriptapi-harness/HarnessRun.h"
#include "scriptapi-harness/ProbeNatives.h"
#include "scriptapi/library/GSOLibrarySpec.h"
#include "scriptapi/specs/SpecRegistry.h"
#include "scriptapi/startup/ScriptSystemStartup.h"

namespace {

constexpr const char* kHarnessFolder = "scriptapi-harness";

int RunScript(std::span<char* const> args)
{
    if (args.size() != 1) {
        std::fputs("run: one script file expected\n", stderr);
        return 2;
    }
    if (!InitScriptSystem()) {
        std::fputs("run: the script system did not start\n", stderr);
        return 1;
    }
    RegisterProbeNatives(GSMachine::Get());
    // Library assets get library descriptions; the registry owns the factory.
    if (SpecRegistry* registry = SpecRegistry::Instance())
        registry->AddFactory(new GSOLibrarySpecFactory);
    const char* tmp = std::getenv("TMPDIR");
    std::string work = std::string(tmp && *tmp ? tmp : "/tmp") + "/scriptapi-harness.XXXXXX";
    if (!::mkdtemp(work.data())) {
        std::fputs("run: no temporary folder\n", stderr);
        return 1;
    }
    // The system scripts, then the harness's own (Probe.gs), which the
    // build keeps in a folder of the harness's name beside "scripts".
    std::vector<std::string> includes;
    for (const char* name : {"scripts", kHarnessFolder}) {
        Nyx::File::Path folder = GetContentRootPath();
        if (folder.Empty())
            folder = Nyx::File::Path("./");
        folder.AddPath(name);
        folder.EnsureTrailingSeparator();
        includes.emplace_back(folder.c_str());
    }
    if (Nyx::File::IsFolder(Nyx::File::Path(includes.back())))
        GSMachine::Get().AddLibraryFolder(Nyx::PString(includes.back()));
    const HarnessRun::Outcome outcome =
        HarnessRun::Run(GSMachine::Get(), args[0], includes, work,
                        [](const std::string& line) { std::printf("%s\n", line.c_str()); });
    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
    std::printf("run %s: %s%s%s\n", args[0], outcome.ok ? "done" : "failed", outcome.ok ? "" : ": ",
                outcome.reason.c_str());
    return outcome.ok ? 0 : 1;
}

const HarnessModeRegistration kMode({"run", "FILE.gs", &RunScript});

}  // namespace
