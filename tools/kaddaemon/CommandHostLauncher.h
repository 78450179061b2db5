// The command host the stand-in starts itself ("KestroUtil kadcommandhost"
// from the daemon's own folder, as the tool starts the daemon) when a job
// finds none registered, and ends again when the daemon closes.
//
// The launcher collects the exit status of what it started itself, so the
// process id it signals is never one the system has handed on.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace kaddaemon {

class CommandHostLauncher {
public:
    // `program` is the tool to run; `exited` is called, on a thread of the
    // launcher's, each time a process it started has ended.
    CommandHostLauncher(std::string program, std::function<void()> exited);
    ~CommandHostLauncher();  // End with a short grace
    CommandHostLauncher(const CommandHostLauncher&) = delete;
    CommandHostLauncher& operator=(const CommandHostLauncher&) = delete;

    // Starts the program unless the one started last still runs; false,
    // with the reason, when it cannot be started.
    bool Start(std::string& error);
    // The process started last still runs.
    bool Running();
    // Asks the process started last to end (SIGTERM) and kills it when it
    // has not ended within `graceMs`; returns once it has ended.
    void End(int graceMs);

private:
    void Collect(int pid);

    const std::string program_;
    const std::function<void()> exited_;
    std::mutex lock_;
    std::condition_variable ended_;
    int pid_ = 0;          // under lock_; 0 when none was started
    bool running_ = false;  // under lock_: not yet collected
    std::thread collector_;
};

}  // namespace kaddaemon
