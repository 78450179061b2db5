// "installfrompath" over a folder tree the input describes, against the
// stand-in's store. One line a thing, a letter and a path below the tree:
//   d PATH          a folder
//   c PATH [TEXT]   PATH/config.txt naming a KUID of its own, TEXT after it
//   f PATH [TEXT]   a file holding TEXT ("\n" in TEXT is a line break)
//   l PATH TARGET   a symbolic link to TARGET as written ("@" first: to a
//                   folder outside the tree)
// Whatever the tree: the walk asks for every folder holding a config that
// it reaches without a link at most kMaxInstallDepth folders down and below
// no other such folder, and for no other; for none twice; the command fails
// exactly when an install reported an error; the tree and what lies beside
// it are left as they were; and no installed copy holds a link that leads
// out of its own folder.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzSnapshot.h"
#include "FuzzStandIn.h"
#include "FuzzTempFolder.h"
#include "cli/CommandHandlers.h"
#include "cli/PackageCommands.h"
#include "config/results/ResultsLog.h"
#include "kad/requests/KADRequests.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxLines = 200;
constexpr size_t kMaxComponents = 80;

// Path components the input may use: no empty, "." or ".." ones. A "\\"
// separates, as everywhere in the tool.
std::string CleanPath(std::string_view given)
{
    std::string slashes(given);
    std::replace(slashes.begin(), slashes.end(), '\\', '/');
    const std::string_view text = slashes;
    std::string out;
    size_t components = 0;
    for (size_t at = 0; at <= text.size() && components < kMaxComponents;) {
        size_t end = text.find('/', at);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view part = text.substr(at, end - at);
        if (!part.empty() && part != "." && part != ".." && part.find('\0') == std::string_view::npos) {
            if (!out.empty())
                out += '/';
            out += part;
            ++components;
        }
        at = end + 1;
    }
    return out;
}

std::string Unescape(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool IsLink(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool IsRealFolder(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Makes the folders of the path below the tree, never through a link: the
// input's links must not lead the layout out of the target's folder.
bool MakeFolders(const std::string& tree, const std::string& path)
{
    std::string at = tree;
    for (size_t from = 0; from < path.size();) {
        size_t end = path.find('/', from);
        if (end == std::string::npos)
            end = path.size();
        at += "/" + path.substr(from, end - from);
        from = end + 1;
        struct stat st;
        if (::lstat(at.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode))
                return false;
        } else if (::mkdir(at.c_str(), 0755) != 0) {
            return false;
        }
    }
    return true;
}

// A file where nothing is yet, in a folder MakeFolders made.
void WriteNew(const std::string& path, const std::string& text)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0)
        return;
    std::ofstream out(path, std::ios::binary);
    out << text;
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// A config by either name, in any case, of any type, as the walk looks.
bool HoldsConfigName(const std::string& folder)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (EqualNoCase(name, "config.txt") || EqualNoCase(name, "config.chump"))
            return true;
    }
    return false;
}

// The folders the walk must ask for: those holding "config.txt" as a
// regular file, reached without links, and below no folder holding any
// config name.
void Required(const std::string& folder, int depth, std::set<std::string>& out)
{
    struct stat st;
    if (::lstat((folder + "/config.txt").c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        out.insert(folder);
        return;
    }
    if (HoldsConfigName(folder) || depth >= kMaxInstallDepth)
        return;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string path = entry.path().string();
        if (IsRealFolder(path))
            Required(path, depth + 1, out);
    }
}

// Whether the folder may be asked for: below the tree by real folders only,
// at most kMaxInstallDepth down, holding a config name, under no folder
// that holds one.
bool Allowed(const std::string& tree, const std::string& folder)
{
    if (folder != tree && folder.compare(0, tree.size() + 1, tree + "/") != 0)
        return false;
    const std::string below = folder == tree ? std::string() : folder.substr(tree.size() + 1);
    std::string at = tree;
    int depth = 0;
    for (size_t from = 0; from < below.size();) {
        if (HoldsConfigName(at))
            return false;
        size_t end = below.find('/', from);
        if (end == std::string::npos)
            end = below.size();
        at += "/" + below.substr(from, end - from);
        if (!IsRealFolder(at) || ++depth > kMaxInstallDepth)
            return false;
        from = end + 1;
    }
    return HoldsConfigName(folder);
}

// Every link of an installed copy resolves inside the copy.
void CheckCopies(const std::string& local)
{
    std::error_code ec;
    for (const auto& asset : fs::directory_iterator(local, ec)) {
        const fs::path top = fs::weakly_canonical(asset.path());
        std::error_code walk;
        for (auto it = fs::recursive_directory_iterator(asset.path(), walk);
             !walk && it != fs::recursive_directory_iterator(); it.increment(walk)) {
            if (!IsLink(it->path().string()))
                continue;
            std::error_code resolve;
            const fs::path target = fs::canonical(it->path(), resolve);
            FuzzCheck(!resolve);
            const std::string inside = target.string();
            FuzzCheck(inside == top.string() || inside.compare(0, top.string().size() + 1, top.string() + "/") == 0);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 16384)
        return 0;
    static FuzzTempFolder folder("install_from_path_fuzz");
    folder.Clear();
    const std::string tree = folder / "tree";
    fs::create_directories(tree);
    fs::create_directories(folder / "root");
    folder.Write("outside/config.txt", "kuid <kuid:400001:999>\nkind \"scenery\"\n");
    folder.Write("outside/inner/a.txt", "outside");

    std::string_view input(reinterpret_cast<const char*>(data), size);
    int configs = 0;
    for (size_t lines = 0; !input.empty() && lines < kMaxLines; ++lines) {
        const size_t feed = input.find('\n');
        std::string_view line = input.substr(0, feed);
        input.remove_prefix(feed == std::string_view::npos ? input.size() : feed + 1);
        if (line.size() < 3 || line[1] != ' ')
            continue;
        const char kind = line[0];
        line.remove_prefix(2);
        const size_t space = line.find(' ');
        const std::string path = CleanPath(line.substr(0, space));
        const std::string_view rest = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
        const std::string full = path.empty() ? tree : tree + "/" + path;
        std::error_code ec;
        switch (kind) {
        case 'd':
            MakeFolders(tree, path);
            break;
        case 'c':
            if (MakeFolders(tree, path)) {
                const std::string number = std::to_string(++configs);
                WriteNew(full + "/config.txt", "kuid <kuid:400001:" + number + ">\nkind \"scenery\"\nusername \"a" +
                                                   number + "\"\n" + Unescape(rest));
            }
            break;
        case 'f':
            if (!path.empty() && MakeFolders(tree, fs::path(path).parent_path().string()))
                WriteNew(full, Unescape(rest));
            break;
        case 'l':
            if (!path.empty() && !rest.empty() && MakeFolders(tree, fs::path(path).parent_path().string())) {
                const std::string target =
                    rest[0] == '@' ? folder / ("outside/" + CleanPath(rest.substr(1))) : std::string(rest);
                if (target.find('\0') == std::string::npos)
                    fs::create_symlink(target, full, ec);
            }
            break;
        default:
            break;
        }
    }

    const std::set<std::string> treeBefore = Snapshot(tree);
    const std::set<std::string> outsideBefore = Snapshot(folder / "outside");
    std::set<std::string> required;
    Required(tree, 0, required);

    std::vector<std::string> asked;
    int code = 0;
    ResultsLog log;
    {
        FuzzStandIn standIn(folder / "root");
        standIn.observer = [&asked](uint32_t number, const std::string& payload) {
            FuzzCheck(number == KADRequests::kInstallFromFolder);
            TBuffer in;
            in.WriteBytes(payload.data(), static_cast<uint32_t>(payload.size()));
            in.Rewind();
            Nyx::String text;
            in.ReadString(text);
            asked.emplace_back(text.c_str());
        };
        code = InstallFromPathCommand(log, tree.c_str());
    }

    const std::set<std::string> askedSet(asked.begin(), asked.end());
    FuzzCheck(askedSet.size() == asked.size());
    for (const std::string& path : asked)
        FuzzCheck(Allowed(tree, path));
    for (const std::string& path : required)
        FuzzCheck(askedSet.count(path) == 1);
    FuzzCheck((code == 0) == (log.GetErrorCount() == 0));
    FuzzCheck(Snapshot(tree) == treeBefore);
    FuzzCheck(Snapshot(folder / "outside") == outsideBefore);
    CheckCopies(folder / "root/local");
    return 0;
}
