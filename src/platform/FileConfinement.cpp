#include "platform/FileConfinement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/PathLookup.h"

namespace Platform {
namespace {

// Where an open descriptor lies, as the kernel keeps it: one look, where a
// walk of the path would read every component's link; empty when that
// cannot be told (no /proc, or the file is gone).
std::string PathOfDescriptor(int fd)
{
    char link[32];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(link, buf, sizeof buf);
    if (n <= 0 || size_t(n) >= sizeof buf || buf[0] != '/')
        return std::string();
    const std::string_view gone = " (deleted)";
    std::string out(buf, size_t(n));
    if (out.size() >= gone.size() && out.compare(out.size() - gone.size(), gone.size(), gone) == 0)
        return std::string();
    return out;
}

// The path with every link resolved; empty when it does not exist.
std::string RealPath(const std::string& path)
{
    const char* name = path.empty() ? "." : path.c_str();
    const int fd = ::open(name, O_PATH | O_CLOEXEC);
    if (fd >= 0) {
        std::string out = PathOfDescriptor(fd);
        ::close(fd);
        if (!out.empty())
            return out;
    }
    char* real = ::realpath(name, nullptr);
    if (!real)
        return std::string();
    std::string out(real);
    std::free(real);
    return out;
}

bool IsFolder(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::optional<std::string> ResolveDots(std::string_view path, size_t keep)
{
    const bool absolute = !path.empty() && path.front() == '/';
    std::vector<std::string_view> parts;
    for (size_t at = 0; at <= path.size();) {
        size_t end = path.find('/', at);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view part = path.substr(at, end - at);
        at = end + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (parts.size() <= keep)
                return std::nullopt;
            parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string out = absolute ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += '/';
        out.append(parts[i]);
    }
    return out;
}

void FileConfinement::AddRoot(std::string_view folder)
{
    // A folder that opens as it is spelt is found as it is spelt, and the
    // open tells what it is and where it lies.
    std::string found = ToForwardSlashes(folder);
    std::string real;
    if (!found.empty()) {
        const int fd = ::open(found.c_str(), O_PATH | O_CLOEXEC);
        if (fd >= 0) {
            struct stat st;
            const bool folderOpened = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
            real = folderOpened ? PathOfDescriptor(fd) : std::string();
            ::close(fd);
            if (!folderOpened)
                return;
        }
    }
    if (real.empty()) {
        found = FindExisting(found);
        if (found.empty())
            return;
        real = RealPath(found);
        if (real.empty() || !IsFolder(real))
            return;
    }
    if (std::find(roots_.begin(), roots_.end(), real) == roots_.end()) {
        roots_.push_back(real);
        // Without a closing "/": a folder given as "asset/" still takes its
        // names by the short road.
        std::string spelt = found;
        while (spelt.size() > 1 && spelt.back() == '/')
            spelt.pop_back();
        spellings_.push_back(std::move(spelt));
    }
}

std::string FileConfinement::Direct(std::string_view path, struct stat& st) const
{
    for (size_t i = 0; i < roots_.size(); ++i) {
        const std::string& spelt = spellings_[i];
        if (path.size() <= spelt.size() + 1 || path.substr(0, spelt.size()) != spelt || path[spelt.size()] != '/')
            continue;
        const std::string_view name = path.substr(spelt.size() + 1);
        if (name.find('/') != std::string_view::npos || name == "." || name == "..")
            return std::string();
        // The root is a real path, so the name's own entry decides.
        std::string real = roots_[i] == "/" ? "/" : roots_[i] + "/";
        real.append(name);
        if (::lstat(real.c_str(), &st) != 0 || S_ISLNK(st.st_mode))
            return std::string();
        return real;
    }
    return std::string();
}

bool FileConfinement::Contains(std::string_view realPath) const
{
    for (const std::string& root : roots_) {
        if (root == "/" && !realPath.empty() && realPath.front() == '/')
            return true;
        if (realPath.size() >= root.size() && realPath.substr(0, root.size()) == root &&
            (realPath.size() == root.size() || realPath[root.size()] == '/'))
            return true;
    }
    return false;
}

std::string FileConfinement::Resolve(std::string_view path) const
{
    if (roots_.empty())
        return std::string();
    const std::optional<std::string> dotless = ResolveDots(ToForwardSlashes(path));
    if (!dotless || dotless->empty())
        return std::string();
    const std::string found = FindExisting(*dotless);
    if (found.empty())
        return std::string();
    std::string real = RealPath(found);
    return !real.empty() && Contains(real) ? real : std::string();
}

std::string FileConfinement::ResolveFile(std::string_view path) const
{
    std::string real = Resolve(path);
    struct stat st;
    if (real.empty() || ::stat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::string();
    return real;
}

int FileConfinement::Open(std::string_view path, int flags, unsigned permissions) const
{
    // A name right inside a root needs no walk of its folders (and has
    // been looked at already).
    struct stat st;
    std::string real = Direct(path, st);
    const bool seen = !real.empty();
    if (!seen)
        real = Resolve(path);
    if (real.empty()) {
        if ((flags & O_CREAT) == 0 || roots_.empty())
            return -1;
        // A new file: its folder must lie inside, and the name is made there
        // as given (matched without regard to case when it exists after all).
        const std::optional<std::string> dotless = ResolveDots(ToForwardSlashes(path));
        if (!dotless || dotless->empty() || *dotless == "/")
            return -1;
        const std::string target = PathForCreate(*dotless);
        const size_t slash = target.rfind('/');
        const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
        const std::string folder = slash == std::string::npos ? std::string(".")
                                   : slash == 0               ? std::string("/")
                                                              : target.substr(0, slash);
        const std::string realFolder = RealPath(folder);
        if (name.empty() || realFolder.empty() || !IsFolder(realFolder) || !Contains(realFolder))
            return -1;
        real = realFolder == "/" ? "/" + name : realFolder + "/" + name;
    }

    // Looked at before the open, so that nothing but a regular file is ever
    // opened.
    if (seen || ::lstat(real.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return -1;
    } else if ((flags & O_CREAT) == 0) {
        return -1;
    }
    return OpenRegularFile(real, flags, permissions);
}

int OpenRegularFile(const std::string& path, int flags, unsigned permissions)
{
    // Opened without waiting and looked at after the open: a FIFO or a
    // device put in the name's place never holds the open or the reads.
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, static_cast<mode_t>(permissions));
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    // The status flags the file was opened with, less the one added here
    // (F_SETFL takes only the status flags and leaves the rest alone).
    if ((flags & O_NONBLOCK) == 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace Platform
