// gsrun: the project's script runner. Runs its actions in order against the
// process's script machine:
//   add FILE     register one library file   "add FILE: ok" / "add FILE: refused"
//   folder DIR   register every "*.gsl" in DIR   "folder DIR: ok" / "folder DIR: failed"
//   load NAME    load and link a library by name   "load NAME: ok" / "load NAME: failed"
// Every script-log line prints as "log: " + the line, when it is logged.
// Before the actions it registers the data root's "libraries" folder (the
// folder above the one holding this program), when there is one.
//
// Exit codes: 0 when every action succeeded, 1 otherwise, 2 for a wrong
// command line.
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>

#include "gs/runtime/registry/GSMachine.h"
#include "gs/support/ScriptLogHook.h"
#include "nyx/File.h"

namespace {

void PrintLogLine(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    std::fputs("log: ", stdout);
    std::vfprintf(stdout, fmt, args);
    std::fputc('\n', stdout);
    va_end(args);
}

int Usage()
{
    std::fputs("usage: gsrun ACTION...\n"
               "actions: add FILE | folder DIR | load NAME\n",
               stderr);
    return 2;
}

std::string ProgramFolder()
{
    std::string buf(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0 || size_t(n) >= buf.size())
        return {};
    buf.resize(size_t(n));
    return std::string(Nyx::File::Path(buf).Folder());
}

void RegisterDataRootLibraries(GSMachine& machine)
{
    std::string folder = ProgramFolder();
    if (folder.empty())
        return;
    std::string libraries = folder + "../libraries";
    if (Nyx::File::IsFolder(Nyx::File::Path(libraries)))
        machine.AddLibraryFolder(Nyx::PString(libraries));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || (argc - 1) % 2 != 0)
        return Usage();
    for (int i = 1; i < argc; i += 2) {
        std::string_view action = argv[i];
        if (action != "add" && action != "folder" && action != "load")
            return Usage();
    }

    ScriptLogHook = PrintLogLine;
    GSMachine& machine = GSMachine::Get();
    RegisterDataRootLibraries(machine);

    bool allOk = true;
    for (int i = 1; i < argc; i += 2) {
        std::string_view action = argv[i];
        const char* operand = argv[i + 1];
        const char* outcome;
        if (action == "add") {
            bool ok = machine.AddLibrary(Nyx::PString(), std::string_view(), operand);
            outcome = ok ? "ok" : "refused";
            allOk = allOk && ok;
        } else if (action == "folder") {
            bool ok = machine.AddLibraryFolder(Nyx::PString(operand));
            outcome = ok ? "ok" : "failed";
            allOk = allOk && ok;
        } else {
            bool ok = machine.GetLibrary(operand) != nullptr;
            outcome = ok ? "ok" : "failed";
            allOk = allOk && ok;
        }
        std::printf("%s %s: %s\n", argv[i], operand, outcome);
        std::fflush(stdout);
    }
    return allOk ? 0 : 1;
}
