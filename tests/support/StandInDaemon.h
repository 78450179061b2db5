// The built stand-in daemon placed in a data root's "bin" folder, where the
// tool launches it from, and ended again when a test is done with it.
#pragma once

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "kad/discovery/ProcessLaunch.h"
#include "support/DaemonTestSupport.h"

namespace standin {

// Copies the stand-in built beside the test program (a copy, not a link:
// the stand-in finds its root from its own resolved path).
inline void Install(const std::string& root)
{
    std::filesystem::create_directories(root + "/bin");
    std::filesystem::copy_file(daemontest::ProgramFolder() + "/kaddaemon", root + "/bin/kaddaemon",
                               std::filesystem::copy_options::overwrite_existing);
}

// A process that has ended, whether or not its parent has collected it.
inline bool Ended(uint32_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    if (!stat)
        return true;
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t paren = text.rfind(')');
    return paren != std::string::npos && paren + 2 < text.size() && text[paren + 2] == 'Z';
}

// The live daemon the root's discovery block names, or 0.
inline uint32_t Serving(const std::string& root)
{
    DaemonSharedBlock block{};
    if (!daemontest::ReadBlock(root, block) || block.daemonPort == 0
        || block.holderProcessId == DaemonSharedBlock::kNoProcess || block.holderProcessId == CurrentProcessId()
        || Ended(block.holderProcessId))
        return 0;
    return block.holderProcessId;
}

// Ends the root's daemon, if one runs, without asking it.
inline void Kill(const std::string& root)
{
    if (uint32_t pid = Serving(root))
        ::kill(static_cast<pid_t>(pid), SIGKILL);
}

}  // namespace standin
