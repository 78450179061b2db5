#include "kad/discovery/DaemonLink.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kad/discovery/ProcessLaunch.h"
#include "nyx/files/File.h"
#include "platform/PathLookup.h"

namespace {

constexpr const char* kObjectPrefix = "kestro-kad-";
constexpr const char* kLockFolder = "/dev/shm/";

uint64_t Fnv1a64(std::string_view text) noexcept
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

// Each pass that finds its lock file removed under it means another process
// removed a set meanwhile; far more of them than that is a fault.
constexpr int kAttachTries = 64;

char AsciiLower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string PosixObjectName(std::string_view name)
{
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(Fnv1a64(name)));
    return std::string(kObjectPrefix) + hex;
}

DaemonLink::DaemonLink() : processId_(CurrentProcessId()) {}

DaemonLink::DaemonLink(uint32_t processId) : processId_(processId) {}

DaemonLink::~DaemonLink() { Detach(); }

bool DaemonLink::DataFolderOf(std::string_view dataFile, std::string& folder)
{
    std::string text = Nyx::File::Path::Normalise(dataFile);
    // Only the file name is matched without regard to case: the folder is
    // a name of the file system, where case tells folders apart.
    std::string lower = text;
    for (char& c : lower)
        c = AsciiLower(c);
    constexpr std::string_view kName = "assets.tdx";
    size_t at = lower.find(kName);
    if (at == std::string::npos || at + kName.size() != lower.size())
        return false;
    // The name must stand on its own behind a separator: a bare
    // "assets.tdx" (an empty data path) or "myassets.tdx" has no folder to
    // cut out.
    if (at == 0 || text[at - 1] != '/')
        return false;
    folder.assign(text, 0, at - 1);
    return true;
}

std::string DaemonLink::ResolveFolder(std::string_view folder)
{
    std::string found = Platform::FindExisting(folder);
    if (found.empty())
        return found;
    char* real = ::realpath(found.c_str(), nullptr);
    if (!real)
        return std::string();
    std::string out = real;
    std::free(real);
    return out;
}

DaemonObjectNames DaemonLink::NamesFor(std::string_view dataFolder)
{
    Nyx::File::Path mutex(kNameGuid);
    mutex.AddPath(dataFolder);
    Nyx::File::Path shared = mutex;
    shared.AddPath(kSharedMemorySuffix);

    DaemonObjectNames names;
    names.mutexName = mutex.Str();
    names.sharedMemoryName = shared.Str();
    names.lockFilePath = std::string(kLockFolder) + PosixObjectName(names.mutexName);
    names.sharedMemoryPath = PosixObjectName(names.sharedMemoryName);
    names.sharedMemoryPath.insert(names.sharedMemoryPath.begin(), '/');
    return names;
}

bool DaemonLink::IsCurrent() const
{
    struct stat held;
    struct stat linked;
    return lockFd_ >= 0 && ::fstat(lockFd_, &held) == 0 && held.st_nlink > 0
           && ::lstat(names_.lockFilePath.c_str(), &linked) == 0 && held.st_dev == linked.st_dev
           && held.st_ino == linked.st_ino;
}

bool DaemonLink::MapBlock(bool& fresh)
{
    int fd = ::shm_open(names_.sharedMemoryPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    // Only a process that holds the lock maps the block, so an empty one
    // was made just now (or by one that died before filling it): growing it
    // is safe, and whoever grows it fills it.
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return false;
    }
    fresh = st.st_size < off_t(sizeof(DaemonSharedBlock));
    if (fresh && ::ftruncate(fd, sizeof(DaemonSharedBlock)) != 0) {
        ::close(fd);
        return false;
    }
    void* p = ::mmap(nullptr, sizeof(DaemonSharedBlock), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED)
        return false;
    block_ = static_cast<DaemonSharedBlock*>(p);
    return true;
}

bool DaemonLink::AttachLocked()
{
    for (int tries = 0; tries < kAttachTries; ++tries) {
        int fd = ::open(names_.lockFilePath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0)
            return false;
        lockFd_ = fd;
        lockDepth_ = 0;
        if (!Lock()) {
            // Removed between our open and our lock: look again.
            Release();
            continue;
        }
        bool fresh = false;
        if (!MapBlock(fresh)) {
            Release();
            return false;
        }
        if (fresh) {
            holder_ = true;
            block_->Initialise(processId_);
            return true;
        }
        if (DaemonSharedBlock::Load(block_->refuseFlag) != 0) {
            Unlock();
            Detach();
            return false;
        }
        // Nothing here relies on its value, and it is never given back.
        if (DaemonSharedBlock::Load(block_->modeWord) == 0)
            DaemonSharedBlock::Store(block_->attachCount, 255);
        else
            std::atomic_ref<uint8_t>(block_->attachCount).fetch_add(1, std::memory_order_relaxed);
        return true;
    }
    return false;
}

bool DaemonLink::Attach(std::string_view dataFile)
{
    if (lockFd_ >= 0)
        return true;
    std::string folder;
    if (!DataFolderOf(dataFile, folder))
        return false;
    if (Nyx::File::Exists(Nyx::File::Path(folder)) != 0)
        return false;
    // The same folder reached through a link or ".." must give the same
    // names to every process.
    std::string resolved = ResolveFolder(folder);
    if (resolved.empty())
        return false;
    names_ = NamesFor(resolved);
    if (!AttachLocked())
        return false;
    Unlock();
    return true;
}

void DaemonLink::CheckAlive()
{
    if (lockFd_ < 0 || !block_)
        return;
    if (!LockCurrent())
        return;
    uint32_t holder = DaemonSharedBlock::Load(block_->holderProcessId);
    if (holder == DaemonSharedBlock::kNoProcess || !IsProcessAlive(holder)) {
        DaemonSharedBlock::Store(block_->holderProcessId, processId_);
        holder_ = true;
    }
    Unlock();
}

bool DaemonLink::IsOwner()
{
    CheckAlive();
    return holder_;
}

uint32_t DaemonLink::GetPort()
{
    if (!block_)
        return 0;
    CheckAlive();
    if (!block_ || holder_)
        return 0;
    return DaemonSharedBlock::Load(block_->daemonPort);
}

void DaemonLink::Detach()
{
    if (lockFd_ < 0)
        return;
    ReleaseClaim();
    // A set removed since needs nothing more from us.
    if (holder_ && block_ && Lock()) {
        // Only this process's own entry is cleared: a daemon may have taken
        // the block over since, and its entry must survive our leaving.
        if (DaemonSharedBlock::Load(block_->holderProcessId) == processId_) {
            DaemonSharedBlock::Store(block_->holderProcessId, DaemonSharedBlock::kNoProcess);
            if (DaemonSharedBlock::Load(block_->modeWord) >= 1)
                std::atomic_ref<uint8_t>(block_->attachCount).fetch_sub(1, std::memory_order_relaxed);
            RemoveObjects();
        }
        Unlock();
    }
    Release();
}

void DaemonLink::RemoveObjects()
{
    // The block goes first: while the lock file is still linked, nobody
    // can map a block without waiting for our lock, after which they find
    // their lock file unlinked and start over. The other way round, a
    // newcomer could make a new lock file and map the old block under the
    // name just before it went.
    ::shm_unlink(names_.sharedMemoryPath.c_str());
    ::unlink(names_.lockFilePath.c_str());
}

void DaemonLink::Release()
{
    if (block_)
        ::munmap(block_, sizeof(DaemonSharedBlock));
    block_ = nullptr;
    if (lockFd_ >= 0)
        ::close(lockFd_);  // lets go of the lock too, if held
    lockFd_ = -1;
    lockDepth_ = 0;
    holder_ = false;
}

bool DaemonLink::Lock()
{
    if (lockFd_ < 0)
        return false;
    if (lockDepth_ > 0) {
        ++lockDepth_;
        return true;
    }
    while (::flock(lockFd_, LOCK_EX) != 0) {
        if (errno != EINTR)
            return false;
    }
    if (!IsCurrent()) {
        ::flock(lockFd_, LOCK_UN);
        return false;
    }
    lockDepth_ = 1;
    return true;
}

void DaemonLink::Unlock()
{
    if (lockFd_ < 0 || lockDepth_ == 0)
        return;
    if (--lockDepth_ == 0)
        ::flock(lockFd_, LOCK_UN);
}

bool DaemonLink::LockCurrent()
{
    if (Lock())
        return true;
    if (lockFd_ < 0)
        return false;
    // The set was removed by a holder that left. Our claim and our entry,
    // if any, went with it.
    Release();
    return AttachLocked();
}

bool DaemonLink::IsClaimant() const
{
    return block_ && DaemonSharedBlock::Load(block_->claimProcessId) == processId_;
}

void DaemonLink::ReleaseClaim()
{
    if (IsClaimant())
        DaemonSharedBlock::Store(block_->claimProcessId, DaemonSharedBlock::kNoProcess);
}

bool DaemonLink::Publish(uint32_t port)
{
    if (!block_ || !Lock())
        return false;
    DaemonSharedBlock::Store(block_->holderProcessId, processId_);
    DaemonSharedBlock::Store(block_->daemonPort, port);
    holder_ = true;
    Unlock();
    return true;
}

void DaemonLink::Withdraw()
{
    if (!block_)
        return;
    if (Lock()) {
        if (DaemonSharedBlock::Load(block_->holderProcessId) == processId_) {
            DaemonSharedBlock::Store(block_->daemonPort, 0u);
            DaemonSharedBlock::Store(block_->holderProcessId, DaemonSharedBlock::kNoProcess);
            RemoveObjects();
        }
        Unlock();
    }
    holder_ = false;
}

bool DaemonLink::IsPublished(uint32_t port) const
{
    // Only this process writes its own id into the holder field, and a
    // rival that takes over overwrites both fields: any new value in a look
    // means this process was replaced, and a look that sees none is merely
    // early.
    return block_ && IsCurrent() && DaemonSharedBlock::Load(block_->holderProcessId) == processId_
           && DaemonSharedBlock::Load(block_->daemonPort) == port;
}
