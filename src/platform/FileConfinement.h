// Where a file read on an asset's behalf may lie, and how it is opened.
//
// Asset data names files of its own (texture images, meshes, scripts) and
// is not to be trusted with them: a name may climb out with "..", a link
// may point anywhere, and a FIFO or a device would hold the reader in
// open() or read() for ever. Every reader of asset files goes through one
// of these rules:
// - a path is resolved in its text first ("." dropped, each ".." taking
//   the component before it), and a ".." that climbs above where the path
//   starts is refused;
// - the file is then looked up as it lies on disk (each missing component
//   matched without regard to case), links followed, and the real path must
//   lie inside one of the rule's roots, so a link is followed only when its
//   target lies there too;
// - only regular files are opened (looked at first, then opened without
//   waiting and looked at again).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct stat;

namespace Platform {

// Folders nested deeper than this below an asset's folder are refused by
// every walk, copy, export and extraction of asset folders, so that what
// installs can also be exported and edited.
inline constexpr int kMaxAssetFolderDepth = 64;

// The path with empty and "." components dropped and each ".." taking the
// component before it away; a trailing "/" is dropped. Nothing when a ".."
// would take away one of the first `keep` components, or has nothing to
// take (".." at the top of an absolute path included).
std::optional<std::string> ResolveDots(std::string_view path, size_t keep = 0);

// Opens the regular file at exactly that path with the open(2) flags given
// (O_CLOEXEC is added); -1 when it does not open, when its last component is
// a link, or when it is anything but a regular file.
int OpenRegularFile(const std::string& path, int flags, unsigned permissions = 0666);

class FileConfinement {
public:
    FileConfinement() = default;
    explicit FileConfinement(std::string_view root) { AddRoot(root); }

    // A folder files may lie in, taken as it lies on disk; one that does not
    // exist (or is no folder) adds nothing, so a rule without roots allows
    // nothing.
    void AddRoot(std::string_view folder);
    bool HasRoots() const noexcept { return !roots_.empty(); }
    const std::vector<std::string>& Roots() const noexcept { return roots_; }

    // The real path of the existing file or folder that the path names,
    // when it lies inside a root; empty otherwise.
    std::string Resolve(std::string_view path) const;
    // The same, for a regular file only.
    std::string ResolveFile(std::string_view path) const;
    // True when a real path is a root or lies below one.
    bool Contains(std::string_view realPath) const;

    // Opens a regular file inside a root with the open(2) flags given
    // (O_CLOEXEC is added); -1 when the rule refuses it or the open fails.
    // With O_CREAT a missing file is made in its folder, which must lie
    // inside a root; a name that is a link is never opened through.
    int Open(std::string_view path, int flags, unsigned permissions = 0666) const;

private:
    // The real path of a plain name right inside a root, given as the root
    // was spelt when added, when it is there and no link (`st` then holds
    // what it is); empty otherwise (the full lookup then decides).
    std::string Direct(std::string_view path, struct stat& st) const;

    std::vector<std::string> roots_;
    std::vector<std::string> spellings_;  // each root as it was given, found on disk
};

}  // namespace Platform
