#include "core/files/AssetFolderFiles.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/files/ContentRoot.h"
#include "core/streams/TStream.h"

namespace {

constexpr uint64_t kCopyChunk = 0x1000000;

Nyx::File::Path InFolder(const Nyx::File::Path& root, const Nyx::PString& folder, const Nyx::File::Path& path)
{
    Nyx::File::Path full = root;
    full.AddPath(folder.View());
    full.AddPath(path.View());
    return full;
}

// A path may be removed only when it names something below the root: text
// that begins with the root, then at least one real component, none of them
// "..". The root is compared by its exact text: a case variant could name a
// different folder on this file system.
bool StrictlyInside(const Nyx::File::Path& root, const Nyx::File::Path& path)
{
    std::string_view r = root.View();
    std::string_view p = path.View();
    if (r.empty() || p.size() <= r.size() || p.substr(0, r.size()) != r)
        return false;
    std::string_view rest = p.substr(r.size());
    if (r.back() != '/' && rest.front() != '/')
        return false;
    bool any = false;
    while (!rest.empty()) {
        size_t slash = rest.find('/');
        std::string_view part = rest.substr(0, slash);
        if (part == "..")
            return false;
        if (!part.empty() && part != ".")
            any = true;
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    }
    return any;
}

// Opening the destination truncates it, so copying a file onto itself would
// empty it.
bool SameFile(const Nyx::PString& aBase, const Nyx::File::Path& a, const Nyx::PString& bBase,
              const Nyx::File::Path& b)
{
    std::error_code ec;
    return std::filesystem::equivalent(Nyx::File::Resolve(aBase, a), Nyx::File::Resolve(bBase, b), ec);
}

}  // namespace

bool MakeContentFolder(const Nyx::PString& folder, const Nyx::File::Path& path)
{
    if (folder.Empty())
        return path.IsAbsolute() && Nyx::File::MakeFolder(path);
    return Nyx::File::MakeFolder(InFolder(GetContentRootPath(), folder, path));
}

bool RenameContentFile(const Nyx::PString& folder, const Nyx::File::Path& from, const Nyx::File::Path& to)
{
    if (folder.Empty())
        return from.IsAbsolute() && to.IsAbsolute() && Nyx::File::Rename(from, to);
    Nyx::File::Path root = GetContentRootPath();
    return Nyx::File::Rename(InFolder(root, folder, from), InFolder(root, folder, to));
}

bool FileExistsIn(const Nyx::PString& folder, const Nyx::File::Path& path)
{
    if (!folder.Empty())
        return Nyx::File::Exists(folder, path) == 0;
    if (!path.IsAbsolute())
        return true;
    return Nyx::File::Exists(path) == 0;
}

bool DeleteContentPath(const Nyx::PString& folder, const Nyx::File::Path& path)
{
    if (path.Empty())
        return false;
    Nyx::File::Path root = GetContentRootPath();
    Nyx::File::Path target;
    if (folder.Empty()) {
        if (!path.IsAbsolute())
            return false;
        target = path;
    } else {
        target = InFolder(root, folder, path);
    }
    if (!StrictlyInside(root, target))
        return false;
    return Nyx::File::Prune(target) || Nyx::File::Unlink(target);
}

bool CopyFileByStream(const Nyx::PString& srcFolder, const Nyx::File::Path& srcPath, const Nyx::PString& dstFolder,
                      const Nyx::File::Path& dstPath)
{
    TFile src;
    src.OpenIn(srcFolder, srcPath, Nyx::File::kModeRead);
    if (!src.IsOpen())
        return false;
    if (SameFile(srcFolder, srcPath, dstFolder, dstPath))
        return false;
    TFile dst;
    dst.OpenIn(dstFolder, dstPath, Nyx::File::kModeWriteCreate);
    if (!dst.IsOpen())
        return false;

    // The engine file's size, not the stream's 32-bit one, so large files copy whole.
    int64_t size = src.GetFile()->Size();
    if (size < 0)
        return false;
    uint64_t remaining = static_cast<uint64_t>(size);
    if (remaining == 0)
        return true;
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min(remaining, kCopyChunk)));
    while (remaining) {
        uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(remaining, buffer.size()));
        uint32_t got = src.ReadBytes(buffer.data(), want);
        if (got && dst.WriteBytes(buffer.data(), got) != got)
            return false;
        // A source that ends before its size said was cut short under us.
        if (got != want)
            return false;
        remaining -= got;
    }
    return dst.Flush() && dst.GetError() == TStream::kErrNone;
}
