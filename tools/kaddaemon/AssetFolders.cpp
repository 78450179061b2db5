#include "kaddaemon/AssetFolders.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

namespace fs = std::filesystem;

namespace kaddaemon {
namespace {

// Every entry below the folder by its path relative to it, with its type;
// false when the folder cannot be read whole.
bool ListTree(const fs::path& folder, std::map<std::string, fs::file_type>& out)
{
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        fs::file_type type = it->symlink_status(ec).type();
        if (ec)
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

bool SameFolderContents(const std::string& a, const std::string& b)
{
    std::map<std::string, fs::file_type> treeA, treeB;
    if (!ListTree(a, treeA) || !ListTree(b, treeB) || treeA != treeB)
        return false;
    for (const auto& [rel, type] : treeA) {
        fs::path pathA = fs::path(a) / rel, pathB = fs::path(b) / rel;
        if (type == fs::file_type::regular && !SameBytes(pathA, pathB))
            return false;
        if (type == fs::file_type::symlink) {
            std::error_code ecA, ecB;
            if (fs::read_symlink(pathA, ecA) != fs::read_symlink(pathB, ecB) || ecA || ecB)
                return false;
        }
    }
    return true;
}

}  // namespace kaddaemon
