// The program's own path, other processes' liveness, and starting the
// asset-database daemon.
#pragma once

#include <cstdint>
#include <string_view>

#include "nyx/files/File.h"

// Flags of LaunchProcess. There is no window to show here: the show modes
// are accepted and change nothing.
enum LaunchFlags : uint32_t {
    kLaunchMinimised = 1,
    kLaunchHidden = 2,
    // The caller collects the child's exit status itself (waitpid), and may
    // signal it safely until then.
    kLaunchKeepChild = 4,
};

// The absolute path of the running program, symbolic links resolved.
bool GetModulePath(Nyx::File::Path& out);

// Starts a program in a session of its own, detached from the caller's
// terminal, with its standard streams on /dev/null and no descriptor of the
// caller's open. `parameters` is split at blanks, double quotes grouping
// words. An empty working folder keeps the caller's. Returns the new
// process's id, or 0 when it could not be started. Unless kLaunchKeepChild
// is given, the caller never has to wait for it: a thread of this process
// collects its exit status, so it never lingers as a zombie.
uint32_t LaunchProcess(std::string_view file, std::string_view parameters, std::string_view workingFolder,
                       uint32_t flags);

// The id of the calling process.
uint32_t CurrentProcessId();

// Whether a process with this id exists (one we may not signal counts).
// Ids that are not positive as signed values, 0xFFFFFFFF among them, never
// name a process.
bool IsProcessAlive(uint32_t processId);
