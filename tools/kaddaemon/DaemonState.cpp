#include "kaddaemon/DaemonState.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/FileSave.h"

namespace kaddaemon {

bool WriteFileDurably(const std::string& path, const std::string& bytes)
{
    Platform::FileSaveOptions options;
    options.syncFolder = true;
    options.createMode = 0644;
    return Platform::SaveFile(path, bytes.data(), bytes.size(), std::move(options));
}

namespace {

std::atomic<uint64_t> g_sizeLimit{0};

// The file's bytes, read without waiting on whatever the name stands for
// (a link is followed, as saves follow it). False with `error` set when the
// file is there but is no regular file, is too large or does not read; a
// missing file reads as no bytes.
bool ReadStateFile(const std::string& path, std::string& bytes, std::string& error)
{
    bytes.clear();
    const std::string notRegular = "the state file " + path + " is not a regular file";
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return true;
        error = "cannot read the state file " + path;
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = notRegular;
        return false;
    }
    // Looked at again through the descriptor: the name may have been given
    // to something else since.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = fd < 0 ? "cannot read the state file " + path : notRegular;
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    const uint64_t limit = DaemonState::SizeLimit();
    if (uint64_t(st.st_size) > limit) {
        ::close(fd);
        error = "the state file " + path + " is too large";
        return false;
    }
    bytes.reserve(size_t(st.st_size));
    char block[65536];
    for (;;) {
        const ssize_t got = ::read(fd, block, sizeof block);
        if (got > 0 && bytes.size() + size_t(got) > limit) {
            error = "the state file " + path + " is too large";
            break;
        }
        if (got > 0) {
            bytes.append(block, size_t(got));
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            error = "cannot read the state file " + path;
        break;
    }
    ::close(fd);
    return error.empty();
}

// The process id in a save temporary's tail ".<pid>-<number>.saving" at
// the end of `name`, and where the tail starts; 0 when the name has no
// such tail. The numbers are as std::to_string writes them.
uint64_t SaveTail(std::string_view name, size_t& tailStart)
{
    constexpr std::string_view kSuffix = ".saving";
    if (name.size() < kSuffix.size() || name.substr(name.size() - kSuffix.size()) != kSuffix)
        return 0;
    name.remove_suffix(kSuffix.size());
    // Digits ending at `end`, as written: no leading zero but for "0".
    auto digitsBefore = [&](size_t end, size_t maxDigits) {
        size_t start = end;
        while (start > 0 && name[start - 1] >= '0' && name[start - 1] <= '9')
            --start;
        const size_t n = end - start;
        return n == 0 || n > maxDigits || (n > 1 && name[start] == '0') ? std::string_view::npos : start;
    };
    const size_t number = digitsBefore(name.size(), 20);
    if (number == std::string_view::npos || number == 0 || name[number - 1] != '-')
        return 0;
    const size_t pid = digitsBefore(number - 1, 10);
    if (pid == std::string_view::npos || pid == 0 || name[pid - 1] != '.')
        return 0;
    uint64_t value = 0;
    for (char c : name.substr(pid, number - 1 - pid))
        value = value * 10 + uint64_t(c - '0');
    tailStart = pid - 1;
    return value;
}

}  // namespace

uint64_t DaemonState::SizeLimit() noexcept
{
    const uint64_t set = g_sizeLimit.load();
    return set != 0 ? set : kMaxFileBytes;
}

void DaemonState::SetSizeLimitForTests(uint64_t bytes) noexcept { g_sizeLimit.store(bytes); }

bool DaemonState::Load(const std::string& root, std::string& error)
{
    path_ = root + "/" + kFileName;
    content_ = StateContent();
    saveError_.clear();
    std::string bytes;
    if (!ReadStateFile(path_, bytes, error))
        return false;
    std::string where;
    if (!ReadStateText(bytes, content_, where)) {
        content_ = StateContent();
        error = "the state file " + path_ + " does not read whole: " + where;
        return false;
    }
    return true;
}

const DaemonState::AssetState* DaemonState::Find(const KUID& kuid) const
{
    auto it = content_.assets.find(kuid);
    return it == content_.assets.end() ? nullptr : &it->second;
}

template <class Change>
bool DaemonState::ChangeAsset(const KUID& kuid, Change change)
{
    StateContent next = content_;
    change(next.assets[kuid]);
    return Save(std::move(next));
}

bool DaemonState::SetKeywords(const KUID& kuid, const std::string& keywords)
{
    return ChangeAsset(kuid, [&](AssetState& state) { state.keywords = keywords; });
}

bool DaemonState::SetFavourite(const KUID& kuid, bool favourite)
{
    return ChangeAsset(kuid, [&](AssetState& state) { state.favourite = favourite; });
}

bool DaemonState::SetModified(const KUID& kuid, bool modified)
{
    return ChangeAsset(kuid, [&](AssetState& state) { state.modified = modified; });
}

bool DaemonState::Forget(const KUID& kuid)
{
    saveError_.clear();
    if (content_.assets.find(kuid) == content_.assets.end())
        return true;
    StateContent next = content_;
    next.assets.erase(kuid);
    return Save(std::move(next));
}

std::string DaemonState::AuthorName(int32_t authorId) const
{
    auto it = content_.authors.find(authorId);
    return it == content_.authors.end() ? std::string() : it->second;
}

bool DaemonState::SetNextContentId(int32_t next)
{
    saveError_.clear();
    if (next <= content_.nextContent)
        return true;
    StateContent changed = content_;
    changed.nextContent = next;
    return Save(std::move(changed));
}

bool DaemonState::Save(StateContent next)
{
    saveError_.clear();
    const std::string text = WriteStateText(next);
    // A file the daemon would refuse at its next start takes the whole
    // state with it.
    const uint64_t limit = SizeLimit();
    if (text.size() > limit) {
        saveError_ = "The change would make the daemon's state file larger than the " + std::to_string(limit) +
                     " bytes the daemon reads, and is not kept.";
        return false;
    }
    if (!WriteFileDurably(path_, text)) {
        saveError_ = "Cannot write the daemon's state file.";
        return false;
    }
    content_ = std::move(next);
    return true;
}

void RemoveLeftSaves(const std::string& file)
{
    const size_t slash = file.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : file.substr(0, slash);
    const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    const uint64_t self = uint64_t(::getpid());
    std::vector<std::string> left;
    while (const struct dirent* entry = ::readdir(dir)) {
        const std::string_view entryName = entry->d_name;
        size_t tailStart = 0;
        const uint64_t pid = SaveTail(entryName, tailStart);
        if (pid == 0 || pid == self)
            continue;
        // The name as the save cut it to make room for its tail.
        const size_t tail = entryName.size() - tailStart;
        const size_t keep = tail < NAME_MAX ? std::min(name.size(), size_t(NAME_MAX) - tail) : 0;
        if (entryName.substr(0, tailStart) == std::string_view(name).substr(0, keep))
            left.emplace_back(entryName);
    }
    ::closedir(dir);
    for (const std::string& entryName : left) {
        const std::string path = folder + "/" + entryName;
        struct stat st;
        if (::lstat(path.c_str(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
            ::unlink(path.c_str());
    }
}

}  // namespace kaddaemon
