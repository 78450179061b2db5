#include "kaddaemon/AssetFolders.h"

#include <fcntl.h>
#include <linux/aio_abi.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/FileConfinement.h"
#include "platform/VisitedFolders.h"

namespace fs = std::filesystem;

namespace kaddaemon {
namespace {

// Folders nested deeper than this are taken for a loop of links.
constexpr int kMaxDepth = Platform::kMaxAssetFolderDepth;

bool SyncFile(const fs::path& file)
{
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

// One copy of a folder tree. Real folders are copied where they stand;
// links to folders wait until the real tree is copied, so that a link never
// takes the place of the folder it names.
class FolderCopy {
public:
    FolderCopy(const fs::path& top, const CopyObserver& observer, std::vector<std::string>* skipped)
        : top_(top), rule_(top.string()), observer_(observer), skipped_(skipped)
    {
    }

    bool Run(const fs::path& to, std::string& error)
    {
        visited_.Enter(top_.string());
        if (!Tree(top_, to, 0, error))
            return false;
        // Links to folders, in the order met; following one may add more.
        for (size_t i = 0; i < linked_.size(); ++i) {
            const Linked link = linked_[i];
            if (!visited_.Enter(link.real))
                continue;
            if (!Tree(link.from, link.to, link.depth, error))
                return false;
            if (!SyncFolder(link.to.parent_path().string())) {
                error = "cannot sync " + link.to.parent_path().string();
                return false;
            }
        }
        return true;
    }

private:
    struct Linked {
        fs::path from;
        fs::path to;
        std::string real;
        int depth;
    };

    bool Tree(const fs::path& from, const fs::path& to, int depth, std::string& error);

    void Skip(const fs::path& entry)
    {
        if (skipped_)
            skipped_->push_back(entry.lexically_relative(top_).string());
    }

    fs::path top_;
    Platform::FileConfinement rule_;
    Platform::VisitedFolders visited_;
    const CopyObserver& observer_;
    std::vector<std::string>* skipped_;
    std::vector<Linked> linked_;
};

bool FolderCopy::Tree(const fs::path& from, const fs::path& to, int depth, std::string& error)
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
        const bool link = fs::is_symlink(fs::symlink_status(entry, ec));
        const std::string real = link ? rule_.Resolve(entry.string()) : std::string();
        if (link && real.empty()) {
            Skip(entry);
            continue;
        }
        fs::file_type type = fs::status(entry, ec).type();
        if (type == fs::file_type::directory && link) {
            linked_.push_back({entry, target, real, depth + 1});
        } else if (type == fs::file_type::directory) {
            if (visited_.Enter(entry.string()) && !Tree(entry, target, depth + 1, error))
                return false;
        } else if (type == fs::file_type::regular) {
            if (!fs::copy_file(entry, target, ec) || !SyncFile(target)) {
                error = "cannot copy " + entry.string() + (ec ? ": " + ec.message() : std::string());
                return false;
            }
            if (observer_)
                observer_(target.string());
        } else {
            error = entry.string() + " is neither a file nor a folder" + (ec ? ": " + ec.message() : std::string());
            return false;
        }
    }
    if (!SyncFolder(to.string())) {
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

std::atomic<SyncAnswer> testAnswer{nullptr};
std::atomic<bool> kernelSyncsAllowed{true};
std::atomic<SyncAnswer> folderAnswer{nullptr};

int Answered(int fd, int answer)
{
    const SyncAnswer hook = testAnswer.load();
    return hook ? hook(fd, answer) : answer;
}

// Descriptors a tree sync holds open at once.
constexpr size_t kMaxOpenSyncs = 128;
// Syncs waited for at once.
constexpr size_t kMaxSyncThreads = 8;

// Syncs each descriptor on threads of our own, several at once; `ok` turns
// false when one fails.
void SyncOnThreads(const std::vector<int>& fds, std::atomic<bool>& ok)
{
    std::atomic<size_t> next{0};
    auto work = [&]() {
        for (size_t i = next++; i < fds.size(); i = next++)
            if (Answered(fds[i], ::fsync(fds[i]) == 0 ? 0 : -errno) != 0)
                ok = false;
    };
    std::vector<std::thread> helpers;
    for (size_t i = 1; i < std::min(fds.size(), kMaxSyncThreads); ++i) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // the threads there are do the work
        }
    }
    work();
    for (std::thread& helper : helpers)
        helper.join();
}

// The process's one context of asynchronous syncs, made at the first use
// and kept: making and removing one each time costs more than the syncs.
class KernelSyncs {
public:
    static KernelSyncs& Get()
    {
        static KernelSyncs syncs;
        return syncs;
    }

    // Hands every sync to the kernel at once, whose own workers run them
    // side by side: on a busy machine that is several times quicker than
    // starting threads for them. Gives the number of descriptors handed
    // over, from the front (none when the kernel offers no asynchronous
    // sync); once it returns, each of them is synced or `ok` is false.
    size_t Sync(const std::vector<int>& fds, std::atomic<bool>& ok)
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (fds.empty() || !kernelSyncsAllowed.load() || !Ready())
            return 0;
        std::vector<iocb> blocks(std::min(fds.size(), kMaxOpenSyncs));
        std::vector<iocb*> pending;
        size_t handedOver = 0;
        while (handedOver < fds.size()) {
            const size_t count = std::min(fds.size() - handedOver, blocks.size());
            pending.clear();
            for (size_t i = 0; i < count; ++i) {
                std::memset(&blocks[i], 0, sizeof blocks[i]);
                blocks[i].aio_fildes = static_cast<uint32_t>(fds[handedOver + i]);
                blocks[i].aio_data = static_cast<uint64_t>(fds[handedOver + i]);
                blocks[i].aio_lio_opcode = IOCB_CMD_FSYNC;
                pending.push_back(&blocks[i]);
            }
            const size_t submitted = SubmitAndWait(pending, ok);
            handedOver += submitted;
            if (submitted < count)
                break;
        }
        return handedOver;
    }

private:
    KernelSyncs() = default;

    bool Ready()
    {
        if (context_ == 0 && !failed_ &&
            ::syscall(SYS_io_setup, static_cast<unsigned>(kMaxOpenSyncs), &context_) != 0) {
            context_ = 0;
            failed_ = true;
        }
        return context_ != 0;
    }

    size_t SubmitAndWait(std::vector<iocb*>& pending, std::atomic<bool>& ok)
    {
        size_t submitted = 0;
        while (submitted < pending.size()) {
            const long n = ::syscall(SYS_io_submit, context_, static_cast<long>(pending.size() - submitted),
                                     pending.data() + submitted);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            submitted += static_cast<size_t>(n);
        }
        for (size_t done = 0; done < submitted;) {
            io_event events[32];
            const long n = ::syscall(SYS_io_getevents, context_, 1L, 32L, events, nullptr);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                // Whether the rest worked is unknown, and their answers must
                // not reach a later caller: the context goes (its removal
                // waits for them) and the threads take over from here on.
                ok = false;
                ::syscall(SYS_io_destroy, context_);
                context_ = 0;
                failed_ = true;
                break;
            }
            for (long i = 0; i < n; ++i)
                if (Answered(static_cast<int>(events[i].data), static_cast<int>(events[i].res)) != 0)
                    ok = false;
            done += static_cast<size_t>(n);
        }
        return submitted;
    }

    std::mutex lock_;
    aio_context_t context_ = 0;
    bool failed_ = false;
};

// Syncs and closes every descriptor, several at once.
bool SyncAll(const std::vector<int>& fds)
{
    std::atomic<bool> ok{true};
    const size_t handedOver = KernelSyncs::Get().Sync(fds, ok);
    if (handedOver < fds.size()) {
        const std::vector<int> rest(fds.begin() + static_cast<std::ptrdiff_t>(handedOver), fds.end());
        SyncOnThreads(rest, ok);
    }
    for (int fd : fds)
        if (::close(fd) != 0)
            ok = false;
    return ok;
}

}  // namespace

void SetTreeSyncForTests(SyncAnswer answer, bool kernelSyncs)
{
    testAnswer = answer;
    kernelSyncsAllowed = kernelSyncs;
}

void SetFolderSyncForTests(SyncAnswer answer) { folderAnswer.store(answer); }

bool SyncFolder(const std::string& folder)
{
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int answer = ::fsync(fd) == 0 ? 0 : -errno;
    if (SyncAnswer test = folderAnswer.load())
        answer = test(fd, answer);
    return ::close(fd) == 0 && answer == 0;
}

bool SyncTree(const std::string& folder)
{
    // Every file's write-back is started before any sync waits, and the
    // syncs run side by side: the tree then reaches the disk in about the
    // time of one of them rather than one after the other.
    std::vector<int> open;
    bool ok = true;
    auto add = [&](const fs::path& path, bool isFolder) {
        // Not blocking: what stands at the path may have changed since the
        // walk looked at it.
        int fd = ::open(path.c_str(),
                        (isFolder ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) {
            ok = false;
            return;
        }
        if (!isFolder)
            ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
        open.push_back(fd);
    };
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        // Only files and folders hold what an asset keeps; a pipe would not
        // even open without a writer.
        if (it->is_symlink(ec))
            continue;
        if (it->is_directory(ec))
            add(it->path(), true);
        else if (it->is_regular_file(ec))
            add(it->path(), false);
        if (open.size() == kMaxOpenSyncs) {
            ok = SyncAll(open) && ok;
            open.clear();
        }
    }
    add(fs::path(folder), true);
    ok = SyncAll(open) && ok;
    return !ec && ok;
}

bool CopyFolderDurably(const std::string& from, const std::string& to, std::string& error,
                       const CopyObserver& observer, std::vector<std::string>* skipped)
{
    FolderCopy copy(from, observer, skipped);
    return copy.Run(to, error);
}

uint64_t CountFiles(const std::string& folder)
{
    uint64_t count = 0;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        if (it.depth() > kMaxDepth) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->symlink_status(ec).type() == fs::file_type::regular)
            ++count;
    }
    return count;
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
