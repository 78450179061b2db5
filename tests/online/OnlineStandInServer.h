// The Python stand-in of the online service, started by a test on
// 127.0.0.1:5250 and steered through its standard input. What it received
// and sent comes back from its record file as datagrams with their bytes.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace onlinetest {

struct Datagram {
    bool in = false;  // received by the server
    std::string bytes;
    bool suppressed = false;  // recorded, not sent (dropped, held, silent) or dropped on receipt
};

inline std::string FromHex(const std::string& hex)
{
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

inline std::string ToHex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

// A child program whose standard input and output are pipes of the test:
// lines go in, lines come back. Closing its input at the end lets it stop;
// one that does not is ended by force.
class LineProcess {
public:
    LineProcess(const std::vector<std::string>& words, const std::string& folder = std::string())
    {
        int toChild[2];
        int fromChild[2];
        if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
        if (!folder.empty())
            posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
        std::vector<std::string> copy = words;
        std::vector<char*> argv;
        for (std::string& w : copy)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        if (::posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(toChild[0]);
        ::close(fromChild[1]);
        in_ = toChild[1];
        out_ = fromChild[0];
    }
    ~LineProcess()
    {
        CloseInput();
        Wait();
        if (out_ >= 0)
            ::close(out_);
    }
    LineProcess(const LineProcess&) = delete;
    LineProcess& operator=(const LineProcess&) = delete;

    bool Write(const std::string& line)
    {
        std::string text = line + "\n";
        return ::write(in_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }
    // The next line; empty when none came within the bound.
    std::string ReadLine()
    {
        std::string line;
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < until) {
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            char c;
            if (::read(out_, &c, 1) != 1)
                break;
            if (c == '\n')
                return line;
            line.push_back(c);
        }
        return line;
    }
    void CloseInput()
    {
        if (in_ >= 0)
            ::close(in_);
        in_ = -1;
    }
    // The exit code; -1 when it had to be ended.
    int Wait()
    {
        if (pid_ <= 0)
            return exitCode_;
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > until) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                pid_ = -1;
                return exitCode_;
            }
            ::usleep(5000);
        }
        pid_ = -1;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return exitCode_;
    }

private:
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    int exitCode_ = -1;
};

// Only one test at a time may serve the port, whichever test program it is
// in: each takes this lock first and holds it to its end.
class ServicePortLock {
public:
    ServicePortLock() : fd_(::open("/tmp/kestro-online-5250.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666))
    {
        if (fd_ >= 0)
            ::flock(fd_, LOCK_EX);
    }
    ~ServicePortLock()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    ServicePortLock(const ServicePortLock&) = delete;
    ServicePortLock& operator=(const ServicePortLock&) = delete;

private:
    int fd_;
};

class OnlineStandInServer {
public:
    static std::string ScriptPath() { return std::string(KESTRO_TEST_DATA_DIR) + "/../../tools/online-standin/online_standin.py"; }

    explicit OnlineStandInServer(const std::string& recordPath, int timeLimitSeconds = 120)
        : record_(recordPath),
          process_({"python3", ScriptPath(), "--record", recordPath, "--time-limit", std::to_string(timeLimitSeconds)})
    {
        ready_ = process_.ReadLine().rfind("ready ", 0) == 0;
    }

    bool Ready() const { return ready_; }

    // One command and its answer line.
    std::string Command(const std::string& line)
    {
        if (!process_.Write(line))
            return "error write";
        return process_.ReadLine();
    }

    std::vector<Datagram> Records() const
    {
        std::vector<Datagram> out;
        std::ifstream file(record_);
        for (std::string line; std::getline(file, line);) {
            Datagram d;
            d.in = line.find("\"dir\": \"in\"") != std::string::npos;
            size_t at = line.find("\"hex\": \"");
            if (at == std::string::npos)
                continue;
            at += 8;
            d.bytes = FromHex(line.substr(at, line.find('"', at) - at));
            d.suppressed = line.find("\"suppressed\"") != std::string::npos || line.find("\"dropped\"") != std::string::npos;
            out.push_back(d);
        }
        return out;
    }
    // The datagrams the server received (and did not drop), in order.
    std::vector<std::string> Received() const
    {
        std::vector<std::string> out;
        for (const Datagram& d : Records()) {
            if (d.in && !d.suppressed)
                out.push_back(d.bytes);
        }
        return out;
    }
    std::vector<std::string> Sent() const
    {
        std::vector<std::string> out;
        for (const Datagram& d : Records()) {
            if (!d.in && !d.suppressed)
                out.push_back(d.bytes);
        }
        return out;
    }

private:
    std::string record_;
    LineProcess process_;
    bool ready_ = false;
};

}  // namespace onlinetest
