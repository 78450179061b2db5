#include "kaddaemon/AssetFolders.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

namespace fs = std::filesystem;

namespace kaddaemon {
namespace {

// Folders nested deeper than this are taken for a loop of links.
constexpr int kMaxDepth = 64;

bool SyncFile(const fs::path& file)
{
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

bool CopyTree(const fs::path& from, const fs::path& to, int depth, std::string& error, const CopyObserver& observer)
{
    std::error_code ec;
    if (depth > kMaxDepth) {
        error = from.string() + " is nested too deeply";
        return false;
    }
    if (!fs::create_directory(to, ec)) {
        error = "cannot make " + to.string() + (ec ? ": " + ec.message() : std::string());
        return false;
    }
    // In name order, so that every copy of a folder goes the same way.
    std::vector<fs::path> entries;
    fs::directory_iterator it(from, ec), end;
    for (; !ec && it != end; it.increment(ec))
        entries.push_back(it->path());
    if (ec) {
        error = "cannot read " + from.string() + ": " + ec.message();
        return false;
    }
    std::sort(entries.begin(), entries.end());
    for (const fs::path& entry : entries) {
        fs::path target = to / entry.filename();
        fs::file_type type = fs::status(entry, ec).type();
        if (type == fs::file_type::directory) {
            if (!CopyTree(entry, target, depth + 1, error, observer))
                return false;
        } else if (type == fs::file_type::regular) {
            if (!fs::copy_file(entry, target, ec) || !SyncFile(target)) {
                error = "cannot copy " + entry.string() + (ec ? ": " + ec.message() : std::string());
                return false;
            }
            if (observer)
                observer(target.string());
        } else {
            error = entry.string() + " is neither a file nor a folder" + (ec ? ": " + ec.message() : std::string());
            return false;
        }
    }
    if (!SyncFolder(to)) {
        error = "cannot sync " + to.string();
        return false;
    }
    return true;
}

// Every entry below the folder by its path relative to it, with its type;
// false when the folder cannot be read whole.
bool ListTree(const fs::path& folder, std::map<std::string, fs::file_type>& out)
{
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::follow_directory_symlink, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        fs::file_type type = it->status(ec).type();
        if (ec || it.depth() > kMaxDepth)
            return false;
        out[fs::relative(it->path(), folder, ec).string()] = type;
    }
    return !ec;
}

bool SameBytes(const fs::path& a, const fs::path& b)
{
    std::error_code ecA, ecB;
    if (fs::file_size(a, ecA) != fs::file_size(b, ecB) || ecA || ecB)
        return false;
    std::ifstream inA(a, std::ios::binary), inB(b, std::ios::binary);
    std::vector<char> bufA(1 << 16), bufB(1 << 16);
    while (inA && inB) {
        inA.read(bufA.data(), std::streamsize(bufA.size()));
        inB.read(bufB.data(), std::streamsize(bufB.size()));
        if (inA.gcount() != inB.gcount() || !std::equal(bufA.begin(), bufA.begin() + inA.gcount(), bufB.begin()))
            return false;
    }
    return inA.eof() && inB.eof();
}

}  // namespace

bool SyncFolder(const std::string& folder)
{
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

bool CopyFolderDurably(const std::string& from, const std::string& to, std::string& error,
                       const CopyObserver& observer)
{
    return CopyTree(from, to, 0, error, observer);
}

bool SameFolderContents(const std::string& a, const std::string& b)
{
    std::map<std::string, fs::file_type> treeA, treeB;
    if (!ListTree(a, treeA) || !ListTree(b, treeB) || treeA != treeB)
        return false;
    for (const auto& [rel, type] : treeA)
        if (type == fs::file_type::regular && !SameBytes(fs::path(a) / rel, fs::path(b) / rel))
            return false;
    return true;
}

}  // namespace kaddaemon
