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
void DefaultConsoleSignals();

// The wait status of the child once it has ended; -1 when it had to be
// killed after `limit`. The limits the tests give are far beyond the time
// the child needs, and below the test command's own limit on a test, so
// that a hung child is ended by the test that started it.
int WaitChild(pid_t pid, std::chrono::seconds limit = std::chrono::seconds(300));

// Runs `body` in a child whose working folder is `folder`, with standard
// output and error going to "child-stdout.txt" and "child-stderr.txt" there
// and no core file. The child leaves with 0 when the body returns, through
// _exit: a copy of the test process must not run the test program's
// static clean-up in its stead (bodies that test the clean-up call exit
// themselves). Returns the wait status, or -1 when the child had to be
// killed after `limit`.
int RunInChild(const std::string& folder, const std::function<void()>& body,
               std::chrono::seconds limit = std::chrono::seconds(60));

}  // namespace childprocess
