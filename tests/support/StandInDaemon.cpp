#include "support/StandInDaemon.h"

#include "support/ProcFiles.h"

namespace standin {

void Install(const std::string& root)
{
    std::filesystem::create_directories(root + "/bin");
    std::filesystem::copy_file(daemontest::ProgramFolder() + "/kaddaemon", root + "/bin/kaddaemon",
                               std::filesystem::copy_options::overwrite_existing);
}

bool Ended(uint32_t pid)
{
    const std::vector<std::string> fields = proctest::StatFields(static_cast<pid_t>(pid));
    return fields.empty() || fields[0] == "Z";
}

uint32_t Serving(const std::string& root)
{
    DaemonSharedBlock block{};
    if (!daemontest::ReadBlock(root, block) || block.daemonPort == 0
        || block.holderProcessId == DaemonSharedBlock::kNoProcess || block.holderProcessId == CurrentProcessId()
        || Ended(block.holderProcessId))
        return 0;
    return block.holderProcessId;
}

void Kill(const std::string& root)
{
    if (uint32_t pid = Serving(root))
        ::kill(static_cast<pid_t>(pid), SIGKILL);
}

std::vector<pid_t> ProcessesOf(const std::string& program, pid_t except)
{
    std::vector<pid_t> found;
    std::error_code walk;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", walk)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code ec;
        const pid_t pid = static_cast<pid_t>(std::stol(name));
        if (pid == except || std::filesystem::read_symlink(entry.path() / "exe", ec) != program || ec
            || Ended(static_cast<uint32_t>(pid)))
            continue;
        found.push_back(pid);
    }
    return found;
}

void EndAll(const std::string& root)
{
    Kill(root);
    const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        std::vector<pid_t> left = ProcessesOf(root + "/bin/KestroUtil");
        for (pid_t pid : ProcessesOf(root + "/bin/kaddaemon"))
            left.push_back(pid);
        if (left.empty() || std::chrono::steady_clock::now() > bound)
            return;
        for (pid_t pid : left)
            ::kill(pid, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace standin
