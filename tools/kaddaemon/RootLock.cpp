#include "kaddaemon/RootLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

namespace kaddaemon {
namespace {

constexpr int kRetryMs = 20;

std::string LockedFolder(const std::string& root) { return root + "/editing"; }

}  // namespace

bool RootLock::Take(const std::string& root, int waitMs, const std::function<bool()>& giveUp)
{
    Release();
    const int fd = ::open(LockedFolder(root).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            fd_ = fd;
            return true;
        }
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline ||
            (giveUp && giveUp()))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
    }
    ::close(fd);
    return false;
}

void RootLock::Release() noexcept
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

uint32_t RootLock::Holder(const std::string& root)
{
    struct stat st;
    if (::stat(LockedFolder(root).c_str(), &st) != 0)
        return 0;
    // Lines such as "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"; a
    // process waiting for a lock shows after "->", and holds nothing.
    std::ifstream table("/proc/locks");
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string number, type, mode, access, device;
        long long pid = 0;
        if (!(fields >> number >> type))
            continue;
        if (type != "FLOCK" || !(fields >> mode >> access >> pid >> device) || pid <= 0)
            continue;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(device.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3)
            continue;
        if (inode == st.st_ino && major == ::major(st.st_dev) && minor == ::minor(st.st_dev) &&
            pid <= 0xFFFFFFFFll)
            return uint32_t(pid);
    }
    return 0;
}

std::string RootLock::DescribeHolder(const std::string& root)
{
    const uint32_t pid = Holder(root);
    if (pid == 0)
        return "another process";
    std::string name;
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::getline(comm, name);
    return "process " + std::to_string(pid) + (name.empty() ? std::string() : " (" + name + ")");
}

}  // namespace kaddaemon
