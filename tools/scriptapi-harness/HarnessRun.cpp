#include "scriptapi-harness/HarnessRun.h"

#include <unistd.h>

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
namespace fs = std::filesystem;

namespace {

// Whether a folder holds the source of that name, plain or scrambled, as
// the compiler would find it.
bool Holds(const std::string& folder, const std::string& name)
{
    return Nyx::File::Exists(Nyx::File::Path(folder + name)) == 0 ||
           Nyx::File::Exists(Nyx::File::Path(folder + name + "e")) == 0;
}

// The script under a name of its own: the compiler finds every source by
// name through the include folders and reads each name once, so a script
// named as one of the scripts there (such as "soup.gs") would compile that
// one instead, or leave it out. Such a script is compiled from a copy in a
// folder of its own under the first name that no folder holds.
class CompileSource {
public:
    CompileSource(const fs::path& path, const std::vector<std::string>& folders, const std::string& workFolder)
        : name_(path.filename().string())
    {
        if (!TakenIn(folders, name_))
            return;
        std::string stage = workFolder + "/source.XXXXXX";
        if (!::mkdtemp(stage.data())) {
            ready_ = false;
            return;
        }
        stage_ = stage;
        std::vector<std::string> all = folders;
        all.push_back(OwnFolder(path));
        for (int n = 1;; ++n) {
            name_ = path.stem().string() + "-" + std::to_string(n) + path.extension().string();
            if (!TakenIn(all, name_))
                break;
        }
        std::error_code failed;
        ready_ = fs::copy_file(path, fs::path(stage_) / name_, failed) && !failed;
    }
    ~CompileSource()
    {
        std::error_code ignored;
        if (!stage_.empty())
            fs::remove_all(stage_, ignored);
    }
    CompileSource(const CompileSource&) = delete;
    CompileSource& operator=(const CompileSource&) = delete;

    static std::string OwnFolder(const fs::path& path)
    {
        return path.parent_path().empty() ? std::string("./") : path.parent_path().string() + "/";
    }
    // False when a copy was needed and could not be made.
    bool Ready() const noexcept { return ready_; }
    // The name to compile, and the folder of the copy (empty when none).
    const std::string& Name() const noexcept { return name_; }
    const std::string& Stage() const noexcept { return stage_; }

private:
    static bool TakenIn(const std::vector<std::string>& folders, const std::string& name)
    {
        for (const std::string& folder : folders) {
            if (Holds(folder, name))
                return true;
        }
        return false;
    }

    std::string name_;
    std::string stage_;
    bool ready_ = true;
};

}  // namespace

HarnessRun::Outcome HarnessRun::Run(GSMachine& machine, const std::string& file,
                                    const std::vector<std::string>& includeFolders, const std::string& workFolder,
                                    const std::function<void(const std::string&)>& compileLine,
                                    float timeLimitSeconds)
{
    const fs::path path(file);
    const CompileSource source(path, includeFolders, workFolder);
    if (!source.Ready())
        return {false, false, "no copy of the script under a name of its own"};
    const std::string libraryName = fs::path(source.Name()).stem().string() + ".gsl";

    GSCompiler::IncludePathList& includes = GSCompiler::IncludePathList::Global();
    includes.Clear();
    for (const std::string& folder : includeFolders)
        includes.Append(Nyx::File::Path(folder));
    includes.Append(Nyx::File::Path(CompileSource::OwnFolder(path)));
    if (!source.Stage().empty())
        includes.Append(Nyx::File::Path(source.Stage() + "/"));
    GSCompiler::CompileSession sink;
    const int32_t errors =
        GSCompiler::CompileToLibraryFile(&sink, source.Name().c_str(), (workFolder + "/" + libraryName).c_str());
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
