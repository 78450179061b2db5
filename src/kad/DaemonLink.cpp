#include "kad/DaemonLink.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kad/ProcessLaunch.h"
#include "nyx/File.h"
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

int DaemonLink::OpenLockFile(const std::string& path, bool& created)
{
    // A lock file that is created in place could be found and locked by
    // another process before its creator locks it. It is therefore made
    // under a private name, locked, and only then linked in: whoever finds
    // the name finds it held until the block is filled.
    for (int tries = 0; tries < 8; ++tries) {
        int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd >= 0) {
            created = false;
            return fd;
        }
        if (errno != ENOENT)
            return -1;
        std::string temp = path + ".XXXXXX";
        fd = ::mkostemp(temp.data(), O_CLOEXEC);
        if (fd < 0)
            return -1;
        int locked;
        do {
            locked = ::flock(fd, LOCK_EX);
        } while (locked != 0 && errno == EINTR);
        if (locked == 0 && ::link(temp.c_str(), path.c_str()) == 0) {
            ::unlink(temp.c_str());
            created = true;
            return fd;
        }
        int err = locked == 0 ? errno : EIO;
        ::unlink(temp.c_str());
        ::close(fd);
        if (err != EEXIST)
            return -1;
        // Someone else linked theirs in first: open that one.
    }
    return -1;
}

bool DaemonLink::MapBlock(const std::string& name)
{
    int fd = ::shm_open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    // Every process grows a fresh object before touching it, so none ever
    // maps past its end; growing fills with zeros, which read as a holder
    // that does not exist.
    struct stat st;
    if (::fstat(fd, &st) != 0 || (st.st_size < off_t(sizeof(DaemonSharedBlock)) && ::ftruncate(fd, sizeof(DaemonSharedBlock)) != 0)) {
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
    DaemonObjectNames names = NamesFor(resolved);

    bool created = false;
    int fd = OpenLockFile(names.lockFilePath, created);
    if (fd < 0)
        return false;
    lockFd_ = fd;
    lockDepth_ = created ? 1 : 0;
    if (!MapBlock(names.sharedMemoryPath)) {
        Release();
        return false;
    }

    if (created) {
        holder_ = true;
        block_->Initialise(processId_);
        Unlock();
        return true;
    }
    if (DaemonSharedBlock::Load(block_->refuseFlag) != 0) {
        Detach();
        return false;
    }
    // Bumped without the lock and never given back; nothing here relies on
    // its value.
    if (DaemonSharedBlock::Load(block_->modeWord) == 0)
        DaemonSharedBlock::Store(block_->attachCount, 255);
    else
        std::atomic_ref<uint8_t>(block_->attachCount).fetch_add(1, std::memory_order_relaxed);
    return true;
}

void DaemonLink::CheckAlive()
{
    if (lockFd_ < 0 || !block_)
        return;
    Lock();
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
    if (holder_)
        return 0;
    return DaemonSharedBlock::Load(block_->daemonPort);
}

void DaemonLink::Detach()
{
    if (lockFd_ < 0)
        return;
    ReleaseClaim();
    if (holder_ && block_) {
        Lock();
        // Only this process's own entry is cleared: a daemon may have taken
        // the block over since, and its entry must survive our leaving.
        if (DaemonSharedBlock::Load(block_->holderProcessId) == processId_) {
            DaemonSharedBlock::Store(block_->holderProcessId, DaemonSharedBlock::kNoProcess);
            if (DaemonSharedBlock::Load(block_->modeWord) >= 1)
                std::atomic_ref<uint8_t>(block_->attachCount).fetch_sub(1, std::memory_order_relaxed);
        }
        Unlock();
    }
    Release();
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

void DaemonLink::Lock()
{
    if (lockFd_ < 0)
        return;
    if (lockDepth_++ > 0)
        return;
    while (::flock(lockFd_, LOCK_EX) != 0 && errno == EINTR) {
    }
}

void DaemonLink::Unlock()
{
    if (lockFd_ < 0 || lockDepth_ == 0)
        return;
    if (--lockDepth_ == 0)
        ::flock(lockFd_, LOCK_UN);
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

void DaemonLink::Publish(uint32_t port)
{
    if (!block_)
        return;
    Lock();
    DaemonSharedBlock::Store(block_->holderProcessId, processId_);
    DaemonSharedBlock::Store(block_->daemonPort, port);
    holder_ = true;
    Unlock();
}

void DaemonLink::Withdraw()
{
    if (!block_)
        return;
    Lock();
    if (DaemonSharedBlock::Load(block_->holderProcessId) == processId_) {
        DaemonSharedBlock::Store(block_->daemonPort, 0u);
        DaemonSharedBlock::Store(block_->holderProcessId, DaemonSharedBlock::kNoProcess);
    }
    holder_ = false;
    Unlock();
}
