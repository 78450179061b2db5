// Helpers of the discovery and daemon tests: the objects a data root's
// discovery leaves behind, a process id that cannot be alive, and a look at
// the shared block that changes nothing.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kad/discovery/DaemonLink.h"

namespace daemontest {

inline std::string RealPath(const std::string& path)
{
    char* real = ::realpath(path.c_str(), nullptr);
    std::string out = real ? real : path;
    std::free(real);
    return out;
}

// The folder of the running test program; the built programs sit beside it.
inline std::string ProgramFolder()
{
    std::string self = RealPath("/proc/self/exe");
    return self.substr(0, self.rfind('/'));
}

// One past the largest id the kernel hands out: never a live process.
inline uint32_t DeadProcessId()
{
    uint32_t max = 4194304;
    std::ifstream in("/proc/sys/kernel/pid_max");
    in >> max;
    return max + 1;
}

inline std::string DataFileOf(const std::string& root) { return root + "/assets.tdx"; }

inline DaemonObjectNames NamesOfRoot(const std::string& root)
{
    std::string folder;
    EXPECT_TRUE(DaemonLink::DataFolderOf(DataFileOf(root), folder));
    return DaemonLink::NamesFor(folder);
}

// The names in /dev/shm that start with the names of the root's lock file or
// block: the two objects and any file made beside them.
inline std::vector<std::string> DiscoveryFiles(const std::string& root)
{
    const DaemonObjectNames names = NamesOfRoot(root);
    const std::string lock = std::filesystem::path(names.lockFilePath).filename().string();
    const std::string block = names.sharedMemoryPath.substr(1);
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm")) {
        std::string name = entry.path().filename().string();
        if (name.rfind(lock, 0) == 0 || name.rfind(block, 0) == 0)
            found.push_back(name);
    }
    std::sort(found.begin(), found.end());
    return found;
}

// The inode of a /dev/shm object, 0 when it does not exist.
inline uint64_t ShmInode(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_ino) : 0;
}

// A daemon that is killed leaves its discovery objects behind; tests remove
// those of their own data root.
class DiscoveryCleanup {
public:
    explicit DiscoveryCleanup(const std::string& root) : names_(NamesOfRoot(root)) { Remove(); }
    ~DiscoveryCleanup() { Remove(); }
    DiscoveryCleanup(const DiscoveryCleanup&) = delete;
    DiscoveryCleanup& operator=(const DiscoveryCleanup&) = delete;

    const DaemonObjectNames& Names() const { return names_; }

private:
    void Remove()
    {
        ::unlink(names_.lockFilePath.c_str());
        ::shm_unlink(names_.sharedMemoryPath.c_str());
    }

    DaemonObjectNames names_;
};

// A copy of the block as it is now, read without the lock and without
// becoming anybody; false when the block does not exist.
inline bool ReadBlock(const std::string& root, DaemonSharedBlock& out)
{
    int fd = ::shm_open(NamesOfRoot(root).sharedMemoryPath.c_str(), O_RDONLY, 0);
    if (fd < 0)
        return false;
    bool ok = ::pread(fd, &out, sizeof out, 0) == ssize_t(sizeof out);
    ::close(fd);
    return ok;
}

// Polls until the condition holds; false after the bound.
template <class Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds bound = std::chrono::milliseconds(60000))
{
    auto until = std::chrono::steady_clock::now() + bound;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace daemontest
