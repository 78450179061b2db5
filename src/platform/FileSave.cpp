#include "platform/FileSave.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
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

// The path with every link at its end followed; empty when the links go
// round or one cannot be read. What the last one names need not exist.
std::string FollowLinks(std::string path)
{
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
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
    target_ = FollowLinks(target);
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
        // A device or FIFO: nothing to sync or rename.
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
