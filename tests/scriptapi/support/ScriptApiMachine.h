// The one script machine of the script API tests: the system library and
// the test declarations of this module's classes compiled into a folder of
// its own, this module's natives entered, and the classes loaded. Class
// slots are process-wide, so every test of the program shares it.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "gs/compiler/driver/CompileSession.h"
#include "gs/compiler/driver/Compiler.h"
#include "gs/compiler/driver/IncludePathList.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/support/ScriptLogHook.h"
#include "scriptapi/context/ScriptApiNatives.h"

namespace scriptapitest {

inline std::string SourceRoot()
{
    return std::string(KESTRO_TEST_DATA_DIR) + "/../..";
}

inline std::string SystemScripts()
{
    return SourceRoot() + "/tests/scriptapi/scripts/system/";
}

inline std::string CaseScripts()
{
    return SourceRoot() + "/tests/scriptapi/scripts/";
}

struct ScriptApiMachine {
    std::string folder;
    GSMachine machine;
    bool ready = false;

    static ScriptApiMachine& Get()
    {
        static ScriptApiMachine* shared = new ScriptApiMachine;
        return *shared;
    }

private:
    ScriptApiMachine()
    {
        const char* tmp = std::getenv("TMPDIR");
        folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/scriptapi_test.XXXXXX";
        if (!::mkdtemp(folder.data()))
            return;
        const std::string systemData = SourceRoot() + "/data/scripts/";
        if (!Compile(systemData, "gs.gs"))
            return;
        for (const char* name : {"kuid.gs", "Soup.gs", "KUIDList.gs", "HTMLBuffer.gs", "StringTable.gs", "Kestro.gs"})
            if (!Compile(SystemScripts(), name))
                return;
        machine.RegisterBuiltinNatives();
        RegisterScriptApiNatives(machine);
        machine.AddLibraryFolder(Nyx::PString(folder));
        ready = LoadScriptApiClasses(machine);
    }

    bool Compile(const std::string& from, const char* name)
    {
        GSCompiler::IncludePathList& includes = GSCompiler::IncludePathList::Global();
        includes.Clear();
        includes.Append(Nyx::File::Path(SystemScripts()));
        includes.Append(Nyx::File::Path(SourceRoot() + "/data/scripts/"));
        includes.Append(Nyx::File::Path(from));
        GSCompiler::CompileSession sink;
        const std::string stem = std::filesystem::path(name).stem().string();
        const int32_t errors = GSCompiler::CompileToLibraryFile(&sink, name, (folder + "/" + stem + ".gsl").c_str());
        includes.Clear();
        while (const char* line = sink.TakeLine())
            std::fprintf(stderr, "%s: %s\n", name, line);
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
