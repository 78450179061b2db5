#include "support/ChildProcess.h"

namespace childprocess {

void DefaultConsoleSignals()
{
    sigset_t console;
    sigemptyset(&console);
    for (int sig : {SIGINT, SIGQUIT, SIGHUP, SIGTERM}) {
        ::signal(sig, SIG_DFL);
        sigaddset(&console, sig);
    }
    ::sigprocmask(SIG_UNBLOCK, &console, nullptr);
}

int WaitChild(pid_t pid, std::chrono::seconds limit)
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

int RunInChild(const std::string& folder, const std::function<void()>& body,
               std::chrono::seconds limit)
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
