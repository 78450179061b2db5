#include "cli/commandhost/PendingSaves.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// A mark's name: the process id, a dash and a number of this process.
constexpr const char* kMarkExtension = ".mark";
// A path longer than any the system takes is no mark of ours.
constexpr std::streamsize kMaxMarkBytes = 4096;

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The process id a mark's name begins with; 0 when it begins with none.
pid_t MarkProcess(const std::string& name)
{
    char* end = nullptr;
    const long pid = std::strtol(name.c_str(), &end, 10);
    return end != name.c_str() && *end == '-' && pid > 0 ? static_cast<pid_t>(pid) : 0;
}

bool IsAlive(pid_t pid) { return pid == ::getpid() || ::kill(pid, 0) == 0 || errno == EPERM; }

}  // namespace

PendingSaves::PendingSaves(std::string dataRoot)
    : folder_(dataRoot.empty() ? std::string() : (fs::path(dataRoot) / kFolder).string())
{
}

std::string PendingSaves::Begin(const std::string& savingPath) const
{
    if (folder_.empty())
        return {};
    std::error_code ec;
    fs::create_directories(folder_, ec);
    static std::atomic<uint64_t> counter{0};
    const std::string mark =
        folder_ + "/" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) + kMarkExtension;
    const int fd = ::open(mark.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return {};
    bool written = ::write(fd, savingPath.data(), savingPath.size()) == static_cast<ssize_t>(savingPath.size());
    written = ::close(fd) == 0 && written;
    if (!written) {
        ::unlink(mark.c_str());
        return {};
    }
    return mark;
}

void PendingSaves::End(const std::string& mark)
{
    if (!mark.empty())
        ::unlink(mark.c_str());
}

size_t PendingSaves::RemoveStale() const
{
    size_t removed = 0;
    std::error_code ec;
    if (folder_.empty() || !fs::is_directory(folder_, ec))
        return removed;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder_, ec)) {
        const std::string name = entry.path().filename().string();
        const pid_t pid = MarkProcess(name);
        if (!EndsWith(name, kMarkExtension) || pid == 0 || !entry.is_regular_file(ec) || entry.is_symlink(ec) ||
            IsAlive(pid))
            continue;
        std::string saving(size_t(kMaxMarkBytes) + 1, '\0');
        {
            std::ifstream in(entry.path(), std::ios::binary);
            in.read(saving.data(), kMaxMarkBytes + 1);
            saving.resize(size_t(in.gcount()));
        }
        struct stat st;
        if (saving.size() <= size_t(kMaxMarkBytes) && EndsWith(saving, kSavingSuffix) &&
            ::lstat(saving.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(saving.c_str()) == 0)
            ++removed;
        // A mark written only in part, or naming a file already gone, has
        // nothing more to say.
        ::unlink(entry.path().c_str());
    }
    return removed;
}
