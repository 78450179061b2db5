// A content package from arbitrary bytes: the input is saved as a ".cdp"
// file, loaded and checked as a package, and every entry's files are
// extracted into one target folder in which symbolic links to a folder
// beside it were planted first. Whatever the package holds, nothing may be
// created, changed or removed outside the target, no link may be replaced
// or written through, and no temporary file may be left behind.
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "FuzzCheck.h"
#include "FuzzTempFolder.h"
#include "config/tree/ACSChunk.h"
#include "kad/packages/CDP.h"

namespace {

namespace fs = std::filesystem;

// Inputs this large could decompress to many megabytes per file.
constexpr size_t kMaxInput = 64 * 1024;

// Every path below the folder with its type and, for files, its size and
// modification time; links are listed, never followed.
std::set<std::string> Snapshot(const std::string& folder, const std::string& skip)
{
    std::set<std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const std::string path = it->path().string();
        if (path == skip) {
            it.disable_recursion_pending();
            continue;
        }
        struct stat st;
        FuzzCheck(::lstat(path.c_str(), &st) == 0);
        out.insert(path + " " + std::to_string(st.st_mode) + " " + std::to_string(st.st_size) + " " +
                   std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec));
    }
    return out;
}

bool IsLink(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxInput)
        return 0;
    static FuzzTempFolder temp("cdp-extract-fuzz");
    temp.Clear();
    const std::string target = temp / "target";
    temp.Write("outside/victim.txt", "untouched");
    temp.Write("package.cdp", std::string_view(reinterpret_cast<const char*>(data), size));
    fs::create_directories(target);
    // Names a package may well use for a file and for a folder.
    fs::create_symlink(temp / "outside/victim.txt", target + "/config.txt");
    fs::create_symlink(temp / "outside", target + "/mesh");
    const std::set<std::string> before = Snapshot(temp.Path(), target);

    ChunkRef package;
    Nyx::String header = CDP::CheckHeader(package, Nyx::File::Path(temp / "package.cdp"));
    FuzzCheck(header.Empty() || CDP::GetAssetCount(package) == 0);
    const uint32_t count = CDP::GetAssetCount(package);
    for (uint32_t i = 0; i < count; ++i) {
        ChunkRef entry = CDP::GetAssetAt(package, i);
        (void)CDP::VerifyEntryChecksum(entry);
        (void)CDP::MakeConfigFromEntry(entry);
        (void)CDP::ExtractFolder(CDP::GetEntryFiles(entry), Nyx::File::Path(target), CDP::GetEntryCompression(entry));
    }

    FuzzCheck(Snapshot(temp.Path(), target) == before);
    FuzzCheck(IsLink(target + "/config.txt") && IsLink(target + "/mesh"));
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(target, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        FuzzCheck(it->path().filename().string().rfind(".extracting-", 0) != 0);
    return 0;
}
