// "createcdp", "installcdp", "installfrompath" and "vrqparse".
#include "cli/PackageCommands.h"

#include <sys/stat.h>

#include <string>

#include "cli/CommandHandlers.h"
#include "cli/Environment.h"
#include "config/ResultsLog.h"
#include "kad/requests/KADRequests.h"

namespace {

// Paths the daemon gets must not depend on its working folder; a relative
// one is taken from this process's (the program folder).
Nyx::File::Path Absolute(const char* text)
{
    Nyx::File::Path path(text);
    if (path.Empty() || path.IsAbsolute())
        return path;
    Nyx::File::Path joined(CurrentWorkingFolder());
    joined.AddPath(path.View());
    return joined;
}

bool IsLink(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool InstallFromPathAt(const Nyx::File::Path& folder, ResultsLog& log, const std::atomic<bool>* cancel, int depth)
{
    if (folder.Empty())
        return true;
    for (const char* config : {"config.txt", "config.chump"}) {
        Nyx::File::Path file(folder);
        file.AddPath(config);
        if (Nyx::File::Exists(file) == 0) {
            KUID kuid;
            return KADRequests::InstallFromFolder(folder, 0, kuid, nullptr, &log);
        }
    }
    // Deeper than any asset tree goes, the search is taken for a loop.
    if (depth >= kMaxInstallDepth)
        return true;
    bool ok = true;
    Nyx::File::Path pattern(folder);
    pattern.AddPath("*");
    Nyx::File::Find find(pattern);
    while (find.Next()) {
        Nyx::File::Path entry(folder);
        entry.AddPath(find.Name());
        // A link to a folder could lead back above itself.
        if (find.IsFolder() && !IsLink(entry.Str()))
            ok = InstallFromPathAt(entry, log, cancel, depth + 1) && ok;
        if (cancel && cancel->load())
            break;
    }
    return ok;
}

}  // namespace

bool InstallFromPath(const Nyx::File::Path& folder, ResultsLog& log, const std::atomic<bool>* cancel)
{
    return InstallFromPathAt(folder, log, cancel, 0);
}

Nyx::String EscapeLineBreaks(const char* text)
{
    std::string out;
    for (const char* p = text; p && *p; ++p) {
        if (*p == '\r' || *p == '\n') {
            out += "\\n";
            if ((p[1] == '\r' || p[1] == '\n') && p[1] != *p)
                ++p;
        } else if (*p == '\\') {
            out += "\\\\";
        } else {
            out += *p;
        }
    }
    return Nyx::String(out);
}

Nyx::String KUIDListText(const KUIDRing& kuids)
{
    std::string out;
    for (const KUID& kuid : kuids) {
        if (!out.empty())
            out += ", ";
        out += kuid.ToString().c_str();
    }
    return Nyx::String(out);
}

int InstallCDPCommand(ResultsLog& log, const char* packagePath)
{
    int32_t value = 0;
    return KADRequests::InstallCDP(Absolute(packagePath), 2, value, nullptr, &log) ? 0 : -1;
}

int InstallFromPathCommand(ResultsLog& log, const char* folder)
{
    return InstallFromPath(Absolute(folder), log) ? 0 : -1;
}
