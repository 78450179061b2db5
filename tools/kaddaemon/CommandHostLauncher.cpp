#include "kaddaemon/CommandHostLauncher.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <system_error>

#include <sys/wait.h>
#include <unistd.h>

#include "kad/discovery/ProcessLaunch.h"

namespace kaddaemon {
namespace {

// How long the destructor lets a host finish what it has queued.
constexpr int kDestructorGraceMs = 2000;

}  // namespace

CommandHostLauncher::CommandHostLauncher(std::string program, std::function<void()> exited)
    : program_(std::move(program)), exited_(std::move(exited))
{
}

CommandHostLauncher::~CommandHostLauncher() { End(kDestructorGraceMs); }

bool CommandHostLauncher::Start(std::string& error)
{
    std::unique_lock<std::mutex> hold(lock_);
    if (running_)
        return true;
    // The collector of the one before has done its work, or is about to.
    if (collector_.joinable()) {
        hold.unlock();
        collector_.join();
        hold.lock();
        if (running_)
            return true;
    }
    if (program_.empty()) {
        error = "no program is set to run it";
        return false;
    }
    const std::string folder = std::filesystem::path(program_).parent_path().string();
    const uint32_t pid = LaunchProcess(program_, "kadcommandhost", folder, kLaunchHidden | kLaunchKeepChild);
    if (pid == 0) {
        error = "cannot run " + program_;
        return false;
    }
    pid_ = static_cast<int>(pid);
    running_ = true;
    try {
        collector_ = std::thread([this, p = pid_]() { Collect(p); });
    } catch (const std::system_error&) {
        // Without a collector it could never be signalled safely.
        ::kill(pid_, SIGKILL);
        while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
        running_ = false;
        error = "no thread to watch it";
        return false;
    }
    return true;
}

bool CommandHostLauncher::Running()
{
    std::lock_guard<std::mutex> hold(lock_);
    return running_;
}

void CommandHostLauncher::Collect(int pid)
{
    // Waits without collecting: until running_ is cleared under the lock,
    // the id still names this process, and End may signal it.
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
    {
        std::lock_guard<std::mutex> hold(lock_);
        running_ = false;
        ended_.notify_all();
    }
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    if (exited_)
        exited_();
}

void CommandHostLauncher::End(int graceMs)
{
    std::unique_lock<std::mutex> hold(lock_);
    if (running_) {
        ::kill(pid_, SIGTERM);
        if (!ended_.wait_for(hold, std::chrono::milliseconds(graceMs), [this]() { return !running_; }))
            ::kill(pid_, SIGKILL);
    }
    hold.unlock();
    if (collector_.joinable())
        collector_.join();
}

}  // namespace kaddaemon
