#include "support/DaemonTestSupport.h"

#include "support/ProcFiles.h"

namespace daemontest {

std::string RealPath(const std::string& path)
{
    char* real = ::realpath(path.c_str(), nullptr);
    std::string out = real ? real : path;
    std::free(real);
    return out;
}

std::string ProgramFolder()
{
    std::string self = RealPath("/proc/self/exe");
    return self.substr(0, self.rfind('/'));
}

uint32_t DeadProcessId()
{
    // The system's own bound on ids when it cannot be read.
    constexpr unsigned long kLimit = 4194304;
    const unsigned long max = std::strtoul(proctest::ReadProcFile("/proc/sys/kernel/pid_max").c_str(), nullptr, 10);
    return uint32_t(max == 0 || max > kLimit ? kLimit : max) + 1;
}

DaemonObjectNames NamesOfRoot(const std::string& root)
{
    std::string folder;
    EXPECT_TRUE(DaemonLink::DataFolderOf(DataFileOf(root), folder));
    return DaemonLink::NamesFor(folder);
}

std::vector<std::string> DiscoveryFiles(const std::string& root)
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

uint64_t ShmInode(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_ino) : 0;
}

bool ReadBlock(const std::string& root, DaemonSharedBlock& out)
{
    int fd = ::shm_open(NamesOfRoot(root).sharedMemoryPath.c_str(), O_RDONLY, 0);
    if (fd < 0)
        return false;
    bool ok = ::pread(fd, &out, sizeof out, 0) == ssize_t(sizeof out);
    ::close(fd);
    return ok;
}

DiscoveryCleanup::DiscoveryCleanup(const std::string& root) : names_(NamesOfRoot(root))
{
    Remove();
}

DiscoveryCleanup::~DiscoveryCleanup()
{
    Remove();
}

void DiscoveryCleanup::Remove()
{
    ::unlink(names_.lockFilePath.c_str());
    ::shm_unlink(names_.sharedMemoryPath.c_str());
}

}  // namespace daemontest
