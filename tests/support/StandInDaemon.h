// The built stand-in daemon placed in a data root's "bin" folder, where the
// tool launches it from, and ended again when a test is done with it.
#pragma once

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "kad/discovery/ProcessLaunch.h"
#include "support/DaemonTestSupport.h"

namespace standin {

// Copies the stand-in built beside the test program (a copy, not a link:
// the stand-in finds its root from its own resolved path).
void Install(const std::string& root);

// A process that has ended, whether or not its parent has collected it.
bool Ended(uint32_t pid);

// The live daemon the root's discovery block names, or 0.
uint32_t Serving(const std::string& root);

// Ends the root's daemon, if one runs, without asking it.
void Kill(const std::string& root);

// The running processes of the program (not yet ended), but `except`.
std::vector<pid_t> ProcessesOf(const std::string& program, pid_t except = 0);

// Ends the root's daemon and every program still running from the root's
// "bin" folder (a command host the daemon started outlives a killed daemon
// for a moment, and writes its details into the root as it goes), and waits
// until they have ended, so the root can be removed whole.
void EndAll(const std::string& root);

}  // namespace standin
