// The one script machine of the script API tests: the system scripts and
// the harness's Probe.gs compiled into a folder of its own, and the script
// system started on it. Class slots are process-wide, so every test of the
// program shares it.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "gs/compiler/driver/CompileSession.h"
#include "gs/compiler/driver/Compiler.h"
#include "gs/compiler/driver/IncludePathList.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/support/ScriptLogHook.h"
#include "scriptapi/startup/ScriptSystemStartup.h"

namespace scriptapitest {

inline std::string SourceRoot()
{
    return std::string(KESTRO_TEST_DATA_DIR) + "/../..";
}

inline std::string SystemScripts()
{
    return SourceRoot() + "/data/scripts/";
}

inline std::string HarnessScripts()
{
    return SourceRoot() + "/tools/scriptapi-harness/scripts/";
}

inline std::string CaseScripts()
{
    return SourceRoot() + "/tests/scriptapi/scripts/";
}

// Where the case scripts' includes are found.
inline std::vector<std::string> ScriptFolders()
{
    return {SystemScripts(), HarnessScripts()};
}

struct ScriptApiMachine {
    std::string folder;
    GSMachine machine;
    bool ready = false;

    // Other tests of the program may have filled the process-wide class
    // slots from machines of their own: they are pointed back here.
    static ScriptApiMachine& Get()
    {
        static ScriptApiMachine* shared = new ScriptApiMachine;
        if (shared->ready) {
            LoadSystemClass(shared->machine, GSMachine::kSystemLibrary, "GameObject",
                            SystemClassSlot(SystemClass::kGameObject));
            for (const SystemClassLoad& load : StartupSystemClasses())
                LoadSystemClass(shared->machine, load.libraryFile, load.className, SystemClassSlot(load.slot));
        }
        return *shared;
    }

private:
    ScriptApiMachine()
    {
        const char* tmp = std::getenv("TMPDIR");
        folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/scriptapi_test.XXXXXX";
        if (!::mkdtemp(folder.data()))
            return;
        // The machine is never destroyed (class slots outlive every test),
        // so its folder goes when the process ends; a child forked by a
        // test leaves it to the process that made it.
        static std::string made;
        static pid_t owner;
        made = folder;
        owner = ::getpid();
        std::atexit([] {
            if (::getpid() == owner) {
                std::error_code ignored;
                std::filesystem::remove_all(made, ignored);
            }
        });
        for (const std::string& scripts : ScriptFolders()) {
            for (const auto& entry : std::filesystem::directory_iterator(scripts))
                if (entry.path().extension() == ".gs" && !Compile(entry.path().filename().string()))
                    return;
        }
        machine.RegisterBuiltinNatives();
        machine.AddLibraryFolder(Nyx::PString(folder));
        // Loaded here, so that what its link says of the natives of classes
        // still to come stays out of every test's log.
        ready = ScriptSystemStartup(machine).Run() && machine.GetLibrary("Kestro.gsl");
    }

    bool Compile(const std::string& name)
    {
        GSCompiler::IncludePathList& includes = GSCompiler::IncludePathList::Global();
        includes.Clear();
        for (const std::string& scripts : ScriptFolders())
            includes.Append(Nyx::File::Path(scripts));
        GSCompiler::CompileSession sink;
        const std::string stem = std::filesystem::path(name).stem().string();
        const int32_t errors =
            GSCompiler::CompileToLibraryFile(&sink, name.c_str(), (folder + "/" + stem + ".gsl").c_str());
        includes.Clear();
        while (const char* line = sink.TakeLine())
            std::fprintf(stderr, "%s: %s\n", name.c_str(), line);
        return errors == 0;
    }
};

// Collects the script log while it lives.
class LogCapture {
public:
    LogCapture() : previous_(ScriptLogHook)
    {
        current_ = this;
        ScriptLogHook = &Collect;
    }
    ~LogCapture()
    {
        ScriptLogHook = previous_;
        current_ = nullptr;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines;

private:
    static void Collect(const char* fmt, ...)
    {
        char text[2048];
        va_list args;
        va_start(args, fmt);
        std::vsnprintf(text, sizeof text, fmt, args);
        va_end(args);
        if (current_)
            current_->lines.push_back(text);
    }

    ScriptLogFunction previous_;
    static inline LogCapture* current_ = nullptr;
};

}  // namespace scriptapitest
