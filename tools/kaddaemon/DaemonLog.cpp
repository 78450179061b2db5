#include "kaddaemon/DaemonLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace kaddaemon {

void DaemonLog::Fatal(const std::string& root, const std::string& text)
{
    std::fprintf(stderr, "kaddaemon: %s\n", text.c_str());
    if (root.empty())
        return;
    char stamp[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local))
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    const std::string line = std::string(stamp) + " kaddaemon[" + std::to_string(::getpid()) + "]: " + text + "\n";
    // Only a regular file of its own name: a link or a FIFO put there is
    // left alone rather than written through or waited on.
    const std::string path = root + "/" + kFileName;
    int fd;
    do
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY,
                    0644);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        if (st.st_size > kMaxBytes)
            (void)::ftruncate(fd, 0);
        // One write: lines of daemons failing at once stay whole.
        (void)::write(fd, line.data(), line.size());
    }
    ::close(fd);
}

}  // namespace kaddaemon
