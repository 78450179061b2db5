// The /proc files the tests read about a process, which can go at any
// moment: one reaped between the open and the read fails the read (ESRCH),
// where a stream would throw. A file that cannot be read whole reads empty,
// as of a process that has ended.
#pragma once

#include <sys/types.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>
#include <string>
#include <vector>

namespace proctest {

// The file's bytes; empty when it does not open or a read fails.
inline std::string ReadProcFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, size_t(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            if (n < 0)
                text.clear();
            break;
        }
    }
    ::close(fd);
    return text;
}

// The fields of /proc/<pid>/stat after the command name (which may itself
// hold spaces and parentheses): the state letter is [0], the session id
// [3]. Empty for a process that has gone.
inline std::vector<std::string> StatFields(pid_t pid)
{
    const std::string text = ReadProcFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t paren = text.rfind(')');
    std::vector<std::string> fields;
    if (paren == std::string::npos)
        return fields;
    std::istringstream rest(text.substr(paren + 1));
    for (std::string field; rest >> field;)
        fields.push_back(field);
    return fields;
}

}  // namespace proctest
