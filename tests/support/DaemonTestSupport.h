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

std::string RealPath(const std::string& path);

// The folder of the running test program; the built programs sit beside it.
std::string ProgramFolder();

// One past the largest id the kernel hands out: never a live process.
uint32_t DeadProcessId();

inline std::string DataFileOf(const std::string& root) { return root + "/assets.tdx"; }

DaemonObjectNames NamesOfRoot(const std::string& root);

// The names in /dev/shm that start with the names of the root's lock file or
// block: the two objects and any file made beside them.
std::vector<std::string> DiscoveryFiles(const std::string& root);

// The inode of a /dev/shm object, 0 when it does not exist.
uint64_t ShmInode(const std::string& path);

// A daemon that is killed leaves its discovery objects behind; tests remove
// those of their own data root.
class DiscoveryCleanup {
public:
    explicit DiscoveryCleanup(const std::string& root);
    ~DiscoveryCleanup();
    DiscoveryCleanup(const DiscoveryCleanup&) = delete;
    DiscoveryCleanup& operator=(const DiscoveryCleanup&) = delete;

    const DaemonObjectNames& Names() const { return names_; }

private:
    void Remove();

    DaemonObjectNames names_;
};

// A copy of the block as it is now, read without the lock and without
// becoming anybody; false when the block does not exist.
bool ReadBlock(const std::string& root, DaemonSharedBlock& out);

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
