#include "scriptapi-harness/HarnessRun.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "gs/compiler/driver/CompileSession.h"
#include "gs/compiler/driver/Compiler.h"
#include "gs/compiler/driver/IncludePathList.h"
#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/objects/GSGameObject.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/runtime/router/GSRouter.h"
#include "scriptapi/UpdateTick.h"
#include "scriptapi/context/KestroScriptContext.h"

using namespace GSRuntime;

HarnessRun::Outcome HarnessRun::Run(GSMachine& machine, const std::string& file,
                                    const std::vector<std::string>& includeFolders, const std::string& workFolder,
                                    const std::function<void(const std::string&)>& compileLine,
                                    float timeLimitSeconds)
{
    const std::filesystem::path path(file);
    const std::string libraryName = path.stem().string() + ".gsl";

    GSCompiler::IncludePathList& includes = GSCompiler::IncludePathList::Global();
    includes.Clear();
    for (const std::string& folder : includeFolders)
        includes.Append(Nyx::File::Path(folder));
    includes.Append(Nyx::File::Path(path.parent_path().empty() ? std::string("./") : path.parent_path().string() + "/"));
    GSCompiler::CompileSession sink;
    const int32_t errors = GSCompiler::CompileToLibraryFile(&sink, path.filename().string().c_str(),
                                                            (workFolder + "/" + libraryName).c_str());
    includes.Clear();
    while (const char* line = sink.TakeLine()) {
        if (compileLine)
            compileLine(line);
    }
    if (errors != 0)
        return {false, false, "the compile failed"};

    Outcome outcome;
    outcome.compiled = true;
    LibraryId id;
    if (!machine.AddLibrary(Nyx::PString(), workFolder, libraryName, &id)) {
        outcome.reason = "the library was not added";
        return outcome;
    }
    GSLibrary* library = machine.LoadLibrary(id);
    GSClass* cls = library ? library->FindClass("Test") : nullptr;
    if (!cls || !cls->gameObjectClass) {
        outcome.reason = library ? "no game class Test" : "the library did not load";
        return outcome;
    }

    KestroScriptContext context(&machine);
    context.SetRouter(std::make_unique<GSRouter>(&context));
    GSRouter& router = *context.Router();
    auto test = std::make_unique<GSGameObject>();
    if (!test->AttachClass(cls, &context)) {
        outcome.reason = "Test could not be made";
        return outcome;
    }
    router.AddNode(*test);
    if (!machine.CallFunction(&context, cls, test->GetInstance(), "$void@Test::Main()", nullptr, {})) {
        outcome.reason = "Main failed";
    } else {
        const auto start = std::chrono::steady_clock::now();
        const auto limit = std::chrono::duration<float>(timeLimitSeconds);
        UpdateTick();
        while (test->Threads().Count() != 0 && std::chrono::steady_clock::now() - start < limit) {
            std::this_thread::sleep_for(std::chrono::duration<float>(kRoundSeconds));
            UpdateTick();
            router.Step(kRoundSeconds);
        }
        outcome.ok = test->Threads().Count() == 0;
        if (!outcome.ok)
            outcome.reason = "threads were still running at the time limit";
    }
    test.reset();
    return outcome;
}
