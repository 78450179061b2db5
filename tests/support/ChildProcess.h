// A forked copy of the test process for tests whose subject ends the
// process (crash reports, guarded exits).
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace childprocess {

// A program and its arguments as the NUL-ended argv array exec and
// posix_spawn take; the words live as long as the object.
class CommandLine {
public:
    CommandLine(const std::string& program, const std::vector<std::string>& args) : words_{program}
    {
        words_.insert(words_.end(), args.begin(), args.end());
        for (std::string& w : words_)
            argv_.push_back(w.data());
        argv_.push_back(nullptr);
    }
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    char** Argv() noexcept { return argv_.data(); }
    int Argc() const noexcept { return static_cast<int>(words_.size()); }

private:
    std::vector<std::string> words_;
    std::vector<char*> argv_;
};

// For a child, before its body or the program it starts: the console
// signals at their default actions and let through, as for a program
// started from a terminal. A test run in the background (without job
// control, under nohup) would otherwise hand its ignored interrupt and
// hang-up down to the child, which keeps them ignored and never sees the
// signal a test sends it.
inline void DefaultConsoleSignals()
{
    sigset_t console;
    sigemptyset(&console);
    for (int sig : {SIGINT, SIGQUIT, SIGHUP, SIGTERM}) {
        ::signal(sig, SIG_DFL);
        sigaddset(&console, sig);
    }
    ::sigprocmask(SIG_UNBLOCK, &console, nullptr);
}

// The wait status of the child once it has ended; -1 when it had to be
// killed after `limit`. The limits the tests give are far beyond the time
// the child needs, and below the test command's own limit on a test, so
// that a hung child is ended by the test that started it.
inline int WaitChild(pid_t pid, std::chrono::seconds limit = std::chrono::seconds(300))
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        const pid_t got = ::waitpid(pid, &status, WNOHANG);
        if (got == pid)
            return status;
        if (got < 0)
            return -1;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Runs `body` in a child whose working folder is `folder`, with standard
// output and error going to "child-stdout.txt" and "child-stderr.txt" there
// and no core file. The child leaves with 0 when the body returns, through
// _exit: a copy of the test process must not run the test program's
// static clean-up in its stead (bodies that test the clean-up call exit
// themselves). Returns the wait status, or -1 when the child had to be
// killed after `limit`.
inline int RunInChild(const std::string& folder, const std::function<void()>& body,
                      std::chrono::seconds limit = std::chrono::seconds(60))
{
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        DefaultConsoleSignals();
        if (::chdir(folder.c_str()) != 0)
            ::_exit(90);
        int out = ::open("child-stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = ::open("child-stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        body();
        ::_exit(0);
    }
    return WaitChild(pid, limit);
}

}  // namespace childprocess
