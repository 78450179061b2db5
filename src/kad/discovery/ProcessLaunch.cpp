#include "kad/discovery/ProcessLaunch.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/PathLookup.h"

extern char** environ;

namespace {

// Words of a parameter line: blanks separate, double quotes group (and are
// dropped).
std::vector<std::string> SplitParameters(std::string_view text)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

// An existing path, looked up without regard to case where it must be, and
// made absolute: the child changes its folder before it starts the program,
// so a relative program path would be taken from the wrong place.
std::string AbsoluteExisting(std::string_view path)
{
    std::string found = Platform::FindExisting(Platform::ToForwardSlashes(path));
    if (found.empty())
        return found;
    if (found[0] == '/')
        return found;
    char* real = ::realpath(found.c_str(), nullptr);
    if (!real)
        return std::string();
    std::string abs = real;
    std::free(real);
    return abs;
}

// Collects the child's exit status so that it never stays a zombie, without
// touching how the rest of the program handles its children (no SIGCHLD
// handler, no wait for any child but this one).
void ReapLater(pid_t pid)
{
    try {
        std::thread([pid]() {
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: the child is collected by init once this
        // process ends.
    }
}

class SpawnSetup {
public:
    SpawnSetup()
    {
        ok_ = ::posix_spawn_file_actions_init(&actions_) == 0;
        if (::posix_spawnattr_init(&attr_) == 0)
            attrReady_ = true;
        else
            ok_ = false;
    }
    ~SpawnSetup()
    {
        ::posix_spawn_file_actions_destroy(&actions_);
        if (attrReady_)
            ::posix_spawnattr_destroy(&attr_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    bool Prepare(const std::string& folder)
    {
        if (!ok_)
            return false;
        // The daemon outlives the caller: it must not share its terminal,
        // its process group, its signal dispositions or its descriptors.
        sigset_t none;
        sigset_t all;
        sigemptyset(&none);
        sigfillset(&all);
        sigdelset(&all, SIGKILL);
        sigdelset(&all, SIGSTOP);
        short flags = POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
        if (::posix_spawnattr_setflags(&attr_, flags) != 0 || ::posix_spawnattr_setsigmask(&attr_, &none) != 0
            || ::posix_spawnattr_setsigdefault(&attr_, &all) != 0)
            return false;
        for (int fd = 0; fd < 3; ++fd) {
            int mode = fd == 0 ? O_RDONLY : O_WRONLY;
            if (::posix_spawn_file_actions_addopen(&actions_, fd, "/dev/null", mode, 0) != 0)
                return false;
        }
        if (::posix_spawn_file_actions_addclosefrom_np(&actions_, 3) != 0)
            return false;
        if (!folder.empty() && ::posix_spawn_file_actions_addchdir_np(&actions_, folder.c_str()) != 0)
            return false;
        return true;
    }

    posix_spawn_file_actions_t* Actions() { return &actions_; }
    posix_spawnattr_t* Attributes() { return &attr_; }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attr_;
    bool ok_ = false;
    bool attrReady_ = false;
};

}  // namespace

bool GetModulePath(Nyx::File::Path& out)
{
    std::string buf(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0 || static_cast<size_t>(n) >= buf.size())
        return false;
    buf.resize(static_cast<size_t>(n));
    out = Nyx::File::Path(buf);
    return true;
}

uint32_t LaunchProcess(std::string_view file, std::string_view parameters, std::string_view workingFolder,
                       uint32_t flags)
{
    // Hidden, minimised and normal differ only in a window there is none of.
    std::string program = AbsoluteExisting(file);
    if (program.empty())
        return 0;
    std::string folder;
    if (!workingFolder.empty()) {
        folder = AbsoluteExisting(workingFolder);
        if (folder.empty())
            return 0;
    }

    std::vector<std::string> words = SplitParameters(parameters);
    std::vector<char*> argv;
    argv.reserve(words.size() + 2);
    argv.push_back(program.data());
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    SpawnSetup setup;
    if (!setup.Prepare(folder))
        return 0;
    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), setup.Actions(), setup.Attributes(), argv.data(), environ) != 0)
        return 0;
    if ((flags & kLaunchKeepChild) == 0)
        ReapLater(pid);
    return static_cast<uint32_t>(pid);
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(::getpid()); }

bool IsProcessAlive(uint32_t processId)
{
    auto pid = static_cast<int32_t>(processId);
    if (pid <= 0)
        return false;
    if (::kill(pid, 0) == 0)
        return true;
    return errno == EPERM;
}
