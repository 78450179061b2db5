// The script API as scripts use it: the input is the source of a script
// whose class Test (a KestroScriptBase) is compiled against the system
// scripts and made as a game object in the tool's script context with a
// router; Test.Main runs, then the router is stepped through rounds of
// simulated time while Test has threads. Everything a script reaches is
// there: Soup, StringTable, HTMLBuffer, KUIDList, KUID and the Asset
// objects of the stand-in's store (<kuid:600001:7> with images, strings and
// a table, <kuid:600001:8> naming it), Image with its fonts, the Library
// assets of the store (<kuid:600001:1> with the echo plug-in,
// <kuid:600001:3> without) and their security tokens, the game-object,
// router and Str natives. A small jump budget
// and small size limits end every run.
//
// Whatever the script does: the machine thread is left as it was, the
// script context frees what it made, and nothing is written outside the
// target's folder.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "FuzzStandIn.h"
#include "FuzzTempFolder.h"
#include "cli/Environment.h"
#include "cli/ScriptApiSetup.h"
#include "core/files/ContentRoot.h"
#include "core/process/ProcessState.h"
#include "gs/compiler/driver/CompileSession.h"
#include "gs/compiler/driver/Compiler.h"
#include "gs/compiler/driver/IncludePathList.h"
#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/interp/RunState.h"
#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/objects/GSGameObject.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/runtime/router/GSRouter.h"
#include "gs/support/ScriptLogHook.h"
#include "scriptapi/UpdateTick.h"
#include "scriptapi/context/KestroScriptContext.h"
#include "scriptapi/library/GSOLibrarySpec.h"
#include "scriptapi/specs/SpecFactory.h"
#include "scriptapi/specs/SpecRegistry.h"
#include "scriptapi/startup/ScriptSystemStartup.h"
#include "support/ImageFiles.h"

using namespace GSRuntime;

namespace {

namespace fs = std::filesystem;

constexpr int kRounds = 24;
constexpr float kRoundSeconds = 0.5f;

constexpr const char* kLibraryScript = R"(include "Kestro.gs"
include "Library.gs"

class MainLib isclass Library {
  int inits = 0;
  public void Init(Asset self) {
    inherited(self);
    inits = inits + 1;
  }
  public Soup GetProperties(void) {
    Soup s = Constructors.NewSoup();
    s.SetNamedTag("inits", inits);
    return s;
  }
};
)";

void IgnoreLog(const char*, ...) {}

// The folder goes at exit, while the world in it is never destroyed: its
// stand-in and script machine are not shut down in order at exit.
FuzzTempFolder& Root()
{
    static FuzzTempFolder root{"script_api_fuzz"};
    return root;
}

// The data root: the compiled system scripts, the store's assets (two
// libraries, a scenery asset and a traincar naming it) and the plug-in.
struct World {
    FuzzTempFolder& root = Root();
    std::unique_ptr<FuzzStandIn> standIn;
    KADScript_KestroBaseSpecFactory assets;
    std::unique_ptr<SpecRegistry> registry;
    bool ready = false;

    World()
    {
        ScriptLogHook = &IgnoreLog;
        SetMainThreadId();
        InstallScriptApi();
        // The system scripts as a data root has them: sources in "scripts",
        // compiled in "libraries".
        fs::create_directories(root / "scripts");
        fs::create_directories(root / "libraries");
        for (const auto& entry : fs::directory_iterator(KESTRO_SYSTEM_SCRIPTS)) {
            if (entry.path().extension() == ".gs")
                fs::copy_file(entry.path(), root / ("scripts/" + entry.path().filename().string()));
        }
        GSCompiler::IncludePathList& includes = GSCompiler::IncludePathList::Global();
        includes.Clear();
        includes.Append(Nyx::File::Path(root / "scripts/"));
        for (const auto& entry : fs::directory_iterator(root / "scripts")) {
            GSCompiler::CompileSession sink;
            const std::string name = entry.path().filename().string();
            const std::string out = root / ("libraries/" + entry.path().stem().string() + ".gsl");
            if (GSCompiler::CompileToLibraryFile(&sink, name.c_str(), out.c_str()) != 0)
                return;
        }
        includes.Clear();
        Library("echo", 1, "native-plugin \"kni-echo\"\n");
        Library("plain", 3, "");
        root.Write("local/main/config.txt",
                   "kuid <kuid:600001:7>\nusername \"Main\"\nkind \"scenery\"\nkestro-build 3.5\ncategory-class "
                   "\"BR\"\ncategory-era \"1920s\"\ndescription \"Made for tests.\"\nkuid-table\n{\n  a "
                   "<kuid:600001:8>\n  b <kuid:600001:1>\n}\nstring-table\n{\n  greeting \"Hello $0\"\n}\n");
        root.Write("local/main/pic.png", imagefiles::Png(2, 1, {0xFFFF0000u, 0xFF00FF00u}));
        root.Write("local/main/sub/pic.tga", imagefiles::Tga(1, 2, {0xFF0000FFu, 0x80FF0000u}));
        root.Write("local/car/config.txt", "kuid <kuid:600001:8>\nusername \"Car\"\nkind \"traincar\"\nparent "
                                           "<kuid:600001:7>\nkuid-table\n{\n  0 <kuid:600001:7>\n}\n");
        fs::create_directories(root / "bin/plugins");
        fs::copy_file(KESTRO_KNI_ECHO, root / "bin/plugins/kni-echo.so");
        SetContentRootPath(Nyx::File::Path(root.Path()));
        OpenDataFolders(Nyx::File::Path(root.Path()));
        standIn = std::make_unique<FuzzStandIn>(root.Path());
        registry = std::make_unique<SpecRegistry>();
        registry->AddFactory(new GSOLibrarySpecFactory);
        registry->SetDefaultFactory(&assets);
        ready = InitScriptSystem();
    }

    void Library(const std::string& folder, int content, const std::string& extra)
    {
        root.Write("local/" + folder + "/config.txt", "kuid <kuid:600001:" + std::to_string(content) +
                                                          ">\nusername \"" + folder +
                                                          "\"\nkind \"library\"\nkestro-build 3.5\nscript "
                                                          "\"main\"\nclass \"MainLib\"\n" + extra);
        root.Write("local/" + folder + "/main.gs", kLibraryScript);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 16384)
        return 0;
    static World* world = new World;
    FuzzCheck(world->ready);
    GSMachine& machine = GSMachine::Get();

    // Each input compiles into a folder of its own, emptied after.
    const std::string work = world->root / "work";
    fs::remove_all(work);
    fs::create_directories(work);
    world->root.Write("work/fuzz.gs", std::string_view(reinterpret_cast<const char*>(data), size));
    GSCompiler::IncludePathList& includes = GSCompiler::IncludePathList::Global();
    includes.Clear();
    includes.Append(Nyx::File::Path(world->root / "scripts/"));
    includes.Append(Nyx::File::Path(work + "/"));
    int32_t errors = 0;
    {
        GSCompiler::CompileSession sink;
        errors = GSCompiler::CompileToLibraryFile(&sink, "fuzz.gs", (work + "/fuzz.gsl").c_str());
    }
    includes.Clear();
    if (errors != 0)
        return 0;
    LibraryId id;
    if (!machine.AddLibrary(Nyx::PString(), work, "fuzz.gsl", &id))
        return 0;
    GSLibrary* library = machine.LoadLibrary(id);
    GSClass* cls = library ? library->FindClass("Test") : nullptr;
    if (!cls || !cls->gameObjectClass)
        return 0;

    GSRunLimits& limits = RunLimits();
    limits.jumpBudget = 0x10000;
    limits.maxArrayElements = 0x1000;
    limits.maxStringBytes = 0x10000;
    {
        KestroScriptContext context(&machine);
        context.SetRouter(std::make_unique<GSRouter>(&context));
        GSRouter& router = *context.Router();
        auto test = std::make_unique<GSGameObject>();
        if (test->AttachClass(cls, &context)) {
            router.AddNode(*test);
            GSThread& thread = machine.MachineThread();
            GSSlot* const top = thread.stack.top;
            machine.CallFunction(&context, cls, test->GetInstance(), "$void@Test::Main()", nullptr, {});
            FuzzCheck(thread.stack.top == top && thread.stack.frame == nullptr);
            for (int round = 0; round < kRounds && test->Threads().Count() != 0; ++round) {
                AdvanceToolClock(kRoundSeconds);
                UpdateTick();
                router.Step(kRoundSeconds);
            }
            test->ClearThreads();
        }
        test.reset();
    }
    limits = GSRunLimits();
    fs::remove_all(work);
    return 0;
}
