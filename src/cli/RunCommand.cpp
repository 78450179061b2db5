#include "cli/RunCommand.h"

#include <cstdio>
#include <filesystem>
#include <strings.h>
#include <unistd.h>
#include <vector>

#include "cli/CommandHandlers.h"
#include "cli/Environment.h"
#include "config/kuid/KUID.h"
#include "config/results/ResultsLog.h"
#include "gs/compiler/CompilerMain.h"
#include "gs/compiler/ScriptFileStore.h"
#include "kad/client/LinkWatch.h"
#include "nyx/files/File.h"
#include "nyx/base/PString.h"
#include "resources/textures/TextureConvert.h"

namespace {

struct CommandArgs {
    int argc;
    char** argv;
    // argv[2] lower-cased, or empty: for KUIDs and mode words.
    Nyx::PString parameter;
    // argv[2] as typed, or empty: for paths, whose case matters here.
    const char* rawParameter;

    bool Missing() const { return parameter.Empty(); }
};

void AddError(ResultsLog& log, const char* text) { ResultsLog::AddResult(log, ResultsLog::kError, Nyx::String(text)); }

KUID ParameterKUID(const CommandArgs& args) { return KUID::Parse(args.parameter.c_str(), true); }

// Runs with the process in another working folder and goes back afterwards.
// A folder that cannot be entered leaves relative paths relative to where
// the process is.
class WorkingFolderSwitch {
public:
    explicit WorkingFolderSwitch(const std::string& folder) : previous_(CurrentWorkingFolder())
    {
        if (!folder.empty())
            ChangeFolder(folder);
    }
    ~WorkingFolderSwitch()
    {
        if (!previous_.empty())
            ChangeFolder(previous_);
    }
    WorkingFolderSwitch(const WorkingFolderSwitch&) = delete;
    WorkingFolderSwitch& operator=(const WorkingFolderSwitch&) = delete;

private:
    static bool ChangeFolder(const std::string& folder) { return ::chdir(folder.c_str()) == 0; }

    std::string previous_;
};

using Handler = int (*)(ResultsLog&, EngineContext&, const CommandArgs&);

int Version(ResultsLog&, EngineContext&, const CommandArgs&)
{
    std::printf("Build %d\n", kInstalledBuildNumber);
    return 0;
}

int VersionLo(ResultsLog&, EngineContext&, const CommandArgs&) { return kInstalledVersion & 0xFF; }
int VersionHi(ResultsLog&, EngineContext&, const CommandArgs&) { return (kInstalledVersion >> 8) & 0xFF; }
int BuildLo(ResultsLog&, EngineContext&, const CommandArgs&) { return kInstalledBuildNumber & 0xFF; }
int BuildHi(ResultsLog&, EngineContext&, const CommandArgs&) { return (kInstalledBuildNumber >> 8) & 0xFF; }
int InstalledVersion(ResultsLog&, EngineContext&, const CommandArgs&) { return kInstalledVersion; }
int InstalledBuild(ResultsLog&, EngineContext&, const CommandArgs&) { return kInstalledBuildNumber; }

int Echo(ResultsLog&, EngineContext&, const CommandArgs& args)
{
    for (int i = 2; i < args.argc; ++i) {
        std::fputs(args.argv[i] ? args.argv[i] : "", stdout);
        std::fputc(' ', stdout);
    }
    std::fputc('\n', stdout);
    return 0;
}

int CloseDaemon(ResultsLog& log, EngineContext&, const CommandArgs&) { return CloseDaemonCommand(log); }

int InstallCDP(ResultsLog& log, EngineContext&, const CommandArgs& args)
{
    if (args.Missing()) {
        AddError(log, "Missing input filepath parameter.");
        return -1;
    }
    return InstallCDPCommand(log, args.rawParameter);
}

int InstallFromPath(ResultsLog& log, EngineContext&, const CommandArgs& args)
{
    if (args.Missing()) {
        AddError(log, "Missing input path parameter.");
        return -1;
    }
    if (Nyx::File::Exists(Nyx::File::Path(args.rawParameter)) != 0) {
        AddError(log, "Invalid input path.");
        return -1;
    }
    return InstallFromPathCommand(log, args.rawParameter);
}

int ImportConsists(ResultsLog& log, EngineContext&, const CommandArgs& args)
{
    if (args.Missing()) {
        AddError(log, "Missing input path parameter.");
        return -1;
    }
    return ImportConsistsCommand(log, args.rawParameter);
}

// The commands that name one asset.
template <int (*Work)(ResultsLog&, const KUID&)>
int AssetCommand(ResultsLog& log, EngineContext&, const CommandArgs& args)
{
    if (args.Missing()) {
        AddError(log, "Missing AssetID parameter.");
        return -1;
    }
    return Work(log, ParameterKUID(args));
}

int Compile(ResultsLog& log, EngineContext&, const CommandArgs& args)
{
    if (args.Missing()) {
        AddError(log, "Invalid file path.");
        return -1;
    }
    // The compiler reads its own arguments; the command word would be taken
    // for the input file's name.
    std::vector<char*> compilerArgs(args.argv, args.argv + args.argc);
    static char empty[] = "";
    compilerArgs[1] = empty;
    compilerArgs.push_back(nullptr);
    WorkingFolderSwitch inUserFolder(GetInitialWorkingFolder());
    return CompilerMain(args.argc, compilerArgs.data()) == 0 ? 0 : -1;
}

int CommandHost(ResultsLog& log, EngineContext&, const CommandArgs&) { return CommandHostCommand(log); }

int Encrypt(ResultsLog& log, EngineContext&, const CommandArgs& args)
{
    if (args.Missing()) {
        AddError(log, "Invalid file path.");
        return -1;
    }
    bool success = false;
    {
        WorkingFolderSwitch inUserFolder(GetInitialWorkingFolder());
        const Nyx::File::Path source(args.rawParameter);
        std::string_view extension = source.Extension();
        if (extension.size() == 2 && ::strncasecmp(extension.data(), "gs", 2) == 0) {
            std::string target(source.View().substr(0, source.Length() - extension.size()));
            target += "gse";
            ScriptFileStore store;
            // A script that was read but could not be written is no success.
            success = store.Open(Nyx::PString(), source) && store.Save(Nyx::PString(), Nyx::File::Path(target));
        }
    }
    if (!success) {
        AddError(log, "Invalid file path.");
        return -1;
    }
    return 0;
}

int ListBuilds(ResultsLog& log, EngineContext&, const CommandArgs& args)
{
    if (args.Missing()) {
        AddError(log, "Missing path parameter.");
        return -1;
    }
    return ListBuildsCommand(log, args.rawParameter);
}

int GenerateKUID(ResultsLog& log, EngineContext&, const CommandArgs&) { return GenerateKUIDCommand(log); }

int RepairDatabase(ResultsLog& log, EngineContext&, const CommandArgs& args)
{
    static const Nyx::PString kExtended("extended");
    static const Nyx::PString kPatcher("patcher");
    uint32_t mode = 100;
    if (args.parameter == kExtended)
        mode = 150;
    else if (args.parameter == kPatcher)
        mode = 50;
    return RepairDatabaseCommand(log, mode);
}

int CompressTexture(ResultsLog& log, EngineContext&, const CommandArgs& args)
{
    if (args.Missing()) {
        AddError(log, "Missing AssetID parameter.");
        return -1;
    }
    Nyx::File::Path folder(args.rawParameter);
    if (!folder.IsAbsolute()) {
        std::filesystem::path joined = std::filesystem::path(CurrentWorkingFolder()) / folder.Str();
        folder = Nyx::File::Path(joined.lexically_normal().string());
    }
    return TextureConvertFolder(Nyx::PString(), folder, log) == 2 ? 0 : -1;
}

int Authors(ResultsLog& log, EngineContext&, const CommandArgs&) { return AuthorsCommand(log); }

int SearchByCategory(ResultsLog& log, EngineContext&, const CommandArgs& args)
{
    static const Nyx::PString kAll("-a");
    if (args.parameter == kAll) {
        const char* expression = args.argc >= 4 && args.argv[3] ? args.argv[3] : "";
        if (!*expression) {
            AddError(log, "Missing category parameter.");
            return -1;
        }
        return SearchByCategoryCommand(log, true, expression);
    }
    return SearchByCategoryCommand(log, false, args.parameter.c_str());
}

int CreateCDP(ResultsLog& log, EngineContext&, const CommandArgs& args)
{
    if (args.Missing()) {
        AddError(log, "Missing output path parameter.");
        return -1;
    }
    return CreateCDPCommand(log, args.argc, args.argv);
}

int VrqParse(ResultsLog& log, EngineContext&, const CommandArgs& args)
{
    if (args.Missing()) {
        AddError(log, "Missing CDP filepath.");
        return -1;
    }
    return VrqParseCommand(log, args.rawParameter);
}

int VrqDeleteAll(ResultsLog& log, EngineContext&, const CommandArgs&) { return VrqDeleteAllCommand(log); }

int BackupKeywords(ResultsLog& log, EngineContext&, const CommandArgs& args)
{
    return BackupKeywordsCommand(log, args.Missing() ? "KeywordsBackup.dat" : args.rawParameter);
}

int ImportKeywords(ResultsLog& log, EngineContext&, const CommandArgs&) { return ImportKeywordsCommand(log); }

struct Command {
    Nyx::PString word;
    Handler handler;
};

// In the order the words are tried.
const std::vector<Command>& CommandTable()
{
    static const std::vector<Command> table = {
        {"version", Version},
        {"installedversionlo", VersionLo},
        {"installedversionhi", VersionHi},
        {"installedbuildnumberlo", BuildLo},
        {"installedbuildnumberhi", BuildHi},
        {"echo", Echo},
        {"installedversion", InstalledVersion},
        {"installedbuildnumber", InstalledBuild},
        {"closekaddaemon", CloseDaemon},
        {"installcdp", InstallCDP},
        {"installfrompath", InstallFromPath},
        {"importconsists", ImportConsists},
        {"edit", AssetCommand<EditCommand>},
        {"printconfig", AssetCommand<PrintConfigCommand>},
        {"compile", Compile},
        {"kadcommandhost", CommandHost},
        {"encrypt", Encrypt},
        {"listbuilds", ListBuilds},
        {"commit", AssetCommand<CommitCommand>},
        {"revert", AssetCommand<RevertCommand>},
        {"delete", AssetCommand<DeleteCommand>},
        {"generatekuid", GenerateKUID},
        {"repairdatabase", RepairDatabase},
        {"compresstexture", CompressTexture},
        {"authors", Authors},
        {"searchbycategory", SearchByCategory},
        {"status", AssetCommand<StatusCommand>},
        {"validate", AssetCommand<ValidateCommand>},
        {"createcdp", CreateCDP},
        {"vrqparse", VrqParse},
        {"vrqdeleteall", VrqDeleteAll},
        {"backupkeywords", BackupKeywords},
        {"importkeywords", ImportKeywords},
    };
    return table;
}

}  // namespace

int RunCommand(ResultsLog& log, EngineContext& context, int argc, char** argv)
{
    // A batch line can come without a command word; it is a word the table
    // does not hold.
    if (argc >= 2 && argv[1]) {
        const Nyx::PString word = Nyx::PStringCache::ToLower(Nyx::PString(argv[1]));
        const bool hasParameter = argc >= 3 && argv[2];
        const CommandArgs args{argc, argv,
                               hasParameter ? Nyx::PStringCache::ToLower(Nyx::PString(argv[2])) : Nyx::PString(),
                               hasParameter ? argv[2] : ""};
        for (const Command& command : CommandTable()) {
            if (command.word != word)
                continue;
            // A command that failed because its daemon connection broke
            // says so, whatever its own messages are.
            const LinkWatch link;
            const int code = command.handler(log, context, args);
            if (code != 0 && link.Lost())
                LinkWatch::ReportLost(log);
            return code;
        }
    }
    AddError(log, "Invalid argument, please check the help for the list of valid argument\n");
    return -1;
}
