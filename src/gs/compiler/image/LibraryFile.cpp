#include "gs/compiler/image/LibraryFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace GSCompiler {

std::string LibraryPath(std::string_view folder, std::string_view sourcePath)
{
    const size_t slash = sourcePath.find_last_of("\\/:");
    std::string_view name = slash == std::string_view::npos ? sourcePath : sourcePath.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string_view::npos)
        name = name.substr(0, dot);
    std::string path(folder);
    if (!path.empty() && path.back() != '/' && path.back() != '\\')
        path += '/';
    path += name;
    path += ".gsl";
    return path;
}

LibraryFileResult WriteLibraryFile(const std::string& path, const uint8_t* data, uint32_t size)
{
    const std::string temporary = path + "." + std::to_string(::getpid()) + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return LibraryFileResult::kCannotCreate;
    bool written = true;
    for (uint32_t done = 0; written && done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n > 0)
            done += uint32_t(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            written = false;
    }
    // On disk before the rename, or a crash could leave the new name on an
    // empty file.
    written = written && ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    if (written && std::rename(temporary.c_str(), path.c_str()) == 0)
        return LibraryFileResult::kWritten;
    ::unlink(temporary.c_str());
    return LibraryFileResult::kCannotWrite;
}

}  // namespace GSCompiler
