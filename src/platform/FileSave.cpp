#include "platform/FileSave.h"

#include <fcntl.h>
#include <limits.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

namespace Platform {

namespace {

// As many links as the system itself follows in one path.
constexpr int kMaxLinkHops = 40;
// Temporaries whose names are taken (left by an ended process of the same
// id) are skipped, up to this many.
constexpr int kMaxTemporaryTries = 64;

size_t NameStart(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

bool AllDigits(std::string_view text)
{
    return !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// The last name of the path, which loses it.
std::string_view TakeLastName(std::string_view& path)
{
    const size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    path = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
    return name;
}

// Where a save ends after its links are followed.
struct LinkEnd {
    std::string path;
    // A link of a descriptor folder of /proc: the descriptor's number...
    int descriptor = -1;
    // ...whether it is the calling process's own...
    bool own = false;
    // ...and its fdinfo file.
    std::string info;
};

// Whether the link at `path` lies in a descriptor folder of /proc
// (<proc>/<pid>/fd or <proc>/<pid>/task/<tid>/fd, however the folder is
// reached: /proc/self, /dev/fd, a link of the user's): such a link names an
// open file, which its text ("pipe:[N]", or the path of the file behind)
// only describes. -1 when it is not; 0 when it is, with `end` filled in; 1
// when it may be but its folder cannot be resolved.
int ReadDescriptorLink(const std::string& path, LinkEnd& end)
{
    const size_t nameStart = NameStart(path);
    const std::string_view name = std::string_view(path).substr(nameStart);
    const std::string folder = nameStart == 0 ? "." : path.substr(0, nameStart);
    struct statfs fsInfo;
    if (!AllDigits(name) || ::statfs(folder.c_str(), &fsInfo) != 0 || fsInfo.f_type != PROC_SUPER_MAGIC)
        return -1;
    char resolved[PATH_MAX];
    if (!::realpath(folder.c_str(), resolved))
        return 1;
    std::string_view rest = resolved;
    const std::string realFolder(rest);
    if (TakeLastName(rest) != "fd")
        return -1;
    std::string_view pid = TakeLastName(rest);
    if (!AllDigits(pid))
        return -1;
    std::string_view above = rest;
    if (TakeLastName(above) == "task") {
        const std::string_view process = TakeLastName(above);
        if (!AllDigits(process))
            return -1;
        pid = process;
        rest = above;
    }
    // The process is ours when the mount's "self" names it, which holds in
    // whatever namespace the mount shows its processes.
    const std::string mount(rest);
    char self[PATH_MAX];
    end.own = ::realpath((mount + "/self").c_str(), self) && mount + "/" + std::string(pid) == self;
    end.descriptor = std::atoi(std::string(name).c_str());
    end.info = realFolder + "info/" + std::string(name);
    end.path = path;
    return 0;
}

// Follows every link at the end of the path, stopping at a descriptor link
// of /proc; an empty path when the links go round or one cannot be read.
// What the last one names need not exist.
LinkEnd FollowLinks(std::string path)
{
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        LinkEnd end;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            end.path = path;
            return end;
        }
        const int descriptor = ReadDescriptorLink(path, end);
        if (descriptor == 0)
            return end;
        if (descriptor > 0)
            return {};
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
        if (n <= 0 || size_t(n) >= sizeof buffer)
            return {};
        const std::string_view link(buffer, size_t(n));
        // A relative link is taken from the folder it lies in.
        path = link.front() == '/' ? std::string(link) : path.substr(0, NameStart(path)) + std::string(link);
    }
    return {};
}

// The position and the status flags of another process's descriptor, from
// its fdinfo file.
bool ReadDescriptorInfo(const std::string& info, long long& position, int& flags)
{
    int fd;
    do
        fd = ::open(info.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    char text[4096];
    ssize_t n;
    do
        n = ::read(fd, text, sizeof text - 1);
    while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n <= 0)
        return false;
    text[n] = '\0';
    bool hasPosition = false, hasFlags = false;
    for (char* line = text; line && *line;) {
        char* next = std::strchr(line, '\n');
        if (next)
            *next++ = '\0';
        char* after = nullptr;
        if (std::strncmp(line, "pos:", 4) == 0) {
            position = std::strtoll(line + 4, &after, 10);
            hasPosition = after != line + 4;
        } else if (std::strncmp(line, "flags:", 6) == 0) {
            flags = int(std::strtol(line + 6, &after, 8));
            hasFlags = after != line + 6;
        }
        line = next;
    }
    return hasPosition && hasFlags;
}

int OpenRetry(const char* path, int flags, mode_t mode = 0)
{
    int fd;
    do
        fd = ::open(path, flags, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

bool WriteAll(int fd, const char* bytes, size_t size)
{
    for (size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n > 0)
            done += size_t(n);
        else if (n == 0 || errno != EINTR)
            return false;
    }
    return true;
}

// Every byte of `from`, from its start whatever its position, onto `to`.
bool CopyAll(int from, int to)
{
    char buffer[64 * 1024];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(from, buffer, sizeof buffer, at);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (!WriteAll(to, buffer, size_t(n)))
            return false;
        at += n;
    }
}

}  // namespace

FileSave::FileSave(const std::string& target, FileSaveOptions options) : options_(std::move(options))
{
    if (target.empty())
        return;
    const LinkEnd end = FollowLinks(target);
    target_ = end.path;
    if (end.descriptor >= 0) {
        OpenDescriptor(end.descriptor, end.own, end.info);
        return;
    }
    const size_t nameStart = NameStart(target_);
    if (target_.empty() || nameStart == target_.size())
        return;
    struct stat st;
    if (::lstat(target_.c_str(), &st) != 0) {
        // Missing, or not to be looked at: making the temporary tells.
        OpenTemporary(target_.substr(0, nameStart), target_.substr(nameStart));
        return;
    }
    if (S_ISDIR(st.st_mode))
        return;
    if (!S_ISREG(st.st_mode)) {
        OpenInPlace();
        return;
    }
    if (options_.keepPermissions)
        keptMode_ = int(st.st_mode & 07777);
    OpenTemporary(target_.substr(0, nameStart), target_.substr(nameStart));
}

FileSave::~FileSave() { Abandon(); }

bool FileSave::OpenTemporary(const std::string& folder, const std::string& name)
{
    static std::atomic<unsigned long long> counter{0};
    for (int attempt = 0; attempt < kMaxTemporaryTries; ++attempt) {
        const std::string tail =
            "." + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) + kTemporarySuffix;
        // A long name gives way to the tail, which alone keeps it unique.
        const size_t keep = tail.size() < NAME_MAX ? std::min(name.size(), size_t(NAME_MAX) - tail.size()) : 0;
        temporary_ = folder + name.substr(0, keep) + tail;
        if (options_.beforeCreate)
            options_.beforeCreate(temporary_);
        fd_ = OpenRetry(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        options_.createMode);
        if (fd_ >= 0)
            return true;
        if (errno != EEXIST)
            break;
    }
    temporary_.clear();
    return false;
}

bool FileSave::OpenInPlace()
{
    // Not blocking: a FIFO without a reader refuses the open instead of
    // holding it for good.
    fd_ = OpenRetry(target_.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0)
        return false;
    struct stat st;
    const int flags = ::fcntl(fd_, F_GETFL);
    // What opened must still be what was looked at: a regular file that
    // took its place would be written over without its old bytes cut off.
    if (::fstat(fd_, &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode) || flags < 0 ||
        ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    if (::lseek(fd_, 0, SEEK_CUR) < 0) {
        // A pipe or a terminal takes bytes only in order, while writers go
        // back to patch lengths they learn at the end: the file is made
        // whole in memory and only then goes out.
        const int staged = ::memfd_create("saving", MFD_CLOEXEC);
        if (staged < 0) {
            ::close(fd_);
            fd_ = -1;
            return false;
        }
        sink_ = fd_;
        fd_ = staged;
    }
    return true;
}

bool FileSave::OpenDescriptor(int number, bool own, const std::string& info)
{
    if (own) {
        // A duplicate shares the descriptor's position and append flag: the
        // bytes go where the process's own writes go.
        const int flags = ::fcntl(number, F_GETFL);
        if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY || (flags & O_PATH) != 0)
            return false;
        sink_ = ::fcntl(number, F_DUPFD_CLOEXEC, 0);
    } else {
        long long position = 0;
        int flags = 0;
        if (!ReadDescriptorInfo(info, position, flags) || (flags & O_ACCMODE) == O_RDONLY)
            return false;
        // Not blocking, as OpenInPlace: a pipe without a reader refuses.
        sink_ = OpenRetry(target_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        struct stat st;
        // The open gives a descriptor of the save's own onto the same file:
        // it appends where the other appends, and else starts where the
        // other stands.
        if (sink_ >= 0 &&
            (::fstat(sink_, &st) != 0 || S_ISDIR(st.st_mode) ||
             ::fcntl(sink_, F_SETFL, (flags & O_APPEND) != 0 ? O_APPEND : 0) != 0 ||
             ((flags & O_APPEND) == 0 && S_ISREG(st.st_mode) && ::lseek(sink_, off_t(position), SEEK_SET) < 0))) {
            ::close(sink_);
            sink_ = -1;
        }
    }
    if (sink_ < 0)
        return false;
    // Nothing is written there until the commit, since a writer may go back
    // over its bytes and the file there must not see that.
    fd_ = ::memfd_create("saving", MFD_CLOEXEC);
    if (fd_ < 0) {
        ::close(sink_);
        sink_ = -1;
        return false;
    }
    return true;
}

bool FileSave::Write(const void* data, size_t size)
{
    if (fd_ < 0 || failed_)
        return false;
    if (!WriteAll(fd_, static_cast<const char*>(data), size)) {
        failed_ = true;
        return false;
    }
    return true;
}

bool FileSave::Commit()
{
    if (fd_ < 0)
        return false;
    bool ok = !failed_;
    if (temporary_.empty()) {
        // A device, a FIFO or a descriptor's file: nothing to sync or rename.
        if (sink_ >= 0) {
            ok = ok && CopyAll(fd_, sink_);
            ok = ::close(sink_) == 0 && ok;
            sink_ = -1;
        }
        ok = ::close(fd_) == 0 && ok;
        fd_ = -1;
        return ok;
    }
    if (ok && keptMode_ >= 0)
        ::fchmod(fd_, mode_t(keptMode_));
    // On disk before the rename, or a crash could leave the new name on a
    // file without its bytes.
    ok = ok && (!options_.syncBeforeReplace || ::fsync(fd_) == 0);
    ok = ::close(fd_) == 0 && ok;
    fd_ = -1;
    struct stat st;
    ok = ok && (::lstat(target_.c_str(), &st) == 0 ? S_ISREG(st.st_mode) : errno == ENOENT);
    ok = ok && ::rename(temporary_.c_str(), target_.c_str()) == 0;
    if (!ok) {
        Abandon();
        return false;
    }
    temporary_.clear();
    if (options_.syncFolder) {
        const size_t nameStart = NameStart(target_);
        const std::string folder = nameStart == 0 ? "." : nameStart == 1 ? "/" : target_.substr(0, nameStart - 1);
        const int dir = OpenRetry(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    return true;
}

void FileSave::Abandon()
{
    if (sink_ >= 0)
        ::close(sink_);
    sink_ = -1;
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
}

bool SaveFile(const std::string& target, const void* data, size_t size, FileSaveOptions options)
{
    FileSave save(target, std::move(options));
    return save.IsOpen() && save.Write(data, size) && save.Commit();
}

}  // namespace Platform
