#include "nyx/files/File.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>

#include "platform/FileConfinement.h"
#include "platform/PathLookup.h"

namespace Nyx {
namespace {

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

std::string LowerAscii(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = LowerAscii(c);
    return out;
}

// A folder opened for reading its entries; -1 when it does not open.
int OpenFolder(const std::string& folder)
{
    int fd;
    do {
        fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// "*" matches any run of bytes, "?" exactly one; letters compare without case.
bool WildcardMatch(std::string_view pattern, std::string_view name)
{
    size_t p = 0, n = 0;
    size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || LowerAscii(pattern[p]) == LowerAscii(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

// The path a base and a path stand for before any case-insensitive lookup.
File::Path Combine(const PString& base, const File::Path& path)
{
    if (base.Empty())
        return path;
    File::Path folder = File::Subst::Lookup(base);
    if (folder.Empty())
        folder = File::Path(base);
    folder.AddPath(path.View());
    return folder;
}

int OpenRetry(const char* path, int flags, mode_t perms)
{
    int fd;
    do {
        fd = ::open(path, flags, perms);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool PruneResolved(const std::string& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode))
        return ::unlink(path.c_str()) == 0;
    DIR* d = ::opendir(path.c_str());
    if (!d)
        return false;
    std::vector<std::string> entries;
    while (struct dirent* e = ::readdir(d)) {
        std::string_view name = e->d_name;
        if (name != "." && name != "..")
            entries.emplace_back(name);
    }
    ::closedir(d);
    bool ok = true;
    std::string prefix = path;
    if (prefix.back() != '/')
        prefix += '/';
    for (const std::string& name : entries)
        ok = PruneResolved(prefix + name) && ok;
    return ::rmdir(path.c_str()) == 0 && ok;
}

struct SubstTable {
    std::mutex lock;
    std::map<std::string, File::Path> mounts;  // keyed by lower-cased name
};

SubstTable& Substs()
{
    static SubstTable* table = new SubstTable;  // never destroyed: usable from static destructors
    return *table;
}

}  // namespace

// ---------------------------------------------------------------- File::Path

std::string File::Path::Normalise(std::string_view p) { return Platform::ToForwardSlashes(p); }

File::Path& File::Path::AddPath(std::string_view more)
{
    std::string m = Normalise(more);
    if (m.empty())
        return *this;
    if (p_.empty()) {
        p_ = std::move(m);
        return *this;
    }
    bool endSep = p_.back() == '/';
    bool startSep = m.front() == '/';
    if (endSep && startSep)
        p_.append(m, 1, std::string::npos);
    else if (endSep || startSep)
        p_ += m;
    else
        (p_ += '/') += m;
    return *this;
}

std::string_view File::Path::FileName() const noexcept
{
    size_t slash = p_.rfind('/');
    return slash == std::string::npos ? std::string_view(p_) : std::string_view(p_).substr(slash + 1);
}

std::string_view File::Path::Folder() const noexcept
{
    size_t slash = p_.rfind('/');
    return slash == std::string::npos ? std::string_view() : std::string_view(p_).substr(0, slash + 1);
}

std::string_view File::Path::Extension() const noexcept
{
    std::string_view name = FileName();
    size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

void File::Path::RemoveTrailingSeparator()
{
    // The root keeps its "/": without it the path would name the working folder.
    while (p_.size() > 1 && p_.back() == '/')
        p_.pop_back();
}

void File::Path::EnsureTrailingSeparator()
{
    // An empty path (the working folder) stays empty rather than becoming the root.
    if (!p_.empty() && p_.back() != '/')
        p_ += '/';
}

File::Path& File::Path::SetExt(std::string_view ext)
{
    const size_t slash = p_.rfind('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = p_.rfind('.');
    if (dot != std::string::npos && dot >= start)
        p_.erase(dot);
    if (!ext.empty())
        (p_ += '.') += Normalise(ext);
    return *this;
}

bool File::Path::MakeRelativeTo(const Path& root)
{
    std::string_view base = root.View();
    while (base.size() > 1 && base.back() == '/')
        base.remove_suffix(1);
    const std::string_view p = p_;
    if (base.empty() || p.size() <= base.size() || p.substr(0, base.size()) != base)
        return false;
    std::string_view rest = p.substr(base.size());
    if (base.back() != '/') {
        if (rest.front() != '/')
            return false;
        rest.remove_prefix(1);
    }
    while (!rest.empty() && rest.front() == '/')
        rest.remove_prefix(1);
    if (rest.empty())
        return false;
    // A ".." component could lead back out of the root.
    for (size_t at = 0; at <= rest.size();) {
        size_t end = rest.find('/', at);
        if (end == std::string_view::npos)
            end = rest.size();
        if (rest.substr(at, end - at) == "..")
            return false;
        at = end + 1;
    }
    p_ = std::string(rest);
    return true;
}

std::string File::Path::ExtractFirstPath()
{
    const size_t slash = p_.find('/');
    std::string first = p_.substr(0, slash);
    p_.erase(0, slash == std::string::npos ? p_.size() : slash + 1);
    return first;
}

// ---------------------------------------------------------------- File::Find

File::Find::Find(const Path& pattern) { Search(pattern); }

File::Find::Find(const PString& base, const Path& pattern)
{
    Search(Combine(base, pattern));
    dir_ = std::string(pattern.Folder());
}

void File::Find::Search(const Path& pattern)
{
    dir_ = std::string(pattern.Folder());
    pattern_ = std::string(pattern.FileName());
    // A folder that opens as it is spelt needs no look for it first.
    std::string folder = dir_.empty() ? std::string(".") : dir_;
    int fd = OpenFolder(folder);
    if (fd < 0 && !dir_.empty()) {
        folder = Platform::FindExisting(dir_);
        fd = folder.empty() ? -1 : OpenFolder(folder);
    }
    if (fd < 0)
        return;
    valid_ = true;
    // Read in blocks straight from the kernel: a search is one open, the
    // reads and one close.
    alignas(8) char block[16384];
    for (;;) {
        const ssize_t got = ::getdents64(fd, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        constexpr size_t kHead = offsetof(struct dirent64, d_name);
        for (size_t at = 0; size_t(got) - at > kHead;) {
            const auto* e = reinterpret_cast<const struct dirent64*>(block + at);
            const size_t length = e->d_reclen;
            if (length <= kHead || length > size_t(got) - at)
                break;
            at += length;
            const size_t room = length - kHead;
            std::string_view name(e->d_name, strnlen(e->d_name, room));
            if (name == "." || name == "..")
                continue;
            if (WildcardMatch(pattern_, name))
                names_.emplace_back(name);
        }
    }
    ::close(fd);
    std::sort(names_.begin(), names_.end());
    real_ = dir_.empty() ? std::string() : folder;
    if (!real_.empty() && real_.back() != '/')
        real_ += '/';
}

File::Find::~Find() = default;

bool File::Find::Next()
{
    while (next_ < names_.size()) {
        const std::string& name = names_[next_++];
        std::string full = real_ + name;
        struct stat st;
        // An entry removed since the folder was read is skipped; a dangling
        // link is still an entry.
        if (::stat(full.c_str(), &st) != 0 && ::lstat(full.c_str(), &st) != 0)
            continue;
        name_ = name;
        folder_ = S_ISDIR(st.st_mode);
        size_ = folder_ ? 0 : static_cast<uint64_t>(st.st_size);
        return true;
    }
    name_.clear();
    folder_ = false;
    size_ = 0;
    return false;
}

// ---------------------------------------------------------------- File::Subst

void File::Subst::Add(const PString& name, const Path& folder)
{
    SubstTable& t = Substs();
    std::lock_guard<std::mutex> guard(t.lock);
    t.mounts[LowerAscii(name.View())] = folder;
}

bool File::Subst::Remove(const PString& name)
{
    SubstTable& t = Substs();
    std::lock_guard<std::mutex> guard(t.lock);
    return t.mounts.erase(LowerAscii(name.View())) != 0;
}

File::Path File::Subst::Lookup(const PString& name)
{
    if (name.Empty())
        return Path();
    SubstTable& t = Substs();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.mounts.find(LowerAscii(name.View()));
    return it == t.mounts.end() ? Path() : it->second;
}

void File::Subst::RemoveAll()
{
    SubstTable& t = Substs();
    std::lock_guard<std::mutex> guard(t.lock);
    t.mounts.clear();
}

// ---------------------------------------------------------------- File

File::~File() { Close(); }

bool File::Open(const Path& path, uint32_t mode, uint32_t flags) { return Open(PString(), path, mode, flags); }

namespace {

// The open(2) flags of an engine open mode; -1 for a mode that asks for
// neither reading nor writing.
int OpenFlags(uint32_t mode)
{
    const bool write = (mode & 0x0F) != 0;
    const bool read = (mode & 0x10) != 0 || (mode & 0x0F) == 0x0F;
    const bool truncate = (mode & 0x300) != 0;
    const bool create = truncate || (mode & 0x400) != 0;
    if (!write && !read)
        return -1;
    int oflags = read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
    if (create)
        oflags |= O_CREAT | (write && truncate ? O_TRUNC : 0);
    return oflags;
}

}  // namespace

File::Path File::ContentFolder(const PString& base)
{
    Path folder = Subst::Lookup(base);
    return folder.Empty() ? Path(base) : folder;
}

std::string File::PlainNameIn(const PString& base, const Path& path)
{
    std::string_view name = path.View();
    while (!name.empty() && name.front() == '/')
        name.remove_prefix(1);
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos)
        return std::string();
    Path joined = ContentFolder(base);
    joined.AddPath(name);
    return joined.Str();
}

bool File::ContentRule(const PString& base, const Path& path, Platform::FileConfinement& rule, std::string& full)
{
    const Path folder = ContentFolder(base);
    std::string_view rel = path.View();
    while (!rel.empty() && rel.front() == '/')
        rel.remove_prefix(1);
    // A name with a folder part keeps its first component: no ".." may take
    // it away.
    size_t parts = 0;
    for (size_t at = 0; at <= rel.size() && parts < 2;) {
        size_t end = rel.find('/', at);
        if (end == std::string_view::npos)
            end = rel.size();
        const std::string_view part = rel.substr(at, end - at);
        if (!part.empty() && part != ".")
            ++parts;
        at = end + 1;
    }
    const std::optional<std::string> clean = Platform::ResolveDots(rel, parts > 1 ? 1 : 0);
    if (!clean || clean->empty())
        return false;
    const size_t slash = clean->find('/');
    if (slash == std::string::npos) {
        rule = Platform::FileConfinement(folder.View());
    } else {
        Path first = folder;
        first.AddPath(std::string_view(*clean).substr(0, slash));
        const std::string inside = Platform::FileConfinement(folder.View()).Resolve(first.View());
        if (inside.empty())
            return false;
        rule = Platform::FileConfinement(inside);
    }
    if (!rule.HasRoots())
        return false;
    Path joined = folder;
    joined.AddPath(*clean);
    full = joined.Str();
    return true;
}

bool File::Adopt(int fd, const Path& path, const PString& base, uint32_t mode, uint32_t flags)
{
    path_ = path;
    base_ = base;
    mode_ = mode;
    flags_ = flags;
    if (fd < 0)
        return false;
    fd_ = fd;
    eof_ = false;
    return true;
}

bool File::Open(const PString& base, const Path& path, uint32_t mode, uint32_t flags)
{
    Close();
    const int oflags = OpenFlags(mode);
    if (oflags < 0) {
        Adopt(-1, path, base, mode, flags);
        return false;
    }
    if (!base.Empty()) {
        // A file right in the folder, as it is spelt and no link, lies in
        // it: it needs no look for where the folder itself lies.
        if ((oflags & O_CREAT) == 0) {
            const std::string plain = PlainNameIn(base, path);
            const int fd = plain.empty() ? -1 : Platform::OpenRegularFile(plain, oflags);
            if (fd >= 0)
                return Adopt(fd, path, base, mode, flags);
        }
        Platform::FileConfinement rule;
        std::string full;
        const int fd = ContentRule(base, path, rule, full) ? rule.Open(full, oflags) : -1;
        return Adopt(fd, path, base, mode, flags);
    }

    std::string real;
    if (!path.Empty())
        real = (oflags & O_CREAT) ? Platform::PathForCreate(path.View()) : Platform::FindExisting(path.View());
    if (real.empty())
        return Adopt(-1, path, base, mode, flags);
    int fd = OpenRetry(real.c_str(), oflags | O_CLOEXEC, 0666);
    if (fd < 0)
        return Adopt(-1, path, base, mode, flags);
    // A folder opens read-only on this system but is no file to read.
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        fd = -1;
    }
    return Adopt(fd, path, base, mode, flags);
}

bool File::Open(const Platform::FileConfinement& rule, const Path& path, uint32_t mode)
{
    Close();
    const int oflags = OpenFlags(mode);
    return Adopt(oflags < 0 ? -1 : rule.Open(path.View(), oflags), path, PString(), mode, 0);
}

bool File::OpenDuplicate(int fd, const Path& path, uint32_t mode)
{
    Close();
    return Adopt(fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0), path, PString(), mode, 0);
}

bool File::Close()
{
    bool closed = true;
    if (fd_ != kInvalidHandle) {
        // Not retried on EINTR: the descriptor is released either way.
        closed = ::close(static_cast<int>(fd_)) == 0;
        fd_ = kInvalidHandle;
    }
    eof_ = false;
    return closed;
}

uint32_t File::Read(void* data, uint32_t size, uint32_t count)
{
    if (fd_ == kInvalidHandle)
        return 0;
    uint64_t want = std::min<uint64_t>(uint64_t(size) * count, UINT32_MAX);
    uint64_t done = 0;
    auto* out = static_cast<uint8_t*>(data);
    while (done < want) {
        ssize_t n = ::read(static_cast<int>(fd_), out + done, static_cast<size_t>(want - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // Errors count as the end too, so read loops waiting for Eof stop.
            eof_ = true;
            break;
        }
        done += static_cast<uint64_t>(n);
    }
    return static_cast<uint32_t>(done);
}

bool File::Write(uint32_t value)
{
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return Write(bytes, 1, 4) == 4;
}

bool File::Write(float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return Write(bits);
}

uint32_t File::Write(const void* data, uint32_t size, uint32_t count)
{
    if (fd_ == kInvalidHandle)
        return 0;
    uint64_t want = std::min<uint64_t>(uint64_t(size) * count, UINT32_MAX);
    uint64_t done = 0;
    const auto* in = static_cast<const uint8_t*>(data);
    while (done < want) {
        ssize_t n = ::write(static_cast<int>(fd_), in + done, static_cast<size_t>(want - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<uint64_t>(n);
    }
    return static_cast<uint32_t>(done);
}

bool File::Seek(int64_t offset, int origin)
{
    if (fd_ == kInvalidHandle)
        return false;
    int whence;
    switch (origin) {
    case kSeekSet: whence = SEEK_SET; break;
    case kSeekCur: whence = SEEK_CUR; break;
    case kSeekEnd: whence = SEEK_END; break;
    default: return false;
    }
    if (::lseek(static_cast<int>(fd_), static_cast<off_t>(offset), whence) < 0)
        return false;
    eof_ = false;
    return true;
}

bool File::Truncate()
{
    if (fd_ == kInvalidHandle)
        return false;
    struct stat st;
    if (::fstat(static_cast<int>(fd_), &st) != 0)
        return false;
    return !S_ISREG(st.st_mode) || ::ftruncate(static_cast<int>(fd_), 0) == 0;
}

int64_t File::Tell() const
{
    if (fd_ == kInvalidHandle)
        return -1;
    return static_cast<int64_t>(::lseek(static_cast<int>(fd_), 0, SEEK_CUR));
}

int64_t File::Size() const
{
    if (fd_ == kInvalidHandle)
        return -1;
    struct stat st;
    if (::fstat(static_cast<int>(fd_), &st) != 0)
        return -1;
    return static_cast<int64_t>(st.st_size);
}

bool File::Eof() const
{
    if (fd_ == kInvalidHandle)
        return true;
    if (eof_)
        return true;
    int64_t pos = Tell();
    int64_t size = Size();
    return pos < 0 || size < 0 || pos >= size;
}

bool File::ReadLine(char* buf, uint32_t capacity)
{
    if (fd_ == kInvalidHandle || !buf || capacity == 0)
        return false;
    // The file is unbuffered: read a block, then give back what follows the line.
    char block[512];
    uint32_t stored = 0;
    bool any = false;
    bool pendingCR = false;
    auto store = [&](char c) {
        if (stored + 1 < capacity)
            buf[stored++] = c;
    };
    for (;;) {
        ssize_t n = ::read(static_cast<int>(fd_), block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            eof_ = true;
            break;
        }
        any = true;
        for (ssize_t i = 0; i < n; ++i) {
            char c = block[i];
            if (c == '\n') {
                ::lseek(static_cast<int>(fd_), static_cast<off_t>(i + 1 - n), SEEK_CUR);
                buf[stored] = 0;
                return true;
            }
            if (pendingCR)
                store('\r');
            pendingCR = c == '\r';
            if (!pendingCR)
                store(c);
        }
    }
    // A CR right before the end belongs to a line break the file lost.
    buf[stored] = 0;
    return any;
}

bool File::Flush()
{
    // Writes go straight to the system; nothing is held back here.
    return fd_ != kInvalidHandle;
}

std::string File::Resolve(const PString& base, const Path& path)
{
    return Platform::PathForCreate(Combine(base, path).View());
}

int File::Exists(const Path& path) { return Exists(PString(), path); }

int File::Exists(const PString& base, const Path& path)
{
    Path full = Combine(base, path);
    if (full.Empty())
        return -1;
    return Platform::FindExisting(full.View()).empty() ? -1 : 0;
}

bool File::IsFolder(const Path& path)
{
    std::string real = Platform::FindExisting(path.View());
    struct stat st;
    return !real.empty() && ::stat(real.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool File::Rename(const Path& from, const Path& to)
{
    std::string src = Platform::FindExisting(from.View());
    if (src.empty() || to.Empty())
        return false;
    std::string dst = Platform::PathForCreate(to.View());
    return ::rename(src.c_str(), dst.c_str()) == 0;
}

bool File::Unlink(const Path& path)
{
    std::string real = Platform::FindExisting(path.View());
    return !real.empty() && ::unlink(real.c_str()) == 0;
}

bool File::Prune(const Path& path)
{
    std::string real = Platform::FindExisting(path.View());
    // Never the root or the working folder as a whole.
    if (real.empty() || real.find_first_not_of('/') == std::string::npos || real == "." || real == "./")
        return false;
    while (real.size() > 1 && real.back() == '/')
        real.pop_back();
    return PruneResolved(real);
}

bool File::MakeFolder(const Path& path)
{
    if (path.Empty())
        return false;
    // Existing components are reused whatever their case; the rest are made as given.
    std::string real = Platform::PathForCreate(path.View());
    for (size_t pos = real.find('/', 1); pos != std::string::npos; pos = real.find('/', pos + 1))
        ::mkdir(real.substr(0, pos).c_str(), 0777);
    ::mkdir(real.c_str(), 0777);
    struct stat st;
    return ::stat(real.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t File::FileSize(const Path& path)
{
    std::string real = Platform::FindExisting(path.View());
    struct stat st;
    if (real.empty() || ::stat(real.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return -1;
    return static_cast<int64_t>(st.st_size);
}

}  // namespace Nyx
