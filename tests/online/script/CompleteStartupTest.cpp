// Script-system start-up with the online classes handed in as the tool
// hands them in: every native table at its place, every system class
// loaded, and not one native left unresolved by the system libraries.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "gs/runtime/registry/GSMachine.h"
#include "gs/runtime/registry/GSNativeFunction.h"
#include "nyx/files/File.h"
#include "online/script/OnlineScriptClasses.h"
#include "scriptapi/startup/ScriptSystemStartup.h"
#include "scriptapi/support/ScriptApiMachine.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

fs::path BuiltLibraries() { return fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "libraries"; }

TEST(CompleteStartupTest, EveryTableInOrderEveryClassLoadedNothingUnresolved)
{
    TempFolder folder;
    for (const fs::directory_entry& entry : fs::directory_iterator(BuiltLibraries()))
        fs::copy_file(entry.path(), fs::path(folder.Path()) / entry.path().filename());
    Nyx::File::Subst::Add(Nyx::PString("libraries"), Nyx::File::Path(folder.Path() + "/"));
    InstallOnlineScriptClasses();
    ClearSystemClasses();

    GSMachine machine;
    machine.RegisterBuiltinNatives();
    const uint32_t builtins = machine.Natives().Count();
    bool ready = false;
    std::vector<std::string> log;
    {
        scriptapitest::LogCapture capture;
        ready = ScriptSystemStartup(machine).Run();
        log = capture.lines;
    }
    Nyx::File::Subst::Remove(Nyx::PString("libraries"));
    EXPECT_TRUE(ready);

    // The classes the natives came in for, each run of one class once.
    std::vector<std::string> classes;
    uint32_t index = 0;
    for (auto* node = machine.Natives().First(); node; node = machine.Natives().After(*node), ++index) {
        if (index < builtins)
            continue;
        const std::string name(static_cast<GSRuntime::GSNativeFunction*>(node)->ClassName().View());
        if (classes.empty() || classes.back() != name)
            classes.push_back(name);
    }
    EXPECT_EQ(classes, (std::vector<std::string>{"KUID", "Soup", "HTMLBuffer", "HTMLBufferStatic", "KUIDList",
                                                 "StringTable", "Asset", "LinkedList", "OnlineAccess", "OnlineGroup",
                                                 "Library", "Image", "KestroScriptBase", "SecurityToken",
                                                 "ConstructorsBase"}));
    for (const SystemClassLoad& load : StartupSystemClasses())
        EXPECT_NE(nullptr, GetSystemClass(load.slot)) << load.className;
    EXPECT_EQ(12u, StartupSystemClasses().size());
    for (const std::string& line : log)
        EXPECT_EQ(std::string::npos, line.find("Could not resolve native link")) << line;
    ClearSystemClasses();
}

}  // namespace
